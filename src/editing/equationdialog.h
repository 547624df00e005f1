#pragma once
// Asks for the grid formula: a script expression of dens, Vp, Vs, R and h
// whose value replaces every cell of the density grid.
#include <QDialog>
#include <QString>

#include "common/types.h"

namespace Ui {
class EquationDialog;
}

class EquationDialog : public QDialog {
    Q_OBJECT

public:
    explicit EquationDialog(QWidget* parent = nullptr);
    ~EquationDialog() override;

    // 1 English title, 0 Russian title; other values keep the form's title.
    void setLanguage(int lang);
    // Lists the variables under the field, in red those whose grid does not
    // fit the density grid (their value is 0 in the formula).
    void setAvailableGrids(const vector3D& den, const vector3D& Vp, const vector3D& Vs, const vector3D& R);

signals:
    // The typed text, sent after OK has closed the dialog.
    void OKclicked(QString s);

private slots:
    void on_OKbutton_clicked();
    void on_Cancelbutton_clicked();

private:
    Ui::EquationDialog* ui;
    int language = 0;
};
