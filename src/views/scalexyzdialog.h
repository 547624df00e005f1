#pragma once
// The vertical scale of the 3D view (modeless, deletes itself when closed).
// The value is given in "Pixels" (the drawn height over the drawn longest
// horizontal side) or in "Distance" (the vertical exaggeration against the
// view's true spans); see views/scale_rules.h.
#include <QDialog>

namespace Ui {
class ScaleXYZDialog;
}

class ScaleXYZDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ScaleXYZDialog(QWidget* parent = nullptr);
    ~ScaleXYZDialog() override;

    // Selects the type, then shows the value with six significant digits.
    void setValues(int type, double value);
    // The graph's aspect ratio when the dialog opened, handed back unchanged
    // by Cancel.
    void setInitialRatio(double ratio);
    // Horizontal span H and vertical span V of the view when it opened.
    void setSpans(double H, double V);
    // 0 Russian, anything else English.
    void setLanguage(int language);

signals:
    // Only for a positive value: a zero or negative one would make the graph
    // draw nothing.
    void scaleSelected(int type, double value);
    void cancelClicked(double initScale);

private slots:
    void on_input_scale_returnPressed();
    void on_OkButton_clicked();
    void on_CancelButton_clicked();
    void on_scaling_type_currentIndexChanged(int index);

private:
    // Emits scaleSelected for a usable value; otherwise marks the field and
    // returns false.
    bool applyValue();

    Ui::ScaleXYZDialog* ui;
    double init_ratio = 0;
    double H = 0, V = 0;
};
