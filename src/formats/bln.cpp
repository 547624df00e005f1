#include "formats/bln.h"

#include "common/coordinate_limit.h"
#include "common/text_numbers.h"
#include "formats/file_io.h"

#include <QRegExp>
#include <QTextStream>

#include <algorithm>
#include <cmath>

using namespace codec_io;

namespace {

QStringList fields_of(const QString& line)
{
    static const QRegExp separators(QStringLiteral("[ ,\t]"));
    return line.simplified().split(separators, Qt::SkipEmptyParts);
}

// The point count of a header line: a whole number; false otherwise.
bool header_count(const QStringList& fields, qint64& count)
{
    bool ok = false;
    const qlonglong v = fields.front().toLongLong(&ok);
    if (!ok)
        return false;
    count = v;
    return true;
}

CodecStatus bad_point(const QString& path, qint64 line)
{
    return CodecStatus::failure(
        CodecError::BadValue,
        QStringLiteral("File \"%1\", line %2: a point needs two numbers, x and y").arg(display_name(path)).arg(line),
        QStringLiteral("Файл \"%1\", строка %2: у точки должны быть два числа, x и y").arg(display_name(path)).arg(line));
}

}  // namespace

CodecStatus read_bln_polylines(const QString& path, std::vector<bln_polyline>& out, int min_points)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;
    QTextStream in(&file);

    std::vector<bln_polyline> read;
    qint64 line_number = 0;
    while (!in.atEnd()) {
        const QStringList header = fields_of(in.readLine());
        ++line_number;
        qint64 count = 0;
        if (header.isEmpty() || !header_count(header, count) || count < 1)
            continue;
        const qint64 header_line = line_number;

        // Points are appended as they are read, so a count larger than the
        // file never reserves memory for points that are not there.
        bln_polyline polyline;
        polyline.reserve(std::size_t(std::min<qint64>(count, 4096)) * 2);
        for (qint64 v = 0; v < count;) {
            if (in.atEnd())
                return truncated(path,
                                 QStringLiteral("the polyline of line %1 announces %2 points, the file ends after %3")
                                     .arg(header_line).arg(count).arg(v),
                                 QStringLiteral("в ломаной строки %1 объявлено %2 точек, файл кончается после %3")
                                     .arg(header_line).arg(count).arg(v));
            const QStringList f = fields_of(in.readLine());
            ++line_number;
            if (f.isEmpty())
                continue;
            double x = 0, y = 0;
            if (f.size() < 2 || !text_numbers::read_real(f[0], x) || !text_numbers::read_real(f[1], y))
                return bad_point(path, line_number);
            for (double v : {x, y})
                if (!coordinate_fits(v))
                    return coordinate_on_line(path, line_number, v);
            polyline.push_back(x);
            polyline.push_back(y);
            ++v;
        }
        if (count >= min_points)
            read.push_back(std::move(polyline));
    }
    if (file.error() != QFileDevice::NoError)
        return read_error(file);
    out = std::move(read);
    return {};
}

FaultSticks bln_vertical_faults(const std::vector<bln_polyline>& polylines, double top, double bottom)
{
    FaultSticks faults;
    faults.inline_type = false;
    int n = 0;
    for (const bln_polyline& line : polylines) {
        const std::size_t points = line.size() / 2;
        if (points == 0)
            continue;
        ++n;
        std::vector<std::vector<FaultPoint>> sticks(points);
        for (std::size_t v = 0; v < points; ++v) {
            const float x = float(line[2 * v]), y = float(line[2 * v + 1]);
            sticks[v] = {FaultPoint{x, y, float(top)}, FaultPoint{x, y, float(bottom)}};
        }
        faults.sticks.push_back(std::move(sticks));
        faults.inlines.emplace_back(points, std::vector<int>(2, 0));
        faults.crosslines.emplace_back(points, std::vector<int>(2, 0));
        faults.names.push_back(QStringLiteral("fault_N%1").arg(n));
    }
    return faults;
}

namespace {

void append_polyline_text(QByteArray& text, const double* xy, std::size_t points, std::size_t stride)
{
    text += QByteArray::number(qulonglong(points)) + ",1\n";
    for (std::size_t i = 0; i < points; ++i)
        text += (text_numbers::shortest(xy[i * stride]) + QStringLiteral(", ") +
                 text_numbers::shortest(xy[i * stride + 1]) + QLatin1Char('\n')).toLatin1();
}

CodecStatus write_bln_text(const QString& path, const QByteArray& text)
{
    return write_whole_file(path, text);
}

}  // namespace

CodecStatus write_bln_polylines(const QString& path, const std::vector<bln_polyline>& polylines)
{
    bool usable = !polylines.empty();
    for (const bln_polyline& line : polylines)
        usable = usable && line.size() >= 2 && line.size() % 2 == 0;
    if (!usable)
        return CodecStatus::failure(CodecError::BadGrid,
                                    QStringLiteral("Every polyline needs pairs of x and y, at least one"),
                                    QStringLiteral("В каждой ломаной должны быть пары x и y, хотя бы одна"));
    QByteArray text;
    for (const bln_polyline& line : polylines)
        append_polyline_text(text, line.data(), line.size() / 2, 2);
    return write_bln_text(path, text);
}

CodecStatus write_bln_polyline(const QString& path, const std::vector<double>& x, const std::vector<double>& y)
{
    if (x.empty() || x.size() != y.size())
        return CodecStatus::failure(CodecError::BadGrid,
                                    QStringLiteral("A polyline needs as many y values as x values, at least one"),
                                    QStringLiteral("У ломаной должно быть столько же значений y, сколько x, хотя бы одно"));
    QByteArray text = QByteArray::number(qulonglong(x.size())) + ",1\n";
    for (std::size_t i = 0; i < x.size(); ++i)
        text += (text_numbers::shortest(x[i]) + QStringLiteral(", ") + text_numbers::shortest(y[i]) +
                 QLatin1Char('\n')).toLatin1();
    return write_whole_file(path, text);
}
