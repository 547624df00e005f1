#pragma once
// A small dialog that asks for one number: the depth of a constant horizon,
// a regularizer width and other single-value questions.
#include <QDialog>
#include <QString>

namespace Ui {
class InputValueDialog;
}

class InputValueDialog : public QDialog {
    Q_OBJECT

public:
    explicit InputValueDialog(QWidget* parent = nullptr);
    ~InputValueDialog() override;

    // Writes the number into the field ('g', 6 significant digits).
    void setValue(double v);
    // Sets the text above the field.
    void setCaption(QString caption);
    // 0 Russian, any other value English.
    void setLanguage(int language);

signals:
    // Emitted after OK closed the dialog; unreadable text gives 0.
    void valueSelected(double val);

private slots:
    void on_OkButton_clicked();
    void on_CancelButton_clicked();

private:
    Ui::InputValueDialog* ui;
};
