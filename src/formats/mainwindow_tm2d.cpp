// File > Import > "Tolmera2D models": lists chosen project files of the 2D
// modelling product. The files are not read and the project does not change.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "formats/importtm2dfiles.h"

void MainWindow::on_importTM2Dmodels_triggered()
{
    if (refuseWhileRunning())
        return;
    const QStringList files =
        interaction()->openFileNames(this, QStringLiteral("Open file"), QString(), QStringLiteral("*.TM2Dproj"));
    if (files.isEmpty())
        return;
    ImportTM2Dfiles dialog(nullptr);
    dialog.setFilesCount(files.size());
    dialog.setFiles(files);
    interaction()->runDialog(&dialog);
}
