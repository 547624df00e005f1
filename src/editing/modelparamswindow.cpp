#include "editing/modelparamswindow.h"

#include "common/text_numbers.h"
#include "ui_modelparamswindow.h"

ModelParamsWindow::ModelParamsWindow(QWidget* parent) : QDialog(parent), ui(new Ui::ModelParamsWindow)
{
    ui->setupUi(this);
    ui->calc_height_label->hide();
    ui->input_calc_height->hide();
}

ModelParamsWindow::~ModelParamsWindow()
{
    delete ui;
}

void ModelParamsWindow::setLanguage(int language)
{
    const bool ru = language == 0;
    setWindowTitle(ru ? QString::fromUtf8("Вертикальные параметры модели") : QStringLiteral("Vertical parameters"));
    ui->minz_label->setText(ru ? QString::fromUtf8("Z<sub>мин</sub>, м") : QStringLiteral("Z<sub>min</sub>, m"));
    ui->maxz_label->setText(ru ? QString::fromUtf8("Z<sub>макс</sub>, м") : QStringLiteral("Z<sub>max</sub>, m"));
    ui->dz_label->setText(ru ? QString::fromUtf8("dZ, м") : QStringLiteral("dZ, m"));
    ui->calc_height_label->setText(ru ? QString::fromUtf8("Высота расчета, м")
                                      : QStringLiteral("Calculation height, m"));
    ui->OKbutton->setText(QStringLiteral("OK"));
    ui->Cancelbutton->setText(ru ? QString::fromUtf8("Отмена") : QStringLiteral("Cancel"));
}

void ModelParamsWindow::setValues(double minZ, double maxZ, double dz, double calc_height)
{
    // The shortest texts that read back to the same numbers: OK without
    // edits sends back the current parameters, which change nothing.
    ui->input_minz->setText(text_numbers::field_text(minZ));
    ui->input_maxz->setText(text_numbers::field_text(maxZ));
    ui->input_dz->setText(text_numbers::field_text(dz));
    ui->input_calc_height->setText(text_numbers::field_text(-calc_height));
}

void ModelParamsWindow::on_OKbutton_clicked()
{
    const double minz = ui->input_minz->text().toDouble();
    const double maxz = ui->input_maxz->text().toDouble();
    const double dz = ui->input_dz->text().toDouble();
    const double height = ui->input_calc_height->text().toDouble();
    emit calc_height_changed(height);
    if (dz > 0) {
        close();
        emit params_signal(minz, maxz, dz);
    }
}

void ModelParamsWindow::on_Cancelbutton_clicked()
{
    close();
}
