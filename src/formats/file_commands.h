#pragma once
// What the open and save commands of the File menu decide before and after a
// codec runs: the format a chosen name asks for, the names of files written
// one per horizon, the node geometry written with a 2D map, and the text of
// a failure.
#include "common/types.h"
#include "formats/codec_status.h"

#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <vector>

// Filter of the cube open and save dialogs.
QString cube_file_filter();  // "Tolmera 3D grid (*.3Dgrd) ;; SEG-Y(*.sgy *.segy *.SGY *.SEGY)"

// The part of the name after its last dot, in lower case ("" without a dot).
QString lower_suffix(const QString& path);

enum class CubeFileKind { OwnCube, SegY, Unknown };
// "3dgrd" is an own cube file, "sgy" or "segy" a SEG-Y file, whatever their
// case.
CubeFileKind cube_file_kind(const QString& path);
// The suffixes cube_file_kind knows, as the messages name them.
QStringList cube_file_suffixes();  // 3Dgrd, sgy, segy

// Message for a chosen file whose suffix no reader of the command knows: it
// names the file and the suffixes that are read (compared in any case).
QString unknown_suffix_text(const QString& path, const QStringList& accepted, int language);

// True when the name's suffix is "grd" in any case.
bool is_grd_name(const QString& path);

// A layer name made fit to be a part of a file name: path separators, drive
// colons, wildcard and control characters become "_", and the result never
// is or contains "..", so that it cannot lead out of the chosen folder.
QString safe_file_name_part(const QString& name);

// File of horizon i saved under the chosen name "<dir>/<base>.<ext>": the
// chosen folder, "/", the base name (up to the first dot), a blank, i, then a
// blank and the (safe) layer name when it is not empty, and ".grd".
QString horizon_file_name(const QString& chosen, int i, const QString& layer_name);

// Node geometry {columns, rows, x first, x last, y first, y last} of a 2D map
// with `rows` rows of `columns` nodes: from the node vectors when they have
// exactly one node per column and row, otherwise from the first candidate
// record (six values or more) whose node counts are those of the map. Empty
// when none fits.
std::vector<double> map_geometry(std::size_t rows, std::size_t columns, const std::vector<double>& x,
                                 const std::vector<double>& y,
                                 const std::vector<std::vector<double>>& candidates = {});

// Failure text for the user: the codec's text in the program's language. It
// names the file: when the codec's text does not, a line naming the file comes
// first, except for a file of an unknown format, whose text is shown as the
// codec gives it.
QString file_failure_text(const QString& path, const CodecStatus& status, int language, bool writing);

// The status line's note on the cells (or nodes) a read took without a
// finite value (NaN or an infinity): empty when there are none. Such values
// are kept as read; the runs refuse the grid until they are edited.
QString non_finite_read_text(long long count, int language);

// Saves bytes as the whole file at path through a temporary file: the old
// file is replaced only when every byte reached the disk; otherwise it stays
// as it was and the status names the cause.
CodecStatus save_whole_file(const QString& path, const QByteArray& bytes);

// The status of a write to `file` that failed, its text the cause: the
// file's own error text, or the system's text for saved_errno (errno taken
// right after the failure) when the file has none.
CodecStatus write_failure(const QFileDevice& file, int saved_errno);
