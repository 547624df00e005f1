#pragma once
// The machine-learning density conversion dialog: a regression of density on
// up to four features of a cell (Vp, Vs, depth, layer index), trained and
// applied by an external Python process.
//
// The main window's "ML" command builds it, tells it which features exist and
// connects the prediction chain, all direct calls inside the dialog's exec:
//   predictPressed -> MainWindow::saveMLdata (writes the feature file)
//   MainWindow::predictMlDensity -> predictDens (runs the prediction)
//   mlSuccess -> MainWindow::loadMlResult (takes the predicted cube)

#include <QDialog>
#include <QString>

namespace Ui {
class MLDensityConvertor;
}

// Exchange files under the application directory.
QString mlFeatureFilePath();  // "/bin/xdata.bin": the cells and their features
QString mlResultFilePath();   // "/bin/res.3Dgrd": the predicted cube

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

    Ui::MLDensityConvertor* ui;

signals:
    void grid_predicted(QString fname);
    // The Predict button with a train file chosen: the features to use.
    void predictPressed(bool use_H, bool use_Vp, bool use_Vs, bool use_Idx);
    // The prediction process has written the result cube.
    void mlSuccess();

public slots:
    // Runs the prediction on the feature file the main window has just written.
    void predictDens();

private slots:
    void on_OKbutton_clicked();
    void on_CancelButton_clicked();
    void on_load_train_clicked();
    void on_train_button_clicked();
    void show_error(QString s);

private:
    QString train_file;
    bool use_Vp = false;
    bool use_Vs = false;
    bool use_Idx = false;
    bool use_H = true;
    int language = 1;
};
