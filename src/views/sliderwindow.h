#pragma once
// The crop sliders of the 3D view: one slider per face of the shown cube.
// Moving a slider relabels it with the face's coordinate and emits the face's
// signal with the new node index; the main window then replaces that face.
//
// The window is modeless and keeps the ranges, steps and coordinates it was
// given when it opened; later changes of the shown cube do not reach it.
#include <QDialog>

namespace Ui {
class SliderWindow;
}

class SliderWindow : public QDialog
{
    Q_OBJECT

public:
    explicit SliderWindow(QWidget* parent = nullptr);
    ~SliderWindow() override;

    // Ranges of the sliders: x for left and right, y for back and front, z for
    // bottom and top; each axis' node count becomes maximum - minimum + 1.
    void setRanges(int xmin, int xmax, int ymin, int ymax, int zmin, int zmax);
    // Slider positions.
    void setValues(int left, int right, int back, int front, int bottom, int top);
    // First and last node per axis; the steps follow from the node counts of
    // setRanges, then every label is written.
    void setCoordinates(double x_first, double x_last, double y_first, double y_last, double z_first,
                        double z_last);

signals:
    void change_left(int N);
    void change_right(int N);
    void change_back(int N);
    void change_front(int N);
    void change_top(int N);
    void change_bottom(int N);

private slots:
    void left_changed(int N);
    void right_changed(int N);
    void back_changed(int N);
    void front_changed(int N);
    void top_changed(int N);
    void bottom_changed(int N);
    void update_labels();

private:
    Ui::SliderWindow* ui;
    double x_first = 0, x_last = 0, y_first = 0, y_last = 0, z_first = 0, z_last = 0;
    double x_step = 0, y_step = 0, z_step = 0;
    int x_count = 0, y_count = 0, z_count = 0;
};
