#include "formats/importtm2dfiles.h"

#include "ui_importtm2dfiles.h"

#include <QFileInfo>
#include <QHeaderView>

#include <algorithm>
#include <cmath>

namespace {

// Cell (row, column) of the table as a number; missing or unreadable: 0.
double cellValue(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text().toDouble() : 0.0;
}

// Range of [low, high] widened by a tenth of its width on each side; a point
// gets a unit range around it, so the axis always has a width.
QCPRange widened(double low, double high)
{
    const double width = high - low;
    if (!(width > 0))
        return QCPRange(low - 1, high + 1);
    return QCPRange(low - width / 10, high + width / 10);
}

}  // namespace

ImportTM2Dfiles::ImportTM2Dfiles(QWidget* parent) : QDialog(parent), ui(new Ui::ImportTM2Dfiles)
{
    ui->setupUi(this);
    ui->filesTable->horizontalHeader()->setStretchLastSection(true);
}

ImportTM2Dfiles::~ImportTM2Dfiles()
{
    delete ui;
}

void ImportTM2Dfiles::setFilesCount(int n)
{
    ui->filesTable->setRowCount(std::max(n, 0));
}

void ImportTM2Dfiles::setFiles(const QStringList& files)
{
    QTableWidget* table = ui->filesTable;
    if (table->rowCount() < files.size())
        table->setRowCount(files.size());
    for (int i = 0; i < files.size(); ++i) {
        table->setItem(i, 0, new QTableWidgetItem(QString::number(i)));
        table->setItem(i, 1, new QTableWidgetItem(QString::number(-i)));
        table->setItem(i, 2, new QTableWidgetItem(QString::number(i + 1)));
        table->setItem(i, 3, new QTableWidgetItem(QString::number(1 - i)));
        auto* name = new QTableWidgetItem(QFileInfo(files[i]).baseName());
        name->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table->setItem(i, 4, name);
    }
}

void ImportTM2Dfiles::on_OkButton_clicked()
{
    close();
}

void ImportTM2Dfiles::on_CancelButton_clicked()
{
    close();
}

void ImportTM2Dfiles::on_tabWidget_currentChanged(int index)
{
    if (index == 1 && ui->filesTable->rowCount() > 0)
        on_pushButton_clicked();
}

void ImportTM2Dfiles::on_pushButton_clicked()
{
    const QTableWidget* table = ui->filesTable;
    QCustomPlot* map = ui->profiles_map;
    map->clearGraphs();
    map->clearItems();
    map->clearPlottables();
    const int rows = table->rowCount();
    if (rows == 0) {
        map->replot();
        return;
    }

    const double a = ui->input_azimuth->text().toDouble() / 180.0 * 3.141592653589793;
    const double c = std::cos(a), s = std::sin(a);
    // A point (x, y) in the turned frame.
    auto turnedX = [c, s](double x, double y) { return x * c - y * s; };
    auto turnedY = [c, s](double x, double y) { return x * s + y * c; };

    double xmin = cellValue(table, 0, 0), xmax = xmin;
    double ymin = cellValue(table, 0, 1), ymax = ymin;
    double tx_min = turnedX(xmin, ymin), tx_max = tx_min;
    double ty_min = turnedY(xmin, ymin), ty_max = ty_min;

    const QPen profilePen(QBrush(Qt::red), 3, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    for (int i = 0; i < rows; ++i) {
        const double x0 = cellValue(table, i, 0), y0 = cellValue(table, i, 1);
        const double x1 = cellValue(table, i, 2), y1 = cellValue(table, i, 3);
        xmin = std::min({xmin, x0, x1});
        xmax = std::max({xmax, x0, x1});
        ymin = std::min({ymin, y0, y1});
        ymax = std::max({ymax, y0, y1});
        for (const auto& [px, py] : {std::pair<double, double>{x0, y0}, std::pair<double, double>{x1, y1}}) {
            tx_min = std::min(tx_min, turnedX(px, py));
            tx_max = std::max(tx_max, turnedX(px, py));
            ty_min = std::min(ty_min, turnedY(px, py));
            ty_max = std::max(ty_max, turnedY(px, py));
        }
        QCPGraph* profile = map->addGraph();
        profile->setData(QVector<double>{x0, x1}, QVector<double>{y0, y1});
        profile->setPen(profilePen);
    }
    extent_ = {{xmin, xmax, ymin, ymax}};

    // The enclosing rectangle, its corners turned back to map coordinates.
    auto corner = [c, s](double tx, double ty) { return QPointF(tx * c + ty * s, ty * c - tx * s); };
    const QPointF corners[4] = {corner(tx_min, ty_min), corner(tx_max, ty_min), corner(tx_max, ty_max),
                                corner(tx_min, ty_max)};
    QVector<double> bx, by;
    for (int k = 0; k <= 4; ++k) {
        bx << corners[k % 4].x();
        by << corners[k % 4].y();
    }
    auto* box = new QCPCurve(map->xAxis, map->yAxis);
    box->setData(bx, by);
    box->setPen(QPen(Qt::black));

    // The turned frame's axes: arrows from the first corner along both sides.
    auto arrow = [map](const QPointF& from, const QPointF& to) {
        auto* line = new QCPItemLine(map);
        line->start->setCoords(from);
        line->end->setCoords(to);
        line->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10));
    };
    auto label = [map](const QPointF& at, const QString& text, Qt::Alignment alignment, const QMargins& padding) {
        auto* item = new QCPItemText(map);
        item->position->setType(QCPItemPosition::ptPlotCoords);
        item->position->setCoords(at);
        item->setText(text);
        item->setPositionAlignment(alignment);
        item->setPadding(padding);
    };
    arrow(corners[0], corners[1]);
    label(corners[1], QStringLiteral("X"), Qt::AlignLeft | Qt::AlignVCenter, QMargins());
    arrow(corners[0], corners[3]);
    label(corners[3], QStringLiteral("y"), Qt::AlignBottom | Qt::AlignHCenter, QMargins(8, 0, 0, 0));

    map->xAxis->setRange(widened(xmin, xmax));
    map->yAxis->setRange(widened(ymin, ymax));
    map->replot();
}
