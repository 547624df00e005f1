#pragma once
// Asks for the vertical parameters of the layered model (minimum and maximum
// depth and the level step of the grid built from the horizons). It also
// carries the calculation height, in a field that stays hidden, and sends it
// back on every OK.
#include <QDialog>

namespace Ui {
class ModelParamsWindow;
}

class ModelParamsWindow : public QDialog {
    Q_OBJECT

public:
    explicit ModelParamsWindow(QWidget* parent = nullptr);
    ~ModelParamsWindow() override;

    // 0 Russian, any other value English.
    void setLanguage(int language);
    // Fills the fields ('g', 6 significant digits); the height field gets
    // -calc_height, the calculation height itself.
    void setValues(double minZ, double maxZ, double dz, double calc_height);

signals:
    void params_signal(double minz, double maxz, double dz);
    void calc_height_changed(double calc_height);

private slots:
    // Emits calc_height_changed first, always; then, with a positive step,
    // closes and emits params_signal. A step that is not positive keeps the
    // dialog open.
    void on_OKbutton_clicked();
    void on_Cancelbutton_clicked();

private:
    Ui::ModelParamsWindow* ui;
};
