#include "formats/file_io.h"

#include "common/coordinate_limit.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cmath>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace codec_io {

QString display_name(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

CodecStatus open_for_reading(QFile& file, const QString& path)
{
    file.setFileName(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        const QString reason = QFileInfo(path).isDir() ? QStringLiteral("it is a folder") : file.errorString();
        return CodecStatus::failure(CodecError::OpenFailed,
                                    QStringLiteral("Can't open file \"%1\": %2").arg(display_name(path), reason),
                                    QStringLiteral("Не удалось открыть файл \"%1\": %2").arg(display_name(path), reason));
    }
    return {};
}

CodecStatus open_for_writing(QSaveFile& file, const QString& path)
{
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return CodecStatus::failure(
            CodecError::OpenFailed,
            QStringLiteral("Can't create file \"%1\": %2").arg(display_name(path), file.errorString()),
            QStringLiteral("Не удалось создать файл \"%1\": %2").arg(display_name(path), file.errorString()));
    }
    return {};
}

QString failure_reason(const QFileDevice& file, int saved_errno)
{
    const QString text = file.errorString();
    if (file.error() != QFileDevice::NoError && !text.isEmpty() && text != QLatin1String("Unknown error"))
        return text;
    if (saved_errno != 0)
        return qt_error_string(saved_errno);
    return text.isEmpty() ? QStringLiteral("Unknown error") : text;
}

namespace {

// Drops the unfinished save file, so the target keeps its old bytes, and
// reports why the write failed.
CodecStatus write_failed(QSaveFile& file, const QString& reason)
{
    const QString name = display_name(file.fileName());
    file.cancelWriting();
    return CodecStatus::failure(CodecError::WriteFailed,
                                QStringLiteral("Can't write file \"%1\": %2").arg(name, reason),
                                QStringLiteral("Ошибка записи файла \"%1\": %2").arg(name, reason));
}

}  // namespace

CodecStatus write_bytes(QSaveFile& file, const char* data, qint64 size)
{
    while (size > 0) {
        errno = 0;
        const qint64 written = file.write(data, size);
        if (written <= 0 || file.error() != QFileDevice::NoError)
            return write_failed(file, failure_reason(file, errno));
        data += written;
        size -= written;
    }
    return {};
}

CodecStatus commit(QSaveFile& file)
{
    // QSaveFile::commit renames the file even when flushing its last
    // buffered bytes fails (a full disk, a file size limit): flush and check
    // first, and have the system write the data out, so that a short file
    // never takes the place of a good one.
    errno = 0;
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return write_failed(file, failure_reason(file, errno));
#ifdef Q_OS_UNIX
    const int handle = file.handle();
    if (handle >= 0 && ::fsync(handle) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS)
        return write_failed(file, qt_error_string(errno));
#endif
    if (!file.commit()) {
        const QString reason = failure_reason(file, errno);
        return CodecStatus::failure(
            CodecError::WriteFailed,
            QStringLiteral("Can't save file \"%1\": %2").arg(display_name(file.fileName()), reason),
            QStringLiteral("Не удалось сохранить файл \"%1\": %2").arg(display_name(file.fileName()), reason));
    }
    return {};
}

CodecStatus write_whole_file(const QString& path, const QByteArray& bytes)
{
    QSaveFile file;
    if (CodecStatus status = open_for_writing(file, path); !status)
        return status;
    if (CodecStatus status = write_bytes(file, bytes.constData(), bytes.size()); !status)
        return status;
    return commit(file);
}

CodecStatus cancel_writing(QSaveFile& file)
{
    file.cancelWriting();
    return CodecStatus::cancelled();
}

CodecStatus finish_writing(QSaveFile& file, const CodecProgress& progress)
{
    if (!codec_continue(progress, 100))
        return cancel_writing(file);
    return commit(file);
}

CodecStatus read_error(const QFile& file)
{
    return CodecStatus::failure(
        CodecError::ReadFailed,
        QStringLiteral("Can't read file \"%1\": %2").arg(display_name(file.fileName()), file.errorString()),
        QStringLiteral("Ошибка чтения файла \"%1\": %2").arg(display_name(file.fileName()), file.errorString()));
}

CodecStatus not_a(CodecError code, const QString& path, const QString& kind_english, const QString& kind_russian,
                  const QString& english, const QString& russian)
{
    return CodecStatus::failure(
        code, QStringLiteral("File \"%1\" is not a %2: %3").arg(display_name(path), kind_english, english),
        QStringLiteral("Файл \"%1\" не является %2: %3").arg(display_name(path), kind_russian, russian));
}

CodecStatus grid_out_of_memory(CodecError code, qint64 count, bool nodes)
{
    return CodecStatus::failure(code,
                                QStringLiteral("Not enough memory for a grid of %1 %2")
                                    .arg(count)
                                    .arg(nodes ? QStringLiteral("nodes") : QStringLiteral("cells")),
                                QStringLiteral("Недостаточно памяти для грида из %1 %2")
                                    .arg(count)
                                    .arg(nodes ? QStringLiteral("узлов") : QStringLiteral("ячеек")));
}

CodecStatus truncated(const QString& path, const QString& english_detail, const QString& russian_detail)
{
    return CodecStatus::failure(
        CodecError::Truncated,
        QStringLiteral("File \"%1\" is incomplete: %2").arg(display_name(path), english_detail),
        QStringLiteral("Файл \"%1\" неполон: %2").arg(display_name(path), russian_detail));
}

QString coordinate_text(double value)
{
    // The fewest significant digits (at least six) that give the value back,
    // so that a value just beyond the limit is not shown as the limit.
    QString shown;
    for (int digits = 6; digits <= 17; ++digits) {
        shown = QString::number(value, 'g', digits);
        if (!std::isfinite(value) || shown.toDouble() == value)
            break;
    }
    return shown;
}

QString coordinate_refusal(double value, int language, bool sentence)
{
    const QString limit = QString::number(max_coordinate_magnitude, 'g', 3);
    const QString shown = coordinate_text(value);
    if (language == 0)
        return QStringLiteral("координата %1 по модулю больше %2, такие координаты программа не может отобразить")
            .arg(shown, limit);
    return (sentence ? QStringLiteral("it holds ") : QString()) +
           QStringLiteral("a coordinate of %1, beyond the ±%2 the program can show").arg(shown, limit);
}

CodecStatus coordinate_on_line(const QString& path, qint64 line, double value)
{
    return CodecStatus::failure(
        CodecError::BadValue,
        QStringLiteral("File \"%1\", line %2 holds %3").arg(display_name(path)).arg(line).arg(coordinate_refusal(value, 1)),
        QStringLiteral("Файл \"%1\", строка %2: %3").arg(display_name(path)).arg(line).arg(coordinate_refusal(value, 0)));
}

CodecStatus coordinate_in_file(const QString& path, double value)
{
    return CodecStatus::failure(
        CodecError::BadValue,
        QStringLiteral("File \"%1\" holds %2").arg(display_name(path), coordinate_refusal(value, 1)),
        QStringLiteral("Файл \"%1\": %2").arg(display_name(path), coordinate_refusal(value, 0)));
}

QString typed_coordinate_refusal(double value, int language)
{
    return language == 0 ? QStringLiteral("Параметры не приняты: ") + coordinate_refusal(value, 0)
                         : QStringLiteral("The values are not accepted: they hold ") + coordinate_refusal(value, 1);
}

CodecStatus check_coordinates(const QString& path, const QString& kind_english, const QString& kind_russian,
                              const std::vector<double>& values)
{
    for (double v : values)
        if (!coordinate_fits(v))
            return not_a(CodecError::BadHeader, path, kind_english, kind_russian, coordinate_refusal(v, 1, true),
                         coordinate_refusal(v, 0, true));
    return {};
}

}  // namespace codec_io
