#include "views/horizontalslicedialog.h"

#include "ui_horizontalslicedialog.h"

#include "app/interaction.h"
#include "app/texts.h"
#include "formats/bln.h"
#include "common/text_numbers.h"
#include "views/field_maps.h"
#include "views/view3d_rules.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMenu>

#include <algorithm>
#include <cmath>

namespace {

// A coordinate in a line field: the shortest text that reads back to the
// same number, so that pressing Enter never moves the line.
QString fieldText(double v)
{
    return text_numbers::shortest(v);
}

QCPRange spanOf(const std::vector<double>& a, const std::vector<double>& b = {})
{
    double lo = 0, hi = 0;
    bool any = false;
    for (const std::vector<double>* v : {&a, &b})
        for (double x : *v) {
            if (!std::isfinite(x))
                continue;
            lo = any ? std::min(lo, x) : x;
            hi = any ? std::max(hi, x) : x;
            any = true;
        }
    return QCPRange(lo, hi);
}

const QColor darkYellow(Qt::darkYellow);

// The extent drawn for cells centred from `first` to `last`: the two, or
// `half` on each side of a single cell's centre.
QCPRange cellSpan(double first, double last, double half)
{
    if (first != last)
        return QCPRange(first, last);
    if (!(half > 0) || !std::isfinite(half))
        half = 0.5;
    return QCPRange(first - half, first + half);
}

}  // namespace

HorizontalSliceDialog::HorizontalSliceDialog(QWidget* parent) : QDialog(parent), ui(new Ui::HorizontalSliceDialog)
{
    ui->setupUi(this);
    setStyleSheet(QStringLiteral("QDialog {background: 'white';}"));
    setWindowFlags(windowFlags() | Qt::Window);

    connect(this, SIGNAL(resizeEvent(QResizeEvent*)), this, SLOT(resizeSlot(QResizeEvent*)));
    for (QLineEdit* field : {ui->xmin, ui->xmax, ui->ymin, ui->ymax, ui->dx})
        connect(field, SIGNAL(returnPressed()), this, SLOT(replotProfile()));
    connect(ui->map, SIGNAL(plottableClick(QCPAbstractPlottable*, int, QMouseEvent*)), this,
            SLOT(plottableClick(QCPAbstractPlottable*, int, QMouseEvent*)));

    // The section's colour bar sits right of the section, hidden until a
    // section is drawn; so are the section's axes.
    color_scale = new QCPColorScale(ui->densitySlice);
    ui->densitySlice->plotLayout()->addElement(0, 1, color_scale);
    color_scale->setVisible(false);
    ui->densitySlice->axisRect()->setVisible(false);

    ui->map->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
    ui->setCoordsFromProfile->hide();
}

HorizontalSliceDialog::~HorizontalSliceDialog()
{
    delete ui;
}

QCustomPlot* HorizontalSliceDialog::mapPlot() const { return ui->map; }
QCustomPlot* HorizontalSliceDialog::sectionPlot() const { return ui->densitySlice; }
QCustomPlot* HorizontalSliceDialog::profilePlot() const { return ui->gGraphs; }

// ---------------------------------------------------------------------------
// Setters

void HorizontalSliceDialog::setLanguage(int language)
{
    lang = language;
    const bool en = lang != 0;
    setWindowTitle(en ? QStringLiteral("Slices export") : QStringLiteral("Экспорт срезов"));
    ui->titleLabel->setText(en ? QStringLiteral("Line parameters") : QStringLiteral("Параметры линии среза"));
    ui->xLabel->setText(en ? QStringLiteral("X, m") : QStringLiteral("X, м"));
    ui->yLabel->setText(en ? QStringLiteral("Y, m") : QStringLiteral("Y, м"));
    ui->minLabel->setText(en ? QStringLiteral("Start") : QStringLiteral("Начало"));
    ui->maxLabel->setText(en ? QStringLiteral("End") : QStringLiteral("Конец"));
    ui->stepLabel->setText(en ? QStringLiteral("Step, m") : QStringLiteral("Шаг по профилю, м"));
    ui->importCoordinates->setText(en ? QStringLiteral("Import BLN") : QStringLiteral("Импорт BLN"));
    ui->setCoordinates->setText(en ? QStringLiteral("Set coordinates") : QStringLiteral("Обновить координаты"));
    ui->saveSlice->setText(en ? QStringLiteral("Export") : QStringLiteral("Экспорт"));
}

void HorizontalSliceDialog::setGradient(QCPColorGradient g, double min, double max)
{
    gradient = g;
    sections[0].min = min;
    sections[0].max = max;
}

void HorizontalSliceDialog::setModelBounds(double x_first, double x_last, double y_first, double y_last)
{
    outline_bounds = {{x_first, x_last, y_first, y_last}};
    plotCube();
}

void HorizontalSliceDialog::setLineCoordinates(double x_start, double x_end, double y_start, double y_end,
                                               double step)
{
    ui->xmin->setText(fieldText(x_start));
    ui->xmax->setText(fieldText(x_end));
    ui->ymin->setText(fieldText(y_start));
    ui->ymax->setText(fieldText(y_end));
    ui->dx->setText(fieldText(step));
    redrawLine(x_start, x_end, y_start, y_end, step);
}

void HorizontalSliceDialog::setDepthType(int type)
{
    ui->depthType->setCurrentIndex(type == 1 ? 1 : 0);
}

void HorizontalSliceDialog::keepSection(int type, std::vector<std::vector<double>>& s, std::vector<double>& x,
                                        std::vector<double>& z)
{
    CubeSection& c = sections[std::size_t(type - 1)];
    if (!x.empty() && !z.empty() && !s.empty()) {
        c.values = s;
        c.x = x;
        c.z = z;
        c.params = section::slice_params(x, z);
    }
    if (slice_type == type)
        plotDenSlice();
}

void HorizontalSliceDialog::setDensitySlice(std::vector<std::vector<double>>& dens, std::vector<double>& x_coords,
                                            std::vector<double>& z_coords)
{
    keepSection(1, dens, x_coords, z_coords);
}

void HorizontalSliceDialog::setVpSlice(std::vector<std::vector<double>>& Vp, std::vector<double>& x_coords,
                                       std::vector<double>& z_coords, double min_Vp, double max_Vp)
{
    sections[1].min = min_Vp;
    sections[1].max = max_Vp;
    keepSection(2, Vp, x_coords, z_coords);
}

void HorizontalSliceDialog::setVsSlice(std::vector<std::vector<double>>& Vs, std::vector<double>& x_coords,
                                       std::vector<double>& z_coords, double min_Vs, double max_Vs)
{
    sections[2].min = min_Vs;
    sections[2].max = max_Vs;
    keepSection(3, Vs, x_coords, z_coords);
}

void HorizontalSliceDialog::setRegSlice(std::vector<std::vector<double>>& R, std::vector<double>& x_coords,
                                        std::vector<double>& z_coords, double min_R, double max_R)
{
    sections[3].min = min_R;
    sections[3].max = max_R;
    keepSection(4, R, x_coords, z_coords);
}

void HorizontalSliceDialog::setHorizonsDepths(std::vector<std::vector<double>>& depths,
                                              std::vector<double>& x_coords)
{
    hor_depths = depths;
    hor_x = x_coords;
    plotHorizons();
}

void HorizontalSliceDialog::setVzCalcSlice(std::vector<double>& Vz, std::vector<double>& x_coords)
{
    Vz_calc = Vz;
    Vz_calc_x = x_coords;
}

void HorizontalSliceDialog::setVzObsSlice(std::vector<double>& Vz, std::vector<double>& x_coords)
{
    Vz_obs = Vz;
    Vz_x = x_coords;
}

void HorizontalSliceDialog::setVzResidSlice(std::vector<double>& Vz, std::vector<double>& x_coords)
{
    Vz_resid = Vz;
    Vz_x = x_coords;
    const QString number = QString::number(section::rms(Vz_resid), 'g', 6);
    ui->mse_label->setText(byLanguage(lang, "СКО = ± ", "RMSE = ± ") + number + byLanguage(lang, "  мГал", " mGal"));
}

void HorizontalSliceDialog::setProfiles(std::vector<std::vector<double>>& coords)
{
    profiles = coords;
    plotProfiles();
}

void HorizontalSliceDialog::setFaults(std::vector<std::vector<std::vector<QVector3D>>>& sticks,
                                      std::vector<QString>& names)
{
    faults = sticks;
    fault_names = names;
    section::sort_sticks_by_depth(faults);
    plotFaultsOnMap();
    calcIntersectedFaults();
    plotFaultsOnSlice();
}

// ---------------------------------------------------------------------------
// The line and the map

void HorizontalSliceDialog::lineFromFields(double& xs, double& xe, double& ys, double& ye) const
{
    xs = ui->xmin->text().toDouble();
    xe = ui->xmax->text().toDouble();
    ys = ui->ymin->text().toDouble();
    ye = ui->ymax->text().toDouble();
}

void HorizontalSliceDialog::replotProfile()
{
    double xs, xe, ys, ye;
    lineFromFields(xs, xe, ys, ye);
    redrawLine(xs, xe, ys, ye, ui->dx->text().toDouble());
}

void HorizontalSliceDialog::drawMap(const std::optional<Line>& line)
{
    ui->map->clearPlottables();
    plotCube();
    plotProfiles();
    plotFaultsOnMap();
    if (line) {
        auto* curve = new QCPCurve(ui->map->xAxis, ui->map->yAxis);
        curve->setData(QVector<double>{0, 1}, QVector<double>{line->xs, line->xe},
                       QVector<double>{line->ys, line->ye});
        curve->setPen(QPen(Qt::red));
    }
    ui->map->replot();
}

// The line becomes the sampled one as it is announced, so that the sections
// the extraction sends back meanwhile get their crossings from it; a refusal
// during the announcement (refuseLine) puts the previous one back.
void HorizontalSliceDialog::redrawLine(double x_start, double x_end, double y_start, double y_end, double step)
{
    const Line line{x_start, x_end, y_start, y_end, step};
    drawMap(line);
    previous_line = sampled_line;
    sampled_line = line;
    emit coordsSelected(x_start, x_end, y_start, y_end, step);
}

bool HorizontalSliceDialog::sampledLine(double& x_start, double& x_end, double& y_start, double& y_end,
                                        double& step) const
{
    if (!sampled_line)
        return false;
    x_start = sampled_line->xs;
    x_end = sampled_line->xe;
    y_start = sampled_line->ys;
    y_end = sampled_line->ye;
    step = sampled_line->step;
    return true;
}

void HorizontalSliceDialog::refuseLine()
{
    sampled_line = previous_line;
    if (sampled_line) {
        ui->xmin->setText(fieldText(sampled_line->xs));
        ui->xmax->setText(fieldText(sampled_line->xe));
        ui->ymin->setText(fieldText(sampled_line->ys));
        ui->ymax->setText(fieldText(sampled_line->ye));
        ui->dx->setText(fieldText(sampled_line->step));
    }
    drawMap(sampled_line);
}

void HorizontalSliceDialog::plotCube()
{
    QCustomPlot* map = ui->map;
    const double x0 = outline_bounds[0], x1 = outline_bounds[1];
    const double y0 = outline_bounds[2], y1 = outline_bounds[3];
    auto* outline = new QCPCurve(map->xAxis, map->yAxis);
    outline->setData(QVector<double>{0, 1, 2, 3, 4}, QVector<double>{x0, x1, x1, x0, x0},
                     QVector<double>{y0, y0, y1, y1, y0});
    outline->setPen(QPen(Qt::black));

    // A square view around the outline with a 5 % margin.
    double h = 0.5 * 1.05 * std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
    if (!(h > 0))
        h = 1;
    const double cx = 0.5 * (x0 + x1), cy = 0.5 * (y0 + y1);
    map->xAxis->setRange(cx - h, cx + h);
    map->yAxis->setRange(cy - h, cy + h);
    const bool en = lang != 0;
    map->xAxis->setLabel(en ? QStringLiteral("X, m") : QStringLiteral("X, м"));
    map->yAxis->setLabel(en ? QStringLiteral("Y, m") : QStringLiteral("Y, м"));
    map->replot();
}

void HorizontalSliceDialog::plotProfiles()
{
    QCustomPlot* map = ui->map;
    // A profile is named after its place in the scheme, so that the number
    // in its name always selects it.
    for (std::size_t k = 0; k < profiles.size(); ++k)
        if (QCPCurve* curve = addPolylineCurve(map, profiles[k]))
            curve->setName(byLanguage(lang, "Профиль ", "Profile ") + QString::number(k + 1));
    map->replot();
}

void HorizontalSliceDialog::plotFaultsOnMap()
{
    QCustomPlot* map = ui->map;
    for (std::size_t f = 0; f < faults.size(); ++f) {
        QVector<double> t, x, y;
        for (const std::vector<QVector3D>& stick : faults[f]) {
            if (stick.empty())
                continue;  // a stick without points has no place on the trace
            t.append(t.size());
            x.append(stick.front().x());
            y.append(stick.front().y());
        }
        if (t.isEmpty())
            continue;
        auto* curve = new QCPCurve(map->xAxis, map->yAxis);
        curve->setData(t, x, y);
        curve->setPen(QPen(Qt::darkMagenta));
        if (f < fault_names.size())
            curve->setName(fault_names[f]);
    }
}

void HorizontalSliceDialog::plottableClick(QCPAbstractPlottable* plottable, int, QMouseEvent*)
{
    if (!plottable)
        return;
    const QString name = plottable->name();
    ui->infoLabel->setText(QStringLiteral("<html> <font color='red'>") + name + QStringLiteral("</html>"));
    ui->setCoordsFromProfile->setVisible(name.contains(QStringLiteral("Профиль")) ||
                                         name.contains(QStringLiteral("Profile")));
}

void HorizontalSliceDialog::on_setCoordsFromProfile_clicked()
{
    const QList<QCPAbstractPlottable*> selected = ui->map->selectedPlottables();
    if (selected.isEmpty())
        return;
    const QString name = selected.front()->name();
    if (!name.contains(QStringLiteral("Профиль")) && !name.contains(QStringLiteral("Profile")))
        return;
    const int k = name.mid(7).trimmed().toInt();
    // Anything but a profile of the scheme leaves the line as it is.
    if (k < 1 || std::size_t(k) > profiles.size() || profiles[std::size_t(k - 1)].size() < 4)
        return;
    const std::vector<double>& p = profiles[std::size_t(k - 1)];
    ui->xmin->setText(fieldText(p[0]));
    ui->ymin->setText(fieldText(p[1]));
    ui->xmax->setText(fieldText(p[2]));
    ui->ymax->setText(fieldText(p[3]));
    replotProfile();
}

void HorizontalSliceDialog::on_setCoordinates_clicked()
{
    replotProfile();
}

void HorizontalSliceDialog::on_importCoordinates_clicked()
{
    const QString path = interaction()->openFileName(this, QStringLiteral("Open file"), QString(),
                                                     QStringLiteral("*.bln"));
    if (path.isEmpty())
        return;
    const QString error = byLanguage(lang, "Ошибка в BLN файле ", "BLN error");
    std::vector<bln_polyline> lines;
    const CodecStatus status = read_bln_polylines(path, lines, 1);
    if (!status) {
        interaction()->error(error + QLatin1Char('\n') + status.message(lang));
        return;
    }
    // The line runs between the first two points of the first polyline.
    if (lines.empty() || lines.front().size() < 4) {
        interaction()->error(error);
        return;
    }
    const bln_polyline& p = lines.front();
    ui->xmin->setText(fieldText(p[0]));
    ui->ymin->setText(fieldText(p[1]));
    ui->xmax->setText(fieldText(p[2]));
    ui->ymax->setText(fieldText(p[3]));
    replotProfile();
}

void HorizontalSliceDialog::on_depthType_currentIndexChanged(int index)
{
    emit dirChanged(index);
}

void HorizontalSliceDialog::resizeSlot(QResizeEvent*)
{
}

// ---------------------------------------------------------------------------
// The section

QString HorizontalSliceDialog::sectionLabel(int type) const
{
    const bool en = lang != 0;
    switch (type) {
    case 2:
        return en ? QStringLiteral("Vp, m/s") : QStringLiteral("Vp, м/с");
    case 3:
        return en ? QStringLiteral("Vs, m/s") : QStringLiteral("Vs, м/с");
    case 4:
        return QStringLiteral("R");
    default:
        return en ? QStringLiteral("σ, g/cm3") : QStringLiteral("σ, г/см3");
    }
}

void HorizontalSliceDialog::plotDenSlice()
{
    QCustomPlot* plot = ui->densitySlice;
    plot->clearPlottables();

    const CubeSection& c = sections[std::size_t(std::clamp(slice_type, 1, 4) - 1)];
    const int samples = c.params.size() >= 6 ? int(c.params[0]) : 0;
    const int levels = c.params.size() >= 6 ? std::min(int(c.params[1]), int(c.values.size())) : 0;
    if (samples <= 0 || levels <= 0) {
        plot->replot();
        return;
    }

    QCPAxisRect* rect = plot->axisRect();
    rect->setVisible(true);
    if (!rect->property("tolmera_full_box").toBool()) {
        rect->setupFullAxesBox(true);
        rect->setProperty("tolmera_full_box", true);
    }
    // A section of one sample (a line one to two steps long) or of one level
    // is drawn as a band of one step or of 1 m around it.
    const QCPRange distances = cellSpan(c.params[2], c.params[3], sampled_line ? 0.5 * sampled_line->step : 0.5);
    const QCPRange depths = cellSpan(c.params[4], c.params[5], 0.5);
    plot->xAxis->setRange(distances);
    plot->yAxis->setRange(depths);

    auto* map = new QCPColorMap(plot->xAxis, plot->yAxis);
    map->data()->setSize(samples, levels);
    map->data()->setRange(distances, depths);
    for (int k = 0; k < levels; ++k) {
        const std::vector<double>& row = c.values[std::size_t(k)];
        const int n = std::min(samples, int(row.size()));
        for (int i = 0; i < n; ++i)
            map->data()->setCell(i, k, row[std::size_t(i)]);
    }

    // Attaching copies the scale's gradient and range into the map, so both
    // are set afterwards.
    map->setColorScale(color_scale);
    color_scale->setVisible(true);
    color_scale->setType(QCPAxis::atRight);
    color_scale->axis()->setLabel(sectionLabel(slice_type));
    color_scale->setGradient(gradient);
    map->setGradient(gradient);
    // A constant cube has a range of no width, which colours nothing: it is
    // widened as the 3D view's colour bar widens it.
    const auto range = view3d::usable_range(c.min, c.max);
    color_scale->setDataRange(QCPRange(range.first, range.second));
    map->setDataRange(QCPRange(range.first, range.second));

    const bool en = lang != 0;
    plot->xAxis->setLabel(en ? QStringLiteral("X, m") : QStringLiteral("X, м"));
    plot->yAxis->setLabel(en ? QStringLiteral("Z, m") : QStringLiteral("Z, м"));
    plot->yAxis->setRangeReversed(true);
    map->rescaleAxes();

    // The distance axes of the section and of the profiles start and end at
    // the same horizontal positions.
    if (!margin_group) {
        margin_group = new QCPMarginGroup(plot);
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, margin_group);
        ui->gGraphs->axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, margin_group);
    }

    calcIntersectedFaults();
    plotFaultsOnSlice();
    plot->replot();
}

void HorizontalSliceDialog::plotHorizons()
{
    QCustomPlot* plot = ui->densitySlice;
    plot->clearGraphs();
    QVector<double> keys(hor_x.begin(), hor_x.end());
    for (const std::vector<double>& row : hor_depths) {
        const int n = std::min(keys.size(), int(row.size()));
        QCPGraph* g = plot->addGraph(plot->xAxis, plot->yAxis);
        g->setLineStyle(QCPGraph::lsLine);
        g->setPen(QPen(QBrush(Qt::magenta), 3, Qt::SolidLine));
        g->setData(keys.mid(0, n), QVector<double>(row.begin(), row.begin() + n), true);
    }
    plot->replot();
}

// The crossings with the line the sections describe, not with what the fields
// hold meanwhile.
void HorizontalSliceDialog::calcIntersectedFaults()
{
    fault_crossings.clear();
    if (sampled_line)
        fault_crossings =
            section::fault_crossings(sampled_line->xs, sampled_line->ys, sampled_line->xe, sampled_line->ye, faults);
}

void HorizontalSliceDialog::plotFaultsOnSlice()
{
    QCustomPlot* plot = ui->densitySlice;
    // The crossings of an earlier call go first.
    QList<QCPAbstractPlottable*> old;
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (plot->plottable(i)->property("tolmera_crossing").toBool())
            old.append(plot->plottable(i));
    for (QCPAbstractPlottable* p : old)
        plot->removePlottable(p);

    for (const section::Crossing& crossing : fault_crossings) {
        QVector<double> t, d, z;
        for (const section::CrossingPoint& p : crossing) {
            t.append(t.size());
            d.append(p.distance);
            z.append(p.depth);
        }
        auto* curve = new QCPCurve(plot->xAxis, plot->yAxis);
        curve->setData(t, d, z);
        curve->setPen(QPen(Qt::darkMagenta));
        curve->setProperty("tolmera_crossing", true);
    }
}

void HorizontalSliceDialog::showType(int type)
{
    slice_type = type;
    plotDenSlice();
    plotHorizons();
}

void HorizontalSliceDialog::showDens() { showType(1); }
void HorizontalSliceDialog::showVp() { showType(2); }
void HorizontalSliceDialog::showVs() { showType(3); }
void HorizontalSliceDialog::showR() { showType(4); }

void HorizontalSliceDialog::on_densitySlice_customContextMenuRequested(QPoint pos)
{
    const bool en = lang != 0;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const struct
    {
        int type;
        QString text;
        const char* slot;
    } items[] = {{1, en ? QStringLiteral("Density") : QStringLiteral("Плотность"), SLOT(showDens())},
                 {2, QStringLiteral("Vp"), SLOT(showVp())},
                 {3, QStringLiteral("Vs"), SLOT(showVs())},
                 {4, en ? QStringLiteral("Regularizer") : QStringLiteral("Регуляризатор"), SLOT(showR())}};
    for (const auto& item : items) {
        if (sections[std::size_t(item.type - 1)].values.empty())
            continue;
        QAction* action = menu->addAction(item.text, this, item.slot);
        if (item.type == slice_type) {
            action->setCheckable(true);
            action->setChecked(true);
        }
    }
    menu->popup(ui->densitySlice->mapToGlobal(pos));
}

// ---------------------------------------------------------------------------
// The profiles

void HorizontalSliceDialog::plotVz()
{
    QCustomPlot* plot = ui->gGraphs;
    plot->clearGraphs();
    if (Vz_calc.empty() && Vz_obs.empty()) {
        plot->replot();
        return;
    }
    const bool en = lang != 0;

    std::vector<double> keys_drawn, values_drawn;
    if (!Vz_calc.empty()) {
        QCPGraph* g = plot->addGraph(plot->xAxis, plot->yAxis);
        const int n = int(std::min(Vz_calc.size(), Vz_calc_x.size()));
        g->setData(QVector<double>(Vz_calc_x.begin(), Vz_calc_x.begin() + n),
                   QVector<double>(Vz_calc.begin(), Vz_calc.begin() + n), true);
        g->setLineStyle(QCPGraph::lsLine);
        g->setPen(QPen(QBrush(Qt::red), 1, Qt::SolidLine));
        g->setName(en ? QStringLiteral("Calculated field") : QStringLiteral("Рассчитанное поле"));
        keys_drawn.insert(keys_drawn.end(), Vz_calc_x.begin(), Vz_calc_x.begin() + n);
        values_drawn.insert(values_drawn.end(), Vz_calc.begin(), Vz_calc.begin() + n);
    }
    if (!Vz_obs.empty()) {
        QCPGraph* g = plot->addGraph(plot->xAxis, plot->yAxis);
        const int n = int(std::min(Vz_obs.size(), Vz_x.size()));
        g->setData(QVector<double>(Vz_x.begin(), Vz_x.begin() + n), QVector<double>(Vz_obs.begin(), Vz_obs.begin() + n),
                   true);
        g->setLineStyle(QCPGraph::lsNone);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, Qt::blue, 2));
        g->setPen(QPen(Qt::blue));
        g->setName(en ? QStringLiteral("Observed field") : QStringLiteral("Наблюденное поле"));
        keys_drawn.insert(keys_drawn.end(), Vz_x.begin(), Vz_x.begin() + n);
        values_drawn.insert(values_drawn.end(), Vz_obs.begin(), Vz_obs.begin() + n);
    }
    plot->xAxis->setRange(spanOf(keys_drawn));
    plot->yAxis->setRange(spanOf(values_drawn));

    if (!Vz_resid.empty()) {
        QCPGraph* g = plot->addGraph(plot->xAxis, plot->yAxis2);
        const int n = int(std::min(Vz_resid.size(), Vz_x.size()));
        g->setData(QVector<double>(Vz_x.begin(), Vz_x.begin() + n),
                   QVector<double>(Vz_resid.begin(), Vz_resid.begin() + n), true);
        g->setLineStyle(QCPGraph::lsLine);
        g->setPen(QPen(QBrush(darkYellow), 1, Qt::SolidLine));
        g->setName(en ? QStringLiteral("Residual field") : QStringLiteral("Остаточное поле"));
        QCPAxis* axis = plot->yAxis2;
        axis->setVisible(true);
        axis->setBasePen(QPen(darkYellow));
        axis->setLabelColor(darkYellow);
        axis->setTickLabelColor(darkYellow);
        axis->setTickPen(QPen(darkYellow));
        axis->setSubTickPen(QPen(darkYellow));
        axis->setRange(spanOf(Vz_resid));
        axis->setLabel(en ? QStringLiteral("δg, mGal") : QStringLiteral("δg, мГал"));
    } else {
        plot->yAxis2->setVisible(false);
    }

    plot->xAxis->setLabel(en ? QStringLiteral("X, m") : QStringLiteral("X, м"));
    plot->yAxis->setLabel(en ? QStringLiteral("dg, mGal") : QStringLiteral("dg, мГал"));
    plot->legend->setVisible(true);
    plot->legend->setBorderPen(Qt::NoPen);
    plot->legend->setBrush(Qt::NoBrush);
    plot->replot();
}

// ---------------------------------------------------------------------------
// Export

bool HorizontalSliceDialog::writeSectionBln(QString path, std::vector<double>& x, std::vector<double>& values,
                                            int sign)
{
    if (path.isEmpty() || x.empty() || x.size() != values.size())
        return false;
    std::vector<double> y(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        y[i] = sign * values[i];
    return write_bln_polyline(path, x, y).ok();
}

bool HorizontalSliceDialog::writeFaultCrossingsBln(QString path, std::vector<section::Crossing>& crossings, int sign)
{
    if (path.isEmpty())
        return false;
    std::vector<bln_polyline> lines;
    for (const section::Crossing& c : crossings) {
        if (c.empty())
            continue;
        bln_polyline line;
        line.reserve(2 * c.size());
        for (const section::CrossingPoint& p : c) {
            line.push_back(text_numbers::decimal_value(p.distance));
            line.push_back(text_numbers::decimal_value(float(sign * p.depth)));
        }
        lines.push_back(std::move(line));
    }
    if (lines.empty())
        return false;
    return write_bln_polylines(path, lines).ok();
}

void HorizontalSliceDialog::on_saveSlice_clicked()
{
    const bool en = lang != 0;
    if (Vz_calc.empty() && Vz_obs.empty() && sections[0].values.empty() && hor_depths.empty()) {
        interaction()->error(en ? QStringLiteral("Slice is empty") : QStringLiteral("Срез пуст"));
        return;
    }
    const QString base = interaction()->saveFileName(this, QStringLiteral("Save slice directory"), QString(),
                                                     QString());
    if (base.isEmpty())
        return;

    const bool positive = ui->depthType->currentIndex() == 1;
    const int depth_sign = positive ? 1 : -1;
    // Every file that was not written, with the reason when one is known; all
    // of them are named in one message at the end.
    QStringList failed;
    auto bln = [&](const QString& ending, std::vector<double>& x, std::vector<double>& v, int sign) {
        const QString name = base + ending;
        if (!writeSectionBln(name, x, v, sign))
            failed << name;
    };

    if (!Vz_calc.empty())
        bln(QStringLiteral(" Vz calc.bln"), Vz_calc_x, Vz_calc, 1);
    if (!Vz_obs.empty())
        bln(QStringLiteral(" Vz obs.bln"), Vz_x, Vz_obs, 1);
    if (!Vz_obs.empty() && !Vz_resid.empty())
        bln(QStringLiteral(" dVz.bln"), Vz_x, Vz_resid, 1);
    for (std::size_t k = 0; k < hor_depths.size(); ++k)
        bln(QStringLiteral(" h") + QString::number(k + 1) + QStringLiteral(".bln"), hor_x, hor_depths[k], depth_sign);

    const bool grids_written =
        receivers(SIGNAL(saveSRF(QString, std::vector<std::vector<double>>&, std::vector<double>&))) > 0;
    const QString grid_endings[] = {QStringLiteral(" density.grd"), QStringLiteral(" Vp.grd"),
                                    QStringLiteral(" Vs.grd"), QStringLiteral(" Reg.grd")};
    for (std::size_t t = 0; t < sections.size(); ++t) {
        if (sections[t].values.empty())
            continue;
        section::ExportGrid g = section::export_grid(sections[t].values, sections[t].params, positive);
        const QString name = base + grid_endings[t];
        // Nothing writes the grid when no receiver is connected.
        if (g.grid.empty() || !grids_written) {
            failed << name;
            continue;
        }
        // The receiver writes the grid and tells why it could not.
        const QString why = saveSRF(name, g.grid, g.params);
        if (!why.isEmpty())
            failed << name + QStringLiteral(": ") + why;
    }

    if (!fault_crossings.empty() && !writeFaultCrossingsBln(base + QStringLiteral(" faults.bln"), fault_crossings, 1))
        failed << base + QStringLiteral(" faults.bln");

    if (failed.isEmpty()) {
        interaction()->notify(QMessageBox::NoIcon, QString(),
                              en ? QStringLiteral("Slices saved") : QStringLiteral("Срезы сохранены"));
    } else {
        interaction()->error((en ? QStringLiteral("These files were not saved:\n")
                                 : QStringLiteral("Не удалось сохранить файлы:\n")) +
                             failed.join(QLatin1Char('\n')));
    }
}
