#include "views/windowlimitsdialog.h"

#include "ui_windowlimitsdialog.h"
#include "views/scale_rules.h"

WindowLimitsDialog::WindowLimitsDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::WindowLimitsDialog)
{
    ui->setupUi(this);
}

WindowLimitsDialog::~WindowLimitsDialog()
{
    delete ui;
}

void WindowLimitsDialog::setLanguage(int language)
{
    const bool english = language != 0;
    setWindowTitle(english ? QStringLiteral("Window limits") : QString::fromUtf8("Размеры окна"));
    ui->xLabel->setText(english ? QStringLiteral("X, m") : QString::fromUtf8("X, м"));
    ui->yLabel->setText(english ? QStringLiteral("Y, m") : QString::fromUtf8("Y, м"));
    ui->zLabel->setText(english ? QStringLiteral("Z, m") : QString::fromUtf8("Z, м"));
    ui->CancelButton->setText(english ? QStringLiteral("Cancel") : QString::fromUtf8("Отмена"));
}

void WindowLimitsDialog::setValues(std::vector<double> v)
{
    if (v.size() < 6)
        return;
    const QStringList texts = scale::texts_from_limits(v);
    QLineEdit* fields[6] = {ui->inputXmin, ui->inputXmax, ui->inputYmin,
                            ui->inputYmax, ui->inputZmin, ui->inputZmax};
    for (int i = 0; i < 6; ++i)
        fields[i]->setText(texts[i]);
}

void WindowLimitsDialog::on_OkButton_clicked()
{
    std::vector<double> sz = scale::limits_from_texts({ui->inputXmin->text(), ui->inputXmax->text(),
                                                       ui->inputYmin->text(), ui->inputYmax->text(),
                                                       ui->inputZmin->text(), ui->inputZmax->text()});
    accept();
    emit sizeSelected(sz);
}

void WindowLimitsDialog::on_CancelButton_clicked()
{
    reject();
}
