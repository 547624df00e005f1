#pragma once
// What a command that makes grids of a size the user types (a regrid, a
// new grid) allocates beyond what the project already holds: the new grids,
// built beside the old ones, and what the 3D view and the maps add when
// they draw the result. The old grids are not counted: they are resident
// already, so the memory available now does not include them.
#include <QString>

#include <cstddef>

namespace grid_memory {

// What the 3D view's first frames of a cube add: a part that grows with the
// nodes of its six faces (and of a horizon drawn as a surface): the face
// meshes, the graph's vertex and index buffers and the driver's copies of
// them; and a part that does not (the textures, at most 512 pixels wide,
// and the renderer's buffers). Measured under Mesa's llvmpipe with
// bench_regrid_memory: +0.39 GB for 0.7 million face nodes, +0.55 GB for
// 2.0 million, +1.92 GB for 8.4 million.
constexpr double kViewBytesPerFaceNode = 240.0;
constexpr double kViewFixedBytes = 256.0 * 1024 * 1024;

// What a map adds per node of the 2D grid it draws: the colour map's double
// cells and its image.
constexpr double kMapBytesPerNode = 12.0;

// What a run that draws the view and the maps again after each of its
// passes adds while it holds its own grids:
//  - the view's series of the new faces or surfaces (meshes, data arrays,
//    textures), built even while the window is hidden; when the view holds
//    series already, the old ones go first and only the new faces' cut
//    cells and textures come on top (measured with an allocation meter,
//    heap bytes; the resident figure of a hidden window's fit agrees);
//  - when the window shows the view, the rasteriser's record of the new
//    cube faces' triangles, which grows with them until the rasteriser
//    draws what it holds and starts again (a plateau of about 38 MB from
//    0.1 million face nodes on, drawing on one thread), times the records
//    that Mesa's llvmpipe keeps in flight while its threads draw (two), and
//    the driver's copies of the faces' new vertex and index buffers
//    (kDrawnBytesPerFaceNode); for each horizon drawn as a surface a part
//    that does not grow with it (1.4 to 1.7 MB on the heap) and the
//    driver's copy of its vertices (kSurfaceDrawnBytesPerNode: a shown
//    fit of 600 x 600 x 60 with one surface took 148 MB resident against
//    137 MB for its arrays, the map and the series counted);
//  - when the window shows the maps, each painted map (kMapBytesPerNode).
// The cube's figures are resident memory as the kernel counts it: the
// resident peak (VmHWM after clear_refs, less VmRSS at the start, the
// heap's free pages given back first) of horizon fitting on a shown window
// on Xvfb, cube view and maps shown, expansion 0, llvmpipe with its default
// threads, on 1, 4 and 8 fitting threads, less the run's own arrays
// (tst_run_memory_need --horizon-fit-window): 20 to 50 MB for 0.08 million
// face nodes (150 x 150 x 60), 42 to 71 MB for 0.25 million (300 x 300 x
// 60), 49 to 98 MB for 0.73 million (600 x 600 x 6), 45 to 148 MB for 0.86
// million (600 x 600 x 60: a resident peak of 183 to 283 MB); the spread is
// the records in flight, one to two.
constexpr double kSeriesBytesPerNode = 44.0;
constexpr double kSeriesFixedBytes = 3.0 * 1024 * 1024;
constexpr double kSeriesSwapBytesPerNode = 4.0;
constexpr double kSceneBytesPerFaceNode = 900.0;
constexpr double kSceneBytes = 40.0 * 1024 * 1024;
constexpr int kScenesInFlight = 2;
constexpr double kDrawnBytesPerFaceNode = 90.0;
constexpr double kSurfaceDrawnBytes = 2.0 * 1024 * 1024;
constexpr double kSurfaceDrawnBytesPerNode = 24.0;

// What the view and the maps draw again after each pass of a run.
struct Redraw {
    double nx = 0, ny = 0, nz = 0;  // node counts of the lattice
    bool view = false;              // the window has a 3D view, which builds the series
    bool cube = false;              // the view draws the faces of a cube of nx by ny by nz
    int surfaces = 0;               // horizons of nx by ny the view draws as surfaces
    int maps = 0;                   // maps of nx by ny painted again
    bool shown = false;             // the window shows the view and the maps: they are drawn
    bool held = false;              // the view holds series already
};

// Bytes the redraws add at their peak beyond what is held when the run starts.
double redraw_bytes(const Redraw& r);

// Bytes of a cube of nz levels of ny rows of nx float cells, with the
// vectors of its rows and levels.
double cube_bytes(double nx, double ny, double nz);

// Bytes of a 2D grid of ny rows of nx doubles, with the vectors of its rows.
double field_bytes(double nx, double ny);

// Nodes of the six faces of a cube: two of nx by ny, two of nx by nz, two of
// ny by nz.
double face_nodes(double nx, double ny, double nz);

// What the 3D view's first frames of a cube of nx by ny by nz nodes add.
double view_bytes(double nx, double ny, double nz);

// The grids a command builds on one new lattice, all held at once.
struct NewGrids {
    double nx = 0, ny = 0, nz = 0;  // node counts of the lattice
    int cubes = 0;                  // cubes of nx by ny by nz
    int grids = 0;                  // 2D grids of nx by ny (horizons, fields)
    int maps = 0;                   // of those, drawn as maps afterwards
    int surfaces = 0;               // of those, drawn as surfaces of the 3D view afterwards
    bool view = false;              // the 3D view draws one of the cubes afterwards
};

// Bytes the command allocates at its peak beyond what is held now.
double need_bytes(const NewGrids& grids);

// The question asked before such a command when its need (in GB of 2^30
// bytes) exceeds the memory available, in the user's language (0 Russian,
// other English).
QString question_text(double need_gb, double available_gb, int language);

}  // namespace grid_memory
