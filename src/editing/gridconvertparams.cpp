#include "editing/gridconvertparams.h"

#include "common/text_numbers.h"
#include "editing/regrid3d.h"
#include "ui_gridconvertparams.h"

#include <QLineEdit>

#include <cmath>

namespace {

// Every field shows the shortest text of its value, so OK without an edit
// sends back the very numbers the dialog was given.
QString number(double v)
{
    return text_numbers::field_text(v);
}

// The node count an axis shows (the count OK will use): empty while the
// step is 0 or a field cannot give a count.
QString count_text(const QLineEdit* min, const QLineEdit* max, const QLineEdit* step)
{
    const double lo = min->text().toDouble();
    const double hi = max->text().toDouble();
    const double s = step->text().toDouble();
    if (s == 0.0 || !std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(s))
        return QString();
    const double n = (hi - lo) / s + 1.0;
    if (!std::isfinite(n) || std::fabs(n) >= 2147483647.0)
        return QString();
    return QString::number(regrid::axis_count(lo, hi, s));
}

}  // namespace

GridConvertParams::GridConvertParams(QWidget* parent) : QDialog(parent), ui(new Ui::GridConvertParams)
{
    ui->setupUi(this);
    for (QLineEdit* edit : {ui->minX, ui->maxX, ui->dx, ui->minY, ui->maxY, ui->dy, ui->minZ, ui->maxZ, ui->dz})
        connect(edit, &QLineEdit::textChanged, this, &GridConvertParams::update_n);
}

GridConvertParams::~GridConvertParams()
{
    delete ui;
}

void GridConvertParams::setLanguage(int language)
{
    const char* centred = "<html><head/><body><p align=\"center\">%1</p></body></html>";
    if (language == 1) {
        setWindowTitle(QStringLiteral("Grid parameters"));
        ui->label_4->setText(QString::fromLatin1(centred).arg(QStringLiteral("X, m")));
        ui->label_7->setText(QString::fromLatin1(centred).arg(QStringLiteral("Y, m")));
        ui->label_5->setText(QString::fromLatin1(centred).arg(QStringLiteral("Z, m")));
        ui->Cancelbutton->setText(QStringLiteral("Cancel"));
    } else if (language == 0) {
        setWindowTitle(QString::fromUtf8("Параметры сетки"));
        ui->label_4->setText(QString::fromLatin1(centred).arg(QString::fromUtf8("X, м")));
        ui->label_7->setText(QString::fromLatin1(centred).arg(QString::fromUtf8("Y, м")));
        ui->label_5->setText(QString::fromLatin1(centred).arg(QString::fromUtf8("Z, м")));
        ui->Cancelbutton->setText(QString::fromUtf8("Отмена"));
    }
}

void GridConvertParams::setValues(std::vector<double> values)
{
    if (values.size() < 9)
        return;
    QLineEdit* fields[9] = {ui->minX, ui->maxX, ui->dx, ui->minY, ui->maxY, ui->dy, ui->minZ, ui->maxZ, ui->dz};
    for (int i = 0; i < 9; ++i)
        fields[i]->setText(number(values[static_cast<std::size_t>(i)]));
}

void GridConvertParams::setSurferValues(std::vector<double> values)
{
    if (values.size() < 6)
        return;
    const double nx = values[0], ny = values[1];
    // A single node along an axis has no step: the field shows 0 until one
    // is typed. Otherwise the step is the shortest decimal that spans the
    // grid's own nodes.
    auto step = [](double first, double last, double n) {
        if (!(n > 1) || !(n < 2147483647.0))
            return 0.0;
        return regrid::shown_step(first, last, static_cast<int>(n), (last - first) / (n - 1));
    };
    const double dx = step(values[2], values[3], nx);
    const double dy = step(values[4], values[5], ny);
    ui->minX->setText(number(values[2]));
    ui->maxX->setText(number(values[3]));
    ui->dx->setText(number(dx));
    ui->minY->setText(number(values[4]));
    ui->maxY->setText(number(values[5]));
    ui->dy->setText(number(dy));
}

void GridConvertParams::hideZ()
{
    ui->minZ->hide();
    ui->maxZ->hide();
    ui->dz->hide();
    ui->Nz->hide();
    ui->label_5->hide();
}

void GridConvertParams::update_n()
{
    ui->Nx->setText(count_text(ui->minX, ui->maxX, ui->dx));
    ui->Ny->setText(count_text(ui->minY, ui->maxY, ui->dy));
    ui->Nz->setText(count_text(ui->minZ, ui->maxZ, ui->dz));
}

void GridConvertParams::on_OKbutton_clicked()
{
    const double minX = ui->minX->text().toDouble(), maxX = ui->maxX->text().toDouble(),
                 dx = ui->dx->text().toDouble();
    const double minY = ui->minY->text().toDouble(), maxY = ui->maxY->text().toDouble(),
                 dy = ui->dy->text().toDouble();
    const double minZ = ui->minZ->text().toDouble(), maxZ = ui->maxZ->text().toDouble(),
                 dz = ui->dz->text().toDouble();

    // A step of 0, a field that is not a finite number or a count beyond the
    // int range gives no node (count 0), so that axis's maximum falls below
    // its minimum and its records are not emitted.
    const int nx = regrid::axis_count(minX, maxX, dx);
    const int ny = regrid::axis_count(minY, maxY, dy);
    const int nz = regrid::axis_count(minZ, maxZ, dz);
    const double snappedX = regrid::snapped_max(minX, maxX, dx, nx);
    const double snappedY = regrid::snapped_max(minY, maxY, dy, ny);
    const double snappedZ = regrid::snapped_max(minZ, maxZ, dz, nz);

    close();

    const bool xy_finite = std::isfinite(minX) && std::isfinite(dx) && std::isfinite(snappedX) &&
                           std::isfinite(minY) && std::isfinite(dy) && std::isfinite(snappedY);
    const bool z_finite = std::isfinite(minZ) && std::isfinite(dz) && std::isfinite(snappedZ);
    if (!xy_finite || !(snappedX > minX))
        return;
    if (z_finite && snappedY > minY && snappedZ > minZ && dx > 0 && dy > 0 && dz > 0)
        emit GridConvertParamsSignal({minX, snappedX, dx, minY, snappedY, dy, minZ, snappedZ, dz});
    if (!(snappedY > minY))
        return;
    if (dx > 0 && dy > 0 && nx > 1 && ny > 1)
        emit SurferGridParams({double(nx), double(ny), minX, snappedX, minY, snappedY});
    if (z_finite && snappedZ > minZ)
        emit MinMaxSignal({minX, snappedX, minY, snappedY, minZ, snappedZ});
}

void GridConvertParams::on_Cancelbutton_clicked()
{
    close();
}
