#include "editing/inputvaluedialog.h"

#include "common/text_numbers.h"
#include "ui_inputvaluedialog.h"

InputValueDialog::InputValueDialog(QWidget* parent) : QDialog(parent), ui(new Ui::InputValueDialog)
{
    ui->setupUi(this);
}

InputValueDialog::~InputValueDialog()
{
    delete ui;
}

void InputValueDialog::setValue(double v)
{
    ui->inputValue->setText(text_numbers::field_text(v));
}

void InputValueDialog::setCaption(QString caption)
{
    ui->label->setText(caption);
}

void InputValueDialog::setLanguage(int language)
{
    if (language == 0) {
        setWindowTitle(QString::fromUtf8("Введите значение"));
        ui->OkButton->setText("Ok");
        ui->CancelButton->setText(QString::fromUtf8("Отмена"));
    } else {
        setWindowTitle("Input value");
        ui->OkButton->setText("Ok");
        ui->CancelButton->setText("Cancel");
    }
}

void InputValueDialog::on_OkButton_clicked()
{
    const double value = ui->inputValue->text().toDouble();
    accept();
    emit valueSelected(value);
}

void InputValueDialog::on_CancelButton_clicked()
{
    reject();
}
