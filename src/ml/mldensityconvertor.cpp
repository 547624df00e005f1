#include "ml/mldensityconvertor.h"

#include "app/interaction.h"
#include "ui_mldensityconvertor.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <qcustomplot.h>

#include <algorithm>
#include <new>

namespace {

// [min - (max - min)/20, max + (max - min)/20] over the given vectors.
QCPRange paddedRange(std::initializer_list<const QVector<double>*> vectors)
{
    bool any = false;
    double lo = 0, hi = 0;
    for (const QVector<double>* v : vectors)
        for (double x : *v) {
            if (!any) {
                lo = hi = x;
                any = true;
            }
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    if (!any)
        return QCPRange(0, 0);
    const double margin = (hi - lo) / 20;
    return QCPRange(lo - margin, hi + margin);
}

void addPoints(QCustomPlot* plot, const QString& name, const QColor& colour, const QVector<double>& x,
               const QVector<double>& y)
{
    QCPGraph* graph = plot->addGraph();
    graph->setName(name);
    graph->setPen(QPen(colour));
    graph->setLineStyle(QCPGraph::lsNone);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, colour, 5));
    graph->setData(x, y);
    plot->show();
}

void showLegend(QCustomPlot* plot)
{
    plot->legend->setVisible(true);
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignRight | Qt::AlignBottom);
}

} // namespace

MLDensityConvertor::MLDensityConvertor(QWidget* parent)
    : QDialog(parent), ui(new Ui::MLDensityConvertor)
{
    ui->setupUi(this);
    ui->progressBar->hide();
    for (QCustomPlot* plot : {ui->learning_result_V_axes, ui->learning_result_V_d_axes, ui->learning_result_Vs_axes,
                              ui->learning_result_Vs_d_axes, ui->learning_result_H_axes,
                              ui->learning_result_H_d_axes})
        plot->hide();
    // Closing the window while a script or a prediction runs ends it.
    connect(this, &QDialog::finished, this, [this] {
        if (wait_loop || predicting)
            requestCancel();
    });
}

MLDensityConvertor::~MLDensityConvertor()
{
    delete ui;
}

void MLDensityConvertor::setLanguage(int lang)
{
    language = lang;
    if (lang == 1) {
        ui->label_2->setText(QStringLiteral("ML preferences"));
        ui->label_3->setText(QStringLiteral("Regression type"));
        ui->load_train->setText(QStringLiteral("Load train file"));
        ui->train_button->setText(QStringLiteral("Train model"));
        ui->OKbutton->setText(QStringLiteral("Predict densities"));
        ui->CancelButton->setText(QStringLiteral("Cancel"));
    } else if (lang == 0) {
        ui->label_2->setText(QStringLiteral("Параметры ML"));
        ui->label_3->setText(QStringLiteral("Алгоритм"));
        ui->load_train->setText(QStringLiteral("Загрузить обучающую выборку"));
        ui->train_button->setText(QStringLiteral("Обучить модель"));
        ui->OKbutton->setText(QStringLiteral("Рассчитать плотности"));
        ui->CancelButton->setText(QStringLiteral("Отмена"));
    }
}

void MLDensityConvertor::setAvailableFeatures(bool vp, bool vs, bool layer_index)
{
    use_Vp = vp;
    use_Vs = vs;
    use_Idx = layer_index;
}

void MLDensityConvertor::setTimeouts(int train_ms, int predict_ms)
{
    train_timeout_ms = std::max(0, train_ms);
    predict_timeout_ms = std::max(0, predict_ms);
}

QString MLDensityConvertor::text(const char* russian, const char* english) const
{
    return QString::fromUtf8(language == 0 ? russian : english);
}

// The whole prediction (the main window's feature file, the script, the
// result) runs inside the emission; a second press meanwhile is ignored.
void MLDensityConvertor::on_OKbutton_clicked()
{
    if (train_file.isEmpty() || wait_loop || predicting)
        return;
    predicting = true;
    cancel_requested = false;
    setRunning(true);
    emit predictPressed(use_H, use_Vp, use_Vs, use_Idx);
    predicting = false;
    setRunning(false);
}

void MLDensityConvertor::on_CancelButton_clicked()
{
    if (wait_loop || predicting) {  // a run: stop it, keep the window
        requestCancel();
        return;
    }
    close();
}

void MLDensityConvertor::requestCancel()
{
    cancel_requested = true;
    if (wait_loop)
        wait_loop->quit();
    if (predicting)
        emit stopRequested();
}

void MLDensityConvertor::on_load_train_clicked()
{
    if (wait_loop || predicting)
        return;
    const QString name = interaction()->openFileName(this, QStringLiteral("Open file"), QString(),
                                                     QStringLiteral("text file (*.txt; *.dat)"));
    if (name.isEmpty())
        return;
    train_file = name;
    on_train_button_clicked();
}

void MLDensityConvertor::save_tmp_file()
{
    // Created anew, so that a link under the file's name is not followed.
    QFile::remove(mlScratchFilePath());
    QFile file(mlScratchFilePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        file.close();
}

void MLDensityConvertor::show_error(QString s)
{
    interaction()->error(s);
}

void MLDensityConvertor::errorOccured(QProcess::ProcessError error)
{
    qDebug() << "ML process error " << int(error);
}

void MLDensityConvertor::processUpdated()
{
    ui->progressBar->setValue(ui->progressBar->value() + 20);
    QCoreApplication::processEvents();
}

void MLDensityConvertor::setRunning(bool on)
{
    ui->load_train->setEnabled(!on);
    ui->train_button->setEnabled(!on);
    ui->OKbutton->setEnabled(!on);
    ui->reg_list->setEnabled(!on);
    if (on)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void MLDensityConvertor::showRunFailure(RunEnd end)
{
    if (end == RunEnd::FailedToStart)
        show_error(text("Не удалось запустить python", "Can't start python"));
    else if (end == RunEnd::TimedOut)
        show_error(text("Процесс ML не завершился вовремя и остановлен",
                        "The ML process did not finish in time and was stopped"));
}

MLDensityConvertor::RunEnd MLDensityConvertor::runScript(QProcess& process, const QStringList& args,
                                                         int timeout_ms)
{
    QEventLoop loop;
    bool failed_to_start = false;
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed_to_start = true;
            loop.quit();
        }
    });
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    wait_loop = &loop;
    setRunning(true);
    process.start(mlInterpreter(), args, QIODevice::ReadWrite);
    process.closeWriteChannel();
    if (timeout_ms > 0)
        timer.start(timeout_ms);
    if (process.state() != QProcess::NotRunning && !failed_to_start)
        loop.exec();
    wait_loop = nullptr;
    if (!predicting)
        setRunning(false);

    if (failed_to_start || (process.error() == QProcess::FailedToStart && process.state() == QProcess::NotRunning))
        return RunEnd::FailedToStart;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return cancel_requested ? RunEnd::Cancelled : RunEnd::TimedOut;
    }
    if (cancel_requested)
        return RunEnd::Cancelled;
    return RunEnd::Finished;
}

void MLDensityConvertor::on_train_button_clicked()
{
    if (train_file.isEmpty() || wait_loop || predicting)
        return;
    cancel_requested = false;
    const int regression = ui->reg_list->currentIndex();
    ui->progressBar->setValue(0);
    ui->progressBar->show();

    QProcess process;
    connect(&process, &QProcess::errorOccurred, this, &MLDensityConvertor::errorOccured);
    ui->progressBar->setValue(10);
    const RunEnd end = runScript(process, mlTrainArguments(train_file, regression, use_Vp, use_Vs, use_Idx),
                                 train_timeout_ms);
    ui->progressBar->setValue(90);

    switch (end) {
    case RunEnd::FailedToStart:
    case RunEnd::TimedOut:
        showRunFailure(end);
        break;
    case RunEnd::Cancelled:
        break;
    case RunEnd::Finished:
        // A process that was killed (by the system for lack of memory, say)
        // or crashed said nothing that could be read: its end is the news,
        // and the dialog stays for another try.
        if (process.exitStatus() == QProcess::CrashExit) {
            show_error(text("Процесс ML аварийно остановлен (сбой или завершение системой, например из-за нехватки "
                            "памяти). Модель не обучена.",
                            "The ML process was killed or crashed (stopped by the system, for example for lack of "
                            "memory). Nothing was trained."));
            break;
        }
        try {
            QCoreApplication::processEvents();
            MlTrainOutput out = parseMlTrainOutput(process.readAllStandardOutput());
            if (out.kind == MlTrainOutput::Kind::Unreadable && process.exitCode() != 0) {
                // A script that failed without its own report: its exit code
                // and the last line of what it wrote to the error stream.
                const QStringList lines =
                    QString::fromUtf8(process.readAllStandardError()).trimmed().split('\n', Qt::SkipEmptyParts);
                QString reason = text("Процесс ML завершился с ошибкой (код %1)", "The ML process failed (exit code %1)")
                                     .arg(process.exitCode());
                if (!lines.isEmpty())
                    reason += QStringLiteral(": ") + lines.last().trimmed();
                show_error(reason);
                break;
            }
            switch (out.kind) {
            case MlTrainOutput::Kind::Unreadable:
            case MlTrainOutput::Kind::LibrariesMissing:
                show_error(QStringLiteral("Please install python ML libraries"));
                close();
                break;
            case MlTrainOutput::Kind::TrainFileError:
                show_error(QStringLiteral("Error in train file"));
                break;
            case MlTrainOutput::Kind::OtherStatus:
                break;
            case MlTrainOutput::Kind::Trained:
                if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
                    // Whatever it printed, a script that failed has trained nothing.
                    QString reason = QString::fromUtf8(process.readAllStandardError()).trimmed();
                    if (reason.isEmpty())
                        reason = text("Процесс ML завершился с ошибкой", "The ML process failed");
                    show_error(reason);
                    break;
                }
                use_Vp = use_Vp && out.vp;
                use_H = use_H && out.depth;
                use_Vs = use_Vs && out.vs;
                use_Idx = use_Idx && out.layer_index;
                ui->cross_val_scores->setText(mlScoreText(out.scores));
                if (!use_Vp)
                    out.vp_vec.clear();
                if (!use_H)
                    out.h_vec.clear();
                if (!use_Vs)
                    out.vs_vec.clear();
                if (!use_Idx)
                    out.ind.clear();
                plot_results(out.vp_vec, out.h_vec, out.vs_vec, out.ind, out.dens_vec, out.dens_pred_vec);
                break;
            }
        } catch (const std::bad_alloc&) {
            // An output too large to hold ends the run as it stands.
        }
        break;
    }
    ui->progressBar->hide();
}

void MLDensityConvertor::plot_results(QVector<double>& v_vec, QVector<double>& h_vec, QVector<double>& vs_vec,
                                      QVector<int>& ind, QVector<double>& dens_vec, QVector<double>& dens_pred_vec)
{
    Q_UNUSED(ind);  // handed over, not drawn
    const bool predicted = !dens_pred_vec.isEmpty();
    const QCPRange dens_range = predicted ? paddedRange({&dens_vec, &dens_pred_vec}) : paddedRange({&dens_vec});
    QVector<double> diff;
    if (predicted) {
        const int n = std::min(dens_vec.size(), dens_pred_vec.size());
        diff.resize(n);
        for (int i = 0; i < n; ++i)
            diff[i] = dens_pred_vec[i] - dens_vec[i];
    }
    const QCPRange diff_range = predicted ? paddedRange({&diff}) : QCPRange(0, 0);

    struct Pair
    {
        const QVector<double>* feature;
        QCustomPlot* main;
        QCustomPlot* difference;
        const char* label;
    };
    const Pair pairs[] = {
        {&v_vec, ui->learning_result_V_axes, ui->learning_result_V_d_axes, "Vp, m/s"},
        {&vs_vec, ui->learning_result_Vs_axes, ui->learning_result_Vs_d_axes, "Vs, m/s"},
        {&h_vec, ui->learning_result_H_axes, ui->learning_result_H_d_axes, "h, m"},
    };
    for (const Pair& p : pairs) {
        if (p.feature->isEmpty()) {
            p.main->hide();
            p.difference->hide();
            continue;
        }
        const QCPRange range = paddedRange({p.feature});
        p.main->clearGraphs();
        p.difference->clearGraphs();
        const int n = std::min(p.feature->size(), dens_vec.size());
        const QVector<double> x = p.feature->mid(0, n);
        addPoints(p.main, QStringLiteral("Train set"), Qt::red, x, dens_vec.mid(0, n));
        p.main->xAxis->setLabel(QString::fromUtf8(p.label));
        p.main->yAxis->setLabel(QStringLiteral("σ, g/cm3"));
        p.main->xAxis->setRange(range);
        p.main->yAxis->setRange(dens_range);
        showLegend(p.main);
        if (predicted) {
            const int m = std::min(n, dens_pred_vec.size());
            addPoints(p.main, QStringLiteral("Predict"), Qt::green, x.mid(0, m), dens_pred_vec.mid(0, m));
            addPoints(p.difference, QStringLiteral("σ(pred) - σ(obs)"), Qt::red, x.mid(0, diff.size()),
                      diff.mid(0, x.size()));
            p.difference->xAxis->setLabel(QString::fromUtf8(p.label));
            p.difference->yAxis->setLabel(QStringLiteral("Δσ, g/cm3"));
            p.difference->xAxis->setRange(range);
            p.difference->yAxis->setRange(diff_range);
            showLegend(p.difference);
        } else {
            p.difference->hide();
        }
    }
    for (QCustomPlot* plot : {ui->learning_result_V_axes, ui->learning_result_V_d_axes, ui->learning_result_Vs_axes,
                              ui->learning_result_Vs_d_axes, ui->learning_result_H_axes,
                              ui->learning_result_H_d_axes})
        plot->replot();
}

void MLDensityConvertor::predictDens()
{
    if (wait_loop)
        return;  // one prediction at a time
    if (predicting && cancel_requested) {
        // Cancelled while the feature file was written: nothing to run.
        QFile::remove(mlFeatureFilePath());
        return;
    }
    if (!predicting)
        cancel_requested = false;  // started without the Predict button
    const int regression = ui->reg_list->currentIndex();
    ui->progressBar->setValue(0);
    ui->progressBar->show();
    const QStringList args = mlPredictArguments(train_file, regression, use_Vp, use_Vs, use_Idx);

    // A result left by an earlier run must not pass for this one.
    QFile::remove(mlResultFilePath());

    QProcess process;
    connect(&process, &QProcess::readyReadStandardOutput, this, &MLDensityConvertor::processUpdated);
    ui->progressBar->setValue(0);
    RunEnd end = runScript(process, args, predict_timeout_ms);
    QCoreApplication::processEvents();
    // A Cancel that came as the script ended still keeps its result out.
    if (cancel_requested)
        end = RunEnd::Cancelled;

    bool success = false;
    switch (end) {
    case RunEnd::FailedToStart:
    case RunEnd::TimedOut:
        showRunFailure(end);
        break;
    case RunEnd::Cancelled:
        break;
    case RunEnd::Finished: {
        const MlPredictVerdict verdict = judgeMlPredictOutput(process.readAllStandardOutput());
        const bool clean = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (verdict == MlPredictVerdict::Success && clean) {
            success = true;
            emit mlSuccess();
        } else if (verdict == MlPredictVerdict::LayerCountsDiffer) {
            show_error(text("Количество слоев в обучающей выборке не совпадает с моделью",
                            "Layers counts in train and model are different"));
        } else {
            QString reason = QString::fromUtf8(process.readAllStandardError()).trimmed();
            if (reason.isEmpty())
                reason = text("Процесс ML завершился с ошибкой", "The ML process failed");
            show_error(reason);
        }
        break;
    }
    }
    if (!success) {
        // Nothing of a failed run stays behind.
        QFile::remove(mlFeatureFilePath());
        QFile::remove(mlResultFilePath());
    }
    ui->progressBar->hide();
    // The prediction is over: closing the dialog now stops nothing.
    predicting = false;
    close();
}
