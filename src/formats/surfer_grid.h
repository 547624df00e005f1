#pragma once
// Surfer grids "*.grd": the "DSAA" text grid (Surfer 6 Text Grid) and the
// "DSRB" binary grid (Surfer 7 Binary Grid).
//
// A grid in memory is [row][column]; row 0 is the row at the smallest y and
// column 0 the column at the smallest x.
#include "common/types.h"
#include "formats/codec_status.h"

#include <QString>

#include <vector>

// Blank node value of both kinds. A text value exactly equal to it, or a
// binary value at or above the file's own blank value, is read as 0.
constexpr double surfer_blank_value = 1.70141e38;

// Text of the error reported for a file that is no Surfer grid.
QString surfer_unknown_format_message();  // "Unknown grid format. \nUse Surfer grid"

// Reads either kind. params becomes the eight values {nx, ny, xmin, xmax, ymin,
// ymax, zmin, zmax} (the z range as the header gives it). rows and params are
// replaced only on success; on any failure, a stop through progress (called
// before each row) included, they keep their contents.
CodecStatus read_surfer_grid(const QString& path, field2D& rows, std::vector<double>& params,
                             const CodecProgress& progress = CodecProgress());

// Writers. params is a grid_geometry: [2], [3] x of the first and last column,
// [4], [5] y of the first and last row ([0] and [1] are not used: the node
// counts come from the grid itself). The grid must be regular with at least
// two rows and two columns. The file is written to a temporary beside the
// target and replaces it only when complete.
CodecStatus write_surfer7_grid(const QString& path, const field2D& rows, const std::vector<double>& params,
                               const CodecProgress& progress = CodecProgress());
// Text grid of float or double values; every number is written with as many
// digits as it needs to read back unchanged.
CodecStatus write_surfer6_text_grid(const QString& path, const vector2D& rows, const std::vector<double>& params,
                                    const CodecProgress& progress = CodecProgress());
CodecStatus write_surfer6_text_grid(const QString& path, const field2D& rows, const std::vector<double>& params,
                                    const CodecProgress& progress = CodecProgress());

// Save-dialog filter offering both kinds.
QString surfer_save_filter();  // "Surfer 7 Binary Grid (*.grd);; Surfer 6 Text Grid (*.grd);"
// A save writes the text kind when the selected filter contains "Text".
bool surfer_filter_is_text(const QString& selected_filter);
// Writes rows in the kind the selected filter names.
CodecStatus write_surfer_grid(const QString& path, const field2D& rows, const std::vector<double>& params,
                              const QString& selected_filter, const CodecProgress& progress = CodecProgress());
