#pragma once
// The project file "*.3Dproj" and its two sidecars.
//
// All values big-endian as QDataStream writes them (int32, IEEE doubles, a
// bool as one byte, a string as an int32 byte count and UTF-8 bytes):
//
//   int32 version (2), int32 count of blocks,
//   count x (int32 tag + payload), no length field, in ascending tag order:
//     1 density cube, then double expansion factor
//     2 horizons: nHor, nx, ny, x min, x max, y min, y max, nHor densities,
//       nHor*ny*nx depths
//     3 observed field, 4 calculated field: nx, ny, x min, x max, y min,
//       y max, ny*nx values
//     5 layer names: n, n strings          6 Vp cube
//     7 fixed flags: n, n bools            8 Vs cube
//     9 regularizer cube (in the units it was loaded in)
//    10 profile scheme: n, per polyline p and 2p doubles x0, y0, x1, y1, ...
//    11 faults: bool inline type, nFaults, per fault its name, nSticks, per
//       stick nPoints, per point int32 inline, int32 crossline, x, y, z
//   double calculation level (the z of the level fields are calculated at);
//   older files end after the blocks.
//
// A cube block is int32 nx, ny, nz, the first and last x, y and z node as
// doubles, then nz*ny*nx cells level by level, row by row, x fastest, as
// little-endian float32 (big-endian doubles in version-1 files).
//
// Sidecars beside "name.3Dproj": "name.eff" holds the stored forward operator
// (int32 columns, rows, planes of the padded grid, then per value the real
// part and a 0 as doubles), "name.effh" the layered inversion's slab effects
// (int32 columns, rows, layers, then the values as doubles).
#include "common/types.h"
#include "engine/effects_operator.h"
#include "formats/codec_status.h"
#include "formats/fault_sticks.h"

#include <QString>

#include <functional>
#include <vector>

// The version this program writes; newer files are refused.
constexpr int project_file_version = 2;

// Text of the refusal of a newer file (the same in both languages).
QString project_version_error_message();  // "Invalid version of project"

// Tags of the blocks.
enum ProjectTag : int {
    project_tag_density = 1,
    project_tag_horizons = 2,
    project_tag_observed = 3,
    project_tag_calculated = 4,
    project_tag_names = 5,
    project_tag_vp = 6,
    project_tag_fixed = 7,
    project_tag_vs = 8,
    project_tag_regularizer = 9,
    project_tag_profiles = 10,
    project_tag_faults = 11,
};

// A cube with its node coordinates.
struct ProjectCube
{
    vector3D cells;
    std::vector<double> x, y, z;
    bool empty() const { return cells.empty(); }
};

// Everything a project file holds. A reader fills one of these completely
// before the caller replaces anything of the open project.
struct ProjectData
{
    int version = project_file_version;  // as read; the writer always writes project_file_version

    ProjectCube density;
    double expansion_factor = 0;

    std::vector<field2D> horizons;        // [horizon][row][column], depths
    std::vector<double> horizons_params;  // {nx, ny, x min, x max, y min, y max}
    std::vector<double> densities;        // one per horizon

    field2D observed;
    std::vector<double> observed_params;  // {nx, ny, x min, x max, y min, y max}
    field2D calculated;
    // After a read: the geometry of the calculated field as the blocks set it
    // in file order (the density block sets it to the grid's nodes, the
    // calculated-field block to its own).
    std::vector<double> calculated_params;

    std::vector<QString> layers_names;
    std::vector<bool> fixed;

    ProjectCube vp, vs;
    ProjectCube regularizer;  // raw values, as loaded

    std::vector<std::vector<double>> profiles;  // interleaved x, y per polyline
    // After a read: the profiles block held a coordinate beyond the limit
    // (the first such is profiles_far_value), and `profiles` is left empty.
    bool profiles_dropped = false;
    double profiles_far_value = 0;
    FaultSticks faults;

    bool has_calc_level = false;
    double calc_level = 0;
};

// Called with a block's tag before the block is read or written.
using ProjectBlockNotice = std::function<void(int tag)>;

// Reads a project file. Every count is checked against the bytes left in the
// file before anything is allocated; a newer version, an unknown tag, a count
// that does not fit the file or a file that ends inside a block is an error,
// and `out` is then left as it was. On success `out` is replaced and its layer
// lists hold one name, flag and density per horizon. progress is called with
// the percentage of the file read. A profiles block holding a coordinate
// beyond the limit is dropped (profiles_dropped), not refused.
CodecStatus read_project_file(const QString& path, ProjectData& out, const CodecProgress& progress = CodecProgress(),
                              const ProjectBlockNotice& notice = ProjectBlockNotice());

// Writes one block per non-empty data set in ascending tag order, then the
// calculation level (always). Refuses (BadGrid), before anything is written,
// data that the layout cannot describe: a ragged cube or grid, a cube without
// node coordinates, a field or horizons without their six geometry values;
// and anything read_project_file would refuse: a coordinate, grid limit,
// profile or fault point or calculation level beyond the coordinate limit
// (the reader's own check and text), an expansion factor below 0. Densities missing for a horizon
// and fault numbers missing for a point are written as 0. The file replaces
// an earlier one only when complete.
CodecStatus write_project_file(const QString& path, const ProjectData& data,
                               const CodecProgress& progress = CodecProgress(),
                               const ProjectBlockNotice& notice = ProjectBlockNotice());

// Layer names, fixed flags and densities cut or padded (empty name, clear
// flag, density 0) to one per horizon.
void normalize_layer_lists(ProjectData& data);

// ---- Names

// The name a project is saved under: the chosen name when its suffix is
// "3Dproj" in any letter case, otherwise the chosen name with ".3Dproj" added.
QString project_file_name(const QString& chosen);
// The project's name for the window title: the file name without ".3Dproj".
QString project_display_name(const QString& path);
// A sidecar of the project (extension "eff" or "effh"): the project's name
// with that extension in place of "3Dproj" (added when the name has no such
// suffix).
QString project_sidecar_path(const QString& project_path, const QString& extension);

// ---- Sidecars

// What a sidecar holds: an "eff" operator (complex values) or "effh" slab
// effects (one double per value).
enum class SidecarKind { Effects, LayerEffects };

// Whether the sidecar at `path` has the shape the readers below ask for
// (`planes` planes of `rows` x `columns`, every value present), reading its
// header only; a file that is not a regular one is not opened.
CodecStatus check_sidecar_shape(const QString& path, int columns, int rows, int planes, SidecarKind kind);

// Reads the real parts of an "eff" sidecar into `out` (key not set), folded
// into quarters, only when it holds exactly `planes` planes of `rows` x
// `columns` values (otherwise BadHeader) and every plane is even within
// `tolerance` (otherwise UnknownFormat; see read_effects_planes); on any
// failure `out` keeps its contents. The sidecar is written by
// write_effects_file with EffectsImaginary::Zero.
CodecStatus read_effects_sidecar(const QString& path, int columns, int rows, int planes, EffectsOperator& out,
                                 const CodecProgress& progress = CodecProgress(),
                                 double tolerance = effects_fold_tolerance, int thread_count = 1);

// Reads an "effh" sidecar, only when it holds exactly `layers` grids of
// `rows` x `columns` values; otherwise `layer_effects` keeps its contents.
CodecStatus read_layer_effects_sidecar(const QString& path, int columns, int rows, int layers,
                                       std::vector<field2D>& layer_effects,
                                       const CodecProgress& progress = CodecProgress());

// Writes an "effh" sidecar; the grids must all have the shape of the first.
CodecStatus write_layer_effects_sidecar(const QString& path, const std::vector<field2D>& layer_effects,
                                        const CodecProgress& progress = CodecProgress());
