#pragma once
// The program's own 3D grid file, "*.3Dgrd".
//
// Layout: int32 nx, ny, nz and six doubles (first and last x, y, z node),
// all big-endian, then nz*ny*nx cells level by level, row by row, x fastest.
// Cells are little-endian float32 as written; files whose cells are
// big-endian doubles are read too, the cell kind being told by the file size.
#include "common/types.h"
#include "formats/codec_status.h"
#include "common/grid_geometry.h"

#include <array>
#include <vector>

// {x first, x last, y first, y last, z first, z last} as the header stores them.
using cube_bounds = std::array<double, 6>;

constexpr int cube_file_header_size = 60;

enum class CubeCellKind { Float32LittleEndian, DoubleBigEndian };

// Reads a cube file. On success cube, x, y, z (evenly spaced nodes between
// the stored first and last values; an axis of one node gets its first value)
// and *bounds (when given) are replaced. On any failure, including a stop
// through progress (called before each level), they keep their contents.
// The header counts are checked against the file size before anything is
// allocated.
CodecStatus read_cube_file(const QString& path, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
                           std::vector<double>& z, cube_bounds* bounds = nullptr,
                           const CodecProgress& progress = CodecProgress(), CubeCellKind* kind = nullptr);

// Writes cube with the first and last value of each coordinate vector, cells
// as little-endian float32. The cube must be non-empty and regular (every
// level has the rows of level 0, every row the length of row 0). The file is
// written to a temporary beside the target and replaces it only when complete.
CodecStatus write_cube_file(const QString& path, const vector3D& cube, const std::vector<double>& x,
                            const std::vector<double>& y, const std::vector<double>& z,
                            const CodecProgress& progress = CodecProgress());
