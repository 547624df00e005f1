#pragma once
// The object behind the 3D view: wraps the Q3DSurface graph and keeps what the
// graph itself does not (the extent of what is drawn, the series it created,
// the colour range, gradient and alpha of the cube-face textures).
//
// Graph positions are (x, depth, y): the vertical axis carries depth and runs
// reversed. After MainWindow::show3Dgrid positions 0 to 5 of `proxies` and
// `surfaces` hold the cube faces bottom, top, left, right, back, front, and
// horizons follow; the horizons-only view starts the lists with the horizons.
//
// The graph opens looking obliquely down on the model with labels readable at
// the window's first size, and is lit by ambient light only, so that the
// faces show exactly the colours of the colour bar. Horizons and faults carry
// their relief in their own colours instead, shaded by a fixed light
// (view3d::relief_light), so that a surface of one colour still shows its
// shape: a horizon in its texture; a fault, on which the graph cannot lay a
// texture (it lays them by plan position, and a fault is mostly vertical),
// in a gradient along its depth.
//
// Every series is handed to the graph cut to the block of its mesh that lies
// inside the X and Z axis ranges (view3d::drawable_block) and, while the
// bounds are window limits (`limited`), inside the bounds in plan and in
// depth (view3d::cut_ranges; a fault is then first cut along its sticks where
// they leave the depth range), so that nothing is drawn on the edge of the
// box. Its texture is cut to match, and a series without such a block is
// taken off the graph until the ranges take it in again: Surf keeps each
// series' whole mesh and texture and cuts them again whenever the ranges
// change (updateAxesRanges). Selected points are given and reported in the
// whole mesh's rows and columns.
//
// The renderer's copies of the series must find their memory at its next
// frame: Surf sets it aside before it hands the graph anything, and leaves
// the view empty when it cannot (render_memory.h).
//
// The graph belongs to its window container; Surf never deletes it and forgets
// it when it goes. The graph deletes the series it holds; those the cut took
// off it are deleted by Surf, when the graph goes or with Surf. Series that
// Surf removes from the graph are deleted with their proxies. Built over a
// null graph (no OpenGL context)
// every operation only keeps the bookkeeping.

#include "common/types.h"
#include "views/view3d_rules.h"

#include <QImage>
#include <QLinearGradient>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QVector>
#include <QVector3D>
#include <QtDataVisualization/Q3DSurface>
#include <qcustomplot.h>
#include <map>
#include <vector>

namespace QtDataVisualization {
class QSurfaceDataProxy;
class QSurface3DSeries;
}

class Surf : public QObject
{
    Q_OBJECT

public:
    explicit Surf(QtDataVisualization::Q3DSurface* graph);
    ~Surf() override;

    // Axis ranges from the bounds, widened by 2.5 % of their span on each side:
    // x on the graph's X axis, depth on its Y axis, y on its Z axis. An axis
    // whose bounds are unset keeps its range; equal bounds get a small range.
    void updateAxesRanges();
    // The bounds as one record, and set from one.
    view3d::ViewBounds bounds() const;
    void setBounds(const view3d::ViewBounds& b);
    // Removes every cube-face and horizon series and resets the bounds.
    void clearSurfaces();
    // Removes every fault series.
    void clearFaults();
    // Replaces the fault series by one red surface per fault, its rows the
    // sticks (sorted by depth, shorter ones padded with their deepest point),
    // shaded along its depth by its relief.
    void addFaults(std::vector<std::vector<std::vector<QVector3D>>> sticks, std::vector<QString>& names);
    void setFaultsVisible(bool visible);
    void setAlpha(int alpha);

    // Texture of a grid through `gradient` (see render_texture); direction 0
    // inverts the gradient.
    QImage renderTexture(const vector2D& grid, double min, double max, double direction, int alpha) const;
    QImage renderTexture(const field2D& grid, double min, double max, double direction, int alpha) const;

    // Cube faces. Each widens the bounds by its nodes, appends one series
    // textured with [texture_min, texture_max] (both 0: the face's own range)
    // and `alpha`, and updates the axis ranges.
    // Horizontal face at depth z0, grid [y][x].
    void addZFace(const std::vector<double>& x, const std::vector<double>& y, double z0, const vector2D& grid);
    // Face at x0, grid [y][level].
    void addXFace(double x0, const std::vector<double>& y, const std::vector<double>& z, const vector2D& grid);
    // Face at y0, grid [level][x].
    void addYFace(const std::vector<double>& x, double y0, const std::vector<double>& z, const vector2D& grid);
    // Rebuild one face of the last drawn cube in place (crop sliders): top 1 or
    // bottom 0; left 2 or right 3; front 5 or back 4. Opaque whatever `alpha`
    // holds; the bounds stay. Does nothing when the position holds no face.
    void replaceZFace(const std::vector<double>& x, const std::vector<double>& y, double z0, const vector2D& grid,
                      bool top);
    void replaceXFace(double x0, const std::vector<double>& y, const std::vector<double>& z, const vector2D& grid,
                      bool left);
    void replaceYFace(const std::vector<double>& x, double y0, const std::vector<double>& z, const vector2D& grid,
                      bool front);
    // A horizon surface: depths and colours [row y][column x]; colour range
    // (cmin, cmax), (0, 0) for the colour grid's own range; invert non-zero
    // inverts the gradient. Shaded by its relief as the view will show it:
    // callers set the view's bounds first when they can. Widens the x and y
    // bounds only.
    void addHorizon(const std::vector<double>& x, const std::vector<double>& y, const field2D& depths,
                    const field2D& colours, double cmin, double cmax, int invert);

    QtDataVisualization::Q3DSurface* graph = nullptr;
    double min_x = 1e10, min_y = 1e10, min_z = 1e10;
    double max_x = -1e10, max_y = -1e10, max_z = -1e10;
    QVector<QtDataVisualization::QSurfaceDataProxy*> proxies;
    QVector<QtDataVisualization::QSurface3DSeries*> surfaces;
    QVector<QtDataVisualization::QSurface3DSeries*> fault_series;
    // The bounds are the window limits: series are cut to them, in depth too.
    bool limited = false;
    double texture_min = 0, texture_max = 0;
    QCPColorGradient gradient{QCPColorGradient::gpJet};
    int alpha = 255;

public slots:
    void changeTheme(int theme);
    void point_selected(const QPoint& position);
    // Position in `surfaces` of the graph's selected series, -1 when none.
    int selectedHorizon();
    // Selected point of the graph's selected series, (-1, -1) when none.
    QPoint selectedPoint();
    // Selects (row, column) of the series at `position` in `surfaces`; a
    // point outside the part of the series that is drawn selects nothing.
    void selectPoint(int position, const QPoint& point);

signals:
    void selectedSeriesChanged(QtDataVisualization::QSurface3DSeries* series);
    void selectedPoint(const QPoint& position);

private slots:
    void selectedSeries(QtDataVisualization::QSurface3DSeries* series);
    void graphDestroyed();

private:
    // Creates a series over a new proxy holding the mesh, with the settings
    // common to faces and horizons, and appends both to the lists.
    QtDataVisualization::QSurface3DSeries* appendSeries(const std::vector<std::vector<QVector3D>>& mesh);
    // Light at the nodes of a mesh for shade_texture: slopes scaled as the
    // graph shows them, with the view's spans, or the mesh's own extent along
    // a direction where the view's bounds are not set.
    field2D reliefLight(const std::vector<std::vector<QVector3D>>& mesh) const;
    // A gradient of `colour` over the height of a mesh, shaded by the mean
    // relief light at each depth.
    QLinearGradient reliefGradient(const std::vector<std::vector<QVector3D>>& mesh, const QColor& colour) const;
    // A face's texture in [texture_min, texture_max] as the graph is given it
    // (enlarged_texture).
    QImage faceTexture(const vector2D& grid, int alpha) const;
    void replaceFace(int position, const std::vector<std::vector<QVector3D>>& mesh, const QImage& texture);
    void removeAndDelete(QVector<QtDataVisualization::QSurface3DSeries*>& list);
    // Deletes the series that are off the graph (the graph deletes its own)
    // and forgets them all.
    void deleteOffGraph();

    // What the graph is given of a series (see the class comment).
    struct Kept
    {
        std::vector<std::vector<QVector3D>> mesh;  // the whole mesh
        QImage texture;                            // the whole texture (null: none)
        view3d::MeshBlock block;                   // the part the series holds now
        bool given = false;                        // the series holds `block`
        bool onGraph = false;
        bool sticks = false;                       // a fault: rows are sticks, cut along them by depth
        float depth_lo = 0, depth_hi = 0;          // the depth range a fault was last cut to
    };
    // Registers a series with its whole mesh (not yet on the graph).
    void keep(QtDataVisualization::QSurface3DSeries* series, const std::vector<std::vector<QVector3D>>& mesh);
    void setKeptTexture(QtDataVisualization::QSurface3DSeries* series, const QImage& texture);
    // Cuts every kept series to the graph's present axis ranges.
    void fitSeriesToAxes();
    void fitSeries(QtDataVisualization::QSurface3DSeries* series, Kept& kept, const view3d::AxisRanges& ranges);
    // Sets memory aside for the renderer's copies of every kept series; when
    // it cannot be had, takes them all off the graph and returns false.
    bool reserveRenderMemory();
    QPoint blockOffset(QtDataVisualization::QSurface3DSeries* series) const;
    std::map<QtDataVisualization::QSurface3DSeries*, Kept> kept;
};
