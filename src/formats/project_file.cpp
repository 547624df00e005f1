#include "formats/project_file.h"

#include "common/coordinate_limit.h"
#include "common/grid_geometry.h"
#include "formats/effects_file.h"
#include "formats/file_io.h"

#include <QFileInfo>

#include <cmath>
#include <limits>
#include <new>

using namespace codec_io;

QString project_version_error_message()
{
    return QStringLiteral("Invalid version of project");
}

namespace {

constexpr qint64 int32_max = std::numeric_limits<qint32>::max();

struct BlockName
{
    const char* english;
    const char* russian;
};

BlockName block_name(int tag)
{
    switch (tag) {
    case project_tag_density: return {"density grid", "плотностная модель"};
    case project_tag_horizons: return {"horizons", "горизонты"};
    case project_tag_observed: return {"observed field", "наблюденное поле"};
    case project_tag_calculated: return {"calculated field", "расчетное поле"};
    case project_tag_names: return {"layer names", "названия слоев"};
    case project_tag_vp: return {"Vp grid", "модель Vp"};
    case project_tag_fixed: return {"fixed layers", "закрепленные слои"};
    case project_tag_vs: return {"Vs grid", "модель Vs"};
    case project_tag_regularizer: return {"regularizer", "регуляризатор"};
    case project_tag_profiles: return {"profiles scheme", "схема профилей"};
    case project_tag_faults: return {"faults", "разломы"};
    default: return {"header", "заголовок"};
    }
}

CodecStatus damaged(const QString& path, const QString& english, const QString& russian)
{
    return CodecStatus::failure(
        CodecError::BadHeader,
        QStringLiteral("Project file \"%1\" is damaged: %2").arg(display_name(path), english),
        QStringLiteral("Файл проекта \"%1\" поврежден: %2").arg(display_name(path), russian));
}

// Where a coordinate lies: "block 1 (density grid)", or the part after the
// blocks (the calculation level) for tag 0.
QString coordinate_place(int tag, int language)
{
    const BlockName b = block_name(tag);
    if (language == 0)
        return tag ? QStringLiteral("блок %1 (%2)").arg(tag).arg(QString::fromUtf8(b.russian))
                   : QStringLiteral("уровень расчета");
    return tag ? QStringLiteral("block %1 (%2)").arg(tag).arg(QString::fromUtf8(b.english))
               : QStringLiteral("the calculation level");
}

// A project holding a coordinate (or level) beyond the coordinate limit: the
// one check of the reader and the writer (coordinate_fits) and its text.
CodecStatus far_coordinate(const QString& path, int tag, double value)
{
    const QString limit = QString::number(max_coordinate_magnitude, 'g', 3);
    return CodecStatus::failure(
        CodecError::BadHeader,
        QStringLiteral("Project file \"%1\" holds a coordinate beyond the ±%2 the program can show: %3 in %4")
            .arg(display_name(path), limit, coordinate_text(value), coordinate_place(tag, 1)),
        QStringLiteral("В файле проекта \"%1\" есть координата по модулю больше %2, такие координаты программа не "
                       "может отобразить: %3, %4")
            .arg(display_name(path), limit, coordinate_text(value), coordinate_place(tag, 0)));
}

// ---------------------------------------------------------------------------
// Reading

// Sequential big-endian reads from the file that never go past its end: every
// count is checked against the bytes left before anything is allocated for it.
class Reader
{
public:
    Reader(QFile& file, const QString& path, const CodecProgress& progress)
        : file_(file), path_(path), progress_(progress), size_(file.size())
    {
    }

    qint64 left() const { return size_ - pos_; }
    const CodecStatus& status() const { return status_; }
    void set_block(int tag) { tag_ = tag; }

    bool bytes(void* out, qint64 n)
    {
        if (n > left())
            return ends();
        if (n > 0 && file_.read(static_cast<char*>(out), n) != n) {
            status_ = read_error(file_);
            return false;
        }
        pos_ += n;
        return true;
    }
    bool i32(qint32& v)
    {
        uchar b[4];
        if (!bytes(b, 4))
            return false;
        v = qint32(be32(b));
        return true;
    }
    bool f64(double& v)
    {
        uchar b[8];
        if (!bytes(b, 8))
            return false;
        v = double_from_bits(be64(b));
        return true;
    }
    bool finite(double& v, const char* what_en, const char* what_ru)
    {
        if (!f64(v))
            return false;
        if (std::isfinite(v))
            return true;
        return fail(QStringLiteral("%1 is not a number").arg(QString::fromUtf8(what_en)),
                    QStringLiteral("%1 не является числом").arg(QString::fromUtf8(what_ru)));
    }
    // A node coordinate, a grid limit or a level the views must be able to hold.
    bool coordinate(double& v, const char* what_en, const char* what_ru)
    {
        return finite(v, what_en, what_ru) && within_limit(v);
    }
    // A coordinate read otherwise (NaN included) that the views must hold.
    bool within_limit(double v)
    {
        if (coordinate_fits(v))
            return true;
        status_ = far_coordinate(path_, tag_, v);
        return false;
    }
    bool boolean(bool& v)
    {
        char c;
        if (!bytes(&c, 1))
            return false;
        v = c != 0;
        return true;
    }
    bool string(QString& s)
    {
        qint32 n = 0;
        if (!i32(n) || !count(n, 1))
            return false;
        QByteArray utf8(n, Qt::Uninitialized);
        if (!bytes(utf8.data(), n))
            return false;
        s = QString::fromUtf8(utf8.constData(), utf8.size());  // every stored byte, NULs too
        return true;
    }
    // Doubles into a row.
    bool doubles(double* out, qint64 n)
    {
        buffer_.resize(std::size_t(n) * 8);
        if (!bytes(buffer_.data(), n * 8))
            return false;
        const uchar* p = buffer_.data();
        for (qint64 i = 0; i < n; ++i, p += 8)
            out[i] = double_from_bits(be64(p));
        return true;
    }
    // Cells of a cube row: little-endian float32, or big-endian doubles in version 1.
    bool cells(data_type* out, qint64 n, bool doubles_be)
    {
        const qint64 each = doubles_be ? 8 : 4;
        buffer_.resize(std::size_t(n * each));
        if (!bytes(buffer_.data(), n * each))
            return false;
        const uchar* p = buffer_.data();
        if (doubles_be) {
            for (qint64 i = 0; i < n; ++i, p += 8)
                out[i] = data_type(double_from_bits(be64(p)));
        } else {
            for (qint64 i = 0; i < n; ++i, p += 4)
                out[i] = float_from_bits(le32(p));
        }
        return true;
    }

    // True when n items of `each` bytes fit in what is left; n must not be
    // negative.
    bool count(qint64 n, qint64 each) { return count3(n, 1, 1, each); }
    // Same for a product of counts a*b*c.
    bool count3(qint64 a, qint64 b, qint64 c, qint64 each)
    {
        if (a < 0 || b < 0 || c < 0)
            return fail(QStringLiteral("a negative count"), QStringLiteral("отрицательное количество"));
        qint64 room = left() / each;
        for (qint64 n : {a, b, c}) {
            if (n == 0)
                return true;
            if (n > room)
                return fail(b == 1 && c == 1
                                ? QStringLiteral("a count of %1 that the file cannot hold").arg(a)
                                : QStringLiteral("%1 x %2 x %3 values that the file cannot hold").arg(a).arg(b).arg(c),
                            b == 1 && c == 1
                                ? QStringLiteral("количество %1, которое не помещается в файле").arg(a)
                                : QStringLiteral("%1 x %2 x %3 значений, которые не помещаются в файле")
                                      .arg(a).arg(b).arg(c));
            room /= n;
        }
        return true;
    }

    bool fail(const QString& english, const QString& russian)
    {
        const BlockName b = block_name(tag_);
        if (tag_ == 0)
            status_ = damaged(path_, QStringLiteral("its header holds %1").arg(english),
                              QStringLiteral("в заголовке %1").arg(russian));
        else
            status_ = damaged(path_, QStringLiteral("block %1 (%2) holds %3").arg(tag_).arg(QString::fromUtf8(b.english), english),
                              QStringLiteral("блок %1 (%2): %3").arg(tag_).arg(QString::fromUtf8(b.russian), russian));
        return false;
    }
    bool progress()
    {
        if (codec_continue(progress_, codec_percent(pos_, size_)))
            return true;
        status_ = CodecStatus::cancelled();
        return false;
    }

private:
    bool ends()
    {
        const BlockName b = block_name(tag_);
        status_ = truncated(path_,
                            tag_ ? QStringLiteral("it ends inside block %1 (%2)").arg(tag_).arg(QString::fromUtf8(b.english))
                                 : QStringLiteral("it ends inside its header"),
                            tag_ ? QStringLiteral("он кончается внутри блока %1 (%2)").arg(tag_).arg(QString::fromUtf8(b.russian))
                                 : QStringLiteral("он кончается внутри заголовка"));
        return false;
    }

    QFile& file_;
    QString path_;
    const CodecProgress& progress_;
    qint64 size_ = 0;
    qint64 pos_ = 0;
    int tag_ = 0;
    std::vector<uchar> buffer_;
    CodecStatus status_;
};

bool read_cube(Reader& r, ProjectCube& cube, int version)
{
    qint32 nx = 0, ny = 0, nz = 0;
    double b[6];
    if (!r.i32(nx) || !r.i32(ny) || !r.i32(nz))
        return false;
    for (double& v : b)
        if (!r.coordinate(v, "a node coordinate", "координата узла"))
            return false;
    if (nx <= 0 || ny <= 0 || nz <= 0)
        return r.fail(QStringLiteral("%1 x %2 x %3 nodes").arg(nx).arg(ny).arg(nz),
                      QStringLiteral("%1 x %2 x %3 узлов").arg(nx).arg(ny).arg(nz));
    const bool doubles = version == 1;
    if (!r.count3(nx, ny, nz, doubles ? 8 : 4))
        return false;
    // Level by level after each progress call, so that the window repaints
    // from the start of a long read.
    cube.cells.clear();
    for (qint32 k = 0; k < nz; ++k) {
        if (!r.progress())
            return false;
        vector2D* level = nullptr;
        try {
            if (k == 0)
                cube.cells.reserve(std::size_t(nz));
            level = &cube.cells.emplace_back(std::size_t(ny), std::vector<data_type>(std::size_t(nx)));
        } catch (const std::bad_alloc&) {
            return r.fail(QStringLiteral("not enough memory for %1 x %2 x %3 cells").arg(nx).arg(ny).arg(nz),
                          QStringLiteral("недостаточно памяти для %1 x %2 x %3 ячеек").arg(nx).arg(ny).arg(nz));
        }
        for (auto& row : *level)
            if (!r.cells(row.data(), nx, doubles))
                return false;
    }
    cube.x = even_nodes(b[0], b[1], nx);
    cube.y = even_nodes(b[2], b[3], ny);
    cube.z = even_nodes(b[4], b[5], nz);
    return true;
}

// nx, ny, x min, x max, y min, y max of a field or the horizons.
bool read_geometry(Reader& r, qint32& nx, qint32& ny, std::vector<double>& params)
{
    double g[4];
    if (!r.i32(nx) || !r.i32(ny))
        return false;
    for (double& v : g)
        if (!r.coordinate(v, "a grid limit", "граница грида"))
            return false;
    if (nx <= 0 || ny <= 0)
        return r.fail(QStringLiteral("%1 x %2 nodes").arg(nx).arg(ny), QStringLiteral("%1 x %2 узлов").arg(nx).arg(ny));
    params = {double(nx), double(ny), g[0], g[1], g[2], g[3]};
    return true;
}

bool read_grid(Reader& r, field2D& grid, qint32 nx, qint32 ny)
{
    try {
        grid.assign(std::size_t(ny), std::vector<double>(std::size_t(nx)));
    } catch (const std::bad_alloc&) {
        return r.fail(QStringLiteral("not enough memory"), QStringLiteral("недостаточно памяти"));
    }
    for (auto& row : grid)
        if (!r.doubles(row.data(), nx))
            return false;
    return true;
}

bool read_field(Reader& r, field2D& field, std::vector<double>& params)
{
    qint32 nx = 0, ny = 0;
    if (!read_geometry(r, nx, ny, params) || !r.count3(nx, ny, 1, 8))
        return false;
    return read_grid(r, field, nx, ny);
}

bool read_horizons(Reader& r, ProjectData& d)
{
    qint32 n = 0, nx = 0, ny = 0;
    if (!r.i32(n) || !read_geometry(r, nx, ny, d.horizons_params))
        return false;
    if (n <= 0)
        return r.fail(QStringLiteral("%1 horizons").arg(n), QStringLiteral("%1 горизонтов").arg(n));
    // n densities and n grids of ny*nx depths: n * (1 + ny*nx) doubles.
    if (!r.count3(n, qint64(nx) * ny + 1, 1, 8))
        return false;
    d.densities.assign(std::size_t(n), 0.0);
    if (!r.doubles(d.densities.data(), n))
        return false;
    d.horizons.assign(std::size_t(n), field2D());
    for (field2D& h : d.horizons) {
        if (!r.progress() || !read_grid(r, h, nx, ny))
            return false;
    }
    return true;
}

bool read_names(Reader& r, std::vector<QString>& names)
{
    qint32 n = 0;
    if (!r.i32(n) || !r.count(n, 4))
        return false;
    names.assign(std::size_t(n), QString());
    for (QString& s : names)
        if (!r.string(s))
            return false;
    return true;
}

bool read_flags(Reader& r, std::vector<bool>& flags)
{
    qint32 n = 0;
    if (!r.i32(n) || !r.count(n, 1))
        return false;
    flags.assign(std::size_t(n), false);
    for (std::size_t i = 0; i < flags.size(); ++i) {
        bool b = false;
        if (!r.boolean(b))
            return false;
        flags[i] = b;
    }
    return true;
}

// A scheme holding a coordinate beyond the limit is read through and then
// dropped (profiles_dropped), so that the rest of the project opens: files
// written before the writer checked them hold such schemes.
bool read_profiles(Reader& r, ProjectData& d)
{
    std::vector<std::vector<double>>& profiles = d.profiles;
    qint32 n = 0;
    if (!r.i32(n) || !r.count(n, 4))
        return false;
    profiles.assign(std::size_t(n), std::vector<double>());
    bool dropped = false;
    double far = 0;
    for (auto& line : profiles) {
        qint32 p = 0;
        if (!r.i32(p) || !r.count(p, 16))
            return false;
        line.assign(std::size_t(p) * 2, 0.0);
        if (!r.doubles(line.data(), qint64(p) * 2))
            return false;
        if (!dropped)
            dropped = !coordinates_fit(line, far);
    }
    if (dropped) {
        std::vector<std::vector<double>>().swap(profiles);
        d.profiles_dropped = true;
        d.profiles_far_value = far;
    }
    return true;
}

bool read_faults(Reader& r, FaultSticks& f)
{
    f = FaultSticks();
    qint32 n = 0;
    if (!r.boolean(f.inline_type) || !r.i32(n) || !r.count(n, 8))
        return false;
    f.sticks.resize(std::size_t(n));
    f.inlines.resize(std::size_t(n));
    f.crosslines.resize(std::size_t(n));
    f.names.resize(std::size_t(n));
    for (std::size_t i = 0; i < std::size_t(n); ++i) {
        qint32 sticks = 0;
        if (!r.string(f.names[i]) || !r.i32(sticks) || !r.count(sticks, 4))
            return false;
        f.sticks[i].resize(std::size_t(sticks));
        f.inlines[i].resize(std::size_t(sticks));
        f.crosslines[i].resize(std::size_t(sticks));
        for (std::size_t s = 0; s < std::size_t(sticks); ++s) {
            qint32 points = 0;
            if (!r.i32(points) || !r.count(points, 32))
                return false;
            auto& stick = f.sticks[i][s];
            auto& in = f.inlines[i][s];
            auto& cross = f.crosslines[i][s];
            stick.resize(std::size_t(points));
            in.resize(std::size_t(points));
            cross.resize(std::size_t(points));
            for (std::size_t p = 0; p < std::size_t(points); ++p) {
                qint32 a = 0, b = 0;
                double xyz[3];
                if (!r.i32(a) || !r.i32(b) || !r.doubles(xyz, 3))
                    return false;
                for (double v : xyz)
                    if (!r.within_limit(v))
                        return false;
                in[p] = a;
                cross[p] = b;
                stick[p] = FaultPoint{float(xyz[0]), float(xyz[1]), float(xyz[2])};
            }
        }
    }
    return true;
}

bool read_block(Reader& r, int tag, ProjectData& d)
{
    switch (tag) {
    case project_tag_density: {
        if (!read_cube(r, d.density, d.version) ||
            !r.finite(d.expansion_factor, "the expansion factor", "коэффициент расширения"))
            return false;
        if (d.expansion_factor < 0)
            return r.fail(QStringLiteral("a negative expansion factor"), QStringLiteral("отрицательный коэффициент расширения"));
        const ProjectCube& c = d.density;
        d.calculated_params = {double(c.x.size()), double(c.y.size()), c.x.front(), c.x.back(), c.y.front(),
                               c.y.back()};
        return true;
    }
    case project_tag_horizons: return read_horizons(r, d);
    case project_tag_observed: return read_field(r, d.observed, d.observed_params);
    case project_tag_calculated: return read_field(r, d.calculated, d.calculated_params);
    case project_tag_names: return read_names(r, d.layers_names);
    case project_tag_vp: return read_cube(r, d.vp, d.version);
    case project_tag_fixed: return read_flags(r, d.fixed);
    case project_tag_vs: return read_cube(r, d.vs, d.version);
    case project_tag_regularizer: return read_cube(r, d.regularizer, d.version);
    case project_tag_profiles: return read_profiles(r, d);
    case project_tag_faults: return read_faults(r, d.faults);
    default: return r.fail(QStringLiteral("an unknown tag"), QStringLiteral("неизвестный тег"));
    }
}

// ---------------------------------------------------------------------------
// Writing

// Big-endian values through a buffer into the save file.
class Writer
{
public:
    Writer(QSaveFile& file, qint64 total, const CodecProgress& progress)
        : file_(file), total_(total), progress_(progress)
    {
        buffer_.reserve(chunk + 64);
    }

    const CodecStatus& status() const { return status_; }

    bool i32(qint64 v)
    {
        uchar b[4];
        qToBigEndian<qint32>(qint32(v), b);
        return append(b, 4);
    }
    bool f64(double v)
    {
        uchar b[8];
        qToBigEndian<quint64>(bits_of(v), b);
        return append(b, 8);
    }
    bool boolean(bool v)
    {
        const uchar b = v ? 1 : 0;
        return append(&b, 1);
    }
    bool string(const QString& s)
    {
        const QByteArray utf8 = s.toUtf8();
        return i32(utf8.size()) && append(reinterpret_cast<const uchar*>(utf8.constData()), utf8.size());
    }
    bool doubles(const double* v, std::size_t n)
    {
        uchar* p = grow(n * 8);
        for (std::size_t i = 0; i < n; ++i, p += 8)
            qToBigEndian<quint64>(bits_of(v[i]), p);
        return committed(n * 8);
    }
    bool cells(const data_type* v, std::size_t n)
    {
        uchar* p = grow(n * 4);
        for (std::size_t i = 0; i < n; ++i, p += 4)
            qToLittleEndian<quint32>(bits_of(float(v[i])), p);
        return committed(n * 4);
    }
    bool progress()
    {
        if (codec_continue(progress_, codec_percent(written_, total_)))
            return true;
        status_ = CodecStatus::cancelled();
        return false;
    }
    bool flush()
    {
        if (buffer_.empty())
            return true;
        status_ = write_bytes(file_, reinterpret_cast<const char*>(buffer_.data()), qint64(buffer_.size()));
        buffer_.clear();
        return status_.ok();
    }

private:
    static constexpr std::size_t chunk = 1 << 20;

    bool append(const uchar* p, qint64 n)
    {
        buffer_.insert(buffer_.end(), p, p + n);
        return committed(std::size_t(n));
    }
    // Room for n more bytes at the end of the buffer.
    uchar* grow(std::size_t n)
    {
        const std::size_t at = buffer_.size();
        buffer_.resize(at + n);
        return buffer_.data() + at;
    }
    bool committed(std::size_t n)
    {
        written_ += qint64(n);
        return buffer_.size() < chunk || flush();
    }

    QSaveFile& file_;
    qint64 total_ = 0;
    qint64 written_ = 0;
    const CodecProgress& progress_;
    std::vector<uchar> buffer_;
    CodecStatus status_;
};

CodecStatus refuse(const QString& english, const QString& russian)
{
    return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The project cannot be saved: ") + english,
                                QStringLiteral("Проект не может быть сохранен: ") + russian);
}

bool fits_int32(std::size_t n) { return n <= std::size_t(int32_max); }

CodecStatus check_cube(const ProjectCube& c, int tag)
{
    if (c.empty())
        return {};
    const BlockName b = block_name(tag);
    if (!cube_is_regular(c.cells) || c.x.empty() || c.y.empty() || c.z.empty() || !fits_int32(c.cells.size()) ||
        !fits_int32(c.cells[0].size()) || !fits_int32(c.cells[0][0].size()))
        return refuse(QStringLiteral("the %1 is not a regular grid with node coordinates").arg(QString::fromUtf8(b.english)),
                      QStringLiteral("%1 не является регулярным гридом с координатами узлов").arg(QString::fromUtf8(b.russian)));
    return {};
}

bool is_regular_grid(const field2D& g)
{
    return !g.empty() && !g[0].empty() && grid_has_shape(g, g.size(), g[0].size()) && fits_int32(g.size()) &&
           fits_int32(g[0].size());
}

CodecStatus check_field(const field2D& g, const std::vector<double>& params, int tag)
{
    if (g.empty())
        return {};
    const BlockName b = block_name(tag);
    if (!is_regular_grid(g) || params.size() < 6)
        return refuse(QStringLiteral("the %1 is not a regular grid with known node coordinates").arg(QString::fromUtf8(b.english)),
                      QStringLiteral("%1: не регулярный грид или неизвестны координаты узлов").arg(QString::fromUtf8(b.russian)));
    return {};
}

CodecStatus check_data(const ProjectData& d)
{
    const std::pair<const ProjectCube*, int> cubes[] = {{&d.density, project_tag_density},
                                                         {&d.vp, project_tag_vp},
                                                         {&d.vs, project_tag_vs},
                                                         {&d.regularizer, project_tag_regularizer}};
    for (const auto& [cube, tag] : cubes)
        if (CodecStatus s = check_cube(*cube, tag); !s)
            return s;
    if (!d.horizons.empty() && (!horizons_are_regular(d.horizons) || d.horizons_params.size() < 6 ||
                                !is_regular_grid(d.horizons[0]) || !fits_int32(d.horizons.size())))
        return refuse(QStringLiteral("the horizons do not all have one regular grid with known node coordinates"),
                      QStringLiteral("горизонты не образуют общий регулярный грид с известными координатами узлов"));
    if (CodecStatus s = check_field(d.observed, d.observed_params, project_tag_observed); !s)
        return s;
    if (CodecStatus s = check_field(d.calculated, d.calculated_params, project_tag_calculated); !s)
        return s;
    if (!fits_int32(d.layers_names.size()) || !fits_int32(d.fixed.size()) || !fits_int32(d.profiles.size()) ||
        !fits_int32(d.faults.sticks.size()))
        return refuse(QStringLiteral("too many items"), QStringLiteral("слишком много элементов"));
    if (!d.density.empty() && !(std::isfinite(d.expansion_factor) && d.expansion_factor >= 0))
        return refuse(QStringLiteral("the expansion factor is not a number of at least 0"),
                      QStringLiteral("коэффициент расширения не является неотрицательным числом"));
    return {};
}

// The coordinates the reader holds to the limit, as written: success, or the
// refusal naming the block and the first value that does not fit.
CodecStatus check_coordinates_written(const ProjectData& d)
{
    double far = 0;
    const auto refused = [&far](int tag, double) {
        return refuse(QStringLiteral("%1 holds %2").arg(coordinate_place(tag, 1), coordinate_refusal(far, 1)),
                      QStringLiteral("%1: %2").arg(coordinate_place(tag, 0), coordinate_refusal(far, 0)));
    };
    const std::pair<const ProjectCube*, int> cubes[] = {{&d.density, project_tag_density},
                                                         {&d.vp, project_tag_vp},
                                                         {&d.vs, project_tag_vs},
                                                         {&d.regularizer, project_tag_regularizer}};
    for (const auto& [c, tag] : cubes)
        if (!c->empty() && !coordinates_fit({c->x.front(), c->x.back(), c->y.front(), c->y.back(), c->z.front(),
                                             c->z.back()},
                                            far))
            return refused(tag, far);
    const std::pair<const std::vector<double>*, int> grids[] = {
        {d.horizons.empty() ? nullptr : &d.horizons_params, project_tag_horizons},
        {d.observed.empty() ? nullptr : &d.observed_params, project_tag_observed},
        {d.calculated.empty() ? nullptr : &d.calculated_params, project_tag_calculated}};
    for (const auto& [params, tag] : grids)
        if (params && !coordinates_fit(std::vector<double>(params->begin() + 2, params->begin() + 6), far))
            return refused(tag, far);
    for (const auto& line : d.profiles)
        if (!coordinates_fit(line, far))
            return refused(project_tag_profiles, far);
    for (const auto& fault : d.faults.sticks)
        for (const auto& stick : fault)
            for (const FaultPoint& p : stick)
                if (!coordinates_fit({double(p.x), double(p.y), double(p.z)}, far))
                    return refused(project_tag_faults, far);
    if (!coordinates_fit({d.calc_level}, far))
        return refused(0, far);
    return {};
}

bool write_cube(Writer& w, const ProjectCube& c)
{
    const vector3D& g = c.cells;
    if (!w.i32(qint64(g[0][0].size())) || !w.i32(qint64(g[0].size())) || !w.i32(qint64(g.size())))
        return false;
    for (double v : {c.x.front(), c.x.back(), c.y.front(), c.y.back(), c.z.front(), c.z.back()})
        if (!w.f64(v))
            return false;
    for (const auto& level : g) {
        if (!w.progress())
            return false;
        for (const auto& row : level)
            if (!w.cells(row.data(), row.size()))
                return false;
    }
    return true;
}

bool write_field(Writer& w, const field2D& g, const std::vector<double>& params)
{
    if (!w.i32(qint64(g[0].size())) || !w.i32(qint64(g.size())))
        return false;
    for (int i = 2; i < 6; ++i)
        if (!w.f64(params[std::size_t(i)]))
            return false;
    for (const auto& row : g)
        if (!w.doubles(row.data(), row.size()))
            return false;
    return true;
}

bool write_horizons(Writer& w, const ProjectData& d)
{
    const std::size_t n = d.horizons.size();
    if (!w.i32(qint64(n)) || !w.i32(qint64(d.horizons[0][0].size())) || !w.i32(qint64(d.horizons[0].size())))
        return false;
    for (int i = 2; i < 6; ++i)
        if (!w.f64(d.horizons_params[std::size_t(i)]))
            return false;
    for (std::size_t i = 0; i < n; ++i)
        if (!w.f64(i < d.densities.size() ? d.densities[i] : 0.0))
            return false;
    for (const field2D& h : d.horizons) {
        if (!w.progress())
            return false;
        for (const auto& row : h)
            if (!w.doubles(row.data(), row.size()))
                return false;
    }
    return true;
}

bool write_faults(Writer& w, const FaultSticks& f)
{
    if (!w.boolean(f.inline_type) || !w.i32(qint64(f.sticks.size())))
        return false;
    auto number = [](const std::vector<std::vector<std::vector<int>>>& n, std::size_t i, std::size_t s,
                     std::size_t p) {
        return i < n.size() && s < n[i].size() && p < n[i][s].size() ? n[i][s][p] : 0;
    };
    for (std::size_t i = 0; i < f.sticks.size(); ++i) {
        if (!w.string(i < f.names.size() ? f.names[i] : QString()) || !w.i32(qint64(f.sticks[i].size())))
            return false;
        for (std::size_t s = 0; s < f.sticks[i].size(); ++s) {
            const auto& stick = f.sticks[i][s];
            if (!w.i32(qint64(stick.size())))
                return false;
            for (std::size_t p = 0; p < stick.size(); ++p) {
                if (!w.i32(number(f.inlines, i, s, p)) || !w.i32(number(f.crosslines, i, s, p)) ||
                    !w.f64(double(stick[p].x)) || !w.f64(double(stick[p].y)) || !w.f64(double(stick[p].z)))
                    return false;
            }
        }
    }
    return true;
}

qint64 cube_bytes(const ProjectCube& c)
{
    return c.empty() ? 0 : qint64(c.cells.size()) * qint64(c.cells[0].size()) * qint64(c.cells[0][0].size()) * 4;
}

qint64 grid_bytes(const field2D& g)
{
    return g.empty() ? 0 : qint64(g.size()) * qint64(g[0].size()) * 8;
}

}  // namespace

void normalize_layer_lists(ProjectData& data)
{
    const std::size_t n = data.horizons.size();
    data.layers_names.resize(n);
    data.fixed.resize(n, false);
    data.densities.resize(n, 0.0);
}

CodecStatus read_project_file(const QString& path, ProjectData& out, const CodecProgress& progress,
                              const ProjectBlockNotice& notice)
{
    QFile file;
    if (CodecStatus status = open_for_reading(file, path); !status)
        return status;
    Reader r(file, path, progress);
    ProjectData d;
    qint32 version = 0, count = 0;
    if (!r.i32(version))
        return r.status();
    if (version > project_file_version)
        return CodecStatus::failure(CodecError::Unsupported, project_version_error_message(),
                                    project_version_error_message());
    d.version = version;
    // Every block holds at least its tag.
    if (!r.i32(count) || !r.count(count, 4))
        return r.status();

    for (qint32 i = 0; i < count; ++i) {
        r.set_block(0);
        qint32 tag = 0;
        if (!r.i32(tag))
            return r.status();
        if (tag < project_tag_density || tag > project_tag_faults)
            return damaged(path, QStringLiteral("block %1 of %2 has the unknown tag %3").arg(i + 1).arg(count).arg(tag),
                           QStringLiteral("у блока %1 из %2 неизвестный тег %3").arg(i + 1).arg(count).arg(tag));
        r.set_block(tag);
        if (notice)
            notice(tag);
        if (!r.progress() || !read_block(r, tag, d))
            return r.status();
    }
    r.set_block(0);
    if (r.left() > 0) {
        if (!r.coordinate(d.calc_level, "the calculation level", "уровень расчета"))
            return r.status();
        d.has_calc_level = true;
    }
    if (!r.progress())
        return r.status();
    normalize_layer_lists(d);
    out = std::move(d);
    return {};
}

CodecStatus write_project_file(const QString& path, const ProjectData& d, const CodecProgress& progress,
                               const ProjectBlockNotice& notice)
{
    if (CodecStatus s = check_data(d); !s)
        return s;
    if (CodecStatus s = check_coordinates_written(d); !s)
        return s;

    const bool present[12] = {false,
                              !d.density.empty(),
                              !d.horizons.empty(),
                              !d.observed.empty(),
                              !d.calculated.empty(),
                              !d.layers_names.empty(),
                              !d.vp.empty(),
                              !d.fixed.empty(),
                              !d.vs.empty(),
                              !d.regularizer.empty(),
                              !d.profiles.empty(),
                              !d.faults.sticks.empty()};
    int count = 0;
    for (bool p : present)
        count += p ? 1 : 0;
    qint64 total = cube_bytes(d.density) + cube_bytes(d.vp) + cube_bytes(d.vs) + cube_bytes(d.regularizer) +
                   grid_bytes(d.observed) + grid_bytes(d.calculated) + 64;
    for (const field2D& h : d.horizons)
        total += grid_bytes(h);

    QSaveFile file;
    if (CodecStatus s = open_for_writing(file, path); !s)
        return s;
    Writer w(file, total, progress);
    auto failed = [&]() {
        file.cancelWriting();
        return w.status();
    };
    if (!w.i32(project_file_version) || !w.i32(count))
        return failed();
    for (int tag = project_tag_density; tag <= project_tag_faults; ++tag) {
        if (!present[tag])
            continue;
        if (notice)
            notice(tag);
        if (!w.progress() || !w.i32(tag))
            return failed();
        bool ok = true;
        switch (tag) {
        case project_tag_density: ok = write_cube(w, d.density) && w.f64(d.expansion_factor); break;
        case project_tag_horizons: ok = write_horizons(w, d); break;
        case project_tag_observed: ok = write_field(w, d.observed, d.observed_params); break;
        case project_tag_calculated: ok = write_field(w, d.calculated, d.calculated_params); break;
        case project_tag_names:
            ok = w.i32(qint64(d.layers_names.size()));
            for (const QString& s : d.layers_names)
                ok = ok && w.string(s);
            break;
        case project_tag_vp: ok = write_cube(w, d.vp); break;
        case project_tag_fixed:
            ok = w.i32(qint64(d.fixed.size()));
            for (bool f : d.fixed)
                ok = ok && w.boolean(f);
            break;
        case project_tag_vs: ok = write_cube(w, d.vs); break;
        case project_tag_regularizer: ok = write_cube(w, d.regularizer); break;
        case project_tag_profiles:
            ok = w.i32(qint64(d.profiles.size()));
            for (const auto& line : d.profiles) {
                const std::size_t points = line.size() / 2;
                ok = ok && w.i32(qint64(points)) && w.doubles(line.data(), points * 2);
            }
            break;
        case project_tag_faults: ok = write_faults(w, d.faults); break;
        }
        if (!ok)
            return failed();
    }
    if (!w.f64(d.calc_level) || !w.progress() || !w.flush())
        return failed();
    return commit(file);
}

// ---------------------------------------------------------------------------
// Names

namespace {

bool has_project_suffix(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("3dproj"), Qt::CaseInsensitive) == 0 &&
           path.size() > 7;
}

}  // namespace

QString project_file_name(const QString& chosen)
{
    if (chosen.isEmpty() || has_project_suffix(chosen))
        return chosen;
    QString name = chosen;
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name + QStringLiteral(".3Dproj");
}

QString project_display_name(const QString& path)
{
    QString name = QFileInfo(path).fileName();
    if (has_project_suffix(name))
        name.chop(7);
    return name;
}

QString project_sidecar_path(const QString& project_path, const QString& extension)
{
    if (has_project_suffix(project_path))
        return project_path.left(project_path.size() - 6) + extension;
    return project_path + QLatin1Char('.') + extension;
}

// ---------------------------------------------------------------------------
// Sidecars

namespace {

CodecStatus sidecar_mismatch(const QString& path, qint32 nx, qint32 ny, qint32 n, int columns, int rows, int planes)
{
    return CodecStatus::failure(
        CodecError::BadHeader,
        QStringLiteral("File \"%1\" holds %2 x %3 x %4 values, the model needs %5 x %6 x %7")
            .arg(display_name(path)).arg(nx).arg(ny).arg(n).arg(columns).arg(rows).arg(planes),
        QStringLiteral("В файле \"%1\" %2 x %3 x %4 значений, модели нужно %5 x %6 x %7")
            .arg(display_name(path)).arg(nx).arg(ny).arg(n).arg(columns).arg(rows).arg(planes));
}

// Opens a sidecar (a regular file only) and checks its header and size against the expected shape
// of `value_bytes` per value.
CodecStatus open_sidecar(QFile& file, const QString& path, int columns, int rows, int planes, qint64 value_bytes)
{
    // Only a regular file: opening a pipe named like a sidecar waits for a
    // writer that never comes.
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile())
        return CodecStatus::failure(CodecError::BadHeader,
                                    QStringLiteral("File \"%1\" is not a regular file").arg(display_name(path)),
                                    QStringLiteral("\"%1\" не является обычным файлом").arg(display_name(path)));
    if (CodecStatus s = open_for_reading(file, path); !s)
        return s;
    uchar h[12];
    if (file.read(reinterpret_cast<char*>(h), 12) != 12)
        return truncated(path, QStringLiteral("it is shorter than its header"),
                         QStringLiteral("он короче своего заголовка"));
    const qint32 nx = qint32(be32(h)), ny = qint32(be32(h + 4)), n = qint32(be32(h + 8));
    if (columns <= 0 || rows <= 0 || planes <= 0 || nx != columns || ny != rows || n != planes)
        return sidecar_mismatch(path, nx, ny, n, columns, rows, planes);
    // Whole values after the header, against columns * rows * planes; divided
    // down rather than multiplied up, as that product may not fit 64 bits.
    const qint64 held = (file.size() - 12) / value_bytes;
    if (held / columns / rows < planes)
        return truncated(path, QStringLiteral("it holds fewer values than its header announces"),
                         QStringLiteral("в нем меньше значений, чем объявлено в заголовке"));
    return {};
}

}  // namespace

CodecStatus check_sidecar_shape(const QString& path, int columns, int rows, int planes, SidecarKind kind)
{
    QFile file;
    return open_sidecar(file, path, columns, rows, planes, kind == SidecarKind::Effects ? 16 : 8);
}

CodecStatus read_effects_sidecar(const QString& path, int columns, int rows, int planes, EffectsOperator& out,
                                 const CodecProgress& progress, double tolerance, int thread_count)
{
    QFile file;
    if (CodecStatus s = open_sidecar(file, path, columns, rows, planes, 16); !s)
        return s;
    return read_effects_planes(file, columns, rows, planes, false, out, progress, tolerance, thread_count);
}

CodecStatus read_layer_effects_sidecar(const QString& path, int columns, int rows, int layers,
                                       std::vector<field2D>& layer_effects, const CodecProgress& progress)
{
    QFile file;
    if (CodecStatus s = open_sidecar(file, path, columns, rows, layers, 8); !s)
        return s;
    std::vector<field2D> read;
    try {
        read.assign(std::size_t(layers), field2D(std::size_t(rows), std::vector<double>(std::size_t(columns))));
    } catch (const std::bad_alloc&) {
        return CodecStatus::failure(CodecError::BadHeader, QStringLiteral("Not enough memory for the layers effects"),
                                    QStringLiteral("Недостаточно памяти для эффектов слоев"));
    }
    std::vector<uchar> row_bytes(std::size_t(columns) * 8);
    for (int k = 0; k < layers; ++k) {
        if (!codec_continue(progress, codec_percent(k, layers)))
            return CodecStatus::cancelled();
        for (auto& row : read[std::size_t(k)]) {
            if (file.read(reinterpret_cast<char*>(row_bytes.data()), qint64(row_bytes.size())) !=
                qint64(row_bytes.size()))
                return read_error(file);
            const uchar* p = row_bytes.data();
            for (int i = 0; i < columns; ++i, p += 8)
                row[std::size_t(i)] = double_from_bits(be64(p));
        }
    }
    layer_effects.swap(read);
    return {};
}

CodecStatus write_layer_effects_sidecar(const QString& path, const std::vector<field2D>& layer_effects,
                                        const CodecProgress& progress)
{
    if (layer_effects.empty() || !is_regular_grid(layer_effects[0]) || !fits_int32(layer_effects.size()))
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("There are no layers effects to save"),
                                    QStringLiteral("Нет эффектов слоев для сохранения"));
    const std::size_t rows = layer_effects[0].size(), columns = layer_effects[0][0].size();
    for (const field2D& g : layer_effects)
        if (!grid_has_shape(g, rows, columns))
            return CodecStatus::failure(CodecError::BadGrid,
                                        QStringLiteral("The layers effects are not grids of one size"),
                                        QStringLiteral("Эффекты слоев не являются гридами одного размера"));
    QSaveFile file;
    if (CodecStatus s = open_for_writing(file, path); !s)
        return s;
    uchar header[12];
    qToBigEndian<qint32>(qint32(columns), header);
    qToBigEndian<qint32>(qint32(rows), header + 4);
    qToBigEndian<qint32>(qint32(layer_effects.size()), header + 8);
    if (CodecStatus s = write_bytes(file, reinterpret_cast<const char*>(header), 12); !s)
        return s;
    std::vector<uchar> buffer(rows * columns * 8);
    for (std::size_t k = 0; k < layer_effects.size(); ++k) {
        if (!codec_continue(progress, codec_percent(qint64(k), qint64(layer_effects.size()))))
            return cancel_writing(file);
        uchar* p = buffer.data();
        for (const auto& row : layer_effects[k])
            for (double v : row) {
                qToBigEndian<quint64>(bits_of(v), p);
                p += 8;
            }
        if (CodecStatus s = write_bytes(file, reinterpret_cast<const char*>(buffer.data()), qint64(buffer.size())); !s)
            return s;
    }
    return commit(file);
}
