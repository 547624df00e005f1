#include "app/application.h"

#include "app/interaction.h"
#include "app/mainwindow.h"
#include "engine/forward_messages.h"

#include <QThread>

#include <cstddef>
#include <new>
#include <stdexcept>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

quint64 g_undo_snapshots = 0; // GUI thread only
thread_local int t_depth = 0;  // nesting of notify on this thread

// Free heap kept by the allocator beyond which a finished command gives it
// back: a large command's working grids, not the small change of ordinary
// events.
constexpr std::size_t kKeptFreeHeapLimit = std::size_t(64) << 20;

void release_heap_after_large_command()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    if (mallinfo2().fordblks > kKeptFreeHeapLimit)
        release_free_heap();
#endif
}

// Counts the nesting of notify while it lives.
struct Depth {
    Depth() { ++t_depth; }
    ~Depth() { --t_depth; }
};

// The events that run commands: menu and button clicks, keys and
// shortcuts, queued calls and dialogs closing.
bool starts_commands(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::KeyPress:
    case QEvent::Shortcut:
    case QEvent::MetaCall:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

} // namespace

void note_undo_snapshot()
{
    ++g_undo_snapshots;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    const quint64 snapshots = g_undo_snapshots;
    const bool command = t_depth == 0 && starts_commands(event) && QThread::currentThread() == thread();
    try {
        bool handled = false;
        {
            Depth depth;
            handled = QApplication::notify(receiver, event);
        }
        if (command)
            release_heap_after_large_command();
        return handled;
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
