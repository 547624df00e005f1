#include "app/application.h"

#include "app/interaction.h"
#include "app/mainwindow.h"
#include "engine/forward_messages.h"

#include <new>
#include <stdexcept>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

quint64 g_undo_snapshots = 0; // GUI thread only

} // namespace

void note_undo_snapshot()
{
    ++g_undo_snapshots;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    const quint64 snapshots = g_undo_snapshots;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        report_command_out_of_memory(g_undo_snapshots != snapshots);
    } catch (const std::length_error&) {
        // A container asked for more elements than it can ever hold.
        report_command_out_of_memory(g_undo_snapshots != snapshots);
    }
    return false;
}

void release_free_heap()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void report_command_out_of_memory(bool snapshot_taken)
{
    release_free_heap();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    MainWindow* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if ((window = qobject_cast<MainWindow*>(w)))
            break;
    if (!window) {
        interaction()->error(out_of_memory_text(0));
        return;
    }
    if (snapshot_taken && !window->undo_stack.empty() && window->undo_stack.back().type == 1) {
        // The grid as it was before the command, and the view redrawn from
        // it; should even that fail, the snapshot stays for Undo.
        try {
            window->on_actionUndo_triggered();
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        release_free_heap();
    }
    window->show_error(out_of_memory_text(window->language));
}
