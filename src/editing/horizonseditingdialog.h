#pragma once
// The modeless dialog of horizon editing: the brush's semi-axes Rx and Ry,
// its width W (full width at half maximum, in semi-axes) and amplitude A.
// "Set" or Return in a field sends the four values while Rx, Ry and W are
// positive; a field turns red while its value is not positive. Quitting or
// closing the dialog ends the editing.
#include <QDialog>
#include <QString>

class QCloseEvent;
class QLineEdit;

namespace Ui {
class HorizonsEditingDialog;
}

class HorizonsEditingDialog : public QDialog {
    Q_OBJECT

public:
    explicit HorizonsEditingDialog(QWidget* parent = nullptr);
    ~HorizonsEditingDialog() override;

    // Writes the four fields ('g', 6 significant digits).
    void setValues(double Rx, double Ry, double W, double A);
    // 0 Russian, any other value English.
    void setLanguage(int language);

signals:
    void EditingParamsSeted(double Rx, double Ry, double W, double A);
    void EditingFinished();

protected:
    // Every way of closing ends the editing.
    void closeEvent(QCloseEvent* event) override;

public slots:
    // Esc closes the dialog like its close button, so that it ends the editing too.
    void reject() override;

private slots:
    void on_OKButton_clicked();
    void on_CancelButton_clicked();
    void on_input_Rx_returnPressed();
    void on_input_Ry_returnPressed();
    void on_input_W_returnPressed();
    void on_input_A_returnPressed();
    void on_input_Rx_textChanged(const QString& text);
    void on_input_Ry_textChanged(const QString& text);
    void on_input_W_textChanged(const QString& text);
    void on_input_A_textChanged(const QString& text);

private:
    // Emits the brush when Rx, Ry and W are positive.
    void sendValues();
    // Red base while the field's value is not positive, white otherwise.
    static void markField(QLineEdit* field, const QString& text);

    Ui::HorizonsEditingDialog* ui;
};
