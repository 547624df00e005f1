#include "editing/grid_memory_question.h"

#include "app/interaction.h"
#include "editing/grid_memory.h"
#include "engine/memory.h"

#include <utility>

namespace grid_memory {

namespace {

AvailableMemory& available_query()
{
    static AvailableMemory query;
    return query;
}

// The machine's figures, or a test's figure of available memory (with an
// unknown ceiling).
SystemMemory figures()
{
    const AvailableMemory& query = available_query();
    if (!query)
        return memory_figures();
    SystemMemory m;
    m.available_bytes = query();
    return m;
}

}  // namespace

AvailableMemory set_available_memory(AvailableMemory query)
{
    return std::exchange(available_query(), std::move(query));
}

bool confirm_need(QWidget* parent, int language, double need_bytes)
{
    const double need = need_bytes / bytes_per_gb;
    const SystemMemory memory = figures();
    const double available = static_cast<double>(memory.available_bytes) / bytes_per_gb;
    switch (memory_verdict(need_bytes, memory)) {
    case MemoryVerdict::Fits:
        return true;
    case MemoryVerdict::Refuse:
        interaction()->error(memory_refusal_text(need, static_cast<double>(memory.ceiling_bytes) / bytes_per_gb, language));
        return false;
    case MemoryVerdict::Ask:
        break;
    }
    return interaction()->question(QStringLiteral("Tolmera3D"), question_text(need, available, language),
                                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No, parent) != QMessageBox::No;
}

}  // namespace grid_memory
