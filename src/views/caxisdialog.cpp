#include "views/caxisdialog.h"

#include "common/text_numbers.h"
#include "ui_caxisdialog.h"

#include <cmath>

CaxisDialog::CaxisDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::CaxisDialog)
{
    ui->setupUi(this);
}

CaxisDialog::~CaxisDialog()
{
    delete ui;
}

void CaxisDialog::setValues(std::vector<double> v)
{
    if (v.size() < 2)
        return;
    ui->min_caxis->setText(text_numbers::field_text(v[0]));
    ui->max_caxis->setText(text_numbers::field_text(v[1]));
}

void CaxisDialog::on_OKbutton_clicked()
{
    const double min = ui->min_caxis->text().toDouble();  // unreadable text counts as 0
    const double max = ui->max_caxis->text().toDouble();
    close();
    // "inf" and "nan" read as numbers but make no colour range.
    if (std::isfinite(min) && std::isfinite(max) && min < max)
        emit set_caxis({min, max});
}

void CaxisDialog::on_Cancelbutton_clicked()
{
    close();
}
