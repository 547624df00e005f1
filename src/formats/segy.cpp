#include "formats/segy.h"

#include "common/coordinate_limit.h"
#include "formats/file_io.h"
#include "common/grid_geometry.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

using namespace codec_io;

// ---- header records ---------------------------------------------------------

template <int Size, int FirstPosition>
qint16 segy_record<Size, FirstPosition>::int16_at(int position) const
{
    const int offset = position - FirstPosition;
    Q_ASSERT(offset >= 0 && offset + 2 <= Size);
    return big_endian ? qFromBigEndian<qint16>(bytes.data() + offset) : qFromLittleEndian<qint16>(bytes.data() + offset);
}

template <int Size, int FirstPosition>
qint32 segy_record<Size, FirstPosition>::int32_at(int position) const
{
    const int offset = position - FirstPosition;
    Q_ASSERT(offset >= 0 && offset + 4 <= Size);
    return big_endian ? qFromBigEndian<qint32>(bytes.data() + offset) : qFromLittleEndian<qint32>(bytes.data() + offset);
}

template <int Size, int FirstPosition>
void segy_record<Size, FirstPosition>::set_int16(int position, qint16 value)
{
    const int offset = position - FirstPosition;
    Q_ASSERT(offset >= 0 && offset + 2 <= Size);
    if (big_endian)
        qToBigEndian<qint16>(value, bytes.data() + offset);
    else
        qToLittleEndian<qint16>(value, bytes.data() + offset);
}

template <int Size, int FirstPosition>
void segy_record<Size, FirstPosition>::set_int32(int position, qint32 value)
{
    const int offset = position - FirstPosition;
    Q_ASSERT(offset >= 0 && offset + 4 <= Size);
    if (big_endian)
        qToBigEndian<qint32>(value, bytes.data() + offset);
    else
        qToLittleEndian<qint32>(value, bytes.data() + offset);
}

template struct segy_record<400, 3201>;
template struct segy_record<240, 1>;

namespace {

// Byte order of a file from its sample format code (positions 3225-3226).
bool format_code_is_big_endian(const uchar* code)
{
    const qint16 little = qFromLittleEndian<qint16>(code);
    if (little >= 1 && little <= 16)
        return false;
    const qint16 big = qFromBigEndian<qint16>(code);
    return big >= 1 && big <= 16;
}

int sample_size(int format)
{
    return format == 3 ? 2 : 4;
}

QString format_name(int format)
{
    switch (format) {
    case 1: return QStringLiteral("IBM float");
    case 2: return QStringLiteral("32-bit integer");
    case 3: return QStringLiteral("16-bit integer");
    case 4: return QStringLiteral("fixed point with gain");
    case 5: return QStringLiteral("IEEE float");
    case 6: return QStringLiteral("IEEE double");
    case 7: return QStringLiteral("24-bit integer");
    case 8: return QStringLiteral("8-bit integer");
    default: return QStringLiteral("unknown");
    }
}

double apply_scalar(qint32 value, qint16 scalar)
{
    if (scalar > 0)
        return double(value) * scalar;
    if (scalar < 0)
        return double(value) / -double(scalar);
    return double(value);
}

// Revision of a binary header: 2.0 and later keep the major number in byte
// 3501 and the minor one in 3502; revision 1 wrote 0x0100 as a 16-bit value
// in the file's byte order, and some writers do so for later revisions too.
bool revision_2_or_later(const segy_binary_header& bh)
{
    return bh.bytes[3501 - 3201] >= 2 || bh.uint16_at(3501) >= 0x0200;
}

// The extended sample interval (3273-3280, an IEEE double in the file's byte
// order) of a revision 2 file with `samples` samples per trace from the
// depth `first`; 0 when the file is older or the field holds no usable
// interval: one that is not a positive finite number, that takes the last
// depth beyond the coordinate limit, or whose step the views (single
// precision) cannot tell from no step at all.
double extended_sample_interval(const segy_binary_header& bh, double first, qint64 samples)
{
    if (!revision_2_or_later(bh))
        return 0;
    const uchar* p = bh.bytes.data() + (3273 - 3201);
    const double value = double_from_bits(bh.big_endian ? qFromBigEndian<quint64>(p) : qFromLittleEndian<quint64>(p));
    if (!(std::isfinite(value) && value > 0))
        return 0;
    if (samples < 2)
        return value;
    const double step = value / 1000.0;
    const double last = first + double(samples - 1) * step;
    if (!coordinate_fits(last))
        return 0;
    // Float node spacing is coarsest at the largest magnitude, at one end.
    const bool distinct = float(first) != float(first + step) && float(last - step) != float(last);
    return distinct ? value : 0;
}

CodecStatus not_a_cube(const QString& name, const QString& english, const QString& russian)
{
    return CodecStatus::failure(
        CodecError::BadHeader,
        QStringLiteral("SEG-Y file \"%1\" does not hold a readable cube: %2").arg(name, english),
        QStringLiteral("SEG-Y файл \"%1\" не содержит читаемого куба: %2").arg(name, russian));
}

// Scans a whole file held in memory.
CodecStatus scan_bytes(const uchar* data, qint64 size, const QString& name, segy_geometry& g)
{
    if (size < segy_file_header_size)
        return CodecStatus::failure(
            CodecError::UnknownFormat,
            QStringLiteral("File \"%1\" is not a SEG-Y file: it is shorter than the 3600-byte file header").arg(name),
            QStringLiteral("Файл \"%1\" не является SEG-Y файлом: он короче заголовка в 3600 байт").arg(name));
    segy_binary_header bh;
    std::copy(data + 3200, data + 3600, bh.bytes.begin());
    bh.big_endian = format_code_is_big_endian(bh.bytes.data() + 24);

    segy_geometry out;
    out.big_endian = bh.big_endian;
    out.sample_format = bh.sample_format();
    if (out.sample_format != 1 && out.sample_format != 2 && out.sample_format != 3 && out.sample_format != 5)
        return CodecStatus::failure(
            CodecError::Unsupported,
            QStringLiteral("SEG-Y file \"%1\" uses sample format %2 (%3), which can't be read; formats 1 (IBM float), "
                           "2 (32-bit integer), 3 (16-bit integer) and 5 (IEEE float) can")
                .arg(name).arg(out.sample_format).arg(format_name(out.sample_format)),
            QStringLiteral("SEG-Y файл \"%1\" использует формат отсчётов %2 (%3), который не читается; читаются форматы "
                           "1 (IBM float), 2 (32-битное целое), 3 (16-битное целое) и 5 (IEEE float)")
                .arg(name).arg(out.sample_format).arg(format_name(out.sample_format)));
    out.samples = bh.samples_per_trace();
    if (out.samples == 0)
        return not_a_cube(name, QStringLiteral("its binary header gives 0 samples per trace"),
                          QStringLiteral("в двоичном заголовке 0 отсчётов на трассу"));

    // Extended textual headers (revision 1 and later) sit between the file
    // header and the first trace.
    if (bh.uint16_at(3501) != 0) {
        const qint16 extended = bh.int16_at(3505);
        if (extended < 0)
            return CodecStatus::failure(
                CodecError::Unsupported,
                QStringLiteral("SEG-Y file \"%1\" has a variable number of extended textual headers, which can't be read").arg(name),
                QStringLiteral("SEG-Y файл \"%1\" содержит переменное число расширенных текстовых заголовков, что не поддерживается").arg(name));
        out.data_offset = segy_file_header_size + 3200 * qint64(extended);
    }

    out.trace_bytes = 240 + out.samples * sample_size(out.sample_format);
    const qint64 data_bytes = size - out.data_offset;
    const qint64 traces = data_bytes > 0 ? data_bytes / out.trace_bytes : 0;
    if (traces == 0)
        return not_a_cube(name, QStringLiteral("it holds no whole trace of %1 bytes").arg(out.trace_bytes),
                          QStringLiteral("в нём нет ни одной целой трассы длиной %1 байт").arg(out.trace_bytes));
    if (data_bytes % out.trace_bytes != 0)
        return CodecStatus::failure(
            CodecError::Truncated,
            QStringLiteral("SEG-Y file \"%1\" is incomplete: its last trace has %2 of %3 bytes")
                .arg(name).arg(data_bytes % out.trace_bytes).arg(out.trace_bytes),
            QStringLiteral("SEG-Y файл \"%1\" неполон: в последней трассе %2 из %3 байт")
                .arg(name).arg(data_bytes % out.trace_bytes).arg(out.trace_bytes));

    const uchar* first = data + out.data_offset;
    auto field32 = [&](qint64 trace, int position) {
        const uchar* p = first + trace * out.trace_bytes + position - 1;
        return out.big_endian ? qFromBigEndian<qint32>(p) : qFromLittleEndian<qint32>(p);
    };
    auto field16 = [&](qint64 trace, int position) {
        const uchar* p = first + trace * out.trace_bytes + position - 1;
        return out.big_endian ? qFromBigEndian<qint16>(p) : qFromLittleEndian<qint16>(p);
    };

    auto coordinate = [&](qint64 t, int position) { return apply_scalar(field32(t, position), field16(t, 71)); };

    // Lines: where the key at 181-184 falls; when that key never changes,
    // where the inline number at 189-192 changes. A key that falls from the
    // first trace to the second while these two lie along x (their x differs
    // more than their y) runs down the lines, as the CDP x (which the
    // standard keeps there) of lines whose x falls does: then a line starts
    // where the key rises.
    bool key_changes = false;
    for (qint64 t = 1; t < traces && !key_changes; ++t)
        key_changes = field32(t, 181) != field32(0, 181);
    const bool key_falls = key_changes && field32(1, 181) < field32(0, 181) &&
                           std::fabs(coordinate(1, 81) - coordinate(0, 81)) > std::fabs(coordinate(1, 85) - coordinate(0, 85));
    auto starts_line = [&](qint64 t) {
        if (!key_changes)
            return field32(t, 189) != field32(t - 1, 189);
        return key_falls ? field32(t, 181) > field32(t - 1, 181) : field32(t, 181) < field32(t - 1, 181);
    };
    qint64 per_line = traces;
    for (qint64 t = 1; t < traces; ++t) {
        if (starts_line(t)) {
            per_line = t;
            break;
        }
    }
    if (traces % per_line != 0)
        return not_a_cube(name,
                          QStringLiteral("its %1 traces do not form whole lines of %2 traces").arg(traces).arg(per_line),
                          QStringLiteral("его %1 трасс не составляют целых линий по %2 трасс").arg(traces).arg(per_line));
    for (qint64 t = per_line + 1; t < traces; ++t) {
        if (starts_line(t) != (t % per_line == 0))
            return not_a_cube(name,
                              QStringLiteral("its lines differ in length (trace %1 breaks the pattern of %2 traces per line)")
                                  .arg(t + 1).arg(per_line),
                              QStringLiteral("его линии разной длины (трасса %1 нарушает порядок из %2 трасс в линии)")
                                  .arg(t + 1).arg(per_line));
    }
    // A file whose keys never fall is a single line: one row of the cube.
    out.traces_per_line = per_line;
    out.lines = traces / per_line;

    out.x_first = coordinate(0, 81);
    out.y_first = coordinate(0, 85);
    out.x_last = coordinate(per_line - 1, 81);
    out.y_last = coordinate(traces - 1, 85);

    // The nodes are spread evenly between the first and the last traces'
    // coordinates, in increasing order: x falling along the lines, or y from
    // line to line, reads the columns, or the rows, in reverse. Traces at one
    // point along an axis of several nodes, or coordinates that turn back,
    // make no grid. Files that keep their positions in other fields are told
    // so, but read only from the group coordinates.
    const qint64 P = per_line, N = out.lines;
    auto number = [](double v) { return QString::number(v, 'g', 12); };
    auto spread = [&](int x_position, int y_position) {
        return (P == 1 || coordinate(P - 1, x_position) != coordinate(0, x_position)) &&
               (N == 1 || coordinate(traces - 1, y_position) != coordinate(0, y_position));
    };
    if (!spread(81, 85)) {
        QString english = QStringLiteral("its traces' x and y, read from the group coordinates (bytes 81-88 of the "
                                         "trace headers), stay the same along the lines or from line to line "
                                         "(x %1 to %2, y %3 to %4)")
                              .arg(number(out.x_first), number(out.x_last), number(out.y_first), number(out.y_last));
        QString russian = QStringLiteral("координаты x и y трасс, читаемые из координат группы (байты 81-88 "
                                         "заголовков трасс), не меняются вдоль линий или от линии к линии "
                                         "(x от %1 до %2, y от %3 до %4)")
                              .arg(number(out.x_first), number(out.x_last), number(out.y_first), number(out.y_last));
        const bool cdp = spread(181, 185), source = spread(73, 77);
        if (cdp || source) {
            const QString en_fields = cdp && source ? QStringLiteral("the CDP coordinates (bytes 181-188) and the "
                                                                     "source coordinates (bytes 73-80) do not")
                                      : cdp ? QStringLiteral("the CDP coordinates (bytes 181-188) do not")
                                            : QStringLiteral("the source coordinates (bytes 73-80) do not");
            const QString ru_fields = cdp && source ? QStringLiteral("меняются координаты CDP (байты 181-188) и "
                                                                     "координаты источника (байты 73-80)")
                                      : cdp ? QStringLiteral("меняются координаты CDP (байты 181-188)")
                                            : QStringLiteral("меняются координаты источника (байты 73-80)");
            english += QStringLiteral("; %1, but the cube's nodes are taken from bytes 81-88").arg(en_fields);
            russian += QStringLiteral("; %1, но узлы куба берутся из байтов 81-88").arg(ru_fields);
        }
        return not_a_cube(name, english, russian);
    }
    // Of the traces 0, stride, 2 stride ... (count of them), the first whose
    // coordinate steps against the way the steps before it went; 0 when they
    // all go one way.
    auto turns_back = [&](qint64 stride, qint64 count, int position) -> qint64 {
        int way = 0;
        double previous = coordinate(0, position);
        for (qint64 n = 1; n < count; ++n) {
            const double v = coordinate(n * stride, position);
            const int step = (v > previous) - (v < previous);
            if (step != 0 && way == -step)
                return n;
            if (step != 0)
                way = step;
            previous = v;
        }
        return 0;
    };
    if (const qint64 t = turns_back(1, P, 81)) {
        const QString at = number(coordinate(t, 81)), before = number(coordinate(t - 1, 81));
        return not_a_cube(name,
                          QStringLiteral("its traces' x, read from the group coordinates (bytes 81-88 of the trace "
                                         "headers), turns back along the first line: trace %1 has x %2 after %3")
                              .arg(t + 1).arg(at, before),
                          QStringLiteral("координата x трасс, читаемая из координат группы (байты 81-88 заголовков "
                                         "трасс), меняет направление вдоль первой линии: у трассы %1 x = %2 после %3")
                              .arg(t + 1).arg(at, before));
    }
    if (const qint64 line = turns_back(P, N, 85)) {
        const QString at = number(coordinate(line * P, 85)), before = number(coordinate((line - 1) * P, 85));
        return not_a_cube(name,
                          QStringLiteral("its traces' y, read from the group coordinates (bytes 81-88 of the trace "
                                         "headers), turns back from line to line: line %1 starts at y %2 after %3")
                              .arg(line + 1).arg(at, before),
                          QStringLiteral("координата y трасс, читаемая из координат группы (байты 81-88 заголовков "
                                         "трасс), меняет направление от линии к линии: линия %1 начинается с y = %2 "
                                         "после %3")
                              .arg(line + 1).arg(at, before));
    }
    out.x_falls = P > 1 && out.x_last < out.x_first;
    out.y_falls = N > 1 && out.y_last < out.y_first;
    // A rotated survey: y drifts along the first line, or x from the start
    // of the first line to the start of the last, by more than a tenth of a
    // step (of the lines' spacing, or of the traces' in a single line).
    const double x_step = P > 1 ? std::fabs(out.x_last - out.x_first) / double(P - 1) : 0.0;
    const double y_step = N > 1 ? std::fabs(out.y_last - out.y_first) / double(N - 1) : 0.0;
    const double line_drift = P > 1 ? std::fabs(coordinate(P - 1, 85) - out.y_first) : 0.0;
    const double start_drift = N > 1 ? std::fabs(coordinate((N - 1) * P, 81) - out.x_first) : 0.0;
    constexpr double degrees = 180.0 / 3.14159265358979323846;
    if (line_drift > 0.1 * (N > 1 ? y_step : x_step))
        out.rotation = std::atan2(line_drift, std::fabs(out.x_last - out.x_first)) * degrees;
    else if (start_drift > 0.1 * (P > 1 ? x_step : y_step))
        out.rotation = std::atan2(start_drift, std::fabs(coordinate((N - 1) * P, 85) - out.y_first)) * degrees;

    // The time scalar (215-216) applies to the delay (109-110).
    out.z_first = apply_scalar(field16(0, 109), field16(0, 215));
    int interval = bh.sample_interval();
    if (interval == 0)
        interval = quint16(field16(0, 117));
    out.sample_interval = interval;
    out.extended_interval = extended_sample_interval(bh, out.z_first, out.samples);
    if (interval == 0 && out.extended_interval == 0 && out.samples > 1)
        return not_a_cube(name, QStringLiteral("its sample interval is 0"), QStringLiteral("интервал дискретизации равен 0"));
    out.z_step = (out.extended_interval != 0 ? out.extended_interval : double(interval)) / 1000.0;
    g = out;
    return {};
}

// The whole file in memory: mapped when possible, read otherwise.
class FileBytes {
public:
    CodecStatus load(QFile& file)
    {
        size_ = file.size();
        if (size_ > 0)
            mapped_ = file.map(0, size_);
        if (!mapped_) {
            if (!file.seek(0))
                return read_error(file);
            try {
                copy_ = file.readAll();
            } catch (const std::bad_alloc&) {
                return CodecStatus::failure(CodecError::ReadFailed, QStringLiteral("Not enough memory to read the file"),
                                            QStringLiteral("Недостаточно памяти для чтения файла"));
            }
            if (file.error() != QFile::NoError || copy_.size() != size_)
                return read_error(file);
        }
        return {};
    }
    const uchar* data() const
    {
        return mapped_ ? mapped_ : reinterpret_cast<const uchar*>(copy_.constData());
    }
    qint64 size() const { return size_; }

private:
    uchar* mapped_ = nullptr;  // unmapped when the file closes
    QByteArray copy_;
    qint64 size_ = 0;
};

}  // namespace

bool read_segy_binary_header(QIODevice& file, segy_binary_header& header)
{
    segy_binary_header h;
    if (!file.seek(3200) || file.read(reinterpret_cast<char*>(h.bytes.data()), 400) != 400)
        return false;
    h.big_endian = format_code_is_big_endian(h.bytes.data() + 24);
    header = h;
    return true;
}

bool write_segy_binary_header(QIODevice& file, const segy_binary_header& header)
{
    return file.write(reinterpret_cast<const char*>(header.bytes.data()), 400) == 400;
}

bool read_segy_trace_header(QIODevice& file, segy_trace_header& header, bool big_endian)
{
    segy_trace_header h;
    if (file.read(reinterpret_cast<char*>(h.bytes.data()), 240) != 240)
        return false;
    h.big_endian = big_endian;
    header = h;
    return true;
}

bool write_segy_trace_header(QIODevice& file, const segy_trace_header& header)
{
    return file.write(reinterpret_cast<const char*>(header.bytes.data()), 240) == 240;
}

float ibm_to_ieee(quint32 word)
{
    const bool negative = word & 0x80000000u;
    const int exponent = int((word >> 24) & 0x7f);
    const quint32 fraction = word & 0x00ffffffu;
    if (fraction == 0)
        return 0.0f;
    const double magnitude = std::ldexp(double(fraction), 4 * (exponent - 64) - 24);
    if (magnitude > double(std::numeric_limits<float>::max()))
        return negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    const float value = float(magnitude);
    return negative ? -value : value;
}

quint32 ieee_to_ibm(float value)
{
    const quint32 sign = std::signbit(value) ? 0x80000000u : 0u;
    if (value == 0.0f)
        return 0;
    if (!std::isfinite(value))
        return sign | 0x7fffffffu;
    int exponent2;
    const double mantissa = std::frexp(std::fabs(double(value)), &exponent2);  // [0.5, 1)
    // Hexadecimal exponent: ceil(exponent2 / 4), so that the fraction is in [1/16, 1).
    int exponent16 = exponent2 >= 0 ? (exponent2 + 3) / 4 : -(-exponent2 / 4);
    const double fraction = std::ldexp(mantissa, exponent2 - 4 * exponent16);        // [1/16, 1)
    quint64 bits = quint64(std::llround(std::ldexp(fraction, 24)));
    if (bits >= (quint64(1) << 24)) {
        bits >>= 4;
        ++exponent16;
    }
    const int biased = exponent16 + 64;  // within 0..127 for every finite float
    return sign | (quint32(biased) << 24) | quint32(bits);
}

CodecStatus scan_segy_geometry(QIODevice& file, segy_geometry& geometry)
{
    QString name;
    if (auto* f = qobject_cast<QFile*>(&file))
        name = display_name(f->fileName());
    if (auto* f = qobject_cast<QFile*>(&file)) {
        FileBytes bytes;
        if (CodecStatus status = bytes.load(*f); !status)
            return status;
        return scan_bytes(bytes.data(), bytes.size(), name, geometry);
    }
    if (!file.seek(0))
        return CodecStatus::failure(CodecError::ReadFailed, QStringLiteral("Can't read the SEG-Y data"),
                                    QStringLiteral("Не удалось прочитать данные SEG-Y"));
    const QByteArray all = file.readAll();
    return scan_bytes(reinterpret_cast<const uchar*>(all.constData()), all.size(), name, geometry);
}

CodecStatus read_segy_cube(const QString& path, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
                           std::vector<double>& z, const CodecProgress& progress, segy_placement* placement)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;
    FileBytes bytes;
    if (CodecStatus status = bytes.load(file); !status)
        return status;
    segy_geometry g;
    if (CodecStatus status = scan_bytes(bytes.data(), bytes.size(), display_name(path), g); !status)
        return status;

    const qint64 P = g.traces_per_line, N = g.lines, S = g.samples;
    for (double v : {g.x_first, g.x_last, g.y_first, g.y_last, g.z_first,
                     g.z_first + double(S - 1) * g.z_step})
        if (!coordinate_fits(v))
            return not_a_cube(display_name(path), coordinate_refusal(v, 1, true), coordinate_refusal(v, 0, true));
    if (P > std::numeric_limits<int>::max() || N > std::numeric_limits<int>::max())
        return not_a_cube(display_name(path), QStringLiteral("it has too many traces"),
                          QStringLiteral("в нём слишком много трасс"));
    const auto out_of_memory = [&] {
        return CodecStatus::failure(CodecError::BadHeader,
                                    QStringLiteral("Not enough memory for a cube of %1 x %2 x %3 cells").arg(P).arg(N).arg(S),
                                    QStringLiteral("Недостаточно памяти для куба %1 x %2 x %3").arg(P).arg(N).arg(S));
    };
    // Each line of traces fills one row of every level: the rows are
    // allocated line by line after each progress call, so that the window
    // repaints from the start of a long read.
    vector3D local;
    std::vector<data_type*> level_rows;
    const uchar* traces = bytes.data() + g.data_offset;
    const bool big = g.big_endian;
    for (qint64 i = 0; i < N; ++i) {
        if (!codec_continue(progress, codec_percent(i, N)))
            return CodecStatus::cancelled();
        try {
            if (i == 0) {
                local.assign(size_t(S), vector2D());
                for (vector2D& level : local)
                    level.reserve(size_t(N));
                level_rows.resize(size_t(S));
            }
            for (qint64 k = 0; k < S; ++k)
                level_rows[size_t(k)] = local[size_t(k)].emplace_back(size_t(P)).data();
        } catch (const std::bad_alloc&) {
            return out_of_memory();
        } catch (const std::length_error&) {
            return out_of_memory();
        }
        for (qint64 j = 0; j < P; ++j) {
            const uchar* s = traces + (i * P + j) * g.trace_bytes + 240;
            const qint64 c = g.x_falls ? P - 1 - j : j;  // the trace's column
            switch (g.sample_format) {
            case 1:
                for (qint64 k = 0; k < S; ++k, s += 4)
                    level_rows[size_t(k)][c] = ibm_to_ieee(big ? be32(s) : le32(s));
                break;
            case 2:
                for (qint64 k = 0; k < S; ++k, s += 4)
                    level_rows[size_t(k)][c] = data_type(qint32(big ? be32(s) : le32(s)));
                break;
            case 3:
                for (qint64 k = 0; k < S; ++k, s += 2)
                    level_rows[size_t(k)][c] = data_type(qint16(big ? be16(s) : le16(s)));
                break;
            default:  // 5
                if (big) {
                    for (qint64 k = 0; k < S; ++k, s += 4)
                        level_rows[size_t(k)][c] = float_from_bits(be32(s));
                } else {
                    for (qint64 k = 0; k < S; ++k, s += 4)
                        level_rows[size_t(k)][c] = float_from_bits(le32(s));
                }
                break;
            }
        }
    }
    if (!codec_continue(progress, 100))
        return CodecStatus::cancelled();
    // Lines were read in the file's order: the last line holds the smallest y.
    if (g.y_falls)
        for (vector2D& level : local)
            std::reverse(level.begin(), level.end());

    std::vector<double> zz(static_cast<size_t>(S));
    for (qint64 k = 0; k < S; ++k)
        zz[size_t(k)] = g.z_first + double(k) * g.z_step;
    x = g.x_falls ? even_nodes(g.x_last, g.x_first, int(P)) : even_nodes(g.x_first, g.x_last, int(P));
    y = g.y_falls ? even_nodes(g.y_last, g.y_first, int(N)) : even_nodes(g.y_first, g.y_last, int(N));
    z.swap(zz);
    cube.swap(local);
    if (placement)
        *placement = segy_placement{g.x_falls, g.y_falls, g.rotation};
    return {};
}

QString segy_reversal_text(const segy_placement& placement, int language)
{
    const bool ru = language == 0;
    if (placement.rows_reversed && placement.columns_reversed)
        return ru ? QStringLiteral("строки и столбцы прочитаны в обратном порядке (в файле y убывает от линии к "
                                   "линии, x — вдоль линий)")
                  : QStringLiteral("rows and columns read in reverse order (in the file y falls from line to line "
                                   "and x along the lines)");
    if (placement.rows_reversed)
        return ru ? QStringLiteral("строки прочитаны в обратном порядке (в файле y убывает от линии к линии)")
                  : QStringLiteral("rows read in reverse order (in the file y falls from line to line)");
    if (placement.columns_reversed)
        return ru ? QStringLiteral("столбцы прочитаны в обратном порядке (в файле x убывает вдоль линий)")
                  : QStringLiteral("columns read in reverse order (in the file x falls along the lines)");
    return QString();
}

QString segy_rotation_text(const QString& path, const segy_placement& placement, const std::vector<double>& x,
                           const std::vector<double>& y, int language)
{
    if (placement.rotation == 0 || x.empty() || y.empty())
        return QString();
    auto number = [](double v) { return QString::number(v, 'g', 12); };
    const QString angle = QString::number(placement.rotation, 'g', 3);
    if (language == 0)
        return QStringLiteral("Съёмка в SEG-Y файле \"%1\" повёрнута примерно на %2° относительно осей x и y. "
                              "Сетка модели идёт вдоль осей, поэтому куб размещён на сетке вдоль осей между "
                              "координатами первой и последней трасс (x от %3 до %4, y от %5 до %6): его ячейки "
                              "стоят не на истинных местах своих трасс.")
            .arg(display_name(path), angle, number(x.front()), number(x.back()), number(y.front()), number(y.back()));
    return QStringLiteral("The survey in SEG-Y file \"%1\" is rotated by about %2° to the x and y axes. The model's "
                          "grid follows the axes, so the cube is placed on the axis-aligned grid between the first "
                          "and the last traces' coordinates (x %3 to %4, y %5 to %6): its cells are not at their "
                          "traces' true positions.")
        .arg(display_name(path), angle, number(x.front()), number(x.back()), number(y.front()), number(y.back()));
}

namespace {

CodecStatus refuse(const QString& english, const QString& russian)
{
    return CodecStatus::failure(CodecError::BadGrid, english, russian);
}

// A whole number within a millionth of value, else value truncated: a step
// computed from node depths (0.7 m, 700 mm) may fall a rounding error short.
double whole_part(double value)
{
    const double nearest = std::round(value);
    return std::fabs(value - nearest) <= 1e-6 * std::max(1.0, std::fabs(value)) ? nearest : std::trunc(value);
}

// The 16-bit sample interval, unsigned as the format defines it, for a depth
// step in metres: thousandths of a metre up to 65.535 m, whole metres above,
// 0 beyond.
quint16 segy_interval_field(double step)
{
    const double millimetres = whole_part(step * 1000.0);
    if (millimetres <= 65535)
        return quint16(millimetres);
    const double metres = whole_part(step);
    return metres <= 65535 ? quint16(metres) : quint16(0);
}

struct SegyDelay {
    bool valid = false;
    qint16 value = 0;   // delay recording time, positions 109-110
    qint16 scalar = 0;  // time scalar, positions 215-216
};

// The delay and time scalar for a first depth in metres: the fewest decimals
// (up to four) that hold it exactly within 16 bits, else as many as fit; a
// depth beyond 32767 m is held in tens to ten thousands of metres.
SegyDelay segy_delay(double depth)
{
    SegyDelay out;
    if (!std::isfinite(depth))
        return out;
    auto fits = [](double v) { return v >= -32768 && v <= 32767; };
    int best = -1;  // most decimals that fit
    for (int d = 0; d <= 4; ++d) {
        const double scaled = depth * std::pow(10.0, d);
        if (!fits(std::round(scaled)))
            break;
        best = d;
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * std::max(1.0, std::fabs(scaled)))
            break;
    }
    if (best >= 0) {
        out.valid = true;
        out.value = qint16(std::round(depth * std::pow(10.0, best)));
        out.scalar = best == 0 ? qint16(0) : qint16(-std::lround(std::pow(10.0, best)));
        return out;
    }
    for (int d = 1; d <= 4; ++d) {
        const double scale = std::pow(10.0, d);
        const double scaled = std::round(depth / scale);
        if (fits(scaled)) {
            out.valid = true;
            out.value = qint16(scaled);
            out.scalar = qint16(std::lround(scale));
            return out;
        }
    }
    return out;
}

}  // namespace

CodecStatus write_segy_cube(const QString& path, const vector3D& cube, const std::vector<double>& x,
                            const std::vector<double>& y, const std::vector<double>& z, const CodecProgress& progress)
{
    if (cube.empty() || cube[0].empty() || cube[0][0].empty())
        return refuse(QStringLiteral("The cube is empty"), QStringLiteral("Куб пуст"));
    const size_t nz = cube.size(), ny = cube[0].size(), nx = cube[0][0].size();
    for (size_t k = 0; k < nz; ++k) {
        bool regular = cube[k].size() == ny;
        for (size_t j = 0; regular && j < ny; ++j)
            regular = cube[k][j].size() == nx;
        if (!regular)
            return refuse(QStringLiteral("The cube is not regular: level %1 differs in size from level 1").arg(k + 1),
                          QStringLiteral("Куб нерегулярен: размер уровня %1 отличается от уровня 1").arg(k + 1));
    }
    if (nz > 32767)
        return refuse(QStringLiteral("A cube of %1 levels can't be saved as SEG-Y: at most 32767 samples per trace").arg(nz),
                      QStringLiteral("Куб из %1 уровней нельзя сохранить в SEG-Y: не больше 32767 отсчётов в трассе").arg(nz));
    if (nx * ny > size_t(std::numeric_limits<qint32>::max()) - 1)
        return refuse(QStringLiteral("The cube has too many traces for SEG-Y"),
                      QStringLiteral("В кубе слишком много трасс для SEG-Y"));
    if (x.size() != nx || y.size() != ny || z.size() != nz)
        return refuse(QStringLiteral("The cube's coordinates do not match its size"),
                      QStringLiteral("Координаты куба не соответствуют его размеру"));

    // Depth step: exact in the extended interval, in the 16-bit interval as
    // far as that field can hold it (see segy.h). A cube of one level has no
    // step.
    double step = 0;
    if (nz > 1) {
        step = (z.back() - z.front()) / double(nz - 1);
        if (!(std::isfinite(step) && step > 0))
            return refuse(QStringLiteral("The cube can't be saved as SEG-Y: its depths must increase from level to level"),
                          QStringLiteral("Куб нельзя сохранить в SEG-Y: глубины его уровней должны возрастать"));
    }
    const qint16 interval_field = qint16(segy_interval_field(step));
    const double extended_interval = step * 1000.0;

    // First depth: the delay with the time scalar that holds it exactly, or
    // as closely as the 16-bit delay allows.
    const SegyDelay delay = segy_delay(z.front());
    if (!delay.valid)
        return refuse(QStringLiteral("The first depth %1 m can't be stored in a SEG-Y file. Save the cube as a Tolmera "
                                     "3D grid (*.3Dgrd)")
                          .arg(z.front()),
                      QStringLiteral("Первую глубину %1 м нельзя сохранить в SEG-Y. Сохраните куб как 3D грид Tolmera "
                                     "(*.3Dgrd)")
                          .arg(z.front()));

    // Coordinate scalar: the fewest decimals that hold x and y exactly, or
    // as many decimals (up to four) as the 32-bit fields allow.
    double largest = 0;
    for (double v : x)
        largest = std::max(largest, std::fabs(v));
    for (double v : y)
        largest = std::max(largest, std::fabs(v));
    if (!std::isfinite(largest) || std::round(largest) > double(std::numeric_limits<qint32>::max()))
        return refuse(QStringLiteral("The cube's x or y coordinates are too large for SEG-Y"),
                      QStringLiteral("Координаты x или y куба слишком велики для SEG-Y"));
    int decimals = 0;
    for (int d = 0; d <= 4; ++d) {
        const double scale = std::pow(10.0, d);
        if (std::round(largest * scale) > double(std::numeric_limits<qint32>::max()))
            break;
        decimals = d;
        bool exact = true;
        for (const std::vector<double>* axis : {&x, &y}) {
            for (double v : *axis) {
                const double s = v * scale;
                // A thousandth of the last kept decimal absorbs the rounding of
                // computed node coordinates.
                if (std::fabs(s - std::round(s)) > 1e-3) {
                    exact = false;
                    break;
                }
            }
        }
        if (exact)
            break;
    }
    const double coordinate_scale = std::pow(10.0, decimals);
    const qint16 scalar_field = decimals == 0 ? qint16(0) : qint16(-qint32(coordinate_scale));
    auto scaled = [&](double v) { return qint32(std::llround(v * coordinate_scale)); };

    segy_binary_header bh;
    bh.set_int16(3213, qint16(quint16((nx * ny) & 0xffff)));
    bh.set_int16(3217, interval_field);
    bh.set_int16(3219, interval_field);
    bh.set_int16(3221, qint16(nz));
    bh.set_int16(3225, 5);
    qToLittleEndian<quint64>(bits_of(extended_interval), bh.bytes.data() + (3273 - 3201));
    bh.set_int32(3297, 16909060);  // byte-order constant 0x01020304
    bh.bytes[3501 - 3201] = 2;     // revision 2.0: major, minor
    bh.bytes[3502 - 3201] = 0;
    bh.set_int16(3503, 1);  // every trace has the same length

    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    const std::vector<char> text_header(3200, 0);
    if (CodecStatus status = write_bytes(file, text_header.data(), 3200); !status)
        return status;
    if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(bh.bytes.data()), 400); !status)
        return status;

    const size_t trace_bytes = 240 + 4 * nz;
    std::vector<uchar> line(trace_bytes * nx);
    segy_trace_header th;
    th.set_int16(71, scalar_field);
    th.set_int16(109, delay.value);
    th.set_int16(215, delay.scalar);
    th.set_int16(115, qint16(nz));
    th.set_int16(117, interval_field);
    for (size_t i = 0; i < ny; ++i) {
        if (!codec_continue(progress, codec_percent(qint64(i), qint64(ny))))
            return cancel_writing(file);
        const qint32 yi = scaled(y[i]);
        for (size_t j = 0; j < nx; ++j) {
            const qint32 xj = scaled(x[j]);
            th.set_int32(1, qint32(i * nx + j + 1));
            th.set_int32(5, qint32(j + 1));
            th.set_int32(73, xj);
            th.set_int32(77, yi);
            th.set_int32(81, xj);
            th.set_int32(85, yi);
            th.set_int32(181, qint32(j + 1));
            th.set_int32(185, qint32(i + 1));
            th.set_int32(189, qint32(i + 1));
            th.set_int32(193, qint32(j + 1));
            uchar* out = line.data() + j * trace_bytes;
            std::copy(th.bytes.begin(), th.bytes.end(), out);
            out += 240;
            for (size_t k = 0; k < nz; ++k, out += 4)
                qToLittleEndian<quint32>(bits_of(cube[k][i][j]), out);
        }
        if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(line.data()), qint64(line.size()));
            !status)
            return status;
    }
    return finish_writing(file, progress);
}
