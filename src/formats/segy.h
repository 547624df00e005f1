#pragma once
// SEG-Y cubes "*.sgy" or "*.segy": one trace per map node, one sample per level.
//
// Byte positions are counted from 1 as the SEG-Y standard (revision 1)
// counts them. The cube in memory is [level][row][column] = [sample][line]
// [trace in line]; x has one value per column, y one per row, z one per level
// (depth in metres, positive down).
//
// As written: little-endian, no textual header, sample format 5 (IEEE float),
// traces row by row, declared as revision 2.0 (bytes 3501 and 3502 hold 2 and
// 0, the byte-order constant 16909060 at 3297-3300 tells the byte order).
// Depths are written the way depth data travels as time: one metre of depth
// is one millisecond, so the depth step goes into the sample interval in
// thousandths of a metre and the first depth into the delay in metres.
// - The 16-bit sample interval (3217-3218, 3219-3220 and trace 117-118),
//   unsigned as the standard defines it, holds the step in thousandths of a
//   metre up to 65.535 m (50 m is 50000), above that in whole metres
//   (truncated), and 0 when even that does not fit.
// - The extended sample interval of revision 2 (3273-3280, an IEEE double)
//   holds the exact step in thousandths of a metre (24.691224 m is 24691.224).
// - The delay recording time (trace 109-110) holds the first depth with the
//   time scalar (trace 215-216) applied: 12.5 m is 125 with scalar -10; a
//   whole first depth has scalar 0.
// x and y (positions 73-88) are scaled by the coordinate scalar (71-72) so
// that up to four decimals survive. Positions 181-184 and 185-188 hold the
// trace's column and row number counted from 1, 189-192 and 193-196 the same
// as inline and crossline numbers.
//
// As read: either byte order, sample formats 1 (IBM float), 2 (32-bit
// integer), 3 (16-bit integer) and 5 (IEEE float). The lines are found from
// the key at 181-184: the first trace whose key is smaller than the key
// before it starts the second line (when that key never changes, a change
// of the inline number at 189-192 does); a file whose keys never fall is one
// line. When the key falls from the first trace to the second and these lie
// along x (their x differs more than their y), as the CDP x of lines whose x
// falls does, the first trace whose key is larger starts the second line.
// x and y come from positions 81-88 with the coordinate scalar applied; the
// nodes are spread evenly between the first trace's and the last traces'
// coordinates. When x falls along the lines, or y from line to line, the
// columns, or the rows, are read in reverse order, so that the nodes
// increase and every cell keeps its trace's coordinates (the writer always
// writes increasing nodes). The depth step is the extended sample interval
// / 1000 when the file is of revision 2 or later and that interval is usable
// (a positive finite number whose depths stay within the coordinate limit
// and apart in single precision), otherwise the 16-bit interval (taken
// unsigned) / 1000; the first depth is the delay of the first trace with its
// time scalar applied.
#include "common/types.h"
#include "formats/codec_status.h"

#include <QIODevice>

#include <array>
#include <vector>

// A header record held as raw bytes in the file's byte order, with typed
// access by standard position.
template <int Size, int FirstPosition>
struct segy_record {
    std::array<uchar, Size> bytes{};
    bool big_endian = false;

    qint16 int16_at(int position) const;
    qint32 int32_at(int position) const;
    quint16 uint16_at(int position) const { return quint16(int16_at(position)); }
    void set_int16(int position, qint16 value);
    void set_int32(int position, qint32 value);
};

// The binary file header, positions 3201 to 3600.
struct segy_binary_header : segy_record<400, 3201> {
    int sample_format() const { return int16_at(3225); }
    int sample_interval() const { return uint16_at(3217); }
    int samples_per_trace() const { return uint16_at(3221); }
};

// A 240-byte trace header, positions 1 to 240.
struct segy_trace_header : segy_record<240, 1> {};

constexpr qint64 segy_file_header_size = 3600;

// Reads the binary header at byte 3201 and decides the byte order from the
// sample format code (a code of 1 to 16 in little-endian order means a
// little-endian file). False when the device is too short.
bool read_segy_binary_header(QIODevice& file, segy_binary_header& header);
// Writes the 400 bytes of the binary header at the current position.
bool write_segy_binary_header(QIODevice& file, const segy_binary_header& header);
// Reads or writes 240 bytes at the current position; big_endian tells how
// the fields are read by the accessors.
bool read_segy_trace_header(QIODevice& file, segy_trace_header& header, bool big_endian);
bool write_segy_trace_header(QIODevice& file, const segy_trace_header& header);

// IBM System/360 single-precision float (in the machine's order) to IEEE:
// (-1)^s * (fraction / 2^24) * 16^(exponent - 64); values beyond the float
// range become infinite.
float ibm_to_ieee(quint32 word);
// The nearest IBM single to value (0 for 0; infinities and NaN are clamped to
// the largest IBM magnitude).
quint32 ieee_to_ibm(float value);

// Shape and placement of the cube a SEG-Y file holds.
struct segy_geometry {
    qint64 traces_per_line = 0;  // P, columns
    qint64 lines = 0;            // N, rows
    qint64 samples = 0;          // S, levels
    double x_first = 0, x_last = 0;  // x of the first trace and of the last trace of the first line
    double y_first = 0, y_last = 0;  // y of the first trace and of the last trace of the file
    bool x_falls = false;            // x_last < x_first: the columns are read in reverse order
    bool y_falls = false;            // y_last < y_first: the rows are read in reverse order
    double rotation = 0;             // degrees between the lines and the x axis (or between the line
                                     // starts and the y axis) of a rotated survey; 0 when aligned
    double z_first = 0;              // depth of sample 0 (delay of the first trace, time scalar applied)
    int sample_interval = 0;         // positions 3217-3218 (or 117-118 of the first trace when 0)
    double extended_interval = 0;    // positions 3273-3280 of a revision 2 file, 0 when not set or unusable
    double z_step = 0;               // extended interval, else sample interval, / 1000
    int sample_format = 0;
    bool big_endian = false;
    qint64 data_offset = segy_file_header_size;  // byte offset of the first trace
    qint64 trace_bytes = 0;                      // 240 + samples * sample size
};

// Scans the binary header and the trace headers of an open file. Fails with a
// clear message for an unsupported sample format, no samples, no whole
// trace, an incomplete last trace, traces that do not form equal lines, and
// traces that cannot be nodes of a grid: all at one x along lines of more
// than one trace or at one y in a file of more than one line, or x that
// turns back along the first line, or y from the start of one line to the
// next. A survey whose lines do not run along x or y (the last trace of the
// first line off the first trace's y, or the first trace of the last line
// off its x, by more than a tenth of a step) is rotated: it is read all the
// same, its rotation noted. Moves the file position.
CodecStatus scan_segy_geometry(QIODevice& file, segy_geometry& geometry);

// How a read placed the file's traces on the cube's nodes.
struct segy_placement {
    bool columns_reversed = false;  // x falls along the lines: column j holds trace P - 1 - j of its line
    bool rows_reversed = false;     // y falls from line to line: row i holds line N - 1 - i
    double rotation = 0;            // of a rotated survey, in degrees (segy_geometry); 0 when aligned
};

// Reads a SEG-Y cube. cube, x, y, z (and placement, when given) are replaced
// only on success; progress is called before each line and may stop the
// read.
CodecStatus read_segy_cube(const QString& path, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
                           std::vector<double>& z, const CodecProgress& progress = CodecProgress(),
                           segy_placement* placement = nullptr);

// The status line's note on a read whose rows or columns were reversed;
// empty when neither was.
QString segy_reversal_text(const segy_placement& placement, int language);
// The message on a rotated survey read from path onto the nodes x and y:
// it names the angle and that the cube lies on the axis-aligned grid between
// the first and the last traces' coordinates. Empty when the survey is not
// rotated.
QString segy_rotation_text(const QString& path, const segy_placement& placement, const std::vector<double>& x,
                           const std::vector<double>& y, int language);

// Writes cube as a little-endian SEG-Y file of format 5. Refuses an empty or
// irregular cube, depths that do not increase from level to level, a first
// depth beyond what the delay and its scalar can hold (327670000 m) and
// coordinates beyond the 32-bit fields. The file is written to a temporary
// beside the target and replaces it only when complete.
CodecStatus write_segy_cube(const QString& path, const vector3D& cube, const std::vector<double>& x,
                            const std::vector<double>& y, const std::vector<double>& z,
                            const CodecProgress& progress = CodecProgress());
