#pragma once
// Drawing pieces shared by the observed and calculated maps.

#include "common/types.h"

#include <QVector3D>
#include <vector>

class QCustomPlot;
class QCPColorMap;
class QCPColorScale;
class QCPColorGradient;

// One black curve per polyline of the profile scheme (interleaved x, y) that
// has at least two points, on the plot's bottom and left axes.
void plotProfilesOverlay(QCustomPlot* plot, const std::vector<std::vector<double>>& scheme);

// One dark magenta curve per fault through the first point of each of its
// sticks, in stick order (x and y of the point).
void plotFaultsOverlay(QCustomPlot* plot, const std::vector<std::vector<std::vector<QVector3D>>>& sticks);

// Shows the four axes of the plot's axis rectangle, the top and right ones
// following the bottom and left (connected once per plot).
void showFullAxesBox(QCustomPlot* plot);
