#pragma once
// Memory for the 3D view's renderer.
//
// The graph (Qt Data Visualization) copies the series it is given into its
// renderer at its next frame, and that library is built without exception
// handling: an allocation that fails inside it either unwinds past its
// locks, which then stay held (the next frame waits for them for ever), or
// is not checked and dereferences null. So the renderer never allocates
// without memory at hand:
//
// - Before series are handed to the graph, the memory that the renderer's
//   copies of the whole scene take is set aside (reserve_for_scene); when it
//   cannot be had the view is left empty and the shortage is reported.
// - That reserve is given back right before the graph's next frame
//   (FrameScope), so the renderer's allocations find it free.
// - A standing fund is kept besides. While the graph draws or takes series
//   (FrameScope, GraphCallScope) the allocator's new-handler spends it when an
//   allocation fails anyway, so the allocation is retried and succeeds. A
//   frame that starts without a fund and cannot take one is skipped: the view
//   keeps its last picture and the window stays responsive; the graph is asked
//   for a frame again once memory is back.
//
// Reserve and fund are allocations that are never touched: they hold address
// space (and commit charge, where the system counts it), not resident pages.
// GUI thread only.
#include <QSize>

#include <cstddef>
#include <functional>
#include <optional>

class QEvent;
class QObject;

namespace render_memory {

// Bytes the graph takes for one series of a mesh of rows x columns nodes with
// a texture of `texture` pixels (an empty size: none): its data proxy's array
// and the renderer's copies (mesh, normals, texture coordinates, indices, the
// OpenGL buffers and texture).
std::size_t series_bytes(int rows, int columns, QSize texture);

// The standing fund, in bytes.
constexpr std::size_t kFundBytes = std::size_t(16) << 20;

// Replaces the reserve for the graph's next frame by `bytes` (and takes the
// fund when it is not held). False, holding no reserve, when they cannot be
// had.
bool reserve_for_scene(std::size_t bytes);

// True when `event` makes the graph `receiver` (a 3D graph's window) draw a
// frame.
bool is_graph_frame(const QObject* receiver, const QEvent* event);

// Around a call into the graph's own code: the new-handler spends the fund
// when an allocation fails (and throws std::bad_alloc only when the fund is
// spent). Nests.
class GraphCallScope
{
public:
    GraphCallScope();
    ~GraphCallScope();
    GraphCallScope(const GraphCallScope&) = delete;
    GraphCallScope& operator=(const GraphCallScope&) = delete;

private:
    void (*previous_)() = nullptr;
};

// Around the delivery of a frame event to the graph `graph`: gives the
// reserve back and makes sure the fund is held; when it cannot be,
// mayDraw() is false and the frame is to be skipped (the graph is asked for
// another once memory is back). After the frame the fund is taken again.
class FrameScope
{
public:
    explicit FrameScope(QObject* graph);
    ~FrameScope();
    bool mayDraw() const { return call_.has_value(); }

private:
    std::optional<GraphCallScope> call_;
};

// After memory was freed (a command ended): a graph whose frame was skipped
// is asked for another when the fund can be taken now.
void retry_skipped_frame();

// Called (on the event loop, after the command or frame that found the
// memory short) when the view was left empty or a frame was skipped for
// lack of memory; once per shortage, until the view is drawn again.
void set_shortage_report(std::function<void()> report);

// While one lives, a shortage is not reported: the command that redraws
// reports its own lack of memory. Nests.
class QuietShortage
{
public:
    QuietShortage();
    ~QuietShortage();
    QuietShortage(const QuietShortage&) = delete;
    QuietShortage& operator=(const QuietShortage&) = delete;
};

// Whether the fund is held now (for tests).
bool fund_held();

}  // namespace render_memory
