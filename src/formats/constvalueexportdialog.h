#pragma once
// Asks for the value and the cube of a constant-value surface export
// (texts in Russian only).
#include <QDialog>

namespace Ui {
class ConstValueExportDialog;
}

class ConstValueExportDialog : public QDialog {
    Q_OBJECT

public:
    explicit ConstValueExportDialog(QWidget* parent = nullptr);
    ~ConstValueExportDialog() override;

signals:
    // val: the value field read as a number (unreadable or empty: 0);
    // id: the cube, 0 density, 1 Vp, 2 Vs, 3 regularizer.
    void valueSelected(double val, int id);

private slots:
    // Emits valueSelected and then accepts, so the export runs while the
    // dialog is still open.
    void on_okButton_clicked();
    void on_cancelButton_clicked();

private:
    Ui::ConstValueExportDialog* ui;
};
