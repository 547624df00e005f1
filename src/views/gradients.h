#pragma once
// Colour-scale types of the preferences turned into QCustomPlot gradients.
#include <qcustomplot.h>

// 0 jet, 1 grayscale, 2 hot, 3 ion, 4 and 5 the program's own stop lists;
// any other type gives a gradient without colour stops. With `invert` the
// stops are mirrored about 0.5.
QCPColorGradient gradientByType(int type, bool invert);
