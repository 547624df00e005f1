#include "formats/effects_file.h"

#include "engine/effects_operator_checks.h"
#include "engine/parallel.h"
#include "formats/file_io.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <new>

#include <unistd.h>

using namespace codec_io;

QString effects_import_error_message()
{
    return QStringLiteral("Can't import layers effects");
}

namespace {

CodecStatus import_error(CodecError code, const QString& detail_en, const QString& detail_ru)
{
    return CodecStatus::failure(code, effects_import_error_message() + QStringLiteral(":\n") + detail_en,
                                effects_import_error_message() + QStringLiteral(":\n") + detail_ru);
}

CodecStatus out_of_memory()
{
    return CodecStatus::failure(CodecError::BadHeader, QStringLiteral("Not enough memory for the stored effects"),
                                QStringLiteral("Недостаточно памяти для эффектов"));
}

// Reads `size` bytes at `offset` of the descriptor, whatever the pieces the
// system hands back. Returns 0, or the error number (EIO for a file that
// ends before them).
int read_at(int fd, uchar* to, std::size_t size, qint64 offset)
{
    while (size > 0) {
        const ssize_t got = ::pread(fd, to, size, off_t(offset));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return EIO;
        to += got;
        size -= std::size_t(got);
        offset += got;
    }
    return 0;
}

enum class Fold { Even, Uneven, ReadFailed };

// Rows fold_plane reads with one pread.
constexpr int fold_block_rows = 8;

// The rows each worker of fold_plane reads and turns into floats, made once
// for all the planes of a file (and not zeroed: every byte used is read).
struct FoldScratch
{
    struct Worker
    {
        std::unique_ptr<uchar[]> top, bottom;
        std::unique_ptr<float[]> real;
    };
    std::vector<Worker> workers;
    std::size_t row_bytes = 0;
    int rows_per_block = 0;

    // False when the memory cannot be had.
    bool make(int threads, int columns, int block)
    {
        const std::size_t bytes = std::size_t(columns) * 16;
        if (int(workers.size()) >= threads && row_bytes == bytes && rows_per_block == block)
            return true;
        try {
            workers.clear();
            workers.resize(std::size_t(threads));
            for (Worker& w : workers) {
                w.top.reset(new uchar[bytes * std::size_t(block)]);
                w.bottom.reset(new uchar[bytes * std::size_t(block)]);
                w.real.reset(new float[std::size_t(columns) * 2]);
            }
        } catch (const std::bad_alloc&) {
            workers.clear();
            return false;
        }
        row_bytes = bytes;
        rows_per_block = block;
        return true;
    }
};

// Folds one plane of an effects file (`rows` x `columns` pairs of big-endian
// doubles from byte `offset` of descriptor `fd`, the real part first) into
// its quarter as effects_fold_level does with the plane's real parts rounded
// to float: the same values, bit for bit. The quarter's rows are spread over
// `threads` workers of the engine's pool; each reads the rows it folds
// together (rows r and their mirrors) with pread, which costs a copy from the
// page cache where faulting in a mapping of the file costs a fault per page
// and a file cut short under a mapping would end the program. Uneven: the plane is not even within
// `tolerance` or holds values that are not finite; ReadFailed sets `error`.
Fold fold_plane(int fd, qint64 offset, int rows, int columns, std::vector<float>& quarter, double tolerance,
                int threads, FoldScratch& scratch, int& error)
{
    const int qr = rows / 2 + 1, qc = columns / 2 + 1;
    quarter.resize(std::size_t(qr) * qc);
    const std::size_t row_bytes = std::size_t(columns) * 16;
    struct Part
    {
        EffectsFoldStats stats;
        int error = 0;
    };
    const int T = int(split_workers(std::size_t(qr), threads));
    std::vector<Part> parts(static_cast<std::size_t>(T));
    // Rows are read a block at a time (a block of the quarter's rows and the
    // block of their mirrors, each one pread), and their real parts turned
    // into floats before they are folded.
    constexpr int block = fold_block_rows;
    if (!scratch.make(T, columns, block)) {
        error = ENOMEM;
        return Fold::ReadFailed;
    }
    run_split(std::size_t(qr), T, [&](std::size_t begin, std::size_t end_row) {
        const std::size_t t = split_range_index(begin, std::size_t(qr), T);
        Part& part = parts[t];
        FoldScratch::Worker& own = scratch.workers[t];
        uchar* const top = own.top.get();
        uchar* const bottom = own.bottom.get();
        float* const real = own.real.get();
        const auto to_float = [columns](const uchar* row, float* out) {
            for (int c = 0; c < columns; ++c)
                out[c] = data_type(double_from_bits(be64(row + std::size_t(c) * 16)));
        };
        const int end = std::min(int(end_row), rows);
        for (int r0 = int(begin); r0 < end; r0 += block) {
            const int r1 = std::min(end, r0 + block);
            // Mirrors of rows r0 .. r1-1 (row 0 is its own): rows - r1 + 1 .. rows - max(r0, 1).
            const int m0 = rows - r1 + 1, m1 = rows - std::max(r0, 1) + 1;
            part.error = read_at(fd, top, std::size_t(r1 - r0) * row_bytes,
                                 offset + qint64(r0) * qint64(row_bytes));
            if (!part.error && m0 < m1)
                part.error = read_at(fd, bottom, std::size_t(m1 - m0) * row_bytes,
                                     offset + qint64(m0) * qint64(row_bytes));
            if (part.error)
                return;
            for (int r = r0; r < r1; ++r) {
                const int rr = effects_mirror(r, rows);
                float* a = real;
                float* b = real + columns;
                to_float(top + std::size_t(r - r0) * row_bytes, a);
                if (rr != r)
                    to_float(bottom + std::size_t(rr - m0) * row_bytes, b);
                else
                    b = a;
                effects_fold_row(a, b, columns, quarter.data() + std::size_t(r) * qc, part.stats);
                if (!part.stats.finite)
                    return;
            }
        }
    });
    EffectsFoldStats all;
    for (const Part& part : parts) {
        if (part.error && !error)
            error = part.error;
        all.finite = all.finite && part.stats.finite;
        all.worst = std::max(all.worst, part.stats.worst);
        all.largest = std::max(all.largest, part.stats.largest);
    }
    if (error)
        return Fold::ReadFailed;
    return all.within(tolerance) ? Fold::Even : Fold::Uneven;
}

CodecStatus plane_read_error(const QFile& file, int error)
{
    if (error == ENOMEM)
        return out_of_memory();
    return CodecStatus::failure(
        CodecError::ReadFailed,
        QStringLiteral("Can't read file \"%1\": %2").arg(display_name(file.fileName()), qt_error_string(error)),
        QStringLiteral("Ошибка чтения файла \"%1\": %2").arg(display_name(file.fileName()), qt_error_string(error)));
}

CodecStatus uneven_plane(const QFile& file, int k)
{
    return CodecStatus::failure(
        CodecError::UnknownFormat,
        QStringLiteral("Level %1 of \"%2\" is not symmetric: the file does not hold forward operator effects")
            .arg(k + 1)
            .arg(display_name(file.fileName())),
        QStringLiteral("Уровень %1 в \"%2\" не симметричен: файл не содержит эффектов прямой задачи")
            .arg(k + 1)
            .arg(display_name(file.fileName())));
}

}  // namespace

CodecStatus read_effects_planes(QFile& file, int columns, int rows, int planes, bool keep_imaginary,
                                EffectsOperator& out, const CodecProgress& progress, double tolerance,
                                int thread_count)
{
    EffectsOperator read;
    try {
        // Without the imaginary parts each plane is folded as it is read,
        // over the worker threads; each level of the operator is made as its
        // plane is read, so that a read given up early has not made them all.
        const qint64 start = file.pos();
        const qint64 plane_bytes = qint64(rows) * columns * 16;
        const int fd = keep_imaginary ? -1 : file.handle();
        if (fd >= 0) {
            read.rows = rows;
            read.columns = columns;
            read.quarter.resize(std::size_t(planes));
            FoldScratch scratch;
            for (int k = 0; k < planes; ++k) {
                if (!codec_continue(progress, codec_percent(k, planes)))
                    return CodecStatus::cancelled();
                int error = 0;
                const Fold fold = fold_plane(fd, start + plane_bytes * k, rows, columns,
                                             read.quarter[std::size_t(k)], tolerance, thread_count, scratch, error);
                if (fold == Fold::Uneven)
                    return uneven_plane(file, k);
                if (fold == Fold::ReadFailed)
                    return plane_read_error(file, error);
            }
            out = std::move(read);
            return {};
        }
        read.shape(planes, rows, columns);
        // One full plane at a time: the operator itself is held folded.
        vector2D plane(static_cast<std::size_t>(rows), std::vector<data_type>(static_cast<std::size_t>(columns)));
        std::vector<uchar> row_bytes(std::size_t(columns) * 16);
        for (int k = 0; k < planes; ++k) {
            if (!codec_continue(progress, codec_percent(k, planes)))
                return CodecStatus::cancelled();
            for (int j = 0; j < rows; ++j) {
                if (file.read(reinterpret_cast<char*>(row_bytes.data()), qint64(row_bytes.size())) !=
                    qint64(row_bytes.size()))
                    return read_error(file);
                data_type* r = plane[std::size_t(j)].data();
                const uchar* p = row_bytes.data();
                for (int i = 0; i < columns; ++i, p += 16) {
                    r[i] = data_type(double_from_bits(be64(p)));
                    if (!keep_imaginary)
                        continue;
                    const data_type m = data_type(double_from_bits(be64(p + 8)));
                    // The imaginary parts take memory only once one of them
                    // would not be written back as the +0.0 of an empty im.
                    if (read.im.empty() && bits_of(m) != 0)
                        read.im.assign(std::size_t(planes),
                                       vector2D(std::size_t(rows), std::vector<data_type>(std::size_t(columns))));
                    if (!read.im.empty())
                        read.im[std::size_t(k)][std::size_t(j)][std::size_t(i)] = m;
                }
            }
            if (!effects_fold_level(plane.data(), rows, columns, read.quarter[std::size_t(k)], tolerance))
                return uneven_plane(file, k);
        }
    } catch (const std::bad_alloc&) {
        return out_of_memory();
    }
    out = std::move(read);
    return {};
}

CodecStatus read_effects_file(const QString& path, EffectsOperator& out, const CodecProgress& progress,
                              double tolerance)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;
    const qint64 size = file.size();
    uchar header[12];
    if (size < 12 || file.read(reinterpret_cast<char*>(header), 12) != 12)
        return import_error(CodecError::Truncated, QStringLiteral("the file is shorter than its header"),
                            QStringLiteral("файл короче своего заголовка"));
    const qint32 nx = qint32(be32(header)), ny = qint32(be32(header + 4)), planes = qint32(be32(header + 8));
    if (nx <= 0 || ny <= 0 || planes <= 0)
        return import_error(CodecError::BadHeader,
                            QStringLiteral("the header gives %1 x %2 x %3 values").arg(nx).arg(ny).arg(planes),
                            QStringLiteral("в заголовке %1 x %2 x %3 значений").arg(nx).arg(ny).arg(planes));
    const qint64 plane_values = qint64(nx) * ny;
    const qint64 available = (size - 12) / 16;
    if (plane_values > available || planes > available / plane_values)
        return import_error(CodecError::Truncated,
                            QStringLiteral("the header announces %1 x %2 x %3 values but the file holds only %4")
                                .arg(nx).arg(ny).arg(planes).arg(available),
                            QStringLiteral("в заголовке объявлено %1 x %2 x %3 значений, а в файле только %4")
                                .arg(nx).arg(ny).arg(planes).arg(available));

    EffectsOperator read;
    CodecStatus status = read_effects_planes(file, nx, ny, planes, true, read, progress, tolerance);
    // Its own refusals (memory, a plane not even) are told as the import's.
    if (status.code() == CodecError::UnknownFormat || status.code() == CodecError::BadHeader)
        return import_error(status.code(), status.message(), status.message(0));
    if (!status)
        return status;
    if (!codec_continue(progress, 100))
        return CodecStatus::cancelled();
    out = std::move(read);
    return {};
}

CodecStatus write_effects_file(const QString& path, const EffectsOperator& effects, EffectsImaginary imaginary,
                               const CodecProgress& progress)
{
    if (effects.quarter.empty())
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("There are no stored effects to save"),
                                    QStringLiteral("Нет сохранённых эффектов"));
    const bool with_imaginary = imaginary == EffectsImaginary::Held && !effects.im.empty();
    if (!effects_operator_is_whole(effects))
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The stored effects are not a regular grid"),
                                    QStringLiteral("Сохранённые эффекты не образуют регулярный грид"));
    const int planes = effects.levels(), rows = effects.rows, columns = effects.columns;

    uchar header[12];
    qToBigEndian<qint32>(qint32(columns), header);
    qToBigEndian<qint32>(qint32(rows), header + 4);
    qToBigEndian<qint32>(qint32(planes), header + 8);

    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(header), 12); !status)
        return status;
    // Rows are expanded one at a time and written in chunks of about 1 MB.
    const std::size_t row_bytes = std::size_t(columns) * 16;
    const int chunk_rows = int(std::clamp<std::size_t>((std::size_t(1) << 20) / row_bytes, 1, std::size_t(rows)));
    std::vector<uchar> buffer(std::size_t(chunk_rows) * row_bytes);
    std::vector<float> row(static_cast<std::size_t>(columns));
    for (int k = 0; k < planes; ++k) {
        if (!codec_continue(progress, codec_percent(k, planes)))
            return cancel_writing(file);
        for (int j0 = 0; j0 < rows; j0 += chunk_rows) {
            const int j1 = std::min(rows, j0 + chunk_rows);
            uchar* p = buffer.data();
            for (int j = j0; j < j1; ++j) {
                effects.expand_row(k, j, row.data());
                const data_type* m = with_imaginary ? effects.im[std::size_t(k)][std::size_t(j)].data() : nullptr;
                for (int i = 0; i < columns; ++i, p += 16) {
                    qToBigEndian<quint64>(bits_of(double(row[std::size_t(i)])), p);
                    qToBigEndian<quint64>(bits_of(m ? double(m[i]) : 0.0), p + 8);
                }
            }
            if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(buffer.data()),
                                                 qint64(std::size_t(j1 - j0) * row_bytes));
                !status)
                return status;
        }
    }
    return finish_writing(file, progress);
}
