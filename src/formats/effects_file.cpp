#include "formats/effects_file.h"

#include "engine/effects_operator_checks.h"
#include "formats/file_io.h"

#include <QFile>

#include <algorithm>
#include <new>

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

}  // namespace

CodecStatus read_effects_planes(QFile& file, int columns, int rows, int planes, bool keep_imaginary,
                                EffectsOperator& out, const CodecProgress& progress, double tolerance)
{
    EffectsOperator read;
    try {
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
                return CodecStatus::failure(
                    CodecError::UnknownFormat,
                    QStringLiteral("Level %1 of \"%2\" is not symmetric: the file does not hold forward operator "
                                   "effects")
                        .arg(k + 1)
                        .arg(display_name(file.fileName())),
                    QStringLiteral("Уровень %1 в \"%2\" не симметричен: файл не содержит эффектов прямой задачи")
                        .arg(k + 1)
                        .arg(display_name(file.fileName())));
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
