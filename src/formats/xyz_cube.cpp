#include "formats/xyz_cube.h"

#include "common/grid_geometry.h"
#include "formats/file_io.h"
#include "common/text_numbers.h"

#include <QSaveFile>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>

using namespace codec_io;

namespace {

// ---------------------------------------------------------------------------
// Numbers as text

// Shortest text that reads back as the same value ("-0" written as "0").
template <typename Real>
void append_number(std::string& out, Real v)
{
    text_numbers::append_shortest(out, v + Real(0));
}

QString number_text(double v)
{
    return text_numbers::shortest(v + 0.0);
}

// Reads the whole of [begin, end) as a number; a leading "+" is allowed.
bool parse_number(const char* begin, const char* end, double& value)
{
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '+' || *begin == '-'))
            return false;
    }
    if (begin == end)
        return false;
    const auto r = std::from_chars(begin, end, value);
    return r.ec == std::errc() && r.ptr == end;
}

inline bool is_separator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f';
}

struct Field {
    const char* begin;
    const char* end;
};

// Splits a line at runs of blanks, tabs and commas. Stores the first four
// fields and returns how many there are.
int split_fields(const char* p, const char* end, std::array<Field, 4>& fields)
{
    int count = 0;
    while (p != end) {
        while (p != end && is_separator(*p))
            ++p;
        if (p == end)
            break;
        const char* start = p;
        while (p != end && !is_separator(*p))
            ++p;
        if (count < 4)
            fields[count] = {start, p};
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------------------
// Lines of a file, read in large chunks.

constexpr std::size_t line_buffer_bytes = std::size_t(1) << 20;  // also the longest line accepted

class LineSource {
public:
    enum class Result { Line, End, ReadError, TooLong };

    explicit LineSource(QFile& file) : file_(file), buffer_(line_buffer_bytes) {}

    Result next(const char*& begin, const char*& end)
    {
        for (;;) {
            const char* data = buffer_.data();
            const void* newline = std::memchr(data + start_, '\n', fill_ - start_);
            if (newline) {
                begin = data + start_;
                end = static_cast<const char*>(newline);
                start_ = static_cast<std::size_t>(end - data) + 1;
                consumed_ += (end - begin) + 1;
                return Result::Line;
            }
            if (at_end_) {
                if (start_ == fill_)
                    return Result::End;
                begin = data + start_;
                end = data + fill_;
                start_ = fill_;
                consumed_ += end - begin;
                return Result::Line;
            }
            // Keep the unfinished line and read more behind it.
            if (start_ > 0) {
                std::memmove(buffer_.data(), buffer_.data() + start_, fill_ - start_);
                fill_ -= start_;
                start_ = 0;
            }
            if (fill_ == buffer_.size())
                return Result::TooLong;
            const qint64 got = file_.read(buffer_.data() + fill_, qint64(buffer_.size() - fill_));
            if (got < 0)
                return Result::ReadError;
            if (got == 0)
                at_end_ = true;
            fill_ += static_cast<std::size_t>(got);
        }
    }

    // Bytes of the lines handed out so far.
    qint64 consumed() const { return consumed_; }

private:
    QFile& file_;
    std::vector<char> buffer_;
    std::size_t start_ = 0, fill_ = 0;
    bool at_end_ = false;
    qint64 consumed_ = 0;
};

// ---------------------------------------------------------------------------
// Errors of the reader

CodecStatus line_error(const QString& path, qint64 line, const QString& english, const QString& russian)
{
    return CodecStatus::failure(
        CodecError::BadValue,
        QStringLiteral("File \"%1\" can't be read as an XYZ grid: line %2 %3")
            .arg(display_name(path), QString::number(line), english),
        QStringLiteral("Файл \"%1\" не читается как XYZ грид: строка %2 %3")
            .arg(display_name(path), QString::number(line), russian));
}

CodecStatus lattice_error(const QString& path, qint64 line, const QString& english, const QString& russian)
{
    return CodecStatus::failure(
        CodecError::BadGrid,
        QStringLiteral("File \"%1\" is not a regular XYZ grid: line %2 %3")
            .arg(display_name(path), QString::number(line), english),
        QStringLiteral("Файл \"%1\" не является регулярным XYZ гридом: строка %2 %3")
            .arg(display_name(path), QString::number(line), russian));
}

CodecStatus grid_error(const QString& path, const QString& english, const QString& russian)
{
    return not_a(CodecError::BadGrid, path, QStringLiteral("regular XYZ grid"),
                 QStringLiteral("регулярным XYZ гридом"), english, russian);
}

CodecStatus out_of_memory(long long cells)
{
    return grid_out_of_memory(CodecError::BadGrid, cells);
}

// What the text of a coordinate tells about its precision.
struct NumberDigits {
    int last = 0;         // decimal exponent of the last written digit ("6.54321e+06": 1)
    int leading = 0;      // decimal exponent of the first non-zero digit ("6.54321e+06": 6)
    int significant = 0;  // significant digits, trailing zeros of a number without a point left out
    bool point = false;   // the mantissa has a decimal point
};

NumberDigits number_digits(const char* p, const char* end)
{
    NumberDigits out;
    if (p != end && (*p == '+' || *p == '-'))
        ++p;
    int digits = 0, after_point = 0, first_nonzero = -1, last_nonzero = -1;
    for (; p != end && ((*p >= '0' && *p <= '9') || *p == '.'); ++p) {
        if (*p == '.') {
            out.point = true;
            continue;
        }
        if (*p != '0') {
            if (first_nonzero < 0)
                first_nonzero = digits;
            last_nonzero = digits;
        }
        ++digits;
        if (out.point)
            ++after_point;
    }
    int exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        const auto r = std::from_chars(p + (p != end && *p == '+' ? 1 : 0), end, exponent);
        if (r.ec != std::errc())
            exponent = 0;
    }
    out.last = exponent - after_point;
    if (first_nonzero < 0) {
        out.leading = out.last;
        return out;  // zero: no significant digit
    }
    out.leading = out.last + (digits - 1 - first_nonzero);
    out.significant = (out.point ? digits - 1 : last_nonzero) - first_nonzero + 1;
    return out;
}

// Half the unit of the last digit each node's text really holds. Programs
// that write coordinates with a fixed number of significant digits (six is
// common) write a UTM northing as "6.54321e+06" or, without a point, as
// "6543210": there the zeros beyond the digits the axis shows elsewhere are
// rounding, not digits.
std::vector<double> rounding_of(const std::vector<NumberDigits>& digits)
{
    int precision = 0;
    for (const NumberDigits& d : digits)
        precision = std::max(precision, d.significant);
    std::vector<double> half(digits.size());
    for (std::size_t i = 0; i < digits.size(); ++i) {
        int unit = digits[i].last;
        if (!digits[i].point && precision >= 6)
            unit = std::max(unit, digits[i].leading - precision + 1);
        half[i] = 0.5 * std::pow(10.0, unit);
    }
    return half;
}

// The decimal with the fewest digits in [lo, hi]: a multiple of the largest
// power of ten that has one there; when two or more such multiples lie
// there, the one nearest the middle, and when two are equally near (20 and
// 30 in [20, 30]) the next smaller power decides.
double simplest_decimal(double lo, double hi)
{
    const double middle = 0.5 * (lo + hi);
    const double scale = std::max(std::fabs(lo), std::fabs(hi));
    if (!(lo < hi) || !(scale > 0))
        return middle;
    for (int e = int(std::ceil(std::log10(scale))) + 1; e >= -17; --e) {
        // Dividing by an exact power of ten rounds once: 0.01 * 3333 would
        // not give the nearest double to 33.33.
        const double power = std::pow(10.0, std::abs(e));
        auto value = [&](double m) { return e >= 0 ? m * power : m / power; };
        const double m_lo = std::ceil(e >= 0 ? lo / power : lo * power);
        const double m_hi = std::floor(e >= 0 ? hi / power : hi * power);
        if (m_lo > m_hi)
            continue;
        if (m_lo == m_hi)
            return value(m_lo);
        const double near = std::min(std::max(std::round(e >= 0 ? middle / power : middle * power), m_lo), m_hi);
        const double below = near - 1, above = near + 1;
        const double d = std::fabs(value(near) - middle);
        const bool tie = (below >= m_lo && std::fabs(std::fabs(value(below) - middle) - d) <= 1e-12 * scale) ||
                         (above <= m_hi && std::fabs(std::fabs(value(above) - middle) - d) <= 1e-12 * scale);
        if (!tie)
            return value(near);
    }
    return middle;
}

// Evenly spaced nodes first + i * step, each within half[i] of nodes[i]: the
// lattice whose step, and then first node, have the fewest digits among
// those the digits allow (so that nodes written with too few digits come
// back where they were, say 6543210 at 25 m steps). Empty when no such
// lattice exists.
std::vector<double> lattice_within(const std::vector<double>& nodes, const std::vector<double>& half)
{
    const std::size_t n = nodes.size();
    std::vector<double> lo(n), hi(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double slack = 1e-9 * half[i] + 1e-13 * std::fabs(nodes[i]);
        lo[i] = nodes[i] - half[i] - slack;
        hi[i] = nodes[i] + half[i] + slack;
    }
    // First nodes that fit step s: [max(lo_i - i s), min(hi_i - i s)]; the
    // gap of that range is convex in s.
    auto origins = [&](double s, double& a, double& b) {
        a = -std::numeric_limits<double>::infinity();
        b = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < n; ++i) {
            a = std::max(a, lo[i] - double(i) * s);
            b = std::min(b, hi[i] - double(i) * s);
        }
        return a - b;
    };
    const double last = double(n - 1);
    double left = (lo[n - 1] - hi[0]) / last, right = (hi[n - 1] - lo[0]) / last;
    double a, b;
    for (int it = 0; it < 200; ++it) {
        const double m1 = left + (right - left) / 3, m2 = right - (right - left) / 3;
        if (origins(m1, a, b) <= origins(m2, a, b))
            right = m2;
        else
            left = m1;
    }
    const double best = 0.5 * (left + right);
    if (origins(best, a, b) > 0)
        return {};
    // The edges of the steps that fit.
    auto edge = [&](double outside, double inside) {
        for (int it = 0; it < 200; ++it) {
            const double mid = 0.5 * (outside + inside);
            if (origins(mid, a, b) <= 0)
                inside = mid;
            else
                outside = mid;
        }
        return inside;
    };
    const double s_lo = edge((lo[n - 1] - hi[0]) / last, best);
    const double s_hi = edge((hi[n - 1] - lo[0]) / last, best);
    const double step = simplest_decimal(s_lo, s_hi);
    if (origins(step, a, b) > 0)
        return {};
    const double first = simplest_decimal(a, b);
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = first + double(i) * step;
        if (out[i] < lo[i] || out[i] > hi[i])
            return {};
    }
    return out;
}

// The nodes of one axis, in file order, must be distinct, in order (either
// way) and evenly spaced: to float rounding, or within the rounding of the
// digits their texts have (the nodes are then replaced by the evenly spaced
// ones those digits stand for), or within a hundredth of a step.
CodecStatus check_axis(const QString& path, std::vector<double>& nodes, const std::vector<NumberDigits>& digits,
                       const char* axis)
{
    const std::size_t n = nodes.size();
    if (n < 2)
        return {};
    const double step = (nodes.back() - nodes.front()) / double(n - 1);
    const QString name = QString::fromLatin1(axis);
    for (std::size_t i = 1; i < n; ++i) {
        const double d = nodes[i] - nodes[i - 1];
        if (step == 0 || d == 0 || (d > 0) != (step > 0))
            return grid_error(path,
                              QStringLiteral("its %1 nodes are not distinct and in order (%2 follows %3)")
                                  .arg(name, number_text(nodes[i]), number_text(nodes[i - 1])),
                              QStringLiteral("узлы %1 в нём повторяются или идут не по порядку (%2 после %3)")
                                  .arg(name, number_text(nodes[i]), number_text(nodes[i - 1])));
    }
    double largest = 0;
    for (double v : nodes)
        largest = std::max(largest, std::fabs(v));
    bool even = true;
    for (std::size_t i = 1; i < n && even; ++i)
        even = std::fabs(nodes[i] - (nodes.front() + double(i) * step)) <= 1e-9 * std::fabs(step) + 1e-13 * largest;
    if (even)
        return {};
    std::vector<double> lattice = lattice_within(nodes, rounding_of(digits));
    if (!lattice.empty()) {
        nodes.swap(lattice);
        return {};
    }
    for (std::size_t i = 1; i < n; ++i) {
        const double expected = nodes.front() + double(i) * step;
        if (std::fabs(nodes[i] - expected) > 0.01 * std::fabs(step))
            return grid_error(path,
                              QStringLiteral("its %1 nodes are not evenly spaced (%2 where %3 is expected)")
                                  .arg(name, number_text(nodes[i]), number_text(expected)),
                              QStringLiteral("узлы %1 в нём расположены неравномерно (%2 вместо %3)")
                                  .arg(name, number_text(nodes[i]), number_text(expected)));
    }
    return {};
}

// ---------------------------------------------------------------------------
// Writers

CodecStatus check_cube(const vector3D& cube, const std::vector<double>& x, const std::vector<double>& y,
                       const std::vector<double>& z)
{
    if (!cube_is_regular(cube))
        return CodecStatus::failure(CodecError::BadGrid,
                                    QStringLiteral("The 3D grid is empty or its levels differ in size"),
                                    QStringLiteral("3D грид пуст или размеры его уровней различаются"));
    if (x.size() != cube.front().front().size() || y.size() != cube.front().size() || z.size() != cube.size())
        return CodecStatus::failure(
            CodecError::BadGrid,
            QStringLiteral("The node coordinates (%1 x, %2 y, %3 z) do not fit the 3D grid of %4 x %5 x %6 cells")
                .arg(x.size()).arg(y.size()).arg(z.size())
                .arg(cube.front().front().size()).arg(cube.front().size()).arg(cube.size()),
            QStringLiteral("Координаты узлов (%1 x, %2 y, %3 z) не соответствуют 3D гриду из %4 x %5 x %6 ячеек")
                .arg(x.size()).arg(y.size()).arg(z.size())
                .arg(cube.front().front().size()).arg(cube.front().size()).arg(cube.size()));
    return {};
}

CodecStatus write_text(QSaveFile& file, std::string& text)
{
    const CodecStatus status = write_bytes(file, text.data(), qint64(text.size()));
    text.clear();
    return status;
}

// One "x y z value" line of a cube text file.
void append_cell_line(std::string& text, double x, double y, double z, data_type value)
{
    append_number(text, x);
    text += ' ';
    append_number(text, y);
    text += ' ';
    append_number(text, z);
    text += ' ';
    append_number(text, value);
    text += '\n';
}

// Writes a cube text file in `parts` parts of rows_in(part) rows each;
// append_row(part, row, text) appends the lines of one row. The text goes
// out at least once a part (and whenever it passes 1 MiB); progress is
// reported before each part and may cancel, leaving the target as it was.
template <typename RowsIn, typename AppendRow>
CodecStatus write_cell_lines(const QString& path, std::size_t parts, RowsIn rows_in, AppendRow append_row,
                             const CodecProgress& progress)
{
    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    std::string text;
    for (std::size_t part = 0; part < parts; ++part) {
        if (!codec_continue(progress, codec_percent(static_cast<long long>(part), static_cast<long long>(parts))))
            return cancel_writing(file);
        const std::size_t rows = rows_in(part);
        for (std::size_t row = 0; row < rows; ++row) {
            append_row(part, row, text);
            if (text.size() >= (std::size_t(1) << 20))
                if (CodecStatus status = write_text(file, text); !status)
                    return status;
        }
        if (CodecStatus status = write_text(file, text); !status)
            return status;
    }
    return finish_writing(file, progress);
}

}  // namespace

// Share of the progress bar the reading of the lines takes; laying the cells
// out into levels takes the rest.
constexpr int kParsedPercent = 90;

CodecStatus read_xyz_cube(const QString& path, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
                          std::vector<double>& z, const CodecProgress& progress)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;
    const qint64 size = file.size();
    LineSource lines(file);

    // The lattice as far as the lines read so far tell it.
    double x0 = 0, y0 = 0, z0 = 0;
    std::vector<double> column_z;  // z of the first column, in file order
    std::vector<double> block_y;   // y of the columns of the first x block
    std::vector<double> block_x;   // x of every x block
    std::vector<NumberDigits> column_z_digits, block_y_digits, block_x_digits;  // what their texts hold
    double column_x = 0, column_y = 0;
    long long nz = 0, ny = 0;      // 0 while not known yet
    long long n = 0;               // cells read
    long long next_progress = 0;
    int field_count = 0;
    qint64 line = 0;
    std::vector<float> values;     // file order

    try {
        for (;;) {
            if (n == next_progress) {
                if (!codec_continue(progress, size > 0 ? int(lines.consumed() * kParsedPercent / size) : 0))
                    return CodecStatus::cancelled();
                next_progress += xyz_lines_per_block;
            }
            const char* begin;
            const char* end;
            const LineSource::Result got = lines.next(begin, end);
            if (got == LineSource::Result::End)
                break;
            if (got == LineSource::Result::ReadError)
                return read_error(file);
            ++line;
            if (got == LineSource::Result::TooLong)
                return line_error(path, line, QStringLiteral("is longer than 1 MB: this is not a text grid"),
                                  QStringLiteral("длиннее 1 МБ: это не текстовый грид"));
            if (line == 1 && end - begin >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0)
                begin += 3;  // UTF-8 byte-order mark

            std::array<Field, 4> fields;
            const int count = split_fields(begin, end, fields);
            if (count == 0)
                continue;  // empty line
            if (field_count == 0) {
                if (count < 4)
                    return line_error(path, line,
                                      QStringLiteral("holds %1 fields; four are needed (x, y, z, value)").arg(count),
                                      QStringLiteral("содержит полей: %1; нужно четыре (x, y, z, значение)").arg(count));
                field_count = count;
            } else if (count != field_count) {
                return line_error(path, line,
                                  QStringLiteral("holds %1 fields while the first line holds %2").arg(count).arg(field_count),
                                  QStringLiteral("содержит полей: %1, а первая строка: %2").arg(count).arg(field_count));
            }
            double v[4];
            for (int f = 0; f < 4; ++f) {
                if (!parse_number(fields[f].begin, fields[f].end, v[f]) || (f < 3 && !std::isfinite(v[f]))) {
                    const QString text = QString::fromUtf8(fields[f].begin, int(std::min<std::ptrdiff_t>(
                                                                                  fields[f].end - fields[f].begin, 40)));
                    return line_error(path, line,
                                      QStringLiteral("field %1 (\"%2\") is not a number").arg(f + 1).arg(text),
                                      QStringLiteral("поле %1 (\"%2\") не является числом").arg(f + 1).arg(text));
                }
            }
            if (std::isfinite(v[3]) && std::fabs(v[3]) > double(std::numeric_limits<float>::max()))
                return line_error(path, line,
                                  QStringLiteral("value %1 is too large for a grid cell").arg(number_text(v[3])),
                                  QStringLiteral("значение %1 слишком велико для ячейки грида").arg(number_text(v[3])));
            const double cx = v[0], cy = v[1], cz = v[2];

            if (n == 0) {
                x0 = column_x = cx;
                y0 = column_y = cy;
                z0 = cz;
                column_z.push_back(cz);
                block_y.push_back(cy);
                block_x.push_back(cx);
                column_z_digits.push_back(number_digits(fields[2].begin, fields[2].end));
                block_y_digits.push_back(number_digits(fields[1].begin, fields[1].end));
                block_x_digits.push_back(number_digits(fields[0].begin, fields[0].end));
            } else if (nz == 0 && cz != z0) {
                // Still in the first column.
                if (cx != x0 || cy != y0)
                    return lattice_error(
                        path, line,
                        QStringLiteral("begins a new column, but its z (%1) differs from the first z of the first column (%2)")
                            .arg(number_text(cz), number_text(z0)),
                        QStringLiteral("начинает новую колонку, но её z (%1) отличается от первого z первой колонки (%2)")
                            .arg(number_text(cz), number_text(z0)));
                column_z.push_back(cz);
                column_z_digits.push_back(number_digits(fields[2].begin, fields[2].end));
            } else {
                if (nz == 0)
                    nz = n;  // the first z repeats: the first column had n levels
                const long long m = n % nz;  // place in the column
                const long long c = n / nz;  // column
                if (cz != column_z[m])
                    return lattice_error(
                        path, line,
                        QStringLiteral("has z = %1 where z = %2 is expected (every column must list the levels of the "
                                       "first one in the same order)")
                            .arg(number_text(cz), number_text(column_z[m])),
                        QStringLiteral("содержит z = %1, а ожидается z = %2 (каждая колонка должна содержать уровни "
                                       "первой колонки в том же порядке)")
                            .arg(number_text(cz), number_text(column_z[m])));
                if (m == 0) {
                    if (ny == 0) {
                        if (cy == y0) {  // the second x block begins
                            if (cx == x0)
                                return lattice_error(path, line,
                                                     QStringLiteral("repeats the first column (x = %1, y = %2)")
                                                         .arg(number_text(cx), number_text(cy)),
                                                     QStringLiteral("повторяет первую колонку (x = %1, y = %2)")
                                                         .arg(number_text(cx), number_text(cy)));
                            ny = c;
                            block_x.push_back(cx);
                            block_x_digits.push_back(number_digits(fields[0].begin, fields[0].end));
                        } else {
                            if (cx != x0)
                                return lattice_error(
                                    path, line,
                                    QStringLiteral("begins a new x block, but its y (%1) differs from the first y of "
                                                   "the first x block (%2)")
                                        .arg(number_text(cy), number_text(y0)),
                                    QStringLiteral("начинает новый блок x, но её y (%1) отличается от первого y первого "
                                                   "блока (%2)")
                                        .arg(number_text(cy), number_text(y0)));
                            block_y.push_back(cy);
                            block_y_digits.push_back(number_digits(fields[1].begin, fields[1].end));
                        }
                    } else {
                        const long long l = c % ny;  // row
                        if (l == 0) {
                            if (cx == block_x.back())
                                return lattice_error(
                                    path, line,
                                    QStringLiteral("should begin a new x block but repeats x = %1").arg(number_text(cx)),
                                    QStringLiteral("должна начинать новый блок x, но повторяет x = %1").arg(number_text(cx)));
                            block_x.push_back(cx);
                            block_x_digits.push_back(number_digits(fields[0].begin, fields[0].end));
                        } else if (cx != block_x.back()) {
                            return lattice_error(
                                path, line,
                                QStringLiteral("has x = %1 where x = %2 is expected (x changes inside an x block)")
                                    .arg(number_text(cx), number_text(block_x.back())),
                                QStringLiteral("содержит x = %1, а ожидается x = %2 (x меняется внутри блока)")
                                    .arg(number_text(cx), number_text(block_x.back())));
                        }
                        if (cy != block_y[l])
                            return lattice_error(
                                path, line,
                                QStringLiteral("has y = %1 where y = %2 is expected (every x block must list the rows "
                                               "of the first one in the same order)")
                                    .arg(number_text(cy), number_text(block_y[l])),
                                QStringLiteral("содержит y = %1, а ожидается y = %2 (каждый блок x должен содержать "
                                               "строки первого блока в том же порядке)")
                                    .arg(number_text(cy), number_text(block_y[l])));
                    }
                    column_x = cx;
                    column_y = cy;
                } else if (cx != column_x || cy != column_y) {
                    return lattice_error(
                        path, line,
                        QStringLiteral("has x = %1, y = %2 inside the column of x = %3, y = %4")
                            .arg(number_text(cx), number_text(cy), number_text(column_x), number_text(column_y)),
                        QStringLiteral("содержит x = %1, y = %2 внутри колонки x = %3, y = %4")
                            .arg(number_text(cx), number_text(cy), number_text(column_x), number_text(column_y)));
                }
            }
            values.push_back(static_cast<float>(v[3]));
            ++n;
        }
    } catch (const std::bad_alloc&) {
        return out_of_memory(n);
    } catch (const std::length_error&) {
        return out_of_memory(n);
    }

    // Shape.
    if (n == 0)
        return CodecStatus::failure(CodecError::BadGrid,
                                    QStringLiteral("File \"%1\" holds no grid cells").arg(display_name(path)),
                                    QStringLiteral("Файл \"%1\" не содержит ячеек грида").arg(display_name(path)));
    if (nz == 0)
        nz = n;  // a single column
    if (ny == 0) {
        if (n % nz != 0)
            return truncated(path,
                             QStringLiteral("it ends inside a column: %1 lines of cells are not a whole number of "
                                            "columns of %2 levels")
                                 .arg(n).arg(nz),
                             QStringLiteral("он обрывается внутри колонки: %1 строк ячеек не составляют целого числа "
                                            "колонок по %2 уровней")
                                 .arg(n).arg(nz));
        ny = n / nz;  // a single x block
    }
    if (n % (nz * ny) != 0)
        return truncated(path,
                         QStringLiteral("it ends inside x block %1: %2 lines of cells are not a whole number of "
                                        "blocks of %3 rows by %4 levels")
                             .arg(n / (nz * ny) + 1).arg(n).arg(ny).arg(nz),
                         QStringLiteral("он обрывается внутри блока x %1: %2 строк ячеек не составляют целого числа "
                                        "блоков по %3 строк и %4 уровней")
                             .arg(n / (nz * ny) + 1).arg(n).arg(ny).arg(nz));
    const long long nx = n / (nz * ny);
    const long long int_max = std::numeric_limits<int>::max();
    if (nx > int_max || ny > int_max || nz > int_max)
        return grid_error(path, QStringLiteral("it has too many nodes along one axis"),
                          QStringLiteral("в нём слишком много узлов по одной из осей"));
    for (const std::vector<double>* axis : {&block_x, &block_y, &column_z})
        if (CodecStatus status = check_coordinates(path, QStringLiteral("regular XYZ grid"),
                                                   QStringLiteral("регулярным XYZ гридом"), *axis);
            !status)
            return status;
    // The lattice checks may replace nodes written with too few digits by
    // the evenly spaced ones they stand for; the checks of every line above
    // compared the texts as written.
    if (CodecStatus status = check_axis(path, column_z, column_z_digits, "z"); !status)
        return status;
    if (CodecStatus status = check_axis(path, block_y, block_y_digits, "y"); !status)
        return status;
    if (CodecStatus status = check_axis(path, block_x, block_x_digits, "x"); !status)
        return status;

    // Columns that run from the top down are turned over, so that level 0 is
    // always the shallowest (depth = -z).
    const bool top_down = nz > 1 && column_z[1] < column_z[0];
    std::vector<double> depths(static_cast<std::size_t>(nz));
    for (long long m = 0; m < nz; ++m)
        depths[static_cast<std::size_t>(top_down ? m : nz - 1 - m)] = -column_z[static_cast<std::size_t>(m)] + 0.0;

    // The cells, held in file order (x blocks of columns), go into the cube
    // level by level, each level allocated after its progress call, so that
    // the window repaints while a large cube is laid out.
    vector3D local;
    for (long long level = 0; level < nz; ++level) {
        if (!codec_continue(progress, kParsedPercent + int(level * (100 - kParsedPercent) / nz)))
            return CodecStatus::cancelled();
        const long long m = top_down ? level : nz - 1 - level;  // position in each column
        vector2D* cells = nullptr;
        try {
            if (level == 0)
                local.reserve(static_cast<std::size_t>(nz));
            cells = &local.emplace_back(static_cast<std::size_t>(ny),
                                        std::vector<data_type>(static_cast<std::size_t>(nx)));
        } catch (const std::bad_alloc&) {
            return out_of_memory(n);
        } catch (const std::length_error&) {
            return out_of_memory(n);
        }
        for (long long j = 0; j < ny; ++j) {
            data_type* row = (*cells)[static_cast<std::size_t>(j)].data();
            const std::size_t first = static_cast<std::size_t>(j * nz + m);
            const std::size_t stride = static_cast<std::size_t>(ny * nz);
            for (long long i = 0; i < nx; ++i)
                row[i] = values[first + static_cast<std::size_t>(i) * stride];
        }
    }

    if (!codec_continue(progress, 100))
        return CodecStatus::cancelled();
    cube.swap(local);
    x = even_nodes(block_x.front(), block_x.back(), static_cast<int>(nx));
    y = std::move(block_y);
    z = std::move(depths);
    return {};
}

CodecStatus write_xyz_cube(const QString& path, const vector3D& cube, const std::vector<double>& x,
                           const std::vector<double>& y, const std::vector<double>& z, const CodecProgress& progress)
{
    if (CodecStatus status = check_cube(cube, x, y, z); !status)
        return status;
    const std::size_t nz = cube.size(), ny = cube.front().size(), nx = cube.front().front().size();
    // One x block at a time, each column from the deepest level up.
    return write_cell_lines(
        path, nx, [ny](std::size_t) { return ny; },
        [&](std::size_t i, std::size_t j, std::string& text) {
            for (std::size_t k = nz; k-- > 0;)
                append_cell_line(text, x[i], y[j], -z[k], cube[k][j][i]);
        },
        progress);
}

CodecStatus write_cell_table(const QString& path, const vector3D& cube, const std::vector<double>& x,
                             const std::vector<double>& y, const std::vector<double>& z, const CodecProgress& progress)
{
    if (!cube.empty())
        if (CodecStatus status = check_cube(cube, x, y, z); !status)
            return status;

    // Level by level, row by row.
    return write_cell_lines(
        path, cube.size(), [&cube](std::size_t k) { return cube[k].size(); },
        [&](std::size_t k, std::size_t j, std::string& text) {
            for (std::size_t i = 0; i < cube[k][j].size(); ++i)
                append_cell_line(text, x[i], y[j], z[k], cube[k][j][i]);
        },
        progress);
}
