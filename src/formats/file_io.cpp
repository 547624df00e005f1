#include "formats/file_io.h"

#include <QDir>
#include <QFileInfo>

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

CodecStatus write_bytes(QSaveFile& file, const char* data, qint64 size)
{
    while (size > 0) {
        const qint64 written = file.write(data, size);
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return CodecStatus::failure(
                CodecError::WriteFailed,
                QStringLiteral("Can't write file \"%1\": %2").arg(display_name(file.fileName()), reason),
                QStringLiteral("Ошибка записи файла \"%1\": %2").arg(display_name(file.fileName()), reason));
        }
        data += written;
        size -= written;
    }
    return {};
}

CodecStatus commit(QSaveFile& file)
{
    if (!file.commit()) {
        return CodecStatus::failure(
            CodecError::WriteFailed,
            QStringLiteral("Can't save file \"%1\": %2").arg(display_name(file.fileName()), file.errorString()),
            QStringLiteral("Не удалось сохранить файл \"%1\": %2").arg(display_name(file.fileName()), file.errorString()));
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

}  // namespace codec_io
