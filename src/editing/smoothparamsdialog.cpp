#include "editing/smoothparamsdialog.h"

#include "common/text_numbers.h"
#include "ui_smoothparamsdialog.h"

#include <cmath>

namespace {

// A number field: the shortest text that reads back to the same value, so
// the filter sizes come back as given.
QString number(double v)
{
    return text_numbers::field_text(v);
}

// A node-count label (shown only): six significant digits.
QString count(double v)
{
    return QString::number(v, 'g', 6);
}

// Index of a record value in a list of `count` entries, or -1 when it is none.
int entryIndex(double value, int count)
{
    if (!(value >= 0) || value >= count)
        return -1;
    return int(std::trunc(value));
}

}  // namespace

SmoothParamsDialog::SmoothParamsDialog(QWidget* parent) : QDialog(parent), ui(new Ui::SmoothParamsDialog)
{
    ui->setupUi(this);
    ui->layer->setEnabled(false);
    ui->layer_label->setEnabled(false);
}

SmoothParamsDialog::~SmoothParamsDialog()
{
    delete ui;
}

void SmoothParamsDialog::setSteps(std::vector<double> steps)
{
    if (steps.size() < 3)
        return;
    step_x = steps[0];
    step_y = steps[1];
    step_z = steps[2];
    ui->dx->setText(number(5 * step_x));
    ui->dy->setText(number(5 * step_y));
    ui->dz->setText(number(5 * step_z));
}

void SmoothParamsDialog::setLayers(std::vector<QString> names)
{
    if (names.size() < 2)
        return;
    for (std::size_t i = 0; i < names.size(); ++i)
        ui->layer->addItem(names[i].isEmpty() ? QString::number(i + 1) : names[i]);
}

void SmoothParamsDialog::setParams(std::vector<double> params)
{
    if (params.size() < 6)
        return;
    const int type = entryIndex(params[0], ui->type->count());
    if (type >= 0)
        ui->type->setCurrentIndex(type);
    ui->dx->setText(number(params[1]));
    ui->dy->setText(number(params[2]));
    ui->dz->setText(number(params[3]));
    ui->Nx->setText(count(params[1] / step_x));
    ui->Ny->setText(count(params[2] / step_y));
    ui->Nz->setText(count(params[3] / step_z));
    const int area = entryIndex(params[4], ui->area_type->count());
    if (area >= 0)
        ui->area_type->setCurrentIndex(area);
    const int layer = entryIndex(params[5], ui->layer->count());
    if (layer >= 0)
        ui->layer->setCurrentIndex(layer);
}

void SmoothParamsDialog::on_dx_textChanged(const QString& text)
{
    ui->Nx->setText(count(text.toDouble() / step_x));
}

void SmoothParamsDialog::on_dy_textChanged(const QString& text)
{
    ui->Ny->setText(count(text.toDouble() / step_y));
}

void SmoothParamsDialog::on_dz_textChanged(const QString& text)
{
    ui->Nz->setText(count(text.toDouble() / step_z));
}

void SmoothParamsDialog::on_area_type_currentIndexChanged(int index)
{
    ui->layer->setEnabled(index != 0);
    ui->layer_label->setEnabled(index != 0);
}

void SmoothParamsDialog::on_okButton_clicked()
{
    const int area = ui->area_type->currentIndex();
    const std::vector<double> params{double(ui->type->currentIndex()), ui->dx->text().toDouble(),
                                     ui->dy->text().toDouble(),        ui->dz->text().toDouble(),
                                     double(area),                     double(ui->layer->currentIndex())};
    close();
    if (area == 0)
        emit gridFilterParamsSelected(params);
    else if (area == 1)
        emit layerFilterParamsSelected(params);
    else if (area == 2)
        emit horizonFilterParamsSelected(params);
}

void SmoothParamsDialog::on_cancelButton_clicked()
{
    close();
}
