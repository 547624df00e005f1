// Standalone effects files "*.eff": export and import of the stored forward operator.
#include "app/interaction.h"
#include "app/mainwindow.h"
#include "formats/effects_file.h"

void MainWindow::on_save_effects_triggered()
{
    if (effects.re.empty()) {
        show_error(language == 0 ? QStringLiteral("Эффекты не рассчитаны: сохранять нечего")
                                 : QStringLiteral("No effects are stored: there is nothing to save"));
        return;
    }
    const QString path = interaction()->saveFileName(this, QStringLiteral("Save file"), QString(),
                                                     QStringLiteral("*.eff"));
    if (path.isEmpty())
        return;
    // After a project load only the real half is stored; its imaginary parts
    // are written as 0, as the project's sidecar holds them.
    const CodecStatus status = write_effects_file(path, effects.re, effects.im);
    if (!status) {
        show_error(status.message(language));
        return;
    }
    show_message(language == 0 ? QStringLiteral("Эффекты сохранены") : QStringLiteral("Effects saved"));
}

void MainWindow::on_import_effects_triggered()
{
    const QString path = interaction()->openFileName(this, QStringLiteral("Open file"), QString(),
                                                     QStringLiteral("*.eff"));
    if (path.isEmpty())
        return;
    // The operator is replaced only by a complete file; the geometry it was
    // built for is unknown.
    vector3D re, im;
    const CodecStatus status = read_effects_file(path, re, im);
    if (!status) {
        show_error(status.message());
        return;
    }
    effects.re.swap(re);
    effects.im.swap(im);
    effects.key = EffectsKey();
}
