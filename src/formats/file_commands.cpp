#include "formats/file_commands.h"

#include "formats/file_io.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

QString cube_file_filter()
{
    // Both cases for dialogs that match patterns case-sensitively.
    return QStringLiteral("Tolmera 3D grid (*.3Dgrd) ;; SEG-Y(*.sgy *.segy *.SGY *.SEGY)");
}

QString lower_suffix(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

CubeFileKind cube_file_kind(const QString& path)
{
    const QString suffix = lower_suffix(path);
    if (suffix == QLatin1String("3dgrd"))
        return CubeFileKind::OwnCube;
    if (suffix == QLatin1String("sgy") || suffix == QLatin1String("segy"))
        return CubeFileKind::SegY;
    return CubeFileKind::Unknown;
}

QStringList cube_file_suffixes()
{
    return {QStringLiteral("3Dgrd"), QStringLiteral("sgy"), QStringLiteral("segy")};
}

QString unknown_suffix_text(const QString& path, const QStringList& accepted, int language)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QString suffix = QFileInfo(path).suffix();
    const QString list = accepted.join(QStringLiteral(", "));
    if (language == 0)
        return (suffix.isEmpty() ? QStringLiteral("Файл \"%1\" не открыт: у имени нет расширения.").arg(shown)
                                 : QStringLiteral("Файл \"%1\" не открыт: расширение \"%2\" не читается.").arg(shown, suffix)) +
               QStringLiteral(" Читаются файлы с расширениями %1 (в любом регистре).").arg(list);
    return (suffix.isEmpty() ? QStringLiteral("File \"%1\" was not opened: its name has no suffix.").arg(shown)
                             : QStringLiteral("File \"%1\" was not opened: the suffix \"%2\" is not read here.").arg(shown, suffix)) +
           QStringLiteral(" Accepted suffixes: %1 (in any case).").arg(list);
}

bool is_grd_name(const QString& path)
{
    return lower_suffix(path) == QLatin1String("grd");
}

QString safe_file_name_part(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const bool bad = c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('/') ||
                         c == QLatin1Char('\\') || c == QLatin1Char(':') || c == QLatin1Char('*') ||
                         c == QLatin1Char('?') || c == QLatin1Char('"') || c == QLatin1Char('<') ||
                         c == QLatin1Char('>') || c == QLatin1Char('|');
        out += bad ? QLatin1Char('_') : c;
    }
    // With the separators gone ".." can no longer climb out of the folder, but
    // keep it out of names anyway.
    while (out.contains(QLatin1String("..")))
        out.replace(QLatin1String(".."), QLatin1String("_"));
    return out.trimmed();
}

QString horizon_file_name(const QString& chosen, int i, const QString& layer_name)
{
    const QFileInfo info(chosen);
    // The chosen name itself lies in the chosen folder; only the layer name
    // comes from elsewhere.
    QString name = info.baseName() + QLatin1Char(' ') + QString::number(i);
    const QString layer = safe_file_name_part(layer_name);
    if (!layer.isEmpty())
        name += QLatin1Char(' ') + layer;
    return info.absolutePath() + QLatin1Char('/') + name + QStringLiteral(".grd");
}

std::vector<double> map_geometry(std::size_t rows, std::size_t columns, const std::vector<double>& x,
                                 const std::vector<double>& y, const std::vector<std::vector<double>>& candidates)
{
    if (rows == 0 || columns == 0)
        return {};
    if (x.size() == columns && y.size() == rows)
        return {static_cast<double>(columns), static_cast<double>(rows), x.front(), x.back(), y.front(), y.back()};
    for (const std::vector<double>& p : candidates)
        if (p.size() >= 6 && p[0] == static_cast<double>(columns) && p[1] == static_cast<double>(rows))
            return std::vector<double>(p.begin(), p.begin() + 6);
    return {};
}

QString file_failure_text(const QString& path, const CodecStatus& status, int language, bool writing)
{
    const QString text = status.message(language);
    const QString shown = QDir::toNativeSeparators(path);
    if (status.code() == CodecError::UnknownFormat || text.contains(shown)
        || text.contains(QFileInfo(path).fileName()))
        return text;
    if (writing)
        return language == 0
                   ? QStringLiteral("Не удалось сохранить файл \"%1\": %2").arg(shown, text)
                   : QStringLiteral("Can't save file \"%1\": %2").arg(shown, text);
    return language == 0 ? QStringLiteral("Не удалось прочитать файл \"%1\": %2").arg(shown, text)
                         : QStringLiteral("Can't read file \"%1\": %2").arg(shown, text);
}

CodecStatus save_whole_file(const QString& path, const QByteArray& bytes)
{
    return codec_io::write_whole_file(path, bytes);
}

CodecStatus write_failure(const QFileDevice& file, int saved_errno)
{
    const QString reason = codec_io::failure_reason(file, saved_errno);
    return CodecStatus::failure(CodecError::WriteFailed, reason, reason);
}

QString non_finite_read_text(long long count, int language)
{
    if (count == 0)
        return QString();
    return QString::fromUtf8(language == 0 ? "прочитано ячеек без конечного значения (NaN или бесконечность): %1"
                                           : "cells read without a finite value (NaN or infinity): %1")
        .arg(count);
}
