#pragma once
// The machine-learning density conversion dialog: a regression of density on
// up to four features of a cell (Vp, Vs, depth, layer index), trained and
// applied by an external Python process (see ml/ml_exchange.h).
//
// The main window's "ML" command builds it, tells it which features exist and
// connects the prediction chain, all direct calls inside the dialog's exec:
//   predictPressed -> MainWindow::saveMLdata (writes the feature file)
//   MainWindow::predictMlDensity -> predictDens (runs the prediction)
//   mlSuccess -> MainWindow::loadMlResult (takes the predicted cube)
//
// While a script or a whole prediction runs the window stays live: the other
// buttons are disabled, a second Predict is ignored, and Cancel (or closing
// the dialog) ends the process and, through stopRequested, the writing of the
// feature file.

#include "ml/ml_exchange.h"

#include <QDialog>
#include <QProcess>
#include <QString>
#include <QVector>

namespace Ui {
class MLDensityConvertor;
}
class QCustomPlot;
class QEventLoop;

class MLDensityConvertor : public QDialog
{
    Q_OBJECT

public:
    explicit MLDensityConvertor(QWidget* parent = nullptr);
    ~MLDensityConvertor() override;

    // 0 Russian, 1 English; any other value is stored without changing a text.
    void setLanguage(int lang);
    // Which of Vp, Vs and the layer index exist in the project; depth always does.
    void setAvailableFeatures(bool vp, bool vs, bool layer_index);

    QString trainFile() const { return train_file; }
    bool usesDepth() const { return use_H; }
    bool usesVp() const { return use_Vp; }
    bool usesVs() const { return use_Vs; }
    bool usesLayerIndex() const { return use_Idx; }
    int languageUsed() const { return language; }
    bool isRunning() const { return wait_loop != nullptr || predicting; }

    // Longest waits for the scripts in milliseconds; 0 waits until the script
    // ends or the user cancels. Training: 100 s, prediction: no limit.
    void setTimeouts(int train_ms, int predict_ms);

    Ui::MLDensityConvertor* ui;

signals:
    void grid_predicted(QString fname);
    // The Predict button with a train file chosen: the features to use.
    void predictPressed(bool use_H, bool use_Vp, bool use_Vs, bool use_Idx);
    // The prediction process has written the result cube.
    void mlSuccess();
    // Cancel (or closing the dialog) while a prediction runs: the main
    // window stops the part of the run it holds.
    void stopRequested();

private slots:
    void on_OKbutton_clicked();
    void on_CancelButton_clicked();
    void on_load_train_clicked();
    void plot_results(QVector<double>& v_vec, QVector<double>& h_vec, QVector<double>& vs_vec, QVector<int>& ind,
                      QVector<double>& dens_vec, QVector<double>& dens_pred_vec);
    void save_tmp_file();
    void on_train_button_clicked();
    void show_error(QString s);
    void errorOccured(QProcess::ProcessError error);
    void processUpdated();

public slots:
    // Runs the prediction on the feature file the main window has just written.
    void predictDens();

private:
    enum class RunEnd { Finished, FailedToStart, TimedOut, Cancelled };
    // Starts python with args and waits, processing events, until it ends,
    // fails to start, runs out of time or is cancelled (then it is killed).
    RunEnd runScript(QProcess& process, const QStringList& args, int timeout_ms);
    // The message of a run that failed to start or ran out of time; nothing
    // for the other ends.
    void showRunFailure(RunEnd end);
    void setRunning(bool on);
    // Stops the script that runs and asks the main window to stop the rest.
    void requestCancel();
    QString text(const char* russian, const char* english) const;

    QString train_file;
    bool use_Vp = false;
    bool use_Vs = false;
    bool use_Idx = false;
    bool use_H = true;
    int language = 1;
    int train_timeout_ms = 100000;
    int predict_timeout_ms = 0;
    QEventLoop* wait_loop = nullptr;  // set while a script runs
    bool predicting = false;          // set for the whole prediction chain
    bool cancel_requested = false;    // cleared when a training or prediction starts
};
