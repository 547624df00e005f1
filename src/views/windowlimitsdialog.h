#pragma once
// The window limits {xmin, xmax, ymin, ymax, zmin, zmax} of the 3D view and
// the two maps, typed by the user (run modally).
#include <QDialog>

#include <vector>

namespace Ui {
class WindowLimitsDialog;
}

class WindowLimitsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit WindowLimitsDialog(QWidget* parent = nullptr);
    ~WindowLimitsDialog() override;

    // 0 Russian, anything else English.
    void setLanguage(int language);
    // With at least six values shows them in record order (six significant
    // digits); a shorter record leaves the fields empty.
    void setValues(std::vector<double> v);

signals:
    // The six fields as typed (an unreadable one gives 0), emitted after OK
    // closed the dialog.
    void sizeSelected(std::vector<double>& sz);

private slots:
    void on_OkButton_clicked();
    void on_CancelButton_clicked();

private:
    Ui::WindowLimitsDialog* ui;
};
