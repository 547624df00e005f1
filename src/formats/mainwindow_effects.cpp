// Standalone effects files "*.eff": export and import of the stored forward operator.
#include "app/interaction.h"
#include "app/mainwindow.h"
#include "engine/forward.h"
#include "engine/operator_keys.h"
#include "formats/effects_file.h"

#include <utility>

void MainWindow::on_save_effects_triggered()
{
    // Only an operator that serves the current grid is worth a file.
    if (!effectsMatchModel()) {
        show_error(language == 0 ? QStringLiteral("Эффекты не рассчитаны: сохранять нечего")
                                 : QStringLiteral("No effects are stored: there is nothing to save"));
        return;
    }
    const QString path = interaction()->saveFileName(this, QStringLiteral("Save file"), QString(),
                                                     QStringLiteral("*.eff"));
    if (path.isEmpty())
        return;
    // Imported imaginary parts are written back as they came; otherwise they
    // are 0 (the operator's spectrum has none), as the project's sidecar
    // holds them.
    const CodecStatus status = write_effects_file(path, effects, EffectsImaginary::Held);
    if (!status) {
        show_error(status.message(language));
        return;
    }
    show_message(language == 0 ? QStringLiteral("Эффекты сохранены") : QStringLiteral("Effects saved"));
}

void MainWindow::on_import_effects_triggered()
{
    if (refuseWhileRunning())
        return;
    const QString path = interaction()->openFileName(this, QStringLiteral("Open file"), QString(),
                                                     QStringLiteral("*.eff"));
    if (path.isEmpty())
        return;
    // The operator is replaced only by a complete file. The file does not say
    // which model it was built for: it is taken for the density grid of the
    // project when it is that grid's operator (its levels and padded sizes,
    // and the whole check of check_effects, the one a project's sidecar
    // passes), and keyed for it; any other file is refused.
    ForwardGeometry g;
    const bool model = modelGeometry(g);
    EffectsOperator read;
    const CodecStatus status = read_effects_file(path, read, CodecProgress(), effects_fold_tolerance);
    if (!status) {
        show_error(status.message());
        return;
    }
    if (!model || !effects_data_has_shape(read, g)) {
        show_error(language == 0
                       ? QStringLiteral("Файл эффектов не подходит к 3D гриду плотности проекта: "
                                        "число уровней или размеры расширенной сетки другие")
                       : QStringLiteral("The effects file does not fit the project's 3D density grid: "
                                        "its level count or padded grid size differs"));
        return;
    }
    const EffectsCheck check = check_effects(read, g, thread_count);
    if (check == EffectsCheck::NotCheckable) {
        show_error(language == 0
                       ? QStringLiteral("Уровни 3D грида плотности идут с промежутками: файл эффектов "
                                        "нельзя проверить, он не загружен")
                       : QStringLiteral("The levels of the 3D density grid leave gaps: the effects file "
                                        "cannot be checked and is not imported"));
        return;
    }
    if (check == EffectsCheck::NoMemory) {
        show_error(language == 0 ? QStringLiteral("Недостаточно памяти для проверки файла эффектов")
                                 : QStringLiteral("Not enough memory to check the effects file"));
        return;
    }
    if (check != EffectsCheck::Own) {
        show_error(language == 0
                       ? QStringLiteral("Файл эффектов рассчитан для другой модели (другие шаги сетки, "
                                        "глубины уровней или высота расчета): он не загружен")
                       : QStringLiteral("The effects file was calculated for another model (other grid steps, "
                                        "level depths or calculation height): it is not imported"));
        return;
    }
    effects = std::move(read);
    effects.key = g.key();
    effects_source.clear();
}
