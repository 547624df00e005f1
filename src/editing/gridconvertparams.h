#pragma once
// Asks for the lattice of a regrid: a minimum, a maximum and a step for X, Y
// and Z, with the node count of each axis shown as it is typed. On OK it
// closes, snaps every maximum to the last whole step above its minimum (a
// maximum already on a node, to within the node tolerance, stays as typed)
// and emits each of its three records that is valid; the command that
// opened it connects only the record it needs. Fields show the shortest
// text of their values, so OK without edits sends back what was given.
#include <QDialog>

#include <vector>

namespace Ui {
class GridConvertParams;
}

class GridConvertParams : public QDialog {
    Q_OBJECT

public:
    explicit GridConvertParams(QWidget* parent = nullptr);
    ~GridConvertParams() override;

    // 1 English, 0 Russian; any other value keeps the form's own texts.
    void setLanguage(int language);
    // {minX, maxX, dx, minY, maxY, dy, minZ, maxZ, dz}; fewer than nine
    // values change nothing.
    void setValues(std::vector<double> values);
    // A grid_geometry {nx, ny, xmin, xmax, ymin, ymax, ...}: fills the X and
    // Y rows with the steps (max - min) / (n - 1); the Z row is kept. Fewer
    // than six values change nothing.
    void setSurferValues(std::vector<double> values);
    // Hides the Z row (for the 2D regrids).
    void hideZ();

signals:
    // regrid_params {minX, maxX', dx, minY, maxY', dy, minZ, maxZ', dz}.
    void GridConvertParamsSignal(std::vector<double> params);
    // grid_geometry {nx, ny, minX, maxX', minY, maxY'}.
    void SurferGridParams(std::vector<double> params);
    // {minX, maxX', minY, maxY', minZ, maxZ'}.
    void MinMaxSignal(std::vector<double> params);

private slots:
    void on_OKbutton_clicked();
    void on_Cancelbutton_clicked();
    // Shows the node count of every axis.
    void update_n();

private:
    Ui::GridConvertParams* ui;
};
