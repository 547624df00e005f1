#include "views/scalexyzdialog.h"

#include "common/text_numbers.h"
#include "ui_scalexyzdialog.h"
#include "views/scale_rules.h"

#include <cmath>

ScaleXYZDialog::ScaleXYZDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::ScaleXYZDialog)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui->input_scale, &QLineEdit::textEdited, this, [this] { ui->input_scale->setStyleSheet(QString()); });
}

ScaleXYZDialog::~ScaleXYZDialog()
{
    delete ui;
}

void ScaleXYZDialog::setValues(int type, double value)
{
    ui->scaling_type->setCurrentIndex(type);
    ui->input_scale->setText(text_numbers::field_text(value));
}

void ScaleXYZDialog::setInitialRatio(double ratio)
{
    init_ratio = ratio;
}

void ScaleXYZDialog::setSpans(double h, double v)
{
    H = h;
    V = v;
}

void ScaleXYZDialog::setLanguage(int language)
{
    const bool english = language != 0;
    ui->scaling_type->setItemText(0, english ? QStringLiteral("Pixels") : QString::fromUtf8("Пиксели"));
    ui->scaling_type->setItemText(1, english ? QStringLiteral("Distance") : QString::fromUtf8("Расстояние"));
    ui->CancelButton->setText(english ? QStringLiteral("Cancel") : QString::fromUtf8("Отмена"));
}

bool ScaleXYZDialog::applyValue()
{
    bool ok = false;
    const double value = ui->input_scale->text().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0) {
        ui->input_scale->setStyleSheet(QStringLiteral("QLineEdit { background: #ffb0b0; }"));
        return false;
    }
    ui->input_scale->setStyleSheet(QString());
    emit scaleSelected(ui->scaling_type->currentIndex(), value);
    return true;
}

void ScaleXYZDialog::on_input_scale_returnPressed()
{
    applyValue();
}

void ScaleXYZDialog::on_OkButton_clicked()
{
    if (applyValue())
        accept();
}

void ScaleXYZDialog::on_CancelButton_clicked()
{
    emit cancelClicked(init_ratio);
    reject();
}

void ScaleXYZDialog::on_scaling_type_currentIndexChanged(int index)
{
    bool ok = false;
    const double value = ui->input_scale->text().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return;  // nothing readable to convert
    scale::Spans spans;
    spans.H = H;
    spans.V = V;
    ui->input_scale->setText(text_numbers::field_text(scale::convert_value(value, index, spans)));
}
