// The settings store: QSettings("TOLMERA3D", "Tolmera3D") in the platform's
// default format and user scope. Read when the window is built, written when it
// is closed with data loaded and the save question answered Yes or No.
//
//   save/savepath                    directory where file dialogs start
//   preferences/store_eff            bool, preferences item 6
//   preferences/language             int, preferences item 7
//   preferences/modelScaleDirection  int, preferences item 8
//   preferences/mapsScaleDirection   int, preferences item 9
//
// The thread count, the colour scales and the expansion factor are not kept:
// every start begins with one thread, jet scales and factor 0.

#include "app/mainwindow.h"

#include <QFileDialog>
#include <QSettings>

namespace {
const char* const organisation = "TOLMERA3D";
const char* const application = "Tolmera3D";
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
    if (settings.contains(QStringLiteral("preferences/store_eff"))) {
        store_eff = settings.value(QStringLiteral("preferences/store_eff")).toBool();
        preferences[6] = store_eff ? 1 : 0;
    }
    if (settings.contains(QStringLiteral("preferences/language"))) {
        language = settings.value(QStringLiteral("preferences/language")).toInt();
        preferences[7] = language;
    }
    if (settings.contains(QStringLiteral("preferences/modelScaleDirection"))) {
        modelScaleDirection = settings.value(QStringLiteral("preferences/modelScaleDirection")).toInt();
        preferences[8] = modelScaleDirection;
    }
    if (settings.contains(QStringLiteral("preferences/mapsScaleDirection"))) {
        mapsScaleDirection = settings.value(QStringLiteral("preferences/mapsScaleDirection")).toInt();
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
    settings.setValue(QStringLiteral("preferences/store_eff"), store_eff);
    settings.setValue(QStringLiteral("preferences/language"), language);
    settings.setValue(QStringLiteral("preferences/modelScaleDirection"), modelScaleDirection);
    settings.setValue(QStringLiteral("preferences/mapsScaleDirection"), mapsScaleDirection);
    settings.sync();
}
