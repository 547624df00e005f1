#include "editing/formula_worker.h"

#include "common/grid_helpers.h"
#include "editing/layers.h"
#include "engine/memory.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace grid_formula {

namespace {

constexpr quint64 kAlign = 64;

quint64 aligned(quint64 offset)
{
    return (offset + kAlign - 1) / kAlign * kAlign;
}

QString& worker_path_override()
{
    static QString path;
    return path;
}

qint64& allowance_override()
{
    static qint64 bytes = 0;
    return bytes;
}

qint64 memory_allowance()
{
    if (allowance_override() > 0)
        return allowance_override();
    return qint64(query_system_memory().available_bytes / 4 * 3);
}

// Workers are started ahead for the next commands, so that their start-up
// (loading the libraries, making the engine) is done when a command comes.
// Two wait, so that a command following another at once finds one ready
// while the one started after the other is still coming up. A waiting
// worker holds little of its own (its libraries are shared); it ends by
// itself when the program does (its input closes).
constexpr int kSpareWorkers = 2;

std::deque<QPointer<QProcess>>& spare_workers()
{
    static std::deque<QPointer<QProcess>> spares;
    return spares;
}

// The worker is told the program's process id: it ends at once when its
// parent is another (the program ended before the worker could tie itself
// to it), and is killed by the system when the program ends later.
std::unique_ptr<QProcess> start_worker()
{
    std::unique_ptr<QProcess> worker(new QProcess);
    worker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    worker->setProgram(formulaWorkerPath());
    worker->setArguments({QString::number(QCoreApplication::applicationPid())});
    worker->start();
    return worker;
}

// Starts workers for the next commands until enough wait. They are started
// once the events run again after a run, so that their start-up neither
// delays that run nor competes with it for the processor.
void start_spares()
{
    if (!QCoreApplication::instance())
        return;
    std::deque<QPointer<QProcess>>& spares = spare_workers();
    spares.erase(std::remove_if(spares.begin(), spares.end(), [](const QPointer<QProcess>& p) { return !p; }),
                 spares.end());
    while (spares.size() < std::size_t(kSpareWorkers)) {
        QProcess* spare = start_worker().release();
        spare->setParent(QCoreApplication::instance());  // ended with the application
        spares.emplace_back(spare);
    }
}

void start_spares_later()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &start_spares, Qt::QueuedConnection);
}

// The worker for a run: the one started ahead longest ago that still
// waits, else a new one.
std::unique_ptr<QProcess> take_worker()
{
    std::deque<QPointer<QProcess>>& spares = spare_workers();
    while (!spares.empty()) {
        QPointer<QProcess> spare = spares.front();
        spares.pop_front();
        if (!spare)
            continue;
        std::unique_ptr<QProcess> worker(spare.data());
        worker->setParent(nullptr);
        if (worker->state() != QProcess::NotRunning && worker->program() == formulaWorkerPath())
            return worker;
        if (worker->state() != QProcess::NotRunning) {  // another worker's: not needed
            worker->kill();
            worker->waitForFinished(-1);
        }
    }
    return start_worker();
}

}  // namespace

QString formulaWorkerPath()
{
    if (!worker_path_override().isEmpty())
        return worker_path_override();
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/tolmera_formula_worker");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(TOLMERA_FORMULA_WORKER_BUILT);
}

void setFormulaWorkerPath(const QString& path)
{
    worker_path_override() = path;
}

qint64 setFormulaMemoryAllowance(qint64 bytes)
{
    return std::exchange(allowance_override(), bytes);
}

JobReservation& job_reservation()
{
    static JobReservation reservation;
    return reservation;
}

JobReservation setJobReservation(JobReservation reservation)
{
    // The next job reserves its own memory: none is kept from the last.
    FormulaJob::releaseKeptMemory();
    return std::exchange(job_reservation(), std::move(reservation));
}

// The memory of a job: a file of the temporary folder without a name, its
// space reserved, mapped. The worker opens it through this process's
// descriptor; it goes when both have let it go, however they end.
struct FormulaJob::Memory {
    int fd = -1;
    uchar* base = nullptr;
    quint64 size = 0;
    Memory() = default;
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;
    ~Memory()
    {
        if (base)
            ::munmap(base, size);
        if (fd >= 0)
            ::close(fd);
    }
    QString path() const { return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fd); }
    // Makes the file and maps it; false with `fault` filled when it cannot.
    bool make(quint64 bytes, WorkerFault& fault);
};

bool FormulaJob::Memory::make(quint64 bytes, WorkerFault& fault)
{
    // The folder's own path (empty when it does not exist), else as named.
    QString folder = QDir::tempPath();
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TMPDIR");
    fault.bytes = bytes;
    const auto fail = [&fault, &folder](int error, bool folders) {
        fault.error = error;
        if (folders)
            fault.folder = folder;
        return false;
    };
    const QByteArray native = QFile::encodeName(folder);
    fd = ::open(native.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a named one, unlinked at once.
        QByteArray name = native + "/tolmera_formula_XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(name.constData());
    }
    if (fd < 0)
        return fail(errno, errno != ENOMEM);
    // Reserved before it is mapped: a page the folder could not hold would
    // be a fault at the first write into it.
    const JobReservation& reserve = job_reservation();
    const int reserved = reserve ? reserve(fd, bytes) : ::posix_fallocate(fd, 0, off_t(bytes));
    if (reserved != 0)
        return fail(reserved, reserved != ENOMEM);
    void* mapped = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        return fail(errno, false);
    base = static_cast<uchar*>(mapped);
    size = bytes;
    return true;
}

namespace {

// The memory of the last job is kept for the next one up to this size.
constexpr quint64 kKeptJobBytes = quint64(64) << 20;

// The layout of a job: the header, then each column, the formula column
// and the results, each aligned.
void job_layout(const std::vector<ColumnKind>& kinds, quint64 calls, bool per_call_formula, JobHeader& layout)
{
    layout.calls = calls;
    layout.arguments = quint32(kinds.size());
    quint64 offset = aligned(sizeof(JobHeader));
    for (std::size_t a = 0; a < kinds.size(); ++a) {
        layout.kind[a] = quint32(kinds[a]);
        const quint64 width = kinds[a] == ColumnKind::Float ? sizeof(float)
            : kinds[a] == ColumnKind::Double              ? sizeof(double)
                                                          : 0;
        layout.offset[a] = width ? offset : 0;
        offset = aligned(offset + width * calls);
    }
    if (per_call_formula) {
        layout.formula_offset = offset;
        offset = aligned(offset + sizeof(qint32) * calls);
    }
    layout.result_offset = offset;
    layout.size = aligned(offset + sizeof(data_type) * calls);
}

}  // namespace

quint64 FormulaJob::bytes(const std::vector<ColumnKind>& kinds, quint64 calls, bool per_call_formula)
{
    JobHeader layout;
    job_layout(kinds, calls, per_call_formula, layout);
    return layout.size;
}

std::unique_ptr<FormulaJob::Memory>& FormulaJob::kept_memory()
{
    static std::unique_ptr<Memory> kept;
    return kept;
}

void FormulaJob::releaseKeptMemory()
{
    kept_memory().reset();
}

FormulaJob::FormulaJob(const std::vector<ColumnKind>& kinds, quint64 calls, quint32 formula_count,
                       bool per_call_formula)
    : call_count(calls)
{
    if (kinds.size() > std::size_t(kJobColumns))
        return;
    JobHeader layout;
    job_layout(kinds, calls, per_call_formula, layout);
    layout.formulas = formula_count;

    std::unique_ptr<Memory>& kept = kept_memory();
    if (kept && kept->size >= layout.size) {
        memory = std::move(kept);
    } else {
        kept.reset();
        memory.reset(new Memory);
        if (!memory->make(layout.size, why))
            return;
    }
    base = memory->base;
    header = new (base) JobHeader;
    header->calls = layout.calls;
    header->arguments = layout.arguments;
    header->formulas = layout.formulas;
    std::copy(std::begin(layout.kind), std::end(layout.kind), std::begin(header->kind));
    std::copy(std::begin(layout.offset), std::end(layout.offset), std::begin(header->offset));
    header->formula_offset = layout.formula_offset;
    header->result_offset = layout.result_offset;
    header->size = memory->size;
}

FormulaJob::~FormulaJob()
{
    if (header && memory->size <= kKeptJobBytes)
        kept_memory() = std::move(memory);
}

void FormulaJob::setCalls(quint64 calls)
{
    if (header && calls <= header->calls)
        header->calls = call_count = calls;
}

float* FormulaJob::floats(int argument)
{
    if (!header || argument < 0 || quint32(argument) >= header->arguments
        || header->kind[argument] != quint32(ColumnKind::Float))
        return nullptr;
    return reinterpret_cast<float*>(base + header->offset[argument]);
}

double* FormulaJob::doubles(int argument)
{
    if (!header || argument < 0 || quint32(argument) >= header->arguments
        || header->kind[argument] != quint32(ColumnKind::Double))
        return nullptr;
    return reinterpret_cast<double*>(base + header->offset[argument]);
}

qint32* FormulaJob::formulas()
{
    return header && header->formula_offset ? reinterpret_cast<qint32*>(base + header->formula_offset) : nullptr;
}

const data_type* FormulaJob::results() const
{
    return header ? reinterpret_cast<const data_type*>(base + header->result_offset) : nullptr;
}

// Runs the worker and watches it: events run in a local loop, a timer reads
// the progress and asks the watch.
struct JobRunner {
    FormulaJob& job;
    const Progress& progress;
    const Watch* watch;
    std::unique_ptr<QProcess> worker;
    QEventLoop loop;
    QElapsedTimer run_time;
    qint64 next_question_ms = 0;
    bool asking = false;
    bool stopped = false;
    int shown = -1;

    // The share of calls made, as a run calling formula by formula reports
    // it: every percentage some call started at, in order, each once (the
    // percentages passed between two looks are caught up).
    void showProgress() { showProgress(job.header->done.load(std::memory_order_relaxed) + 1); }
    void showProgress(quint64 started)
    {
        if (!progress)
            return;
        const quint64 calls = job.header->calls;
        started = std::min(calls, started);
        if (calls == 0 || started == 0) {
            if (shown < 0)
                progress(shown = 0);
            return;
        }
        const int last = int(100 * (started - 1) / calls);
        for (int p = shown + 1; p <= last; ++p) {
            const quint64 first_call = (quint64(p) * calls + 99) / 100;  // the first call at p percent
            if (first_call < started && int(100 * first_call / calls) == p)
                progress(p);
        }
        shown = std::max(shown, last);
    }

    void stop()
    {
        stopped = true;
        if (worker->state() != QProcess::NotRunning) {
            worker->kill();
            worker->waitForFinished(-1);
        }
        loop.quit();
    }

    void poll()
    {
        showProgress();
        if (!watch || asking || stopped || worker->state() == QProcess::NotRunning)
            return;
        if (watch->stop_requested && watch->stop_requested()) {
            stop();
            return;
        }
        if (watch->time_limit_ms <= 0 || run_time.elapsed() < next_question_ms)
            return;
        asking = true;
        const bool go_on = !watch->go_on || watch->go_on(run_time.elapsed());
        asking = false;
        if (!go_on || (watch->stop_requested && watch->stop_requested()))
            stop();
        else
            next_question_ms = run_time.elapsed() + watch->time_limit_ms;
    }
};

namespace {

enum class AnswerState { Incomplete, Valid, Invalid };

// The longest answer a worker gives: an exception text of at most 4096
// characters and a few numbers. More is no answer of a worker.
constexpr int kAnswerBytes = 64 * 1024;

// Reads the worker's answer into `result` (status SyntaxError,
// AddressLimit or Ok): Incomplete while the bytes so far do not hold all of
// it. `formulas`: the formulas of the run.
AnswerState read_answer(const QByteArray& answer, quint64 calls, quint32 formulas, WorkerResult& result)
{
    QDataStream in(answer);
    in.setVersion(QDataStream::Qt_5_0);
    qint32 kind = -1;
    in >> kind;
    WorkerResult read;
    if (kind == 1) {
        qint32 formula = -1, length = 0, line = 0, column = 0;
        in >> formula >> read.syntax.message >> length >> line >> column;
        read.status = WorkerStatus::SyntaxError;
        read.formula = formula;
        read.exception_length = length;
        read.syntax.line = line;
        read.syntax.column = column;
        if (in.status() == QDataStream::Ok && (formula < 0 || quint32(formula) >= formulas))
            return AnswerState::Invalid;
    } else if (kind == 0) {
        qint32 length = 0;
        in >> read.calls_made >> read.exception >> length >> read.last_value;
        read.exception_length = length;
        if (in.status() == QDataStream::Ok && read.calls_made > calls)
            return AnswerState::Invalid;
    } else if (kind == 2) {
        in >> read.fault.limit;
        read.status = WorkerStatus::AddressLimit;
    }
    if (in.status() == QDataStream::ReadPastEnd)
        return answer.size() > kAnswerBytes ? AnswerState::Invalid : AnswerState::Incomplete;
    if (in.status() != QDataStream::Ok || kind < 0 || kind > 2)
        return AnswerState::Invalid;
    result = read;
    return AnswerState::Valid;
}

// Whether the results of an Ok answer are those of a worker that made the
// calls in order and stopped after the first value no cell can hold (see
// formula_job.h): every result before the last made fits a cell, the last
// is the value the answer names, and a run that stopped short stopped on
// such a value.
bool results_fit_answer(const WorkerResult& answer, const data_type* results, quint64 calls)
{
    const quint64 made = answer.calls_made;
    const bool last_fits = fits_cell(answer.last_value);
    if (made < calls && (made == 0 || last_fits))
        return false;
    if (made == 0)
        return true;
    if (!std::all_of(results, results + (made - 1), [](data_type v) { return fits_cell(v); }))
        return false;
    return !last_fits || results[made - 1] == static_cast<data_type>(answer.last_value);
}

// A worker that has given its answer is ended without being waited for (its
// memory going back to the system takes a while); it has nothing more to
// say, and what it might still write is not read.
void let_worker_end(std::unique_ptr<QProcess> worker)
{
    if (worker->state() == QProcess::NotRunning)
        return;
    worker->kill();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        worker->waitForFinished(-1);
        return;
    }
    QProcess* ending = worker.release();
    ending->setParent(app);
    QObject::connect(ending, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), ending,
                     &QObject::deleteLater);
}

WorkerResult job_failure(const FormulaJob& job)
{
    WorkerResult result;
    result.status = WorkerStatus::JobMemory;
    result.fault = job.fault();
    return result;
}

}  // namespace

WorkerResult run_formula_job(const std::vector<FormulaText>& formulas, FormulaJob& job, const Progress& progress,
                             const Watch* watch)
{
    WorkerResult result;
    if (!job.ok())
        return job_failure(job);
    if (job.header->formulas != quint32(formulas.size())) {
        result.status = WorkerStatus::NotStarted;
        return result;
    }
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_5_0);
        out << job.memory->path() << quint64(memory_allowance()) << quint32(formulas.size());
        for (const FormulaText& f : formulas)
            out << f.variables << f.text;
    }
    job.header->done.store(0);
    job.header->formula.store(-1);
    job.header->crash_signal.store(0);
    job.header->out_of_memory.store(0);

    // The next commands' workers are started once this run is over,
    // whatever its end.
    struct SpareAfterwards {
        ~SpareAfterwards() { start_spares_later(); }
    } spare_afterwards;
    JobRunner runner{job, progress, watch, take_worker(), {}, {}, 0, false, false, -1};
    runner.run_time.start();
    if (watch)
        runner.next_question_ms = watch->time_limit_ms;
    QProcess& process = *runner.worker;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &runner.loop,
                     &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &runner.loop, [&runner](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            runner.loop.quit();
    });
    // The run is over once the whole answer has come: the worker writes it
    // last and then only ends, which it may do while this goes on. Output
    // that is no answer ends the run at once, however much more would come.
    QByteArray answer;
    AnswerState answered = AnswerState::Incomplete;
    const quint32 formula_count = quint32(formulas.size());
    const auto read_output = [&] {
        if (answered != AnswerState::Incomplete)
            return;
        answer += process.read(kAnswerBytes + 1 - answer.size());
        answered = read_answer(answer, job.calls(), formula_count, result);
    };
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &runner.loop, [&] {
        read_output();
        if (answered != AnswerState::Incomplete)
            runner.loop.quit();
    });
    if (process.state() == QProcess::Starting)
        process.waitForStarted(-1);
    if (process.state() != QProcess::Running && process.error() == QProcess::FailedToStart) {
        result.status = WorkerStatus::NotStarted;
        return result;
    }
    process.write(request);
    process.waitForBytesWritten(-1);
    process.closeWriteChannel();

    runner.showProgress(1);
    QTimer timer;
    timer.setInterval(watch ? std::max(1, watch->events_interval_ms) : 50);
    QObject::connect(&timer, &QTimer::timeout, [&runner] { runner.poll(); });
    timer.start();
    if (process.state() != QProcess::NotRunning && answered == AnswerState::Incomplete)
        runner.loop.exec();
    timer.stop();

    if (runner.stopped) {
        result = WorkerResult();
        result.status = WorkerStatus::Aborted;
        return result;
    }
    if (answered == AnswerState::Incomplete && process.state() == QProcess::NotRunning)
        read_output();  // what came between the last read and the end
    if (answered == AnswerState::Valid && result.status == WorkerStatus::Ok
        && !results_fit_answer(result, job.results(), job.calls()))
        answered = AnswerState::Invalid;
    if (answered == AnswerState::Valid) {
        if (result.status == WorkerStatus::Ok)
            runner.showProgress(result.calls_made);
        let_worker_end(std::move(runner.worker));
        return result;
    }
    result = WorkerResult();
    if (answered == AnswerState::Invalid) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(-1);
        }
        result.status = WorkerStatus::BadAnswer;
        return result;
    }
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(-1);
    // No answer: the worker crashed, was killed from outside, or ended.
    result.formula = job.header->formula.load();
    result.signal = job.header->crash_signal.load();
    if (process.exitStatus() == QProcess::NormalExit && result.signal == 0) {
        result.status = WorkerStatus::EndedEarly;
        result.fault.exit_code = process.exitCode();
        return result;
    }
    if (result.signal == 0)
        result.signal = process.exitCode();
    result.status = job.header->out_of_memory.load() ? WorkerStatus::OutOfMemory : WorkerStatus::Crashed;
    return result;
}

FormulaStatus formula_status(WorkerStatus status)
{
    switch (status) {
    case WorkerStatus::Ok:
        return FormulaStatus::Ok;
    case WorkerStatus::SyntaxError:
        return FormulaStatus::SyntaxError;
    case WorkerStatus::Aborted:
        return FormulaStatus::Aborted;
    case WorkerStatus::OutOfMemory:
        return FormulaStatus::OutOfMemory;
    case WorkerStatus::Crashed:
        return FormulaStatus::Crashed;
    case WorkerStatus::JobMemory:
        return FormulaStatus::JobMemory;
    case WorkerStatus::EndedEarly:
        return FormulaStatus::EndedEarly;
    case WorkerStatus::BadAnswer:
        return FormulaStatus::BadAnswer;
    case WorkerStatus::AddressLimit:
        return FormulaStatus::AddressLimit;
    case WorkerStatus::NotStarted:
        break;
    }
    return FormulaStatus::NoWorker;
}

namespace {

// The argument columns of a grid formula's job: dens, Vp, Vs, R, h; the
// grids that do not fit give 0. `cells`: the calls, one per cell.
std::vector<ColumnKind> grid_formula_kinds(const vector3D& density, const vector3D& vp, const vector3D& vs,
                                           const vector3D& regularizer, std::size_t* cells)
{
    std::size_t total = 0;
    for (const vector2D& level : density)
        for (const std::vector<data_type>& row : level)
            total += row.size();
    *cells = total;
    const auto grid = [&density](const vector3D& g) {
        return grid_fits(g, density) ? ColumnKind::Float : ColumnKind::Zero;
    };
    return {ColumnKind::Float, grid(vp), grid(vs), grid(regularizer), ColumnKind::Double};
}

// The columns of a conversion's script calls: Vp, Vs, h.
std::vector<ColumnKind> script_conversion_kinds(const velocity_density::ConversionInput& in)
{
    const bool with_vp = in.vp && !in.vp->empty();
    const bool with_vs = in.vs && !in.vs->empty();
    return {with_vp ? ColumnKind::Float : ColumnKind::Zero, with_vs ? ColumnKind::Float : ColumnKind::Zero,
            ColumnKind::Double};
}

}  // namespace

quint64 grid_formula_need_bytes(const vector3D& density, const vector3D& vp, const vector3D& vs,
                                const vector3D& regularizer)
{
    std::size_t cells = 0;
    const std::vector<ColumnKind> kinds = grid_formula_kinds(density, vp, vs, regularizer, &cells);
    return FormulaJob::bytes(kinds, cells, false) + kWorkerBytes;
}

quint64 script_conversion_need_bytes(const velocity_density::ConversionInput& in,
                                     const std::vector<velocity_density::LayerFormula>& per_layer)
{
    const auto scripts = std::count_if(per_layer.begin(), per_layer.end(), [](const velocity_density::LayerFormula& f) {
        return f.type == velocity_density::Script;
    });
    if (scripts == 0)
        return 0;
    return FormulaJob::bytes(script_conversion_kinds(in), velocity_density::conversion_cells(in), scripts > 1)
        + kWorkerBytes;
}

FormulaResult evaluate_grid_formula(const QString& formula, const vector3D& density, const std::vector<double>& z,
                                    const vector3D& vp, const vector3D& vs, const vector3D& regularizer,
                                    vector3D& out, const Progress& progress, const Watch* watch)
{
    FormulaResult result;
    if (density.empty() || z.size() < (density.size() > 1 ? 2u : 1u)) {
        result.status = FormulaStatus::EmptyGrid;
        return result;
    }
    std::size_t total = 0;
    const std::vector<ColumnKind> kinds = grid_formula_kinds(density, vp, vs, regularizer, &total);
    FormulaJob job(kinds, total, 1, false);
    if (!job.ok()) {
        result.status = FormulaStatus::JobMemory;
        result.fault = job.fault();
        return result;
    }
    float* const columns[4] = {job.floats(0), job.floats(1), job.floats(2), job.floats(3)};
    const vector3D* const grids[4] = {&density, &vp, &vs, &regularizer};
    double* const depth = job.doubles(4);
    std::size_t filled = 0;
    for (std::size_t k = 0; k < density.size(); ++k) {
        const double h = layers::level_depth(z, static_cast<int>(k));
        for (std::size_t i = 0; i < density[k].size(); ++i) {
            const std::size_t nx = density[k][i].size();
            for (int a = 0; a < 4; ++a)
                if (columns[a])
                    std::copy_n((*grids[a])[k][i].begin(), nx, columns[a] + filled);
            std::fill_n(depth + filled, nx, h);
            filled += nx;
        }
    }

    const WorkerResult run = run_formula_job({FormulaText{gridFormulaVariables(), formula}}, job, progress, watch);
    result.status = formula_status(run.status);
    result.signal = run.signal;
    result.fault = run.fault;
    result.exception_length = run.exception_length;
    if (run.status == WorkerStatus::SyntaxError)
        result.syntax = run.syntax;
    if (!run.ok())
        return result;

    // The worker stops after the first value no cell can hold: that call's
    // cell is the first bad one (or, should it have stopped short, the cell
    // of the first call it did not make).
    const data_type* values = job.results();
    const quint64 made = run.calls_made;
    const std::size_t first_bad = made > 0 && !fits_cell(run.last_value) ? std::size_t(made - 1) : std::size_t(made);
    std::size_t n = 0;
    if (first_bad < total) {
        for (std::size_t k = 0; k < density.size(); ++k)
            for (std::size_t i = 0; i < density[k].size(); ++i) {
                const std::size_t nx = density[k][i].size();
                if (first_bad < n + nx) {
                    result.status = FormulaStatus::NonFinite;
                    result.level = int(k);
                    result.row = int(i);
                    result.column = int(first_bad - n);
                    result.value = first_bad + 1 == made ? run.last_value : double(values[first_bad]);
                    result.exception = run.exception;
                    return result;
                }
                n += nx;
            }
    }
    vector3D cells(density.size());
    n = 0;
    for (std::size_t k = 0; k < density.size(); ++k) {
        cells[k].reserve(density[k].size());
        for (std::size_t i = 0; i < density[k].size(); ++i) {
            const std::size_t nx = density[k][i].size();
            cells[k].emplace_back(values + n, values + n + nx);
            n += nx;
        }
    }
    out = std::move(cells);
    return result;
}

namespace vd = velocity_density;

ScriptConversion convert_with_scripts(const vd::ConversionInput& in, const std::vector<vd::LayerFormula>& per_layer,
                                      const std::vector<QString>& texts, vector3D& converted,
                                      const vd::Progress& progress, const Watch* watch)
{
    ScriptConversion result;
    std::vector<FormulaText> scripts;
    std::vector<int> row_of_script;
    std::vector<qint32> script_of_row(per_layer.size(), -1);
    for (std::size_t i = 0; i < per_layer.size(); ++i)
        if (per_layer[i].type == vd::Script) {
            script_of_row[i] = qint32(scripts.size());
            row_of_script.push_back(int(i));
            scripts.push_back({velocityFormulaVariables(), i < texts.size() ? texts[i] : QString()});
        }
    if (scripts.empty()) {
        result.status = vd::convert_by_layers(in, per_layer, vd::ScriptCell(), converted, &result.bad, progress);
        return result;
    }

    // One pass computes the cells of the other rows and writes the calls of
    // the script cells into the job; the worker makes them, and their
    // results go into the script cells.
    const std::size_t cells = vd::conversion_cells(in);
    FormulaJob job(script_conversion_kinds(in), cells, quint32(scripts.size()), scripts.size() > 1);
    vd::ScriptCalls calls;
    vector3D cube;
    vd::BadCell other_bad;
    vd::ConvertStatus status = vd::ConvertStatus::Ok;
    if (job.ok()) {
        calls.vp = job.floats(0);
        calls.vs = job.floats(1);
        calls.h = job.doubles(2);
        calls.formula = job.formulas();
        calls.formula_of_layer = script_of_row.data();
        calls.capacity = cells;
        status = vd::convert_leaving_scripts(in, per_layer, calls, cube, &other_bad);
        job.setCalls(std::min<quint64>(calls.count, cells));
    }
    result.worker = run_formula_job(scripts, job, progress, watch);
    if (result.worker.formula >= 0 && std::size_t(result.worker.formula) < row_of_script.size())
        result.row = row_of_script[std::size_t(result.worker.formula)];
    if (!result.worker.ok())
        return result;

    if (status == vd::ConvertStatus::Ok || status == vd::ConvertStatus::NonFinite) {
        if (vd::fill_script_cells(in, cube, job.results(), std::size_t(result.worker.calls_made), &result.bad)
            == vd::ConvertStatus::NonFinite) {
            result.status = vd::ConvertStatus::NonFinite;
            // The worker stops after the first value no cell can hold, so a
            // last value that does not fit is that cell's, before rounding.
            if (result.worker.calls_made > 0 && !fits_cell(result.worker.last_value))
                result.bad.value = result.worker.last_value;
            return result;
        }
    }
    result.status = status;
    if (status == vd::ConvertStatus::NonFinite)
        result.bad = other_bad;
    else if (status == vd::ConvertStatus::Ok)
        converted = std::move(cube);
    return result;
}

}  // namespace grid_formula
