// Memory check before a spectral run and the inversion estimate.
#include "app/interaction.h"
#include "app/mainwindow.h"
#include "engine/memory.h"

#include <iostream>

bool MainWindow::check_memory(int Nx, int Ny, int Nz, double bytes_per_cell, MemoryRun run)
{
    const double need = run_memory_need_gb(Nx, Ny, Nz, bytes_per_cell);
    std::cout << need << std::endl;
    const SystemMemory memory = query_system_memory();
    const double available = static_cast<double>(memory.available_bytes) / bytes_per_gb;
    if (!memory_question_needed(need, available))
        return true;
    const QMessageBox::StandardButton answer =
        interaction()->question(QStringLiteral("Tolmera3D"), memory_question_text(need, available, run, language),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No, this);
    return answer != QMessageBox::No;
}

double MainWindow::calcInvMemory()
{
    return inversion_memory_estimate_gb(den_grid, expansion_factor);
}
