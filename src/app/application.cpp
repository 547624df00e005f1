#include "app/application.h"

#include "app/interaction.h"
#include "app/mainwindow.h"
#include "engine/forward_messages.h"
#include "views/render_memory.h"

#include <QThread>

#include <cstddef>
#include <new>
#include <stdexcept>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Free heap kept by the allocator beyond which a finished run or command
// gives it back: a large command's working grids, not the small change of
// ordinary events or of a run whose arrays the next run takes again. (A trim
// returns every free page inside the heap, and the next run faults each of
// them in again: trimming after every run made a long session's runs a
// third slower than a fresh process's.)
constexpr std::size_t kKeptFreeHeapLimit = std::size_t(64) << 20;

// Blocks from this size up get their own mappings, which a free gives back
// at once: the large arrays that come and go with a run or a redraw.
constexpr int kOwnMappingBytes = 1 << 20;

// Fixed thresholds instead of the allocator's moving ones, which after the
// first large block freed serve the next ones from the heap (where they stay
// after they are freed), and which give the top of a worker's heap back
// (and fault it in again) whenever a little of it is free.
void configure_heap()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
    mallopt(M_TRIM_THRESHOLD, int(kKeptFreeHeapLimit));
#endif
}

quint64 g_undo_snapshots = 0; // GUI thread only
thread_local int t_depth = 0;  // nesting of notify on this thread

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

MainWindow* main_window()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<MainWindow*>(w))
            return window;
    return nullptr;
}

void show_out_of_memory()
{
    if (MainWindow* window = main_window())
        window->show_error(out_of_memory_text(window->language));
    else
        interaction()->error(out_of_memory_text(0));
}

} // namespace

void note_undo_snapshot()
{
    ++g_undo_snapshots;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    // The 3D view left empty, or its frame skipped, for lack of memory.
    render_memory::set_shortage_report(&show_out_of_memory);
    configure_heap();
}

Application::~Application()
{
    render_memory::set_shortage_report(nullptr);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    const quint64 snapshots = g_undo_snapshots;
    const bool command = t_depth == 0 && starts_commands(event) && QThread::currentThread() == thread();
    try {
        bool handled = false;
        if (render_memory::is_graph_frame(receiver, event)) {
            // The 3D view draws only with memory at hand (render_memory.h).
            render_memory::FrameScope frame(receiver);
            if (!frame.mayDraw())
                return true;
            Depth depth;
            return QApplication::notify(receiver, event);
        }
        {
            Depth depth;
            handled = QApplication::notify(receiver, event);
        }
        if (command) {
            release_large_free_heap();
            render_memory::retry_skipped_frame();
        }
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

void release_large_free_heap()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    if (mallinfo2().fordblks > kKeptFreeHeapLimit)
        release_free_heap();
#else
    release_free_heap();
#endif
}

void report_command_out_of_memory(bool snapshot_taken)
{
    release_free_heap();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    MainWindow* window = main_window();
    if (!window) {
        interaction()->error(out_of_memory_text(0));
        return;
    }
    if (snapshot_taken && !window->undo_stack.empty() && window->undo_stack.back().type == 1) {
        // The grid as it was before the command, and the view redrawn from
        // it; should even that fail, the snapshot stays for Undo. A view left
        // empty for lack of memory is told by the message below.
        render_memory::QuietShortage quiet;
        try {
            window->on_actionUndo_triggered();
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        release_free_heap();
    }
    window->show_error(out_of_memory_text(window->language));
}
