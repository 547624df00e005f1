#pragma once
// Numbers as text: in the program's text files and in the fields of its
// dialogs, written in the shortest form that reads back to the same value
// (so UTM coordinates and steps such as 24.691224 keep every digit, and a
// dialog confirmed without edits sends back exactly what it was given);
// read strictly in files (a field that is not a finite number is an error,
// not a 0).
#include <QByteArray>
#include <QString>

#include <charconv>
#include <cmath>

namespace text_numbers {

// Appends the shortest decimal form of v that reads back to exactly v to a
// byte buffer (std::string or QByteArray).
template <typename Buffer, typename Real>
void append_shortest(Buffer& out, Real v)
{
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, static_cast<int>(r.ptr - buffer));
}

// Shortest decimal form of v that reads back to exactly v.
template <typename Real>
QString shortest(Real v)
{
    QByteArray text;
    append_shortest(text, v);
    return QString::fromLatin1(text);
}

// The text a dialog's number field is filled with: the shortest that reads
// back to exactly v, in plain notation for magnitudes from 1e-4 up to 1e15
// (1000000 rather than 1e+06, so counts read back as integers too) and in
// the shortest form otherwise; "0" rather than "-0".
inline QString field_text(double v)
{
    v += 0.0;
    const double magnitude = std::fabs(v);
    if (!(magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e15)))
        return shortest(v);
    char buffer[128];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
    return QString::fromLatin1(buffer, static_cast<int>(r.ptr - buffer));
}

// A single-precision value (a cell of a cube) as the double of its shortest
// decimal form: 2.4f becomes 2.4, not 2.4000000953674316, so that a dialog
// shows the digits the cell has and no more.
inline double decimal_value(float v)
{
    return shortest(v).toDouble();
}

// A coordinate shown in a label (not read back): 15 significant digits,
// every digit a double carries reliably, so that neighbouring nodes of a
// lattice in projected metres never look alike, while the last-bit noise
// of a computed node (6512370.1912240004) does not show.
inline QString label_text(double v)
{
    return QString::number(v + 0.0, 'g', 15);
}

// A finite real, or false.
inline bool read_real(const QString& field, double& out)
{
    bool ok = false;
    const double v = field.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

}  // namespace text_numbers
