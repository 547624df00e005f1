#pragma once
// The message for a value typed for cells (a density, a constant) that no
// single-precision cell can hold; the check is fits_cell (common/grid_helpers.h),
// the one the grid formula's results pass too.
#include "app/texts.h"

#include <QString>

#include <limits>

// `what` names the value ("The top level's density"), `value` is as typed.
inline QString cellValueRangeText(int language, const QString& what, double value)
{
    const QString limit = QString::number(double(std::numeric_limits<float>::max()), 'g', 3);
    return byLanguage(language, "%1 %2 выходит за пределы одинарной точности ячеек грида (по модулю не более %3)",
                      "%1 %2 is beyond the single-precision range of the grid's cells (at most %3 in magnitude)")
        .arg(what, QString::number(value, 'g', 6), limit);
}
