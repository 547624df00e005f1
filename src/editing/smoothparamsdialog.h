#pragma once
// Asks for the smoothing of the density grid: the filter, the box size in
// metres along x, y and z (with the number of node spacings each spans),
// and the area: the whole model, one layer, or a band along the top of one
// layer. Russian texts only.
#include <QDialog>
#include <QString>

#include <vector>

namespace Ui {
class SmoothParamsDialog;
}

class SmoothParamsDialog : public QDialog {
    Q_OBJECT

public:
    explicit SmoothParamsDialog(QWidget* parent = nullptr);
    ~SmoothParamsDialog() override;

    // {step x, step y, step z}: stored for the counts, and 5 steps written
    // into each width field.
    void setSteps(std::vector<double> steps);
    // One entry per layer (the name, or the layer's number from 1 when it
    // is empty) when there are at least two names.
    void setLayers(std::vector<QString> names);
    // A smooth_params record {type, dx, dy, dz, area, layer} of six values
    // or more restores the fields; the type, area and layer are selected
    // only when they are entries of their lists.
    void setParams(std::vector<double> params);

signals:
    void gridFilterParamsSelected(std::vector<double> params);
    void layerFilterParamsSelected(std::vector<double> params);
    void horizonFilterParamsSelected(std::vector<double> params);

private slots:
    void on_dx_textChanged(const QString& text);
    void on_dy_textChanged(const QString& text);
    void on_dz_textChanged(const QString& text);
    void on_area_type_currentIndexChanged(int index);
    // Builds {type, dx, dy, dz, area, layer}, closes, then emits the signal
    // of the area: grid (0), layer (1) or along the top of a layer (2).
    void on_okButton_clicked();
    void on_cancelButton_clicked();

private:
    Ui::SmoothParamsDialog* ui;
    double step_x = 0, step_y = 0, step_z = 0;
};
