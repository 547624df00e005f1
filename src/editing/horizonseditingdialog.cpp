#include "editing/horizonseditingdialog.h"

#include "common/text_numbers.h"
#include "ui_horizonseditingdialog.h"

#include <QCloseEvent>
#include <QPalette>

HorizonsEditingDialog::HorizonsEditingDialog(QWidget* parent) : QDialog(parent), ui(new Ui::HorizonsEditingDialog)
{
    ui->setupUi(this);
}

HorizonsEditingDialog::~HorizonsEditingDialog()
{
    delete ui;
}

void HorizonsEditingDialog::setValues(double Rx, double Ry, double W, double A)
{
    ui->input_Rx->setText(text_numbers::field_text(Rx));
    ui->input_Ry->setText(text_numbers::field_text(Ry));
    ui->input_W->setText(text_numbers::field_text(W));
    ui->input_A->setText(text_numbers::field_text(A));
}

void HorizonsEditingDialog::setLanguage(int language)
{
    if (language == 0) {
        setWindowTitle(QString::fromUtf8("Параметры редактирования"));
        ui->Rx_label->setText(QString::fromUtf8("Rx, м"));
        ui->Ry_label->setText(QString::fromUtf8("Ry, м"));
        ui->width_label->setText(QString::fromUtf8("Затухание<sup>-1<sup>"));
        ui->amplitude_label->setText(QString::fromUtf8("Амплитуда, м"));
        ui->OKButton->setText(QString::fromUtf8("Применить"));
        ui->CancelButton->setText(QString::fromUtf8("Выход"));
    } else {
        setWindowTitle("Edit parameters");
        ui->Rx_label->setText("Rx, m");
        ui->Ry_label->setText("Ry, m");
        ui->width_label->setText("Attenuation<sup>-1<sup>");
        ui->amplitude_label->setText("Amplitude, m");
        ui->OKButton->setText("Set");
        ui->CancelButton->setText("Quit");
    }
}

void HorizonsEditingDialog::sendValues()
{
    const double Rx = ui->input_Rx->text().toDouble();
    const double Ry = ui->input_Ry->text().toDouble();
    const double W = ui->input_W->text().toDouble();
    const double A = ui->input_A->text().toDouble();
    if (Rx > 0 && Ry > 0 && W > 0)
        emit EditingParamsSeted(Rx, Ry, W, A);
}

void HorizonsEditingDialog::markField(QLineEdit* field, const QString& text)
{
    QPalette palette = field->palette();
    const QColor base = text.toDouble() > 0 ? QColor(Qt::white) : QColor(Qt::red);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    field->setPalette(palette);
}

void HorizonsEditingDialog::on_OKButton_clicked() { sendValues(); }

void HorizonsEditingDialog::on_CancelButton_clicked()
{
    emit EditingFinished();
    close();
}

void HorizonsEditingDialog::closeEvent(QCloseEvent* event)
{
    emit EditingFinished();
    event->accept();
}

void HorizonsEditingDialog::reject()
{
    close();
}

void HorizonsEditingDialog::on_input_Rx_returnPressed() { sendValues(); }
void HorizonsEditingDialog::on_input_Ry_returnPressed() { sendValues(); }
void HorizonsEditingDialog::on_input_W_returnPressed() { sendValues(); }
void HorizonsEditingDialog::on_input_A_returnPressed() { sendValues(); }

void HorizonsEditingDialog::on_input_Rx_textChanged(const QString& text) { markField(ui->input_Rx, text); }
void HorizonsEditingDialog::on_input_Ry_textChanged(const QString& text) { markField(ui->input_Ry, text); }
void HorizonsEditingDialog::on_input_W_textChanged(const QString& text) { markField(ui->input_W, text); }
void HorizonsEditingDialog::on_input_A_textChanged(const QString& text) { markField(ui->input_A, text); }
