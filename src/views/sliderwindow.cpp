#include "views/sliderwindow.h"

#include "ui_sliderwindow.h"
#include "views/crop_rules.h"

SliderWindow::SliderWindow(QWidget* parent)
    : QDialog(parent), ui(new Ui::SliderWindow)
{
    ui->setupUi(this);
    connect(ui->leftSlider, SIGNAL(valueChanged(int)), this, SLOT(left_changed(int)));
    connect(ui->rightSlider, SIGNAL(valueChanged(int)), this, SLOT(right_changed(int)));
    connect(ui->backSlider, SIGNAL(valueChanged(int)), this, SLOT(back_changed(int)));
    connect(ui->frontSlider, SIGNAL(valueChanged(int)), this, SLOT(front_changed(int)));
    connect(ui->topSlider, SIGNAL(valueChanged(int)), this, SLOT(top_changed(int)));
    connect(ui->bottomSlider, SIGNAL(valueChanged(int)), this, SLOT(bottom_changed(int)));
    ui->zmax_label->setFixedWidth(80);
    ui->zmin_label->setFixedWidth(80);
}

SliderWindow::~SliderWindow()
{
    delete ui;
}

void SliderWindow::setRanges(int xmin, int xmax, int ymin, int ymax, int zmin, int zmax)
{
    ui->leftSlider->setRange(xmin, xmax);
    ui->rightSlider->setRange(xmin, xmax);
    ui->backSlider->setRange(ymin, ymax);
    ui->frontSlider->setRange(ymin, ymax);
    ui->bottomSlider->setRange(zmin, zmax);
    ui->topSlider->setRange(zmin, zmax);
    x_count = xmax - xmin + 1;
    y_count = ymax - ymin + 1;
    z_count = zmax - zmin + 1;
}

void SliderWindow::setValues(int left, int right, int back, int front, int bottom, int top)
{
    ui->leftSlider->setValue(left);
    ui->rightSlider->setValue(right);
    ui->backSlider->setValue(back);
    ui->frontSlider->setValue(front);
    ui->bottomSlider->setValue(bottom);
    ui->topSlider->setValue(top);
}

void SliderWindow::setCoordinates(double xf, double xl, double yf, double yl, double zf, double zl)
{
    x_first = xf, x_last = xl;
    y_first = yf, y_last = yl;
    z_first = zf, z_last = zl;
    x_step = crop::node_step(x_first, x_last, x_count);
    y_step = crop::node_step(y_first, y_last, y_count);
    z_step = crop::node_step(z_first, z_last, z_count);
    update_labels();
}

void SliderWindow::left_changed(int N)
{
    ui->xmin_label->setText(crop::slider_label("X", crop::slider_coordinate(N, x_step, x_first)));
    emit change_left(N);
}

void SliderWindow::right_changed(int N)
{
    ui->xmax_label->setText(crop::slider_label("X", crop::slider_coordinate(N, x_step, x_first)));
    emit change_right(N);
}

void SliderWindow::back_changed(int N)
{
    ui->ymin_label->setText(crop::slider_label("Y", crop::slider_coordinate(N, y_step, y_first)));
    emit change_back(N);
}

void SliderWindow::front_changed(int N)
{
    ui->ymax_label->setText(crop::slider_label("Y", crop::slider_coordinate(N, y_step, y_first)));
    emit change_front(N);
}

void SliderWindow::top_changed(int N)
{
    ui->zmax_label->setText(crop::slider_label("Z", crop::slider_coordinate(N, z_step, z_first)));
    emit change_top(N);
}

void SliderWindow::bottom_changed(int N)
{
    ui->zmin_label->setText(crop::slider_label("Z", crop::slider_coordinate(N, z_step, z_first)));
    emit change_bottom(N);
}

void SliderWindow::update_labels()
{
    auto text = [](const char* letter, int N, double step, double first) {
        return crop::slider_label(QString::fromLatin1(letter), crop::slider_coordinate(N, step, first));
    };
    ui->xmin_label->setText(text("X", ui->leftSlider->value(), x_step, x_first));
    ui->xmax_label->setText(text("X", ui->rightSlider->value(), x_step, x_first));
    ui->ymin_label->setText(text("Y", ui->backSlider->value(), y_step, y_first));
    ui->ymax_label->setText(text("Y", ui->frontSlider->value(), y_step, y_first));
    ui->zmax_label->setText(text("Z", ui->topSlider->value(), z_step, z_first));
    ui->zmin_label->setText(text("Z", ui->bottomSlider->value(), z_step, z_first));
}
