#pragma once
// The main window's faults hold QVector3D points (what the 3D view draws);
// the codecs hold plain fault sticks. Conversions between the two, and the
// box of all fault points.
#include "app/project_records.h"
#include "formats/fault_sticks.h"

#include <QVector3D>

#include <vector>

FaultSticks fault_sticks_of(const FaultSet& faults);
FaultSet fault_set_of(FaultSticks sticks);

// {xmin, xmax, ymin, ymax, zmin, zmax} of all points of all sticks; empty when
// there is no point.
std::vector<double> faults_extent(const std::vector<std::vector<std::vector<QVector3D>>>& sticks);
