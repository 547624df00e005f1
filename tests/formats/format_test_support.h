#pragma once
// Small helpers shared by the codec tests: byte builders, fixture files,
// test cubes and running external tools.
#include "common/types.h"
#include "engine/effects_operator.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace fmt_test {

// The bytes of v in big-endian and little-endian order.
template <typename Int>
QByteArray big_endian(Int v)
{
    QByteArray b(sizeof v, '\0');
    qToBigEndian<Int>(v, b.data());
    return b;
}
template <typename Int>
QByteArray little_endian(Int v)
{
    QByteArray b(sizeof v, '\0');
    qToLittleEndian<Int>(v, b.data());
    return b;
}
// The bit pattern of a real as an unsigned integer of its size.
template <typename Bits, typename Real>
Bits bits_of(Real v)
{
    static_assert(sizeof(Bits) == sizeof(Real), "a real and its bits have one size");
    Bits bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

inline QByteArray be32(qint32 v) { return big_endian(v); }
inline QByteArray le32(qint32 v) { return little_endian(v); }
inline QByteArray be16(qint16 v) { return big_endian(v); }
inline QByteArray le16(qint16 v) { return little_endian(v); }
inline QByteArray be_double(double v) { return big_endian(bits_of<quint64>(v)); }
inline QByteArray le_double(double v) { return little_endian(bits_of<quint64>(v)); }
inline QByteArray le_float(float v) { return little_endian(bits_of<quint32>(v)); }
inline float float_at_le(const QByteArray& bytes, int offset)
{
    const quint32 bits = qFromLittleEndian<quint32>(bytes.constData() + offset);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}
inline double double_at_le(const QByteArray& bytes, int offset)
{
    const quint64 bits = qFromLittleEndian<quint64>(bytes.constData() + offset);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

inline bool write_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
inline QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A cube whose cells differ from each other and include negative, small and
// large values, so that order and precision faults show.
inline vector3D make_cube(int nx, int ny, int nz, float base = 2.5f)
{
    vector3D cube(nz, vector2D(ny, std::vector<data_type>(nx)));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                cube[k][j][i] = base + 1000.0f * k + 10.0f * j + i + 0.1234567f * std::sin(float(i * 7 + j * 3 + k));
    return cube;
}

// A stored operator of nz levels on a ny x nx padded grid (even by
// construction: only its quarter is held) whose quarter values differ from
// each other as make_cube's cells do.
inline EffectsOperator make_operator(int nx, int ny, int nz, float base = 2.5f)
{
    EffectsOperator e;
    e.shape(nz, ny, nx);
    for (int k = 0; k < nz; ++k)
        for (int q = 0; q < e.quarter_rows(); ++q)
            for (int c = 0; c < e.quarter_columns(); ++c)
                e.quarter_row(k, q)[c] =
                    base + 1000.0f * k + 10.0f * q + c + 0.1234567f * std::sin(float(c * 7 + q * 3 + k));
    return e;
}

// Every level of an operator on its full grid.
inline vector3D expanded(const EffectsOperator& e)
{
    vector3D out(static_cast<std::size_t>(e.levels()));
    for (int k = 0; k < e.levels(); ++k)
        e.expand_level(k, out[static_cast<std::size_t>(k)]);
    return out;
}

// The bytes of an effects file holding the full grids `re` and, for the
// imaginary parts, `im` (0.0 everywhere when empty), as the format lays
// them out: three big-endian int32 and pairs of big-endian doubles.
inline QByteArray effects_file_bytes(const vector3D& re, const vector3D& im = vector3D())
{
    QByteArray b = be32(qint32(re[0][0].size())) + be32(qint32(re[0].size())) + be32(qint32(re.size()));
    for (std::size_t k = 0; k < re.size(); ++k)
        for (std::size_t j = 0; j < re[k].size(); ++j)
            for (std::size_t i = 0; i < re[k][j].size(); ++i)
                b += be_double(re[k][j][i]) + be_double(im.empty() ? 0.0 : double(im[k][j][i]));
    return b;
}

inline field2D make_field(int nx, int ny, double base = 1.25)
{
    field2D grid(ny, std::vector<double>(nx));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            grid[j][i] = base + 100.0 * j + i + 0.123456789012345 * std::cos(double(i * 5 + j));
    return grid;
}

// Files left in dir (to find temporary files left behind by a failed save).
inline QStringList files_in(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Runs a program; false with the reason in *log when it cannot start, times
// out or exits with an error.
inline bool run(const QString& program, const QStringList& args, QString* out = nullptr, QString* log = nullptr,
                const QByteArray& input = QByteArray())
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        if (log)
            *log = program + QStringLiteral(" did not start: ") + p.errorString();
        return false;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        if (log)
            *log = program + QStringLiteral(" timed out");
        return false;
    }
    const QString so = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString se = QString::fromLocal8Bit(p.readAllStandardError());
    if (out)
        *out = so;
    if (log)
        *log = program + ' ' + args.join(' ') + QStringLiteral("\nstdout: ") + so + QStringLiteral("\nstderr: ") + se;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace fmt_test
