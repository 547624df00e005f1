// The settings store: QSettings("TOLMERA3D", "Tolmera3D") in the platform's
// default format and user scope. Read when the window is built, written when it
// is closed with data loaded and the save question answered Yes or No.
//
//   save/savepath                    directory where file dialogs start
//   preferences/store_eff            bool, preferences item 6 (unreadable: false)
//   preferences/language             int 0 or 1, preferences item 7 (else 0)
//   preferences/modelScaleDirection  int 0 or 1, preferences item 8 (else 0)
//   preferences/mapsScaleDirection   int 0 or 1, preferences item 9 (else 0)
//
// The thread count, the colour scales and the expansion factor are not kept:
// every start begins with one thread, jet scales and factor 0.

#include "app/mainwindow.h"

#include <QFileDialog>
#include <QSettings>

namespace {
const char* const organisation = "TOLMERA3D";
const char* const application = "Tolmera3D";

// The choices a key may hold: the language (0 Russian, 1 English) and both
// scale directions (0 upward, 1 downward) are indices of two-item lists.
constexpr int choice_count = 2;

// A choice within its list, `fallback` (the default) for anything else.
int validChoice(int value, int fallback = 0)
{
    return value >= 0 && value < choice_count ? value : fallback;
}

// An int key as stored; the default for text that is no int of the list
// (a number beyond int included).
int storedChoice(const QSettings& settings, const QString& key)
{
    bool ok = false;
    const int value = settings.value(key).toString().trimmed().toInt(&ok);
    return ok ? validChoice(value) : 0;
}

// The store-effects flag: true only when written as true (or 1); anything
// unreadable gives false.
bool storedFlag(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    if (value.type() == QVariant::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
}
} // namespace

void MainWindow::readSettings()
{
    QSettings settings(QString::fromLatin1(organisation), QString::fromLatin1(application));
    if (preferences.size() < 10)
        preferences.resize(10, 0.0);

    if (settings.contains(QStringLiteral("save/savepath"))) {
        // Setting the directory of any file dialog makes it the process's
        // remembered directory, where dialogs opened without one start.
        QFileDialog dialog(nullptr, QString(), QString(), QString());
        dialog.setDirectory(settings.value(QStringLiteral("save/savepath")).toString());
    }
    // Every key is read within its range; a value out of it gives the default.
    if (settings.contains(QStringLiteral("preferences/store_eff"))) {
        store_eff = storedFlag(settings, QStringLiteral("preferences/store_eff"));
        preferences[6] = store_eff ? 1 : 0;
    }
    if (settings.contains(QStringLiteral("preferences/language"))) {
        language = storedChoice(settings, QStringLiteral("preferences/language"));
        preferences[7] = language;
    }
    if (settings.contains(QStringLiteral("preferences/modelScaleDirection"))) {
        modelScaleDirection = storedChoice(settings, QStringLiteral("preferences/modelScaleDirection"));
        preferences[8] = modelScaleDirection;
    }
    if (settings.contains(QStringLiteral("preferences/mapsScaleDirection"))) {
        mapsScaleDirection = storedChoice(settings, QStringLiteral("preferences/mapsScaleDirection"));
        preferences[9] = mapsScaleDirection;
    }
}

void MainWindow::writeSettings()
{
    QSettings settings(QString::fromLatin1(organisation), QString::fromLatin1(application));
    // A new file dialog starts in the remembered directory (or the current
    // one when no dialog has set it).
    QString path;
    {
        QFileDialog dialog(nullptr, QString(), QString(), QString());
        path = dialog.directory().absolutePath();
    }
    settings.setValue(QStringLiteral("save/savepath"), path);
    // Only values the next start reads back as they are: one out of range is
    // stored as its default.
    settings.setValue(QStringLiteral("preferences/store_eff"), store_eff);
    settings.setValue(QStringLiteral("preferences/language"), validChoice(language));
    settings.setValue(QStringLiteral("preferences/modelScaleDirection"), validChoice(modelScaleDirection));
    settings.setValue(QStringLiteral("preferences/mapsScaleDirection"), validChoice(mapsScaleDirection));
    settings.sync();
}
