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

std::uint64_t available_bytes()
{
    const AvailableMemory& query = available_query();
    return query ? query() : query_system_memory().available_bytes;
}

}  // namespace

AvailableMemory set_available_memory(AvailableMemory query)
{
    return std::exchange(available_query(), std::move(query));
}

bool confirm_need(QWidget* parent, int language, double need_bytes)
{
    const double need = need_bytes / bytes_per_gb;
    const double available = static_cast<double>(available_bytes()) / bytes_per_gb;
    if (!memory_question_needed(need, available))
        return true;
    return interaction()->question(QStringLiteral("Tolmera3D"), question_text(need, available, language),
                                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No, parent) != QMessageBox::No;
}

}  // namespace grid_memory
