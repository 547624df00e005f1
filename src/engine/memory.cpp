#include "engine/memory.h"

#include "app/texts.h"
#include "editing/grid_memory.h"
#include "engine/fft.h"
#include "engine/forward.h"
#include "engine/inversion.h"
#include "engine/inversion_constraints.h"
#include "engine/layered_inversion.h"
#include "engine/parallel.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#if defined(__linux__)
#include <sys/sysinfo.h>
#endif

double run_memory_need_gb(int Mx, int My, int nz, double bytes_per_cell)
{
    return static_cast<double>(Mx) * static_cast<double>(My) * static_cast<double>(nz) * bytes_per_cell
           / bytes_per_gb;
}

RunSize run_size(const ForwardGeometry& g, int threads)
{
    RunSize s;
    s.nx = g.nx;
    s.ny = g.ny;
    s.nz = g.nz;
    s.Mx = g.Mx;
    s.My = g.My;
    s.threads = std::max(1, threads);
    return s;
}

double run_allowance_bytes(int threads)
{
    return kRunFixedResidentBytes + kRunResidentBytesPerThread * (std::max(1, threads) - 1);
}

namespace {

// The transforms' scratch of a run's worker threads. Each thread keeps,
// per precision, one block as large as the largest transform it ran (a row
// of Mx, or two groups of columns of My, in 32-byte vectors) and the
// twiddle and bit-reversal tables of each length it ran. A split of R
// ranges runs on the calling thread and the pool's first R - 1 workers, so
// the threads of any two splits nest: counting, per precision, the most
// workers any row split and any column split made covers the whole run.
struct TransformWorkers {
    double rows4 = 0, columns4 = 0, rows8 = 0, columns8 = 0;

    TransformWorkers& add(const TransformWorkers& o)
    {
        rows4 = std::max(rows4, o.rows4);
        columns4 = std::max(columns4, o.columns4);
        rows8 = std::max(rows8, o.rows8);
        columns8 = std::max(columns8, o.columns8);
        return *this;
    }
    static TransformWorkers single(double rows, double columns) { return {rows, columns, 0, 0}; }
    static TransformWorkers dual(double rows, double columns) { return {0, 0, rows, columns}; }
};

// The working grids of the spectral forward routines (engine/forward.cpp),
// each in bytes. H is the half spectrum's column count, qr the rows of an
// operator's quarter. Worker counts follow run_split: one range per
// worker, at most one per item.
struct ForwardParts {
    double nx, ny, nz, Mx, My, H, qr, T;

    explicit ForwardParts(const RunSize& s)
        : nx(std::max(0, s.nx)), ny(std::max(0, s.ny)), nz(std::max(0, s.nz)), Mx(std::max(0, s.Mx)),
          My(std::max(0, s.My)), H(s.Mx / 2 + 1), qr(s.My / 2 + 1), T(std::max(1, s.threads))
    {
    }
    // The workers of a split of `items` items.
    double workers(double items) const
    {
        return double(split_workers(static_cast<std::size_t>(std::max(0.0, items)), static_cast<int>(T)));
    }
    // Pairs of model rows (one complex row transform each).
    double row_pairs() const { return std::floor((ny + 1.0) / 2.0); }
    // The shares of a pair of levels' row stage: the kernels' quarter rows
    // (when the pair builds its operators) and the packed model rows of its
    // levels (none when it only builds).
    double row_shares(bool kernels, bool levels) const
    {
        return workers((kernels ? qr : 0.0) + (levels ? row_pairs() * std::min(2.0, nz) : 0.0));
    }
    double column_workers() const { return workers(H); }
    // The packed rows of the inverse transform.
    double finish_slots() const { return workers(row_pairs()); }

    // The stored operator: a real even quarter of floats per level.
    double op() const { return nz * qr * H * 4.0; }
    // The sums of the half spectra (double). The result replaces the
    // caller's grid of the same size, so it adds nothing at the peak.
    double sums() const { return 2.0 * My * H * 8.0; }
    // The inverse transform's rows of the model (double).
    double finish_rows() const { return 2.0 * ny * H * 8.0; }
    // Swapped unit-cell fields of a pair of levels, rows 0 .. My/2.
    double kernels(double bytes) const { return 2.0 * qr * Mx * bytes; }
    // The storage-off run's two double quarters of the pair's operators.
    double quarters() const { return 2.0 * qr * H * 8.0; }
    // Half row spectra of the model rows of a pair of levels.
    double level_spectra(double bytes) const { return 2.0 * 2.0 * ny * H * bytes; }
    // Packed rows, eight rows of Mx per share, real and imaginary.
    double packed(double shares, double bytes) const { return 2.0 * shares * 8.0 * Mx * bytes; }
    // Corner values of the depth faces (two doubles per corner): at most
    // four faces, three for a pair of regular levels.
    double faces() const { return std::min(4.0, nz + 1.0) * 2.0 * (Mx / 2 + 2) * (My / 2 + 2) * 8.0; }
    // The transforms' scratch of those workers (see TransformWorkers).
    double transforms(const TransformWorkers& w) const
    {
        const auto precision = [&](double rows, double columns, double bytes) {
            const double row = 64.0 * Mx, column = 128.0 * My;
            const double both = std::min(rows, columns);
            return both * std::max(row, column) + (rows - both) * row + (columns - both) * column
                   + (rows * Mx + columns * My) * (2.0 * bytes + 4.0);
        };
        return precision(w.rows4, w.columns4, 4.0) + precision(w.rows8, w.columns8, 8.0);
    }
    // Row pointers of the column passes, row headers and the workers' task
    // records: a fixed allowance.
    double pointers() const { return 8.0 * 8.0 * My + 64.0 * 1024.0; }

    // The runs' grids, without the transforms' scratch and the margin:
    // storage off (the pair's double kernels and quarters; its levels' and
    // the inverse transform's packed rows share one set), the operator
    // build, and the stored form reusing its operator (single-precision
    // level spectra) or building it on the way (double ones, whose packed
    // rows the inverse transform takes over).
    double without_store_grids() const
    {
        return sums() + quarters() + kernels(8) + faces() + level_spectra(8) + packed(row_shares(true, true), 8)
               + finish_rows() + pointers();
    }
    TransformWorkers without_store_workers() const
    {
        return TransformWorkers::dual(row_shares(true, true), column_workers());
    }
    double build_grids() const { return op() + kernels(4) + faces() + pointers(); }
    TransformWorkers build_workers() const
    {
        return TransformWorkers::single(row_shares(true, false), column_workers());
    }
    double stored_grids(bool operator_serves) const
    {
        const double common = sums() + finish_rows() + pointers();
        if (operator_serves)
            return common + level_spectra(4) + packed(row_shares(false, true), 4) + packed(finish_slots(), 8);
        return common + op() + kernels(4) + faces() + level_spectra(8) + packed(row_shares(true, true), 8);
    }
    TransformWorkers stored_workers(bool operator_serves) const
    {
        TransformWorkers w = TransformWorkers::dual(finish_slots(), column_workers());
        if (operator_serves)
            return w.add(TransformWorkers::single(row_shares(false, true), column_workers()));
        // Building on the way: any share may take kernel rows (single
        // precision) and model rows (double).
        const double shares = row_shares(true, true);
        w.add(TransformWorkers::single(shares, column_workers()));
        return w.add(TransformWorkers::dual(shares, column_workers()));
    }

    double without_store() const { return without_store_grids() + transforms(without_store_workers()); }
    double build() const { return build_grids() + transforms(build_workers()); }
    double stored(bool operator_serves) const
    {
        return stored_grids(operator_serves) + transforms(stored_workers(operator_serves));
    }
};

// No run happens on an empty grid.
bool empty_run(const RunSize& s) { return s.nx <= 0 || s.ny <= 0 || s.nz <= 0 || s.Mx <= 0 || s.My <= 0; }

// Block rounding of the allocator and the order in which the workers take
// their scratch: a few percent over the grids counted.
double with_margin(double bytes) { return bytes * 1.03; }

} // namespace

double forward_without_store_need_bytes(const RunSize& s)
{
    return empty_run(s) ? 0.0 : with_margin(ForwardParts(s).without_store()) + run_allowance_bytes(s.threads);
}

double effects_build_need_bytes(const RunSize& s)
{
    return empty_run(s) ? 0.0 : with_margin(ForwardParts(s).build()) + run_allowance_bytes(s.threads);
}

double forward_stored_need_bytes(const RunSize& s, bool operator_serves)
{
    return empty_run(s) ? 0.0
                        : with_margin(ForwardParts(s).stored(operator_serves)) + run_allowance_bytes(s.threads);
}

double forward_result_bytes(const RunSize& s)
{
    if (empty_run(s))
        return 0.0;
    // Each row is a vector of its own: its header and the allocator's block
    // header besides the values.
    return with_margin(double(s.ny) * (double(s.nx) * 8.0 + 48.0));
}

double inversion_need_bytes(const RunSize& s, const InversionMemoryOptions& options)
{
    if (empty_run(s))
        return 0.0;
    const ForwardParts f(s);
    const double C = f.Mx * f.My;             // padded cells of a level
    const double half = f.My * f.H;           // half-spectrum cells of a level
    const double cells = f.nx * f.ny * f.nz;  // model cells
    // Held from the start to the end: the reference model of the blends,
    // the sign mask, the padded observed field with its spectrum, and the
    // operator with the working grids its build keeps.
    double held = 3.0 * C * 8.0;
    if (options.reference)
        held += cells * 4.0;
    if (options.sign_mask)
        held += cells;
    if (options.lateral_layers > 0)
        held += constraints::lateral_means_bytes(s.nz, s.ny, s.nx, options.lateral_layers);
    if (!options.operator_serves)
        held += f.build_grids() - f.pointers();
    // The weight search and the iterations: the levels' half spectra
    // (single precision, real and imaginary), the run's two double work
    // grids and the step's predicted spectrum (two more).
    const double steps = f.nz * half * 8.0 + 4.0 * C * 8.0;
    // The filling stage: every level back on the full grid with its
    // imaginary part (single precision), a level of new grids and scratch
    // per worker while the levels are converted.
    const double workers = level_conversion_workers(s.threads, s.nz);
    const double fill = options.fill_stage ? f.nz * C * 8.0 + workers * C * 16.0 + 2.0 * C * 8.0 : 0.0;
    // The closing: the model back in the space domain, then a stored
    // forward run on the operator.
    const double closing = std::max(f.nz * C * 4.0 + 2.0 * C * 8.0, f.stored_grids(true) - f.pointers());
    // The transforms: the levels' single-precision ones on the level
    // workers, the double ones of the field on the calling thread, and
    // those of the operator's build and of the closing forward run.
    TransformWorkers transforms = TransformWorkers::single(std::max(1.0, workers), std::max(1.0, workers));
    transforms.add(TransformWorkers::dual(1, 1)).add(f.stored_workers(true));
    if (!options.operator_serves)
        transforms.add(f.build_workers());
    return with_margin(held + std::max({steps, fill, closing}) + f.transforms(transforms) + f.pointers())
           + run_allowance_bytes(s.threads);
}

InversionMemoryOptions inversion_memory_options(const std::vector<double>& record, bool regularizer_held,
                                                bool regularizer_levels_match, bool any_fixed, bool save_log,
                                                bool operator_serves, int horizons)
{
    using namespace inversion_record;
    InversionMemoryOptions o;
    o.operator_serves = operator_serves;
    o.reference = flag(record, use_initial_model) || regularizer_held;
    o.sign_mask = flag(record, sign_constraint_on);
    o.fill_stage = fills_model(record, regularizer_levels_match, any_fixed, save_log, o.sign_mask);
    if (integer(record, kind) == kind_lateral)
        o.lateral_layers = constraints::lateral_means_layers(horizons);
    return o;
}

namespace {

// The layered fit's grids beyond its forward run: the residual, the
// prediction and the search's copy of the field, the row headers and task
// records, and unless the stored ones serve, the slab effects' working
// grids (engine/layered_inversion.h) and their result.
double layered_fit_grids(const RunSize& s, const ForwardParts& f, int layers, bool slab_effects_serve)
{
    const double field = f.nx * f.ny * 8.0;
    double fit = 3.0 * field + f.pointers();
    if (!slab_effects_serve)
        fit += layer_effects_work_bytes(s.Mx, s.My, s.nz, s.threads) + std::max(0, layers) * field;
    return fit;
}

// The slab effects' workers each transform whole grids of both precisions
// (the unit cell's field is double, the layer's indicator single).
TransformWorkers slab_transform_workers(const RunSize& s)
{
    const double slab = layer_effects_workers(s.threads, s.nz);
    TransformWorkers w = TransformWorkers::single(slab, slab);
    return w.add(TransformWorkers::dual(slab, slab));
}

} // namespace

double layered_fit_need_bytes(const RunSize& s, int layers, bool slab_effects_serve)
{
    if (empty_run(s))
        return 0.0;
    const ForwardParts f(s);
    double fit = layered_fit_grids(s, f, layers, slab_effects_serve);
    if (!slab_effects_serve)
        fit += f.transforms(slab_transform_workers(s));
    return with_margin(fit);
}

double layered_inversion_need_bytes(const RunSize& s, int layers, bool store_effects, bool operator_serves,
                                    bool slab_effects_serve)
{
    if (empty_run(s))
        return 0.0;
    const ForwardParts f(s);
    // The fresh forward run; its working grids are let go after it, but an
    // operator it builds stays with the window while the fit runs, and its
    // workers keep their transform scratch.
    const double forward = store_effects ? f.stored_grids(operator_serves) : f.without_store_grids();
    const double operator_built = store_effects && !operator_serves ? f.op() : 0.0;
    TransformWorkers transforms = store_effects ? f.stored_workers(operator_serves) : f.without_store_workers();
    if (!slab_effects_serve)
        transforms.add(slab_transform_workers(s));
    return with_margin(std::max(forward, operator_built + layered_fit_grids(s, f, layers, slab_effects_serve))
                       + f.transforms(transforms))
           + run_allowance_bytes(s.threads);
}

double run_redraw_bytes(const RunSize& s, const RunRedraw& redraw)
{
    if (empty_run(s))
        return 0.0;
    grid_memory::Redraw r;
    r.nx = s.nx;
    r.ny = s.ny;
    r.nz = s.nz;
    r.view = redraw.view;
    r.cube = redraw.cube;
    r.surfaces = std::max(0, redraw.surfaces);
    r.maps = std::max(0, redraw.maps);
    r.shown = redraw.shown;
    r.held = redraw.held;
    return grid_memory::redraw_bytes(r);
}

double horizon_fit_need_bytes(const RunSize& s, int horizons, const RunRedraw& redraw)
{
    if (empty_run(s))
        return 0.0;
    const ForwardParts f(s);
    const double field = f.nx * f.ny * 8.0;
    // The operator is built once (its build's grids stay with the thread),
    // then every pass is a stored forward run on it with the fit's grids:
    // the densities above and below the horizon (single precision), the
    // field, residual, proposed and accepted depths, and a copy of the
    // horizons.
    const double fit = f.nx * f.ny * 4.0 * 2.0 + 4.0 * field + std::max(0, horizons) * field;
    // The workers' transform scratch serves the build and the passes alike.
    TransformWorkers transforms = f.build_workers();
    transforms.add(f.stored_workers(true));
    return with_margin(f.build_grids() + f.stored_grids(true) + f.transforms(transforms) + fit
                       + run_redraw_bytes(s, redraw))
           + run_allowance_bytes(s.threads);
}

bool memory_question_needed(double need_gb, double available_gb)
{
    if (!(available_gb > 0.0))
        return false;
    return need_gb > available_gb;
}

namespace {

QString memory_run_name(MemoryRun run, int language)
{
    switch (run) {
    case MemoryRun::Forward:
        return byLanguage(language, "«Прямая задача»", "forward calculation");
    case MemoryRun::EffectsBuild:
        return byLanguage(language, "«Расчет матрицы эффектов»", "effects matrix calculation");
    case MemoryRun::Inversion:
        break;
    case MemoryRun::LayeredInversion:
        return byLanguage(language, "«Инверсия (слои)»", "layered inversion");
    case MemoryRun::HorizonFit:
        return byLanguage(language, "«Подбор границы»", "horizon fitting");
    }
    return byLanguage(language, "«Инверсия»", "inversion");
}

} // namespace

QString memory_question_text(double need_gb, double available_gb, MemoryRun run, int language)
{
    const QString need = QString::number(need_gb, 'g', 6);
    const QString available = QString::number(available_gb, 'g', 6);
    const QString name = memory_run_name(run, language);
    if (language == 0)
        return QString::fromUtf8("Большой расход памяти. Требуется не менее %1 ГБ из %2 ГБ.\n Чтобы уменьшить "
                                 "расход памяти, можно уменьшить коэффициент расширения. \n Запустить %3 без "
                                 "изменений?")
            .arg(need, available, name);
    return QStringLiteral("High memory usage. You need at least ") + need + QStringLiteral(" GB of ") + available
           + QStringLiteral(" GB.\n To optimize memory usage, you can reduce the expansion factor. "
                            "\n Do you want to run ")
           + name + QStringLiteral(" without changes?");
}

namespace {

bool read_first_line(const std::string& path, std::string& line)
{
    std::ifstream in(path);
    if (!in)
        return false;
    return static_cast<bool>(std::getline(in, line));
}

// A byte count as written by the kernel; false for "max" or anything else.
bool parse_bytes(const std::string& text, uint64_t& value)
{
    std::istringstream s(text);
    unsigned long long v = 0;
    if (!(s >> v))
        return false;
    value = v;
    return true;
}

bool read_bytes_file(const std::string& path, uint64_t& value)
{
    std::string line;
    return read_first_line(path, line) && parse_bytes(line, value);
}

// Value of `key` in a "key value" stat file.
bool read_stat_value(const std::string& path, const std::string& key, uint64_t& value)
{
    std::ifstream in(path);
    std::string k;
    unsigned long long v = 0;
    while (in >> k >> v) {
        if (k == key) {
            value = v;
            return true;
        }
    }
    return false;
}

bool exists(const std::string& path)
{
    std::ifstream in(path);
    return static_cast<bool>(in);
}

std::string parent_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return std::string();
    return path.substr(0, slash);
}

// Cgroup path relative to its hierarchy, normalised to start with '/' and
// without a trailing one ("" for the root).
std::string clean_path(std::string p)
{
    if (p.empty() || p[0] != '/')
        p.insert(p.begin(), '/');
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p == "/" ? std::string() : p;
}

// Walks from `base + rel` up to `base`, keeping the smallest limit read from
// `limit_file` (values of `no_limit_from` or more, or "max", are no limit).
// Usage and reclaimable cache are read in the deepest existing directory.
void walk_limits(const std::string& base, const std::string& rel, const char* limit_file,
                 const char* usage_file, const char* inactive_key, uint64_t no_limit_from,
                 CgroupMemory& out)
{
    std::string dir = base + rel;
    // Inside a cgroup namespace the listed path may not exist under the mount:
    // then the mount itself is the process's group.
    while (!rel.empty() && !exists(dir + "/" + limit_file) && dir.size() > base.size())
        dir = parent_of(dir);
    bool usage_read = false;
    for (;;) {
        uint64_t limit = 0;
        if (read_bytes_file(dir + "/" + limit_file, limit) && limit > 0 && limit < no_limit_from)
            out.limit_bytes = out.limit_bytes == 0 ? limit : std::min(out.limit_bytes, limit);
        if (!usage_read) {
            uint64_t usage = 0;
            if (read_bytes_file(dir + "/" + usage_file, usage)) {
                usage_read = true;
                uint64_t inactive = 0;
                read_stat_value(dir + "/memory.stat", inactive_key, inactive);
                out.usage_bytes = usage;
                out.reclaimable_bytes = std::min(inactive, usage);
            }
        }
        if (dir.size() <= base.size())
            break;
        dir = parent_of(dir);
        if (dir.size() < base.size())
            break;
    }
}

} // namespace

CgroupMemory read_cgroup_memory(const std::string& self_cgroup, const std::string& cgroup_root)
{
    CgroupMemory result;
    std::ifstream in(self_cgroup);
    std::string line;
    while (std::getline(in, line)) {
        // hierarchy-id:controller-list:path
        const size_t a = line.find(':');
        if (a == std::string::npos)
            continue;
        const size_t b = line.find(':', a + 1);
        if (b == std::string::npos)
            continue;
        const std::string id = line.substr(0, a);
        const std::string controllers = line.substr(a + 1, b - a - 1);
        const std::string path = clean_path(line.substr(b + 1));

        CgroupMemory found;
        if (id == "0" && controllers.empty()) {
            // Unified hierarchy, mounted at the root itself (or at "unified"
            // on hybrid systems, where it carries no memory controller).
            walk_limits(cgroup_root, path, "memory.max", "memory.current", "inactive_file",
                        UINT64_MAX, found);
        } else {
            std::istringstream list(controllers);
            std::string c;
            bool memory = false;
            while (std::getline(list, c, ','))
                memory = memory || c == "memory";
            if (!memory)
                continue;
            walk_limits(cgroup_root + "/memory", path, "memory.limit_in_bytes",
                        "memory.usage_in_bytes", "total_inactive_file", uint64_t(1) << 60, found);
        }
        if (found.limit_bytes != 0
            && (result.limit_bytes == 0 || found.limit_bytes < result.limit_bytes)) {
            result = found;
        } else if (result.limit_bytes == 0 && result.usage_bytes == 0) {
            result.usage_bytes = found.usage_bytes;
            result.reclaimable_bytes = found.reclaimable_bytes;
        }
    }
    return result;
}

SystemMemory query_system_memory(const MemoryInfoSources& sources)
{
    SystemMemory m;
    {
        std::ifstream in(sources.meminfo);
        std::string key;
        unsigned long long value = 0;
        std::string unit;
        uint64_t total = 0, available = 0, free = 0, buffers = 0, cached = 0, swap = 0;
        bool have_available = false;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream s(line);
            if (!(s >> key >> value))
                continue;
            const uint64_t bytes = static_cast<uint64_t>(value) * 1024u; // values are in kB
            if (key == "MemTotal:")
                total = bytes;
            else if (key == "MemAvailable:") {
                available = bytes;
                have_available = true;
            } else if (key == "MemFree:")
                free = bytes;
            else if (key == "Buffers:")
                buffers = bytes;
            else if (key == "Cached:")
                cached = bytes;
            else if (key == "SwapTotal:")
                swap = bytes;
        }
        m.total_bytes = total;
        m.ceiling_bytes = total == 0 ? 0 : total + swap;
        m.available_bytes = have_available ? available : free + buffers + cached;
    }
#if defined(__linux__)
    if (m.total_bytes == 0 && sources.meminfo == MemoryInfoSources().meminfo) {
        struct sysinfo si {};
        if (sysinfo(&si) == 0) {
            m.total_bytes = static_cast<uint64_t>(si.totalram) * si.mem_unit;
            m.ceiling_bytes = m.total_bytes + static_cast<uint64_t>(si.totalswap) * si.mem_unit;
            m.available_bytes = (static_cast<uint64_t>(si.freeram) + si.bufferram) * si.mem_unit;
        }
    }
#endif
    const CgroupMemory cg = read_cgroup_memory(sources.self_cgroup, sources.cgroup_root);
    if (cg.limit_bytes != 0) {
        const uint64_t held = cg.usage_bytes - std::min(cg.usage_bytes, cg.reclaimable_bytes);
        const uint64_t room = cg.limit_bytes > held ? cg.limit_bytes - held : 0;
        m.total_bytes = m.total_bytes == 0 ? cg.limit_bytes : std::min(m.total_bytes, cg.limit_bytes);
        m.available_bytes = m.available_bytes == 0 ? room : std::min(m.available_bytes, room);
        m.ceiling_bytes = m.ceiling_bytes == 0 ? cg.limit_bytes : std::min(m.ceiling_bytes, cg.limit_bytes);
    }
    m.available_bytes = std::min(m.available_bytes, m.total_bytes);
    return m;
}

namespace {

MemoryFigures& figures_replacement()
{
    static MemoryFigures figures;
    return figures;
}

} // namespace

SystemMemory memory_figures()
{
    const MemoryFigures& figures = figures_replacement();
    return figures ? figures() : query_system_memory();
}

MemoryFigures set_memory_figures(MemoryFigures figures)
{
    std::swap(figures_replacement(), figures);
    return figures;
}

MemoryVerdict memory_verdict(double need_bytes, const SystemMemory& memory)
{
    if (memory.ceiling_bytes > 0 && need_bytes > static_cast<double>(memory.ceiling_bytes))
        return MemoryVerdict::Refuse;
    if (memory_question_needed(need_bytes / bytes_per_gb, static_cast<double>(memory.available_bytes) / bytes_per_gb))
        return MemoryVerdict::Ask;
    return MemoryVerdict::Fits;
}

QString memory_refusal_text(double need_gb, double ceiling_gb, int language)
{
    const QString need = QString::number(need_gb, 'g', 6);
    const QString ceiling = QString::number(ceiling_gb, 'g', 6);
    return byLanguage(language,
                      "Недостаточно памяти: требуется не менее %1 ГБ, а вся память компьютера (с файлом подкачки "
                      "и ограничением процесса) составляет %2 ГБ. Уменьшите размер грида или коэффициент "
                      "расширения",
                      "Out of memory: at least %1 GB is needed, but all the memory of this computer (with swap and "
                      "the process's limit) is %2 GB. Reduce the grid size or the expansion factor")
        .arg(need, ceiling);
}
