#pragma once
// The node coordinates and spacings the program takes from files.
#include <cmath>
#include <initializer_list>

// The largest magnitude of a node coordinate or spacing the views can hold:
// the 3D view draws in single precision, and a coordinate near or beyond the
// float range (which one damaged exponent bit in a header gives) breaks its
// renderer. Readers refuse anything larger, leaving the project as it was.
constexpr double max_coordinate_magnitude = 1e15;

// True for a finite value of magnitude at most max_coordinate_magnitude.
inline bool coordinate_fits(double value)
{
    return std::fabs(value) <= max_coordinate_magnitude;  // false for NaN
}

// True when every one of `values` fits (see coordinate_fits); otherwise
// false with the first that does not in `far`.
template <typename Values>
bool coordinates_fit(const Values& values, double& far)
{
    for (double v : values)
        if (!coordinate_fits(v)) {
            far = v;
            return false;
        }
    return true;
}
inline bool coordinates_fit(std::initializer_list<double> values, double& far)
{
    return coordinates_fit<std::initializer_list<double>>(values, far);
}
