#include "views/render_memory.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWindow>
#include <QtDataVisualization/QAbstract3DGraph>

#include <algorithm>
#include <new>

namespace render_memory {

namespace {

// Measured under Xvfb with Mesa's llvmpipe: the growth of the resident peak
// over the frame that takes a new cube (60 x 60 x 30, 200 x 200 x 50 and
// 400 x 400 x 60 cells), fitted to nodes and texture pixels and rounded up.
// Per node: the renderer's copy of the proxy's array, its vertices, normals
// and texture coordinates (twice over with flat shading), its triangle and
// grid-line indices and their temporaries, and the same arrays once more in
// the OpenGL buffers (about 500 bytes).
constexpr std::size_t kBytesPerNode = 512;
// Per texture pixel: the image the series holds, the renderer's mirrored and
// converted copies, the OpenGL texture with its mipmaps (about 60 bytes).
constexpr std::size_t kBytesPerTexel = 64;

struct State
{
    void* reserve = nullptr;
    void* fund = nullptr;
    bool short_of_memory = false;  // reported, not yet drawn again
    int quiet = 0;                 // nesting of QuietShortage
    QPointer<QWindow> skipped;     // a graph whose frame was skipped
    std::function<void()> report;
};

State& state()
{
    static State s;
    return s;
}

void* take(std::size_t bytes)
{
    // Through operator new, the way the renderer's own allocations go (and
    // so as the tests make them fail).
    return ::operator new(bytes, std::nothrow);
}

void give_back(void*& block)
{
    ::operator delete(block);
    block = nullptr;
}

bool take_fund()
{
    State& s = state();
    if (!s.fund)
        s.fund = take(kFundBytes);
    return s.fund != nullptr;
}

void report_shortage()
{
    State& s = state();
    if (s.short_of_memory)
        return;
    s.short_of_memory = true;
    if (s.report && s.quiet == 0)
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [] {
                if (state().report)
                    state().report();
            },
            Qt::QueuedConnection);
}

// Memory is back: a graph whose frame was skipped draws again.
void memory_back()
{
    State& s = state();
    if (s.skipped) {
        QWindow* graph = s.skipped;
        s.skipped = nullptr;
        graph->requestUpdate();
    }
}

void spend_fund()
{
    State& s = state();
    if (!s.fund)
        throw std::bad_alloc();
    give_back(s.fund);
}

}  // namespace

std::size_t series_bytes(int rows, int columns, QSize texture)
{
    const std::size_t nodes = std::size_t(std::max(rows, 0)) * std::size_t(std::max(columns, 0));
    const std::size_t texels =
        texture.isValid() ? std::size_t(texture.width()) * std::size_t(texture.height()) : std::size_t(0);
    return nodes * kBytesPerNode + texels * kBytesPerTexel;
}

bool reserve_for_scene(std::size_t bytes)
{
    State& s = state();
    if (s.reserve)
        give_back(s.reserve);
    if (bytes > 0 && !(s.reserve = take(bytes))) {
        report_shortage();
        return false;
    }
    if (!take_fund()) {
        if (s.reserve)
            give_back(s.reserve);
        report_shortage();
        return false;
    }
    s.short_of_memory = false;
    memory_back();
    return true;
}

bool is_graph_frame(const QObject* receiver, const QEvent* event)
{
    const QEvent::Type t = event->type();
    return (t == QEvent::UpdateRequest || t == QEvent::Expose)
           && qobject_cast<const QtDataVisualization::QAbstract3DGraph*>(receiver) != nullptr;
}

GraphCallScope::GraphCallScope()
    : previous_(std::set_new_handler(&spend_fund))
{
}

GraphCallScope::~GraphCallScope()
{
    std::set_new_handler(previous_);
}

FrameScope::FrameScope(QObject* graph)
{
    State& s = state();
    if (s.reserve)
        give_back(s.reserve);
    if (!take_fund()) {
        s.skipped = qobject_cast<QWindow*>(graph);
        report_shortage();
        return;
    }
    call_.emplace();
}

FrameScope::~FrameScope()
{
    if (!call_)
        return;
    call_.reset();
    // A frame that spent the fund takes it again; should that fail, the
    // next frame is skipped until it can.
    take_fund();
}

void set_shortage_report(std::function<void()> report)
{
    state().report = std::move(report);
}

void retry_skipped_frame()
{
    if (state().skipped && take_fund())
        memory_back();
}

QuietShortage::QuietShortage()
{
    ++state().quiet;
}

QuietShortage::~QuietShortage()
{
    --state().quiet;
}

bool fund_held()
{
    return state().fund != nullptr;
}

}  // namespace render_memory
