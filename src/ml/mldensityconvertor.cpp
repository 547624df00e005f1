#include "ml/mldensityconvertor.h"

#include "app/interaction.h"
#include "ui_mldensityconvertor.h"

#include <QCoreApplication>

QString mlFeatureFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bin/xdata.bin");
}

QString mlResultFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bin/res.3Dgrd");
}

MLDensityConvertor::MLDensityConvertor(QWidget* parent)
    : QDialog(parent), ui(new Ui::MLDensityConvertor)
{
    ui->setupUi(this);
    ui->progressBar->hide();
    for (QWidget* plot : {static_cast<QWidget*>(ui->learning_result_V_axes),
                          static_cast<QWidget*>(ui->learning_result_V_d_axes),
                          static_cast<QWidget*>(ui->learning_result_Vs_axes),
                          static_cast<QWidget*>(ui->learning_result_Vs_d_axes),
                          static_cast<QWidget*>(ui->learning_result_H_axes),
                          static_cast<QWidget*>(ui->learning_result_H_d_axes)})
        plot->hide();
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

void MLDensityConvertor::on_OKbutton_clicked()
{
    if (train_file.isEmpty())
        return;
    emit predictPressed(use_H, use_Vp, use_Vs, use_Idx);
}

void MLDensityConvertor::on_CancelButton_clicked()
{
    close();
}

void MLDensityConvertor::on_load_train_clicked()
{
    const QString name = interaction()->openFileName(this, QStringLiteral("Open file"), QString(),
                                                     QStringLiteral("text file (*.txt; *.dat)"));
    if (name.isEmpty())
        return;
    train_file = name;
    on_train_button_clicked();
}

// Training runs the external interpreter's training script; this build does
// not start it yet, so a chosen train file only enables the prediction.
void MLDensityConvertor::on_train_button_clicked()
{
    if (train_file.isEmpty())
        return;
}

void MLDensityConvertor::show_error(QString s)
{
    interaction()->error(s);
}

// The prediction script is not started by this build: the dialog closes
// without a result and the model stays as it is.
void MLDensityConvertor::predictDens()
{
    close();
}
