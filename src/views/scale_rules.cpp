#include "views/scale_rules.h"

#include "common/text_numbers.h"

#include <algorithm>
#include <cmath>

namespace scale {

namespace {

bool positive(double v)
{
    return std::isfinite(v) && v > 0;
}

// A ratio that the graph can draw with, else 0.
double usable_ratio(double r)
{
    return positive(r) ? r : 0.0;
}

}  // namespace

bool Spans::usable() const
{
    return positive(H) && positive(V);
}

Spans view_spans(const view3d::ViewBounds& b)
{
    Spans s;
    s.H = std::max(b.max_x - b.min_x, b.max_y - b.min_y);
    s.V = b.max_z - b.min_z;
    return s;
}

double aspect_ratio(int type, double value, const Spans& spans)
{
    if (!positive(value))
        return 0.0;
    double ratio = 1.0 / value;
    if (type != Pixels) {
        if (!spans.usable())
            return 0.0;
        ratio = ratio * spans.H / spans.V;
    }
    return usable_ratio(ratio);
}

double value_for_ratio(int type, double ratio, const Spans& spans)
{
    if (!positive(ratio))
        return 0.0;
    double value = 1.0 / ratio;
    if (type != Pixels) {
        if (!spans.usable())
            return 0.0;
        value = value * spans.H / spans.V;
    }
    return positive(value) ? value : 0.0;
}

double convert_value(double value, int new_type, const Spans& spans)
{
    if (!spans.usable())
        return value;
    return new_type == Distance ? value * spans.H / spans.V : value * spans.V / spans.H;
}

std::vector<double> limits_from_texts(const QStringList& texts)
{
    if (texts.size() < 6)
        return {};
    std::vector<double> limits(6);
    for (int i = 0; i < 6; ++i)
        limits[std::size_t(i)] = texts[i].toDouble();  // unreadable text gives 0
    return limits;
}

QStringList texts_from_limits(const std::vector<double>& limits)
{
    QStringList texts;
    for (int i = 0; i < 6; ++i)
        texts << (limits.size() >= 6 ? text_numbers::field_text(limits[std::size_t(i)]) : QString());
    return texts;
}

bool bounds_from_nodes(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z,
                       view3d::ViewBounds& out)
{
    if (x.empty() || y.empty() || z.empty())
        return false;
    out.min_x = std::min(x.front(), x.back());
    out.max_x = std::max(x.front(), x.back());
    out.min_y = std::min(y.front(), y.back());
    out.max_y = std::max(y.front(), y.back());
    out.min_z = std::min(z.front(), z.back());
    out.max_z = std::max(z.front(), z.back());
    return true;
}

bool bounds_from_horizons(const std::vector<double>& p, double deepest, view3d::ViewBounds& out)
{
    if (p.size() < 6)
        return false;
    out.min_x = std::min(p[2], p[3]);
    out.max_x = std::max(p[2], p[3]);
    out.min_y = std::min(p[4], p[5]);
    out.max_y = std::max(p[4], p[5]);
    out.min_z = std::min(0.0, deepest);
    out.max_z = std::max(0.0, deepest);
    return true;
}

}  // namespace scale
