#pragma once
// Helpers shared by the codecs: opening, committing and byte-order access.
// Not part of the codecs' public interface.
#include "formats/codec_status.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <cstring>
#include <vector>

namespace codec_io {

// Opens path read-only; on failure the status names the file and the reason.
CodecStatus open_for_reading(QFile& file, const QString& path);
// Opens a save file (written beside the target and renamed over it on commit).
CodecStatus open_for_writing(QSaveFile& file, const QString& path);
// Writes size bytes; false status when the device refuses them.
CodecStatus write_bytes(QSaveFile& file, const char* data, qint64 size);
// Renames the finished temporary file over the target.
CodecStatus commit(QSaveFile& file);
// Writes a whole file at once through a save file: the target is replaced
// only when every byte was written.
CodecStatus write_whole_file(const QString& path, const QByteArray& bytes);
// Drops the unfinished save file (the target stays as it was) and returns
// the cancelled status.
CodecStatus cancel_writing(QSaveFile& file);
// The end of a save: the last progress step, at which the user may still
// cancel (the file is then dropped), then the commit.
CodecStatus finish_writing(QSaveFile& file, const CodecProgress& progress);

CodecStatus read_error(const QFile& file);
// Why the last operation on file failed: the file's own text, or the
// system's text for saved_errno when Qt has none to give ("Unknown error").
QString failure_reason(const QFileDevice& file, int saved_errno);
// "File "<path>" is not a <kind>: <reason>", in both languages.
CodecStatus not_a(CodecError code, const QString& path, const QString& kind_english, const QString& kind_russian,
                  const QString& english, const QString& russian);
// A grid of `count` cells (nodes when `nodes`) that memory cannot hold.
CodecStatus grid_out_of_memory(CodecError code, qint64 count, bool nodes = false);
CodecStatus truncated(const QString& path, const QString& english_detail, const QString& russian_detail);
// Why a node coordinate or spacing read from a file is refused (it fails
// coordinate_fits), in English (language != 0) or Russian (0). The English
// text is "a coordinate of <value>, beyond ..." to follow "holds", or with
// `sentence` "it holds a coordinate of ..." to follow "is not a <kind>: ".
QString coordinate_refusal(double value, int language, bool sentence = false);
// A coordinate as the messages show it: with the fewest significant digits
// (at least six) that give the value back, so that 1.0000001e15 is not shown
// as the limit.
QString coordinate_text(double value);
// A file holding a coordinate or depth that fails coordinate_fits: a BadValue
// status "File "<path>" holds a coordinate of ...".
CodecStatus coordinate_in_file(const QString& path, double value);
// Why values typed in a dialog are refused: one of them, `value`, fails
// coordinate_fits. "The values are not accepted: they hold a coordinate of ...".
QString typed_coordinate_refusal(double value, int language);
// A text file's line holding a coordinate that fails coordinate_fits: a
// BadValue status "File "<path>", line <n> holds a coordinate of ...".
CodecStatus coordinate_on_line(const QString& path, qint64 line, double value);
// Success when every value passes coordinate_fits; otherwise a BadHeader
// status "File "<path>" is not a <kind>: <coordinate_refusal>" for the first
// value that does not.
CodecStatus check_coordinates(const QString& path, const QString& kind_english, const QString& kind_russian,
                              const std::vector<double>& values);

// Human-readable file name for messages.
QString display_name(const QString& path);

inline quint16 be16(const uchar* p) { return qFromBigEndian<quint16>(p); }
inline quint32 be32(const uchar* p) { return qFromBigEndian<quint32>(p); }
inline quint64 be64(const uchar* p) { return qFromBigEndian<quint64>(p); }
inline quint16 le16(const uchar* p) { return qFromLittleEndian<quint16>(p); }
inline quint32 le32(const uchar* p) { return qFromLittleEndian<quint32>(p); }
inline quint64 le64(const uchar* p) { return qFromLittleEndian<quint64>(p); }

inline float float_from_bits(quint32 bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
inline double double_from_bits(quint64 bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
inline quint32 bits_of(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
inline quint64 bits_of(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace codec_io
