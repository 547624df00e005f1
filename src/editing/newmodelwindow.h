#pragma once
// Asks for the lattice and the density range of a new density grid: the
// minimum, maximum and step of x, y and z and the densities of the top and
// bottom levels. Opens with its own defaults, never with the model's values.
#include <QDialog>

#include <vector>

namespace Ui {
class NewModelWindow;
}

class NewModelWindow : public QDialog {
    Q_OBJECT

public:
    explicit NewModelWindow(QWidget* parent = nullptr);
    ~NewModelWindow() override;

    // 0 Russian, any other value English.
    void setLanguage(int language);

signals:
    // {minX, maxX, stepX, minY, maxY, stepY, minZ, maxZ, stepZ, minSigma, maxSigma}
    void params_selected(std::vector<double> params);

private slots:
    // Closes the dialog, then emits params_selected when all three steps are
    // positive, or shows "Step must be positive" otherwise.
    void on_OKButton_clicked();
    void on_Cancelbutton_clicked();

private:
    Ui::NewModelWindow* ui;
};
