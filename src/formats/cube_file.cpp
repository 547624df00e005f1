#include "formats/cube_file.h"

#include "formats/file_io.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

using namespace codec_io;

namespace {

CodecStatus bad_header(const QString& path, const QString& english, const QString& russian)
{
    return not_a(CodecError::BadHeader, path, QStringLiteral("valid 3D grid"), QStringLiteral("корректным 3D гридом"),
                 english, russian);
}

CodecStatus out_of_memory(qint64 cells)
{
    return grid_out_of_memory(CodecError::BadHeader, cells);
}

}  // namespace

CodecStatus read_cube_file(const QString& path, vector3D& cube, std::vector<double>& x, std::vector<double>& y,
                           std::vector<double>& z, cube_bounds* bounds, const CodecProgress& progress,
                           CubeCellKind* kind_out)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;

    const qint64 size = file.size();
    uchar header[cube_file_header_size];
    if (size < cube_file_header_size)
        return bad_header(path, QStringLiteral("it holds %1 bytes, fewer than the %2 bytes of a header")
                                    .arg(size).arg(cube_file_header_size),
                          QStringLiteral("в нём %1 байт, меньше %2 байт заголовка").arg(size).arg(cube_file_header_size));
    if (file.read(reinterpret_cast<char*>(header), cube_file_header_size) != cube_file_header_size)
        return read_error(file);

    const qint32 nx = static_cast<qint32>(be32(header));
    const qint32 ny = static_cast<qint32>(be32(header + 4));
    const qint32 nz = static_cast<qint32>(be32(header + 8));
    cube_bounds b;
    for (int i = 0; i < 6; ++i)
        b[i] = double_from_bits(be64(header + 12 + 8 * i));

    if (nx <= 0 || ny <= 0 || nz <= 0)
        return bad_header(path, QStringLiteral("its header gives %1 x %2 x %3 nodes").arg(nx).arg(ny).arg(nz),
                          QStringLiteral("в заголовке %1 x %2 x %3 узлов").arg(nx).arg(ny).arg(nz));
    for (double v : b) {
        if (!std::isfinite(v))
            return bad_header(path, QStringLiteral("its header holds a coordinate that is not a number"),
                              QStringLiteral("в заголовке координата не является числом"));
    }
    if (CodecStatus status = check_coordinates(path, QStringLiteral("valid 3D grid"), QStringLiteral("корректным 3D гридом"),
                                               std::vector<double>(b.begin(), b.end()));
        !status)
        return status;

    // Cell count in 64 bits; counts are below 2^31 each, so nx*ny cannot overflow.
    const qint64 plane = qint64(nx) * ny;
    const qint64 data_bytes = size - cube_file_header_size;
    const bool too_many = plane > std::numeric_limits<qint64>::max() / 8 / nz;
    const qint64 cells = too_many ? std::numeric_limits<qint64>::max() : plane * nz;

    CubeCellKind kind;
    if (!too_many && data_bytes / 8 == cells) {
        kind = CubeCellKind::DoubleBigEndian;
    } else if (!too_many && data_bytes / 4 == cells) {
        kind = CubeCellKind::Float32LittleEndian;
    } else if (too_many || data_bytes < cells * 4) {
        return truncated(path,
                         QStringLiteral("its header announces %1 x %2 x %3 cells but it holds only %4 bytes of cells")
                             .arg(nx).arg(ny).arg(nz).arg(data_bytes),
                         QStringLiteral("в заголовке объявлено %1 x %2 x %3 ячеек, а в файле только %4 байт данных")
                             .arg(nx).arg(ny).arg(nz).arg(data_bytes));
    } else {
        return bad_header(path,
                          QStringLiteral("%1 bytes of cells fit neither %2 float nor %2 double cells")
                              .arg(data_bytes).arg(cells),
                          QStringLiteral("%1 байт данных не соответствуют ни %2 ячейкам float, ни %2 ячейкам double")
                              .arg(data_bytes).arg(cells));
    }

    // Read a few megabytes of whole rows at a time. The cube and the buffer
    // are allocated level by level after each progress call, so that the
    // window repaints from the start of a long read.
    const int cell_size = kind == CubeCellKind::DoubleBigEndian ? 8 : 4;
    const qint64 row_bytes = qint64(nx) * cell_size;
    const int rows_per_read = static_cast<int>(std::clamp<qint64>((4 << 20) / row_bytes, 1, ny));
    vector3D local;
    std::vector<uchar> buffer;

    for (int k = 0; k < nz; ++k) {
        if (!codec_continue(progress, codec_percent(k, nz)))
            return CodecStatus::cancelled();
        try {
            if (buffer.empty()) {
                local.reserve(size_t(nz));
                buffer.resize(static_cast<size_t>(rows_per_read * row_bytes));
            }
            local.emplace_back(ny, std::vector<data_type>(nx));
        } catch (const std::bad_alloc&) {
            return out_of_memory(cells);
        } catch (const std::length_error&) {
            return out_of_memory(cells);
        }
        for (int j0 = 0; j0 < ny; j0 += rows_per_read) {
            const int rows = std::min(rows_per_read, ny - j0);
            const qint64 want = rows * row_bytes;
            const qint64 got = file.read(reinterpret_cast<char*>(buffer.data()), want);
            if (got < 0)
                return read_error(file);
            if (got != want)
                return truncated(path, QStringLiteral("it ends in level %1").arg(k + 1),
                                 QStringLiteral("он обрывается на уровне %1").arg(k + 1));
            const uchar* p = buffer.data();
            for (int r = 0; r < rows; ++r) {
                data_type* out = local[k][j0 + r].data();
                if (kind == CubeCellKind::Float32LittleEndian) {
                    if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
                        std::memcpy(out, p, static_cast<size_t>(row_bytes));
                    } else {
                        for (int i = 0; i < nx; ++i)
                            out[i] = float_from_bits(le32(p + 4 * i));
                    }
                } else {
                    for (int i = 0; i < nx; ++i)
                        out[i] = static_cast<data_type>(double_from_bits(be64(p + 8 * i)));
                }
                p += row_bytes;
            }
        }
    }
    if (!codec_continue(progress, 100))
        return CodecStatus::cancelled();

    x = even_nodes(b[0], b[1], nx);
    y = even_nodes(b[2], b[3], ny);
    z = even_nodes(b[4], b[5], nz);
    cube.swap(local);
    if (bounds)
        *bounds = b;
    if (kind_out)
        *kind_out = kind;
    return {};
}

CodecStatus write_cube_file(const QString& path, const vector3D& cube, const std::vector<double>& x,
                            const std::vector<double>& y, const std::vector<double>& z, const CodecProgress& progress)
{
    if (cube.empty() || cube[0].empty() || cube[0][0].empty())
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The 3D grid is empty"),
                                    QStringLiteral("3D грид пуст"));
    const size_t nz = cube.size(), ny = cube[0].size(), nx = cube[0][0].size();
    const size_t int_max = static_cast<size_t>(std::numeric_limits<qint32>::max());
    if (nx > int_max || ny > int_max || nz > int_max)
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The 3D grid is too large for a grid file"),
                                    QStringLiteral("3D грид слишком велик для файла"));
    for (size_t k = 0; k < nz; ++k) {
        bool regular = cube[k].size() == ny;
        for (size_t j = 0; regular && j < ny; ++j)
            regular = cube[k][j].size() == nx;
        if (!regular)
            return CodecStatus::failure(
                CodecError::BadGrid,
                QStringLiteral("The 3D grid is not regular: level %1 differs in size from level 1").arg(k + 1),
                QStringLiteral("3D грид нерегулярен: размер уровня %1 отличается от уровня 1").arg(k + 1));
    }
    if (x.empty() || y.empty() || z.empty())
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The 3D grid has no node coordinates"),
                                    QStringLiteral("У 3D грида нет координат узлов"));

    uchar header[cube_file_header_size];
    qToBigEndian<qint32>(static_cast<qint32>(nx), header);
    qToBigEndian<qint32>(static_cast<qint32>(ny), header + 4);
    qToBigEndian<qint32>(static_cast<qint32>(nz), header + 8);
    const double coords[6] = {x.front(), x.back(), y.front(), y.back(), z.front(), z.back()};
    for (int i = 0; i < 6; ++i)
        qToBigEndian<quint64>(bits_of(coords[i]), header + 12 + 8 * i);

    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(header), sizeof header); !status)
        return status;

    std::vector<uchar> level(nx * ny * 4);
    for (size_t k = 0; k < nz; ++k) {
        if (!codec_continue(progress, codec_percent(k, nz)))
            return cancel_writing(file);
        uchar* p = level.data();
        for (size_t j = 0; j < ny; ++j) {
            const data_type* row = cube[k][j].data();
            if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
                std::memcpy(p, row, nx * 4);
            } else {
                for (size_t i = 0; i < nx; ++i)
                    qToLittleEndian<quint32>(bits_of(row[i]), p + 4 * i);
            }
            p += nx * 4;
        }
        if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(level.data()), qint64(level.size()));
            !status)
            return status;
    }
    return finish_writing(file, progress);
}
