#pragma once
// Numbers in the program's text files: written in the shortest form that
// reads back to the same value (so UTM coordinates keep every digit), read
// strictly (a field that is not a finite number is an error, not a 0).
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
