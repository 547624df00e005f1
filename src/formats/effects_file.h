#pragma once
// Stored forward operator files: the standalone "*.eff" export and the
// project's "eff" sidecar share one layout, all big-endian:
// int32 nx (columns of the padded grid), int32 ny (rows), int32 nPlanes (one
// per model level), then per plane, row and column two doubles: the real
// part and the imaginary part (the project sidecar writes 0 for the latter).
#include "common/types.h"
#include "formats/codec_status.h"

// Text reported when a file cannot be imported as effects.
QString effects_import_error_message();  // "Can't import layers effects"

// Reads both halves; values are rounded to data_type. real and imag are
// replaced only on success; the header counts are checked against the file
// size before anything is allocated. progress is called before each plane.
CodecStatus read_effects_file(const QString& path, vector3D& real, vector3D& imag,
                              const CodecProgress& progress = CodecProgress());

// Writes real and imag widened to double. An empty imag writes 0 for every
// imaginary part (the project sidecar's form); otherwise imag must have the
// shape of real. The file replaces the target only when complete.
CodecStatus write_effects_file(const QString& path, const vector3D& real, const vector3D& imag,
                               const CodecProgress& progress = CodecProgress());
