#pragma once
// Drawing pieces shared by the observed and calculated maps.

#include "common/types.h"

#include <QVector3D>
#include <vector>

class QCustomPlot;
class QCPColorMap;
class QCPCurve;
class QCPColorScale;
class QCPColorGradient;

// A black curve through the points of one polyline (interleaved x, y), in
// their order, on the plot's bottom and left axes; none (null) for a
// polyline of fewer than two points.
QCPCurve* addPolylineCurve(QCustomPlot* plot, const std::vector<double>& line);

// One black curve per polyline of the profile scheme (interleaved x, y) that
// has at least two points, on the plot's bottom and left axes.
void plotProfilesOverlay(QCustomPlot* plot, const std::vector<std::vector<double>>& scheme);

// One dark magenta curve per fault through the first point of each of its
// sticks, in stick order (x and y of the point).
void plotFaultsOverlay(QCustomPlot* plot, const std::vector<std::vector<std::vector<QVector3D>>>& sticks);

// Shows the four axes of the plot's axis rectangle, the top and right ones
// following the bottom and left (connected once per plot).
void showFullAxesBox(QCustomPlot* plot);
