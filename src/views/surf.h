#pragma once
// The object behind the 3D view: wraps the Q3DSurface graph and keeps what the
// graph itself does not (the extent of what is drawn, the series it created,
// the colour range, gradient and alpha of the cube-face textures).
//
// Built over a null graph (no OpenGL context) every operation does nothing.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QVector3D>
#include <QtDataVisualization/Q3DSurface>
#include <qcustomplot.h>
#include <vector>

class Surf : public QObject
{
    Q_OBJECT

public:
    explicit Surf(QtDataVisualization::Q3DSurface* graph);
    ~Surf() override;

    // Axis ranges from the bounds, widened by 2.5 % of their span on each side:
    // x on the graph's X axis, depth on its Y axis, y on its Z axis.
    void updateAxesRanges();
    // Removes every cube-face and horizon series and resets the bounds.
    void clearSurfaces();
    // Removes every fault series.
    void clearFaults();
    // Replaces the fault series by one red surface per fault, its rows the
    // sticks (sorted by depth, shorter ones padded with their deepest point).
    void addFaults(std::vector<std::vector<std::vector<QVector3D>>> sticks,
                   std::vector<QString>& names);
    void setFaultsVisible(bool visible);
    void setAlpha(int alpha);

    QtDataVisualization::Q3DSurface* graph = nullptr;
    double min_x = 1e10, min_y = 1e10, min_z = 1e10;
    double max_x = -1e10, max_y = -1e10, max_z = -1e10;
    QVector<QtDataVisualization::QSurfaceDataProxy*> proxies;
    QVector<QtDataVisualization::QSurface3DSeries*> surfaces;
    QVector<QtDataVisualization::QSurface3DSeries*> fault_series;
    double texture_min = 0, texture_max = 0;
    QCPColorGradient gradient{QCPColorGradient::gpJet};
    int alpha = 255;

public slots:
    void changeTheme(int theme);
    void point_selected(QPoint position);
    // Position in `surfaces` of the graph's selected series, -1 when none.
    int selectedHorizon();
    // Selected point of the graph's selected series, (-1, -1) when none.
    QPoint selectedPoint();

signals:
    void selectedSeriesChanged(QtDataVisualization::QSurface3DSeries* series);
    void selectedPoint(const QPoint& position);

private slots:
    void selectedSeries(QtDataVisualization::QSurface3DSeries* series);

private:
    QPointer<QtDataVisualization::Q3DSurface> graph_guard;
};
