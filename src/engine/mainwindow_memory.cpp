// Memory check before a spectral run and the inversion's need shown in its
// dialog.
#include "app/interaction.h"
#include "app/mainwindow.h"
#include "engine/fft.h"
#include "engine/inversion.h"
#include "engine/memory.h"

#include <algorithm>
#include <iostream>

bool MainWindow::check_memory(int Nx, int Ny, int Nz, double bytes_per_cell, MemoryRun run)
{
    return check_memory_need(run_memory_need_gb(Nx, Ny, Nz, bytes_per_cell) * bytes_per_gb, run);
}

bool MainWindow::check_memory_need(double need_bytes, MemoryRun run)
{
    const double need = need_bytes / bytes_per_gb;
    std::cout << need << std::endl;
    const SystemMemory memory = memory_figures();
    const double available = static_cast<double>(memory.available_bytes) / bytes_per_gb;
    switch (memory_verdict(need_bytes, memory)) {
    case MemoryVerdict::Fits:
        return true;
    case MemoryVerdict::Refuse:
        show_error(memory_refusal_text(need, static_cast<double>(memory.ceiling_bytes) / bytes_per_gb, language));
        return false;
    case MemoryVerdict::Ask:
        break;
    }
    const QMessageBox::StandardButton answer =
        interaction()->question(QStringLiteral("Tolmera3D"), memory_question_text(need, available, run, language),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No, this);
    return answer != QMessageBox::No;
}

InversionMemoryOptions MainWindow::inversionMemoryOptions(const std::vector<double>& params, bool log) const
{
    const bool any_fixed = std::find(fixed.begin(), fixed.end(), true) != fixed.end();
    return inversion_memory_options(params, !regularizer.empty(), regularizer.size() == den_grid.size(), any_fixed,
                                    log, effectsMatchModel(), static_cast<int>(horizons.size()));
}

RunRedraw MainWindow::calculatedMapRedraw() const
{
    RunRedraw r;
    r.shown = isVisible() && !isMinimized();
    r.maps = 1;
    return r;
}

double MainWindow::gridInversionNeedBytes(const RunSize& s, const InversionMemoryOptions& options) const
{
    return inversion_need_bytes(s, options) + run_redraw_bytes(s, calculatedMapRedraw());
}

double MainWindow::inversionNeedGb(const std::vector<double>& params, bool log) const
{
    if (den_grid.empty() || den_grid[0].empty() || den_grid[0][0].empty())
        return 0.0;
    // The grid's sizes also when its node coordinates are not (yet) usable.
    RunSize s;
    s.nx = static_cast<int>(den_grid[0][0].size());
    s.ny = static_cast<int>(den_grid[0].size());
    s.nz = static_cast<int>(den_grid.size());
    s.Mx = fft_padded_size(s.nx, expansion_factor);
    s.My = fft_padded_size(s.ny, expansion_factor);
    s.threads = thread_count;
    if (inversion_record::integer(params, inversion_record::kind) == inversion_record::kind_layered)
        return layered_inversion_need_bytes(s, static_cast<int>(horizons.size()), store_eff, effectsMatchModel(),
                                            layerEffectsMatchModel())
               / bytes_per_gb;
    return gridInversionNeedBytes(s, inversionMemoryOptions(params, log)) / bytes_per_gb;
}

double MainWindow::calcInvMemory()
{
    return inversionNeedGb(inversion_params, save_log);
}
