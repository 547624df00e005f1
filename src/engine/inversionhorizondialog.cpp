#include "engine/inversionhorizondialog.h"

#include "common/text_numbers.h"
#include "ui_inversionhorizondialog.h"

#include <cmath>

InversionHorizonDialog::InversionHorizonDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::InversionHorizonDialog)
{
    // The form connects the two buttons to their slots by name.
    ui->setupUi(this);
}

InversionHorizonDialog::~InversionHorizonDialog()
{
    delete ui;
}

void InversionHorizonDialog::setLayersNames(std::vector<QString>& names)
{
    for (std::size_t i = 1; i < names.size(); ++i)
        ui->horizonsList->addItem(names[i].isEmpty() ? QString::number(i + 1) : names[i]);
}

void InversionHorizonDialog::setPreviousParams(QMap<QString, double>& params)
{
    if (params.contains(QStringLiteral("Niter")))
        ui->iterCount->setText(text_numbers::field_text(params.value(QStringLiteral("Niter"))));
    if (params.contains(QStringLiteral("layer"))) {
        const double index = params.value(QStringLiteral("layer")) - 1.0;
        // Only an entry of the list: layers may have been added or removed
        // since the last run.
        if (std::isfinite(index) && index >= 0.0 && index < static_cast<double>(ui->horizonsList->count()))
            ui->horizonsList->setCurrentIndex(static_cast<int>(index));
    }
    if (params.contains(QStringLiteral("stepScale")))
        ui->stepScale->setText(text_numbers::field_text(params.value(QStringLiteral("stepScale"))));
}

void InversionHorizonDialog::on_OkButton_clicked()
{
    QMap<QString, double> params;
    params.insert(QStringLiteral("Niter"), ui->iterCount->text().toInt(nullptr, 10));
    params.insert(QStringLiteral("layer"), ui->horizonsList->currentIndex() + 1);
    params.insert(QStringLiteral("stepScale"), ui->stepScale->text().toDouble());
    accept();
    emit paramsSelected(params);
}

void InversionHorizonDialog::on_cancelButton_clicked()
{
    reject();
}
