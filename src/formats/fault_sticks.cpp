#include "formats/fault_sticks.h"

#include "common/coordinate_limit.h"
#include "formats/file_commands.h"
#include "formats/file_io.h"
#include "common/text_numbers.h"

#include <QRegExp>
#include <QSet>
#include <QTextStream>

#include <cmath>
#include <limits>
#include <utility>

using namespace codec_io;

namespace {

CodecStatus bad_line(const QString& path, qint64 line, const QString& field)
{
    return CodecStatus::failure(
        CodecError::BadValue,
        QStringLiteral("File \"%1\", line %2: \"%3\" is not a number").arg(display_name(path)).arg(line).arg(field),
        QStringLiteral("Файл \"%1\", строка %2: \"%3\" не является числом").arg(display_name(path)).arg(line).arg(field));
}

// A real truncated to an int; false when the field is not a number or does
// not fit.
bool read_whole(const QString& field, int& out)
{
    double v = 0;
    if (!text_numbers::read_real(field, v))
        return false;
    v = std::trunc(v);
    if (v < double(std::numeric_limits<int>::min()) || v > double(std::numeric_limits<int>::max()))
        return false;
    out = int(v);
    return true;
}

// A coordinate the views can hold (coordinate_fits): success, or why the
// field of the given line is refused.
CodecStatus read_coordinate(const QString& path, qint64 line, const QString& field, float& out)
{
    double v = 0;
    if (!text_numbers::read_real(field, v))
        return bad_line(path, line, field);
    if (!coordinate_fits(v))
        return coordinate_on_line(path, line, v);
    out = float(v);
    return {};
}

}  // namespace

QString charisma_name_field(const QString& name)
{
    QString out = name.simplified();
    for (QChar& c : out)
        if (c == QLatin1Char(' ') || c == QLatin1Char(',') || c == QLatin1Char('\t'))
            c = QLatin1Char('_');
    return out;
}

CodecStatus read_charisma_fault_sticks(const QString& path, FaultSticks& out)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;
    QTextStream in(&file);
    in.setCodec("UTF-8");
    const QRegExp separators(QStringLiteral("[ ,\t]"));

    FaultSticks read;
    int previous_stick = 0;
    qint64 line_number = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().simplified();
        ++line_number;
        // Empty fields are kept: "a, b" is three fields.
        const QStringList f = line.split(separators);
        if (line.isEmpty() || f.size() < 8)
            continue;

        FaultPoint p;
        int inline_number = 0, crossline_number = 0, stick = 0;
        if (!read_whole(f[1], inline_number))
            return bad_line(path, line_number, f[1]);
        if (!read_whole(f[2], crossline_number))
            return bad_line(path, line_number, f[2]);
        for (auto [field, value] : {std::pair<int, float*>{3, &p.x}, {4, &p.y}, {5, &p.z}})
            if (CodecStatus status = read_coordinate(path, line_number, f[field], *value); !status)
                return status;
        if (!read_whole(f[7], stick))
            return bad_line(path, line_number, f[7]);
        const QString& name = f[6];

        if (read.sticks.empty()) {
            read.inline_type = f[0].contains(QLatin1String("inline"), Qt::CaseInsensitive);
            read.sticks.emplace_back(1);
            read.inlines.emplace_back(1);
            read.crosslines.emplace_back(1);
            read.names.push_back(name);
        } else if (name == read.names.back()) {
            if (stick != previous_stick) {
                read.sticks.back().emplace_back();
                read.inlines.back().emplace_back();
                read.crosslines.back().emplace_back();
            }
        } else {
            read.sticks.emplace_back(1);
            read.inlines.emplace_back(1);
            read.crosslines.emplace_back(1);
            read.names.push_back(name);
        }
        read.sticks.back().back().push_back(p);
        read.inlines.back().back().push_back(inline_number);
        read.crosslines.back().back().push_back(crossline_number);
        previous_stick = stick;
    }
    if (file.error() != QFileDevice::NoError)
        return read_error(file);
    if (read.sticks.empty())
        return CodecStatus::failure(
            CodecError::UnknownFormat,
            QStringLiteral("File \"%1\" holds no fault sticks").arg(display_name(path)),
            QStringLiteral("Файл \"%1\" не содержит разломов").arg(display_name(path)));
    out = std::move(read);
    return {};
}

CodecStatus write_charisma_fault_sticks(const QString& path, const FaultSticks& faults, int fault)
{
    if (fault >= 0 && std::size_t(fault) >= faults.sticks.size())
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("There is no such fault"),
                                    QStringLiteral("Такого разлома нет"));
    const QString keyword = faults.inline_type ? QStringLiteral("INLINE-") : QStringLiteral("CROSSLINE-");
    const QChar tab = QLatin1Char('\t');

    QByteArray text;
    const std::size_t first = fault < 0 ? 0 : std::size_t(fault);
    const std::size_t end = fault < 0 ? faults.sticks.size() : first + 1;
    for (std::size_t f = first; f < end; ++f) {
        const QString name = charisma_name_field(f < faults.names.size() ? faults.names[f] : QString());
        const auto& sticks = faults.sticks[f];
        for (std::size_t s = 0; s < sticks.size(); ++s) {
            for (std::size_t p = 0; p < sticks[s].size(); ++p) {
                // Numbers missing from an inconsistent set are written as 0.
                auto number = [&](const std::vector<std::vector<std::vector<int>>>& n) {
                    return f < n.size() && s < n[f].size() && p < n[f][s].size() ? n[f][s][p] : 0;
                };
                const FaultPoint& pt = sticks[s][p];
                const QString line = keyword + tab + QString::number(number(faults.inlines)) + tab +
                                     QString::number(number(faults.crosslines)) + tab +
                                     text_numbers::shortest(pt.x) + tab + text_numbers::shortest(pt.y) + tab +
                                     text_numbers::shortest(pt.z) + tab + name + tab + QString::number(s + 1) +
                                     QLatin1Char('\n');
                text += line.toUtf8();
            }
        }
    }

    return write_whole_file(path, text);
}

std::vector<QString> fault_file_names(const QString& dir, const std::vector<QString>& names)
{
    std::vector<QString> files;
    QSet<QString> used;
    for (std::size_t i = 0; i < names.size(); ++i) {
        QString base = safe_file_name_part(names[i]);
        if (base.isEmpty())
            base = QString::number(i + 1);
        base = QStringLiteral("fault ") + base;
        QString candidate = base;
        for (int k = 2; used.contains(candidate.toLower()); ++k)
            candidate = base + QStringLiteral(" (%1)").arg(k);
        used.insert(candidate.toLower());
        files.push_back(dir + QLatin1Char('/') + candidate + QStringLiteral(".txt"));
    }
    return files;
}
