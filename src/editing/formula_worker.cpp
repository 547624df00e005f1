#include "editing/formula_worker.h"

#include "common/grid_helpers.h"
#include "editing/layers.h"
#include "engine/memory.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
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

// A worker is started ahead for the next command, so that its start-up
// (loading the libraries, making the engine) is done when that command
// comes. It waits for its request; it ends by itself when the program does
// (its input closes).
QPointer<QProcess>& spare_worker()
{
    static QPointer<QProcess> spare;
    return spare;
}

std::unique_ptr<QProcess> start_worker()
{
    std::unique_ptr<QProcess> worker(new QProcess);
    worker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    worker->setProgram(formulaWorkerPath());
    worker->start();
    return worker;
}

// The worker for a run: the one started ahead when it is still waiting,
// else a new one; either way another is started ahead for the next run.
std::unique_ptr<QProcess> take_worker()
{
    std::unique_ptr<QProcess> worker;
    QPointer<QProcess>& spare = spare_worker();
    if (spare) {
        worker.reset(spare.data());
        spare.clear();
        worker->setParent(nullptr);
        if (worker->state() == QProcess::NotRunning || worker->program() != formulaWorkerPath())
            worker = start_worker();
    } else {
        worker = start_worker();
    }
    if (QCoreApplication::instance()) {
        spare = start_worker().release();
        spare->setParent(QCoreApplication::instance());  // ended with the application
    }
    return worker;
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

FormulaJob::FormulaJob(const std::vector<ColumnKind>& kinds, quint64 calls, quint32 formula_count,
                       bool per_call_formula)
    : call_count(calls)
{
    if (kinds.size() > std::size_t(kJobColumns))
        return;
    JobHeader layout;
    layout.calls = calls;
    layout.arguments = quint32(kinds.size());
    layout.formulas = formula_count;
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
    if (!file.open() || !file.resize(qint64(layout.size)))
        return;
    base = file.map(0, qint64(layout.size));
    if (!base)
        return;
    header = new (base) JobHeader;
    header->calls = layout.calls;
    header->arguments = layout.arguments;
    header->formulas = layout.formulas;
    std::copy(std::begin(layout.kind), std::end(layout.kind), std::begin(header->kind));
    std::copy(std::begin(layout.offset), std::end(layout.offset), std::begin(header->offset));
    header->formula_offset = layout.formula_offset;
    header->result_offset = layout.result_offset;
    header->size = layout.size;
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

WorkerResult run_formula_job(const std::vector<FormulaText>& formulas, FormulaJob& job, const Progress& progress,
                             const Watch* watch)
{
    WorkerResult result;
    if (!job.ok() || job.header->formulas != quint32(formulas.size())) {
        result.status = WorkerStatus::NotStarted;
        return result;
    }
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_5_0);
        out << job.file.fileName() << quint64(memory_allowance()) << quint32(formulas.size());
        for (const FormulaText& f : formulas)
            out << f.variables << f.text;
    }
    job.header->done.store(0);
    job.header->formula.store(-1);
    job.header->crash_signal.store(0);
    job.header->out_of_memory.store(0);

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
    if (process.state() == QProcess::Starting)
        process.waitForStarted(-1);
    if (process.state() != QProcess::Running) {
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
    if (process.state() != QProcess::NotRunning)
        runner.loop.exec();
    timer.stop();
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(-1);

    if (runner.stopped) {
        result.status = WorkerStatus::Aborted;
        return result;
    }
    const QByteArray answer = process.readAllStandardOutput();
    QDataStream in(answer);
    in.setVersion(QDataStream::Qt_5_0);
    qint32 kind = -1;
    in >> kind;
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && kind == 1) {
        qint32 formula = -1, length = 0, line = 0, column = 0;
        in >> formula >> result.syntax.message >> length >> line >> column;
        if (in.status() == QDataStream::Ok) {
            result.status = WorkerStatus::SyntaxError;
            result.formula = formula;
            result.exception_length = length;
            result.syntax.line = line;
            result.syntax.column = column;
            return result;
        }
    } else if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && kind == 0) {
        qint32 length = 0;
        in >> result.calls_made >> result.exception >> length >> result.last_value;
        if (in.status() == QDataStream::Ok && result.calls_made <= job.calls()) {
            result.exception_length = length;
            runner.showProgress(result.calls_made);
            return result;
        }
    }
    // No answer: the worker crashed, was killed from outside, or refused.
    result.formula = job.header->formula.load();
    result.signal = job.header->crash_signal.load();
    if (result.signal == 0 && process.exitStatus() == QProcess::CrashExit)
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
    case WorkerStatus::NotStarted:
        break;
    }
    return FormulaStatus::NoWorker;
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
    const bool use_vp = grid_fits(vp, density);
    const bool use_vs = grid_fits(vs, density);
    const bool use_reg = grid_fits(regularizer, density);
    std::size_t total = 0;
    for (const vector2D& level : density)
        for (const std::vector<data_type>& row : level)
            total += row.size();

    // Arguments dens, Vp, Vs, R, h; the grids that do not fit give 0.
    const auto grid = [](bool used) { return used ? ColumnKind::Float : ColumnKind::Zero; };
    FormulaJob job({ColumnKind::Float, grid(use_vp), grid(use_vs), grid(use_reg), ColumnKind::Double}, total, 1,
                   false);
    if (!job.ok()) {
        result.status = FormulaStatus::NoWorker;
        return result;
    }
    float* const columns[4] = {job.floats(0), job.floats(1), job.floats(2), job.floats(3)};
    const vector3D* const grids[4] = {&density, &vp, &vs, &regularizer};
    double* const depth = job.doubles(4);
    std::size_t n = 0;
    for (std::size_t k = 0; k < density.size(); ++k) {
        const double h = layers::level_depth(z, static_cast<int>(k));
        for (std::size_t i = 0; i < density[k].size(); ++i) {
            const std::size_t nx = density[k][i].size();
            for (int a = 0; a < 4; ++a)
                if (columns[a])
                    std::copy_n((*grids[a])[k][i].begin(), nx, columns[a] + n);
            std::fill_n(depth + n, nx, h);
            n += nx;
        }
    }

    const WorkerResult run = run_formula_job({FormulaText{gridFormulaVariables(), formula}}, job, progress, watch);
    result.status = formula_status(run.status);
    result.signal = run.signal;
    result.exception_length = run.exception_length;
    if (run.status == WorkerStatus::SyntaxError)
        result.syntax = run.syntax;
    if (!run.ok())
        return result;

    const data_type* values = job.results();
    vector3D cells = density;
    n = 0;
    for (std::size_t k = 0; k < cells.size(); ++k)
        for (std::size_t i = 0; i < cells[k].size(); ++i)
            for (std::size_t j = 0; j < cells[k][i].size(); ++j, ++n) {
                if (n >= run.calls_made || n + 1 == run.calls_made && !fits_cell(run.last_value)) {
                    result.status = FormulaStatus::NonFinite;
                    result.level = int(k);
                    result.row = int(i);
                    result.column = int(j);
                    result.value = n + 1 == run.calls_made ? run.last_value : values[n];
                    result.exception = run.exception;
                    return result;
                }
                cells[k][i][j] = values[n];
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

    std::vector<qint32> formula;
    std::vector<float> vp, vs;
    std::vector<double> h;
    const vd::ScriptCell collect = [&](int layer, double p, double s, double depth) {
        formula.push_back(script_of_row[static_cast<std::size_t>(layer)]);
        vp.push_back(static_cast<float>(p));
        vs.push_back(static_cast<float>(s));
        h.push_back(depth);
        return 0.0;
    };
    {
        vector3D unused;
        vd::convert_by_layers(in, per_layer, collect, unused);
    }

    FormulaJob job({ColumnKind::Float, ColumnKind::Float, ColumnKind::Double}, formula.size(),
                                 quint32(scripts.size()), scripts.size() > 1);
    if (job.ok()) {
        std::copy(vp.begin(), vp.end(), job.floats(0));
        std::copy(vs.begin(), vs.end(), job.floats(1));
        std::copy(h.begin(), h.end(), job.doubles(2));
        if (job.formulas())
            std::copy(formula.begin(), formula.end(), job.formulas());
    }
    result.worker = run_formula_job(scripts, job, progress, watch);
    if (result.worker.formula >= 0 && std::size_t(result.worker.formula) < row_of_script.size())
        result.row = row_of_script[std::size_t(result.worker.formula)];
    if (!result.worker.ok())
        return result;

    const data_type* values = job.results();
    quint64 next = 0;
    const quint64 made = result.worker.calls_made;
    const vd::ScriptCell replay = [&](int, double, double, double) {
        return next < made ? double(values[next++]) : std::nan("");
    };
    result.status = vd::convert_by_layers(in, per_layer, replay, converted, &result.bad);
    return result;
}

}  // namespace grid_formula
