#pragma once
// Gives the traces of a SEG-Y file written by write_segy_cube other group
// coordinates, for files whose lines or traces run the other way, or whose
// survey is rotated: the cells stay where they are, the keys that mark the
// lines too.
#include <QFile>
#include <QPointF>
#include <QString>
#include <QtEndian>

#include <functional>

// Sets bytes 81-88 of trace (line i, trace j) to place(i, j) rounded to whole
// numbers, with coordinate scalar 0 (bytes 71-72), in a little-endian file of
// ny lines of nx traces. False when the file cannot be rewritten.
inline bool set_segy_coordinates(const QString& path, int nx, int ny, const std::function<QPointF(int i, int j)>& place)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const qint64 traces = qint64(nx) * ny;
    if (traces == 0 || (bytes.size() - 3600) % traces != 0)
        return false;
    const qint64 trace_bytes = (bytes.size() - 3600) / traces;
    for (int i = 0; i < ny; ++i)
        for (int j = 0; j < nx; ++j) {
            char* header = bytes.data() + 3600 + (qint64(i) * nx + j) * trace_bytes;
            const QPointF p = place(i, j);
            qToLittleEndian<qint16>(0, header + 70);
            qToLittleEndian<qint32>(qint32(qRound64(p.x())), header + 80);
            qToLittleEndian<qint32>(qint32(qRound64(p.y())), header + 84);
        }
    return file.seek(0) && file.write(bytes) == bytes.size();
}
