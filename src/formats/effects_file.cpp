#include "formats/effects_file.h"

#include "formats/file_io.h"

#include <limits>
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

bool is_regular(const vector3D& cube)
{
    if (cube.empty() || cube[0].empty() || cube[0][0].empty())
        return false;
    const size_t ny = cube[0].size(), nx = cube[0][0].size();
    for (const auto& plane : cube) {
        if (plane.size() != ny)
            return false;
        for (const auto& row : plane) {
            if (row.size() != nx)
                return false;
        }
    }
    return true;
}

}  // namespace

CodecStatus read_effects_file(const QString& path, vector3D& real, vector3D& imag, const CodecProgress& progress)
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

    vector3D re, im;
    try {
        re.assign(size_t(planes), vector2D(size_t(ny), std::vector<data_type>(size_t(nx))));
        im.assign(size_t(planes), vector2D(size_t(ny), std::vector<data_type>(size_t(nx))));
    } catch (const std::bad_alloc&) {
        return import_error(CodecError::BadHeader, QStringLiteral("not enough memory"),
                            QStringLiteral("недостаточно памяти"));
    }
    std::vector<uchar> row_bytes(size_t(nx) * 16);
    for (qint32 k = 0; k < planes; ++k) {
        if (!codec_continue(progress, codec_percent(k, planes)))
            return CodecStatus::cancelled();
        for (qint32 j = 0; j < ny; ++j) {
            if (file.read(reinterpret_cast<char*>(row_bytes.data()), qint64(row_bytes.size())) != qint64(row_bytes.size()))
                return read_error(file);
            data_type* r = re[size_t(k)][size_t(j)].data();
            data_type* m = im[size_t(k)][size_t(j)].data();
            const uchar* p = row_bytes.data();
            for (qint32 i = 0; i < nx; ++i, p += 16) {
                r[i] = data_type(double_from_bits(be64(p)));
                m[i] = data_type(double_from_bits(be64(p + 8)));
            }
        }
    }
    if (!codec_continue(progress, 100))
        return CodecStatus::cancelled();
    real.swap(re);
    imag.swap(im);
    return {};
}

CodecStatus write_effects_file(const QString& path, const vector3D& real, const vector3D& imag,
                               const CodecProgress& progress)
{
    if (real.empty())
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("There are no stored effects to save"),
                                    QStringLiteral("Нет сохранённых эффектов"));
    if (!is_regular(real) || (!imag.empty() && (!is_regular(imag) || imag.size() != real.size() ||
                                                imag[0].size() != real[0].size() ||
                                                imag[0][0].size() != real[0][0].size())))
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The stored effects are not a regular grid"),
                                    QStringLiteral("Сохранённые эффекты не образуют регулярный грид"));
    const size_t planes = real.size(), ny = real[0].size(), nx = real[0][0].size();
    const size_t int_max = size_t(std::numeric_limits<qint32>::max());
    if (planes > int_max || ny > int_max || nx > int_max)
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The stored effects are too large to save"),
                                    QStringLiteral("Эффекты слишком велики для сохранения"));

    uchar header[12];
    qToBigEndian<qint32>(qint32(nx), header);
    qToBigEndian<qint32>(qint32(ny), header + 4);
    qToBigEndian<qint32>(qint32(planes), header + 8);

    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(header), 12); !status)
        return status;
    std::vector<uchar> buffer(nx * ny * 16);
    for (size_t k = 0; k < planes; ++k) {
        if (!codec_continue(progress, codec_percent(qint64(k), qint64(planes))))
            return cancel_writing(file);
        uchar* p = buffer.data();
        for (size_t j = 0; j < ny; ++j) {
            const data_type* r = real[k][j].data();
            const data_type* m = imag.empty() ? nullptr : imag[k][j].data();
            for (size_t i = 0; i < nx; ++i, p += 16) {
                qToBigEndian<quint64>(bits_of(double(r[i])), p);
                qToBigEndian<quint64>(bits_of(m ? double(m[i]) : 0.0), p + 8);
            }
        }
        if (CodecStatus status = write_bytes(file, reinterpret_cast<const char*>(buffer.data()), qint64(buffer.size()));
            !status)
            return status;
    }
    return finish_writing(file, progress);
}
