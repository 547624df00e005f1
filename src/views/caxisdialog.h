#pragma once
// The small dialog in which the user types a colour range {min, max}.
#include <QDialog>
#include <vector>

namespace Ui {
class CaxisDialog;
}

class CaxisDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CaxisDialog(QWidget* parent = nullptr);
    ~CaxisDialog() override;

    // With at least two values shows v[0] and v[1] ('g', 6 significant digits);
    // a shorter record changes nothing.
    void setValues(std::vector<double> v);

signals:
    // The range {min, max}, min < max, emitted after OK closed the dialog.
    void set_caxis(std::vector<double> v);

private slots:
    void on_OKbutton_clicked();
    void on_Cancelbutton_clicked();

private:
    Ui::CaxisDialog* ui;
};
