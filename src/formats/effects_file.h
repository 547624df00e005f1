#pragma once
// Stored forward operator files: the standalone "*.eff" export and the
// project's "eff" sidecar share one layout, all big-endian:
// int32 nx (columns of the padded grid), int32 ny (rows), int32 nPlanes (one
// per model level), then per plane, row and column two doubles: the real
// part and the imaginary part (the project sidecar writes 0 for the latter).
//
// The files hold every level on its full grid; the operator in memory holds
// the even quarter (engine/effects_operator.h). Writers expand it a row at a
// time; readers hold one full plane at a time and fold it into its quarter,
// refusing a plane that is not even: such a file is not an operator's.
#include "common/types.h"
#include "engine/effects_operator.h"
#include "formats/codec_status.h"

class QFile;

// Text reported when a file cannot be imported as effects.
QString effects_import_error_message();  // "Can't import layers effects"

// What a writer puts in the place of the imaginary parts.
enum class EffectsImaginary {
    Zero,  // 0.0 everywhere: the project sidecar's form
    Held   // effects.im where it holds values (imported ones), otherwise 0.0
};

// Reads an effects file into `out` (key not set: the file does not say which
// model it belongs to). The real parts, rounded to data_type, are folded
// into quarters; the imaginary parts are kept in out.im only when one of
// them is not +0.0, so that writing the operator again gives the same bytes.
// `out` is replaced only on success; the header counts are checked against
// the file size before anything is allocated. A plane that is not even is
// refused (UnknownFormat): `tolerance` is the unevenness allowed (relative
// to the plane's largest value, effects_fold_tolerance by default). progress
// is called before each plane.
CodecStatus read_effects_file(const QString& path, EffectsOperator& out,
                              const CodecProgress& progress = CodecProgress(),
                              double tolerance = effects_fold_tolerance);

// The values after the header of an effects file or sidecar: `file` is
// positioned after a header found to announce `planes` planes of `rows` x
// `columns` values, all present. Fills `out` as read_effects_file does, the
// imaginary parts dropped unless `keep_imaginary`. `out` is replaced only on
// success. A plane that is not even within `tolerance` is refused
// (UnknownFormat, the English text naming the level). Without the imaginary
// parts each plane is read straight from the file's descriptor and folded on
// `thread_count` workers; the values are the same either way.
CodecStatus read_effects_planes(QFile& file, int columns, int rows, int planes, bool keep_imaginary,
                                EffectsOperator& out, const CodecProgress& progress = CodecProgress(),
                                double tolerance = effects_fold_tolerance, int thread_count = 1);

// Writes every level of `effects` on its full grid, widened to double, with
// the imaginary parts as `imaginary` says. Refuses (BadGrid) an operator that
// is empty or not whole (effects_operator_is_whole). The file replaces the
// target only when complete. progress is called before each plane.
CodecStatus write_effects_file(const QString& path, const EffectsOperator& effects, EffectsImaginary imaginary,
                               const CodecProgress& progress = CodecProgress());
