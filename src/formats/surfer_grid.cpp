#include "formats/surfer_grid.h"

#include "formats/file_io.h"
#include "formats/text_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>

using namespace codec_io;

QString surfer_unknown_format_message()
{
    return QStringLiteral("Unknown grid format. \nUse Surfer grid");
}

QString surfer_save_filter()
{
    return QStringLiteral("Surfer 7 Binary Grid (*.grd);; Surfer 6 Text Grid (*.grd);");
}

bool surfer_filter_is_text(const QString& selected_filter)
{
    return selected_filter.contains(QLatin1String("Text"), Qt::CaseSensitive);
}

namespace {

CodecStatus unknown_format()
{
    return CodecStatus::failure(CodecError::UnknownFormat, surfer_unknown_format_message(),
                                surfer_unknown_format_message());
}

CodecStatus bad_header(const QString& path, const QString& english, const QString& russian)
{
    return not_a(CodecError::BadHeader, path, QStringLiteral("valid Surfer grid"),
                 QStringLiteral("корректным гридом Surfer"), english, russian);
}

CodecStatus out_of_memory(qint64 nodes)
{
    return grid_out_of_memory(CodecError::BadHeader, nodes, true);
}

bool allocate(field2D& grid, qint64 rows, qint64 cols)
{
    try {
        grid.assign(static_cast<size_t>(rows), std::vector<double>(static_cast<size_t>(cols)));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

// ---- text grid -------------------------------------------------------------

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

class Tokens {
public:
    Tokens(const char* begin, const char* end) : p_(begin), end_(end) {}
    // Next white-space separated token; false at the end of the text.
    bool next(const char*& begin, const char*& end)
    {
        while (p_ < end_ && is_space(*p_))
            ++p_;
        if (p_ == end_)
            return false;
        begin = p_;
        while (p_ < end_ && !is_space(*p_))
            ++p_;
        end = p_;
        return true;
    }
    qint64 remaining() const { return end_ - p_; }

private:
    const char* p_;
    const char* end_;
};

bool parse_double(const char* begin, const char* end, double& value)
{
    if (begin < end && *begin == '+')
        ++begin;
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

CodecStatus read_text_grid(const QString& path, const QByteArray& text, field2D& rows,
                           std::vector<double>& params, const CodecProgress& progress)
{
    Tokens tokens(text.constData(), text.constData() + text.size());
    const char* b;
    const char* e;
    if (!tokens.next(b, e) || QByteArray(b, int(e - b)) != "DSAA")
        return unknown_format();

    static const char* const names[8] = {"nx", "ny", "xmin", "xmax", "ymin", "ymax", "zmin", "zmax"};
    double header[8];
    for (int i = 0; i < 8; ++i) {
        if (!tokens.next(b, e))
            return bad_header(path, QStringLiteral("the header ends before %1").arg(names[i]),
                              QStringLiteral("заголовок обрывается перед %1").arg(names[i]));
        if (!parse_double(b, e, header[i]))
            return bad_header(path,
                              QStringLiteral("%1 \"%2\" is not a number").arg(names[i], QString::fromLatin1(b, int(e - b))),
                              QStringLiteral("%1 \"%2\" не является числом").arg(names[i], QString::fromLatin1(b, int(e - b))));
    }
    for (int i = 0; i < 2; ++i) {
        const double n = header[i];
        if (!(n >= 1 && n <= std::numeric_limits<qint32>::max() && n == std::floor(n)))
            return bad_header(path, QStringLiteral("the node count %1 = %2 is not a positive whole number").arg(names[i]).arg(n),
                              QStringLiteral("число узлов %1 = %2 не является целым положительным").arg(names[i]).arg(n));
    }
    for (int i = 2; i < 6; ++i) {
        if (!std::isfinite(header[i]))
            return bad_header(path, QStringLiteral("%1 is not a finite number").arg(names[i]),
                              QStringLiteral("%1 не является конечным числом").arg(names[i]));
    }
    const qint64 nx = qint64(header[0]), ny = qint64(header[1]);
    const qint64 nodes = nx * ny;
    // Every value takes at least one character and a separator.
    if (nodes > (tokens.remaining() + 1) / 2)
        return truncated(path,
                         QStringLiteral("its header announces %1 x %2 nodes but only %3 bytes of values follow")
                             .arg(nx).arg(ny).arg(tokens.remaining()),
                         QStringLiteral("в заголовке объявлено %1 x %2 узлов, а значений только %3 байт")
                             .arg(nx).arg(ny).arg(tokens.remaining()));

    field2D local;
    if (!allocate(local, ny, nx))
        return out_of_memory(nodes);
    for (qint64 i = 0; i < ny; ++i) {
        if (!codec_continue(progress, codec_percent(i, ny)))
            return CodecStatus::cancelled();
        double* row = local[size_t(i)].data();
        for (qint64 j = 0; j < nx; ++j) {
            if (!tokens.next(b, e))
                return truncated(path,
                                 QStringLiteral("it holds %1 of the %2 values its header announces").arg(i * nx + j).arg(nodes),
                                 QStringLiteral("в нём %1 из %2 значений, объявленных в заголовке").arg(i * nx + j).arg(nodes));
            double v;
            if (!parse_double(b, e, v))
                return CodecStatus::failure(
                    CodecError::BadValue,
                    QStringLiteral("File \"%1\": the value \"%2\" at row %3, column %4 is not a number")
                        .arg(display_name(path), QString::fromLatin1(b, int(std::min<qint64>(e - b, 40))))
                        .arg(i + 1).arg(j + 1),
                    QStringLiteral("Файл \"%1\": значение \"%2\" в строке %3, столбце %4 не является числом")
                        .arg(display_name(path), QString::fromLatin1(b, int(std::min<qint64>(e - b, 40))))
                        .arg(i + 1).arg(j + 1));
            row[j] = v == surfer_blank_value ? 0.0 : v;
        }
    }
    if (!codec_continue(progress, 100))
        return CodecStatus::cancelled();
    rows.swap(local);
    params.assign(header, header + 8);
    return {};
}

// ---- binary grid -----------------------------------------------------------

CodecStatus read_binary_grid(const QString& path, QFile& file, field2D& rows, std::vector<double>& params,
                             const CodecProgress& progress)
{
    const qint64 size = file.size();
    auto read_exact = [&](qint64 offset, uchar* out, qint64 n) -> bool {
        return offset >= 0 && offset + n <= size && file.seek(offset) &&
               file.read(reinterpret_cast<char*>(out), n) == n;
    };
    auto section_error = [&](const QString& english, const QString& russian) {
        return bad_header(path, english, russian);
    };

    uchar head[8];
    if (!read_exact(4, head, 4))
        return truncated(path, QStringLiteral("it ends inside its header"), QStringLiteral("он обрывается в заголовке"));
    const qint64 header_size = qint32(le32(head));
    if (header_size < 4 || 8 + header_size > size)
        return section_error(QStringLiteral("its header section size %1 is not valid").arg(header_size),
                             QStringLiteral("неверный размер секции заголовка %1").arg(header_size));

    qint64 offset = 8 + header_size;
    bool have_grid = false;
    qint64 n_row = 0, n_col = 0;
    double x_ll = 0, y_ll = 0, x_size = 0, y_size = 0, z_min = 0, z_max = 0, blank = surfer_blank_value;
    while (true) {
        if (!read_exact(offset, head, 8)) {
            if (!have_grid)
                return section_error(QStringLiteral("it has no GRID section"), QStringLiteral("в нём нет секции GRID"));
            return truncated(path, QStringLiteral("it has no DATA section"), QStringLiteral("в нём нет секции DATA"));
        }
        const QByteArray tag(reinterpret_cast<const char*>(head), 4);
        const qint64 section_size = quint32(le32(head + 4));
        offset += 8;
        if (tag == "GRID") {
            if (section_size < 72)
                return section_error(QStringLiteral("its GRID section is %1 bytes long instead of 72").arg(section_size),
                                     QStringLiteral("секция GRID длиной %1 байт вместо 72").arg(section_size));
            uchar g[72];
            if (!read_exact(offset, g, 72))
                return truncated(path, QStringLiteral("it ends inside its GRID section"),
                                 QStringLiteral("он обрывается в секции GRID"));
            n_row = qint32(le32(g));
            n_col = qint32(le32(g + 4));
            double d[8];
            for (int i = 0; i < 8; ++i)
                d[i] = double_from_bits(le64(g + 8 + 8 * i));
            x_ll = d[0];
            y_ll = d[1];
            x_size = d[2];
            y_size = d[3];
            z_min = d[4];
            z_max = d[5];
            const double rotation = d[6];
            blank = d[7];
            if (n_row <= 0 || n_col <= 0)
                return section_error(QStringLiteral("its header gives %1 rows and %2 columns").arg(n_row).arg(n_col),
                                     QStringLiteral("в заголовке %1 строк и %2 столбцов").arg(n_row).arg(n_col));
            if (!std::isfinite(x_ll) || !std::isfinite(y_ll) || !std::isfinite(x_size) || !std::isfinite(y_size))
                return section_error(QStringLiteral("its grid origin or spacing is not a finite number"),
                                     QStringLiteral("начало или шаг грида не являются конечными числами"));
            if (rotation != 0)
                return CodecStatus::failure(
                    CodecError::Unsupported,
                    QStringLiteral("File \"%1\" holds a rotated grid (%2 degrees); only unrotated grids can be read")
                        .arg(display_name(path)).arg(rotation),
                    QStringLiteral("Файл \"%1\" содержит повёрнутый грид (%2 градусов); читаются только неповёрнутые гриды")
                        .arg(display_name(path)).arg(rotation));
            have_grid = true;
        } else if (tag == "DATA") {
            if (!have_grid)
                return section_error(QStringLiteral("its DATA section comes before a GRID section"),
                                     QStringLiteral("секция DATA идёт раньше секции GRID"));
            const qint64 nodes = n_row * n_col;  // below 2^62
            if (nodes <= std::numeric_limits<quint32>::max() / 8 && section_size != nodes * 8)
                return section_error(QStringLiteral("its DATA section holds %1 bytes, not the %2 of %3 x %4 nodes")
                                         .arg(section_size).arg(nodes * 8).arg(n_row).arg(n_col),
                                     QStringLiteral("в секции DATA %1 байт вместо %2 для %3 x %4 узлов")
                                         .arg(section_size).arg(nodes * 8).arg(n_row).arg(n_col));
            if (nodes > (size - offset) / 8)
                return truncated(path,
                                 QStringLiteral("its header announces %1 x %2 nodes but only %3 bytes of values follow")
                                     .arg(n_row).arg(n_col).arg(std::max<qint64>(0, size - offset)),
                                 QStringLiteral("в заголовке объявлено %1 x %2 узлов, а значений только %3 байт")
                                     .arg(n_row).arg(n_col).arg(std::max<qint64>(0, size - offset)));
            field2D local;
            if (!allocate(local, n_row, n_col))
                return out_of_memory(nodes);
            if (!file.seek(offset))
                return read_error(file);
            std::vector<uchar> buffer(size_t(n_col) * 8);
            for (qint64 i = 0; i < n_row; ++i) {
                if (!codec_continue(progress, codec_percent(i, n_row)))
                    return CodecStatus::cancelled();
                if (file.read(reinterpret_cast<char*>(buffer.data()), n_col * 8) != n_col * 8)
                    return read_error(file);
                double* row = local[size_t(i)].data();
                for (qint64 j = 0; j < n_col; ++j) {
                    const double v = double_from_bits(le64(buffer.data() + 8 * j));
                    row[j] = v >= blank ? 0.0 : v;
                }
            }
            if (!codec_continue(progress, 100))
                return CodecStatus::cancelled();
            rows.swap(local);
            params = {double(n_col), double(n_row), x_ll, x_ll + (n_col - 1) * x_size,
                      y_ll, y_ll + (n_row - 1) * y_size, z_min, z_max};
            return {};
        } else if (tag == "FLTI") {
            // Fault traces carry nothing for the grid; skip them.
        } else {
            QString shown;
            for (uchar c : tag)
                shown += (c >= 32 && c < 127) ? QChar(c) : QChar('?');
            return section_error(QStringLiteral("it has an unknown section \"%1\" at byte %2").arg(shown).arg(offset - 8),
                                 QStringLiteral("неизвестная секция \"%1\" в байте %2").arg(shown).arg(offset - 8));
        }
        if (section_size > size - offset)
            return truncated(path, QStringLiteral("it ends inside its %1 section").arg(QString::fromLatin1(tag)),
                             QStringLiteral("он обрывается в секции %1").arg(QString::fromLatin1(tag)));
        offset += section_size;
    }
}

// ---- writers ---------------------------------------------------------------

template <class Grid>
CodecStatus check_grid(const Grid& rows, const std::vector<double>& params)
{
    if (rows.empty() || rows[0].empty())
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The grid is empty"),
                                    QStringLiteral("Грид пуст"));
    if (params.size() < 6)
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The grid has no geometry"),
                                    QStringLiteral("Не заданы параметры грида"));
    const size_t cols = rows[0].size();
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].size() != cols)
            return CodecStatus::failure(
                CodecError::BadGrid,
                QStringLiteral("The grid is not regular: row %1 has %2 values, row 1 has %3").arg(i + 1).arg(rows[i].size()).arg(cols),
                QStringLiteral("Грид нерегулярен: в строке %1 %2 значений, в строке 1 %3").arg(i + 1).arg(rows[i].size()).arg(cols));
    }
    if (rows.size() < 2 || cols < 2)
        return CodecStatus::failure(
            CodecError::BadGrid,
            QStringLiteral("A grid of %1 row(s) and %2 column(s) can't be saved as a Surfer grid: it needs at least two of each")
                .arg(rows.size()).arg(cols),
            QStringLiteral("Грид из %1 строк и %2 столбцов нельзя сохранить в формате Surfer: нужно не меньше двух строк и столбцов")
                .arg(rows.size()).arg(cols));
    if (rows.size() > size_t(std::numeric_limits<qint32>::max()) || cols > size_t(std::numeric_limits<qint32>::max()))
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The grid is too large for a Surfer grid"),
                                    QStringLiteral("Грид слишком велик для формата Surfer"));
    for (int i = 2; i < 6; ++i) {
        if (!std::isfinite(params[i]))
            return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The grid's coordinates are not finite numbers"),
                                        QStringLiteral("Координаты грида не являются конечными числами"));
    }
    return {};
}

// Smallest and largest finite value (0, 0 when there is none).
template <class Grid>
std::pair<double, double> value_range(const Grid& rows)
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const auto& row : rows) {
        for (const auto v : row) {
            const double d = double(v);
            if (std::isfinite(d)) {
                lo = std::min(lo, d);
                hi = std::max(hi, d);
            }
        }
    }
    if (lo > hi)
        return {0.0, 0.0};
    return {lo, hi};
}

void put_le32(std::vector<uchar>& out, qint32 v)
{
    uchar b[4];
    qToLittleEndian<qint32>(v, b);
    out.insert(out.end(), b, b + 4);
}

void put_le64(std::vector<uchar>& out, double v)
{
    uchar b[8];
    qToLittleEndian<quint64>(bits_of(v), b);
    out.insert(out.end(), b, b + 8);
}

void put_tag(std::vector<uchar>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}


template <class Grid>
CodecStatus write_text_grid(const QString& path, const Grid& rows, const std::vector<double>& params,
                            const CodecProgress& progress)
{
    using value_type = typename Grid::value_type::value_type;
    if (CodecStatus status = check_grid(rows, params); !status)
        return status;
    const size_t n_row = rows.size(), n_col = rows[0].size();
    const auto range = value_range(rows);

    QByteArray text;
    text += "DSAA\n";
    text += QByteArray::number(qint64(n_col)) + ' ' + QByteArray::number(qint64(n_row)) + '\n';
    for (int i = 2; i < 6; i += 2) {
        text_numbers::append_shortest(text, params[i]);
        text += ' ';
        text_numbers::append_shortest(text, params[i + 1]);
        text += '\n';
    }
    text_numbers::append_shortest(text, range.first);
    text += ' ';
    text_numbers::append_shortest(text, range.second);
    text += '\n';

    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    for (size_t i = 0; i < n_row; ++i) {
        if (!codec_continue(progress, codec_percent(qint64(i), qint64(n_row))))
            return cancel_writing(file);
        const value_type* row = rows[i].data();
        for (size_t j = 0; j < n_col; ++j) {
            text_numbers::append_shortest(text, row[j]);
            text += ' ';
            if ((j + 1) % 10 == 0)
                text += '\n';
        }
        text += "\n\n";
        if (text.size() > (1 << 20) || i + 1 == n_row) {
            if (CodecStatus status = write_bytes(file, text.constData(), text.size()); !status)
                return status;
            text.clear();
        }
    }
    return finish_writing(file, progress);
}

}  // namespace

CodecStatus read_surfer_grid(const QString& path, field2D& rows, std::vector<double>& params,
                             const CodecProgress& progress)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;
    char magic[7];
    const qint64 got = file.read(magic, 7);
    // A text grid saved by an editor may start with a UTF-8 byte order mark.
    const qint64 skip = got == 7 && std::equal(magic, magic + 3, "\xEF\xBB\xBF") ? 3 : 0;
    if (got < 4)
        return unknown_format();
    if (std::equal(magic + skip, magic + skip + 4, "DSAA")) {
        if (!file.seek(skip))
            return read_error(file);
        const QByteArray text = file.readAll();
        if (file.error() != QFile::NoError)
            return read_error(file);
        return read_text_grid(path, text, rows, params, progress);
    }
    if (std::equal(magic, magic + 4, "DSRB"))
        return read_binary_grid(path, file, rows, params, progress);
    return unknown_format();
}

CodecStatus write_surfer7_grid(const QString& path, const field2D& rows, const std::vector<double>& params,
                               const CodecProgress& progress)
{
    if (CodecStatus status = check_grid(rows, params); !status)
        return status;
    const size_t n_row = rows.size(), n_col = rows[0].size();
    const auto range = value_range(rows);

    std::vector<uchar> head;
    head.reserve(100);
    put_tag(head, "DSRB");
    put_le32(head, 4);
    put_le32(head, 2);
    put_tag(head, "GRID");
    put_le32(head, 72);
    put_le32(head, qint32(n_row));
    put_le32(head, qint32(n_col));
    put_le64(head, params[2]);
    put_le64(head, params[4]);
    put_le64(head, (params[3] - params[2]) / double(n_col - 1));
    put_le64(head, (params[5] - params[4]) / double(n_row - 1));
    put_le64(head, range.first);
    put_le64(head, range.second);
    put_le64(head, 0.0);
    put_le64(head, surfer_blank_value);
    put_tag(head, "DATA");
    const quint64 data_size = quint64(n_row) * n_col * 8;
    if (data_size > std::numeric_limits<quint32>::max())
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The grid is too large for a Surfer grid"),
                                    QStringLiteral("Грид слишком велик для формата Surfer"));
    put_le32(head, qint32(quint32(data_size)));

    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(head.data()), qint64(head.size())); !status)
        return status;
    std::vector<uchar> buffer(n_col * 8);
    for (size_t i = 0; i < n_row; ++i) {
        if (!codec_continue(progress, codec_percent(qint64(i), qint64(n_row))))
            return cancel_writing(file);
        for (size_t j = 0; j < n_col; ++j)
            qToLittleEndian<quint64>(bits_of(rows[i][j]), buffer.data() + 8 * j);
        if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(buffer.data()), qint64(buffer.size()));
            !status)
            return status;
    }
    return finish_writing(file, progress);
}

CodecStatus write_surfer6_text_grid(const QString& path, const vector2D& rows, const std::vector<double>& params,
                                    const CodecProgress& progress)
{
    return write_text_grid(path, rows, params, progress);
}

CodecStatus write_surfer6_text_grid(const QString& path, const field2D& rows, const std::vector<double>& params,
                                    const CodecProgress& progress)
{
    return write_text_grid(path, rows, params, progress);
}

CodecStatus write_surfer_grid(const QString& path, const field2D& rows, const std::vector<double>& params,
                              const QString& selected_filter, const CodecProgress& progress)
{
    if (surfer_filter_is_text(selected_filter))
        return write_surfer6_text_grid(path, rows, params, progress);
    return write_surfer7_grid(path, rows, params, progress);
}
