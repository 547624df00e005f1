// Layer statistics of the density grid and the mean-density tables by depth
// and by depth and layer (codec in editing/mean_density_tables.h).
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "common/grid_geometry.h"
#include "common/grid_helpers.h"
#include "editing/mean_density_tables.h"
#include "editing/statisticsdialog.h"
#include "formats/file_commands.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QTextStream>

namespace {

QString openCaption() { return QStringLiteral("Open file"); }

QString emptyGridText(int language)
{
    return byLanguage(language, "3D грид плотности пуст", "Density grid is empty");
}

}  // namespace

void MainWindow::on_density_stats_triggered()
{
    if (den_grid.empty())
        return;
    // Layer statistics read every horizon at the density grid's rows and
    // columns: horizons on another lattice (after regridding only them) have
    // no layer cells to count, so say so instead of showing zeros.
    if (!horizons.empty() && !horizons_match_grid(horizons, den_grid)) {
        show_error(byLanguage(language,
                              "Ошибка статистики: горизонты не лежат на узлах 3D грида плотности. "
                              "Проверьте параметры разбиения горизонтов и куба плотности",
                              "Statistics error: the horizons are not on the nodes of the 3D density grid. "
                              "Check parameters of horizons and 3D density grid"));
        return;
    }
    std::vector<std::vector<double>> rows;
    const int layers_count = static_cast<int>(horizons.size());
    for (int n = 0; n < layers_count; ++n) {
        if (progress_label)
            progress_label->setText(QStringLiteral("stats %1/%2").arg(n + 1).arg(layers_count));
        rows.push_back(calcLayerStats(n));
    }
    std::vector<QString> names;
    for (int n = 0; n < layers_count; ++n)
        names.push_back(layers_names.size() < horizons.size() ? QStringLiteral(" ")
                                                             : layers_names[static_cast<std::size_t>(n)]);
    names.push_back(byLanguage(language, "Все", "Total"));

    // The whole grid: extrema and the mean of levels x rows x columns.
    double sum = 0;
    const std::size_t ny = den_grid.front().size();
    const std::size_t nx = ny ? den_grid.front().front().size() : 0;
    for (const vector2D& level : den_grid)
        for (std::size_t i = 0; i < ny && i < level.size(); ++i)
            for (std::size_t j = 0; j < nx && j < level[i].size(); ++j)
                sum += level[i][j];
    const double cells = double(den_grid.size()) * double(ny) * double(nx);
    const double mean = cells > 0 ? double(static_cast<float>(sum / cells)) : 0.0;
    if (nx > 0)
        rows.push_back({grid_min(den_grid), grid_max(den_grid), mean});
    else
        rows.push_back({0, 0, 0});

    StatisticsDialog dialog;
    dialog.setData(rows, names);
    dialog.setLanguage(language);
    interaction()->runDialog(&dialog);
}

// Builds the table in memory and saves it as a whole through a temporary
// file, so that a failed write leaves any earlier file in place.
template <typename Writer>
static void exportTable(MainWindow& w, Writer write)
{
    if (w.den_grid.empty()) {
        w.show_error(emptyGridText(w.language));
        return;
    }
    const QString path = interaction()->saveFileName(&w, openCaption(), QString(), QStringLiteral("*.txt"));
    if (path.isEmpty())
        return;
    QByteArray bytes;
    mean_density::TableStatus status;
    {
        QTextStream out(&bytes, QIODevice::WriteOnly);
        status = write(out);
        out.flush();
    }
    if (status == mean_density::TableStatus::NoLayers || status == mean_density::TableStatus::LayersMismatch) {
        w.show_error(byLanguage(w.language, "Ошибка при экспорте. Проверьте параметры разбиения горизонтов и куба плотности",
                                "Export error. Check parameters of horizons and 3D density grid"));
        return;
    }
    if (status == mean_density::TableStatus::EmptyGrid) {
        w.show_error(emptyGridText(w.language));
        return;
    }
    const CodecStatus saved = status == mean_density::TableStatus::Ok
                                  ? save_whole_file(path, bytes)
                                  : CodecStatus::failure(CodecError::WriteFailed, QStringLiteral("Can't write the table"),
                                                         QStringLiteral("Не удалось записать таблицу"));
    if (!saved) {
        w.show_error(file_failure_text(path, saved, w.language, true));
        return;
    }
    w.show_message(byLanguage(w.language, "Средняя плотность экспортирована", "Export finished"));
}

void MainWindow::on_export_total_mean_dens_triggered()
{
    exportTable(*this, [this](QTextStream& out) { return mean_density::write_depth_table(out, den_grid, z_calc); });
}

void MainWindow::on_export_layers_mean_dens_triggered()
{
    if (!den_grid.empty() && horizons.empty()) {
        show_error(byLanguage(language, "Ошибка при экспорте. Проверьте параметры разбиения горизонтов и куба плотности",
                              "Export error. Check parameters of horizons and 3D density grid"));
        return;
    }
    exportTable(*this, [this](QTextStream& out) {
        return mean_density::write_layer_table(out, den_grid, z_calc, horizons);
    });
}

// Reads a table into the density grid; nothing changes unless the whole
// table reads. No undo snapshot is taken.
template <typename Reader>
static void importTable(MainWindow& w, const QString& filter, Reader read)
{
    if (w.refuseWhileRunning())
        return;
    if (w.den_grid.empty()) {
        w.show_error(emptyGridText(w.language));
        return;
    }
    const QString path = interaction()->openFileName(&w, openCaption(), QString(), filter);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        w.show_error(byLanguage(w.language, "Не удалось прочитать файл ", "Can't read the file ") + path);
        return;
    }
    QTextStream in(&file);
    const mean_density::TableResult r = read(in);
    switch (r.status) {
    case mean_density::TableStatus::Ok:
        break;
    case mean_density::TableStatus::BadLine:
        w.show_error(byLanguage(w.language, "Строка %1 таблицы не читается:\n%2\nПлотностной грид не изменён.",
                                "Line %1 of the table cannot be read:\n%2\nThe density grid is unchanged.")
                         .arg(r.line)
                         .arg(r.text.left(200)));
        return;
    case mean_density::TableStatus::NoLayers:
    case mean_density::TableStatus::LayersMismatch:
        w.show_error(byLanguage(w.language, "Ошибка при импорте. Проверьте параметры разбиения горизонтов и куба плотности",
                                "Import error. Check parameters of horizons and 3D density grid"));
        return;
    case mean_density::TableStatus::EmptyGrid:
        w.show_error(emptyGridText(w.language));
        return;
    case mean_density::TableStatus::ReadFailed:
        w.show_error(byLanguage(w.language, "Не удалось прочитать файл ", "Can't read the file ") + path);
        return;
    }
    if (!w.ui->view_horizons->isChecked())
        w.show3Dgrid();
}

void MainWindow::on_import_total_mean_dens_triggered()
{
    importTable(*this, QStringLiteral("*.txt"),
                [this](QTextStream& in) { return mean_density::read_depth_table(in, den_grid, z_calc); });
}

void MainWindow::on_import_layers_mean_dens_triggered()
{
    importTable(*this, QStringLiteral("Text file (*.txt)"), [this](QTextStream& in) {
        return mean_density::read_layer_table(in, den_grid, z_calc, horizons);
    });
}
