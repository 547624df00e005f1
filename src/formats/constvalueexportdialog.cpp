#include "formats/constvalueexportdialog.h"

#include "ui_constvalueexportdialog.h"

ConstValueExportDialog::ConstValueExportDialog(QWidget* parent) : QDialog(parent), ui(new Ui::ConstValueExportDialog)
{
    ui->setupUi(this);
}

ConstValueExportDialog::~ConstValueExportDialog()
{
    delete ui;
}

void ConstValueExportDialog::on_okButton_clicked()
{
    emit valueSelected(ui->value->text().toDouble(), ui->data_list->currentIndex());
    accept();
}

void ConstValueExportDialog::on_cancelButton_clicked()
{
    reject();
}
