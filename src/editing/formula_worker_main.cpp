// tolmera_formula_worker: runs user formulas for the program in a process of
// their own, so that whatever a formula does to the script engine (a crash
// inside it, memory without end, a built-in call that never returns) ends
// here and not in the program, which can always kill this process.
//
// The program starts it with its own process id as the argument: the worker
// is killed when the program ends, and ends at once when the program has
// ended before it could tie itself to it (its parent is then another).
//
// The request comes on standard input (QDataStream: the job file's path,
// the memory allowance in bytes, the formula count, then variables and text
// of each formula); the calls and their arguments are in the job file (see
// editing/formula_job.h), which the results go back into. What the run came
// to goes to standard output (see formula_worker.cpp, which reads it).
#include "common/grid_helpers.h"
#include "editing/formula_job.h"
#include "editing/grid_formula.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace grid_formula;

JobHeader* shared_header = nullptr;
// Address space (bytes) from which a crash counts as running out of memory.
unsigned long long out_of_memory_mark = 0;

// The figure of a "Name:   value kB" line of /proc/self/status, in bytes;
// safe in a signal handler (no allocation, only system calls).
unsigned long long status_kb(const char* name)
{
    char buffer[4096];
    const int fd = ::open("/proc/self/status", O_RDONLY);
    if (fd < 0)
        return 0;
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    buffer[n] = 0;
    std::size_t length = 0;
    while (name[length])
        ++length;
    for (const char* p = buffer; *p; ++p) {
        if ((p == buffer || p[-1] == '\n') && ::strncmp(p, name, length) == 0) {
            unsigned long long kb = 0;
            for (p += length; *p && (*p < '0' || *p > '9'); ++p) {
            }
            for (; *p >= '0' && *p <= '9'; ++p)
                kb = kb * 10 + unsigned(*p - '0');
            return kb * 1024;
        }
    }
    return 0;
}

// A fatal signal: the program is told which, and whether memory had run out
// (an allocation just failed, or the address space had come near the cap),
// then the signal ends the process as it would have.
void on_fatal_signal(int signal)
{
    const int error = errno;
    if (shared_header) {
        const bool out_of_memory = error == ENOMEM
            || (out_of_memory_mark > 0 && status_kb("VmPeak:") >= out_of_memory_mark);
        shared_header->out_of_memory.store(out_of_memory ? 1 : 0);
        shared_header->crash_signal.store(signal);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void catch_fatal_signals()
{
    // A stack overflow needs a stack of its own to be reported.
    static char alternate[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternate;
    stack.ss_size = sizeof alternate;
    ::sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = on_fatal_signal;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL})
        ::sigaction(signal, &action, nullptr);
}

// Ties this process to the program: killed when the thread that started it
// ends (the program's main thread), and ended now when the program (its
// process id the first argument) is no longer the parent.
void tie_to_program(int argc, char** argv)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc > 1 && ::getppid() != pid_t(std::strtol(argv[1], nullptr, 10)))
        ::_exit(3);
}

// The address-space limit this process inherited, raised to its hard limit
// (what an unprivileged process may raise it to): RLIM_INFINITY when none.
rlim_t raise_address_limit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0)
        return RLIM_INFINITY;
    if (limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_AS, &limit);
    }
    return limit.rlim_max;
}

// Whether the engine fits under the address-space limit (see
// kWorkerAddressSpace), tried: reserved, then given back at once. The engine
// fails hard when its own reservation fails.
bool engine_fits(rlim_t limit)
{
    if (limit == RLIM_INFINITY)
        return true;
    const std::size_t bytes = std::size_t(kWorkerAddressSpace);
    void* trial = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (trial == MAP_FAILED)
        return false;
    ::munmap(trial, bytes);
    return true;
}

// The cap on the address space: what the process holds now (libraries,
// the engine, the job file) plus the allowance, within the inherited limit.
void cap_memory(unsigned long long allowance, rlim_t inherited)
{
    if (allowance == 0)
        return;
    const unsigned long long now = status_kb("VmSize:");
    unsigned long long cap = now + allowance;
    if (inherited != RLIM_INFINITY && cap > inherited)
        cap = inherited;
    out_of_memory_mark = now + (cap > now ? (cap - now) / 2 : 0);
    struct rlimit limit {};
    limit.rlim_cur = limit.rlim_max = cap;
    ::setrlimit(RLIMIT_AS, &limit);
}

// The longest exception text sent back; the program cuts it further for
// its messages and says how long it was.
constexpr int kExceptionChars = 4096;

// Ends the process once the answer is out: the engine's and the
// application's teardown would only delay the program waiting for the end.
[[noreturn]] void finish(QFile& output)
{
    output.flush();
    ::_exit(0);
}

}  // namespace

int main(int argc, char** argv)
{
    tie_to_program(argc, argv);
    catch_fatal_signals();
    const rlim_t inherited = raise_address_limit();
    QCoreApplication app(argc, argv);
    // Made before the request comes: a worker started ahead of its command
    // is ready at once. Under a limit too low for it, the answer says so.
    std::unique_ptr<FormulaEngine> engine;
    if (engine_fits(inherited)) {
        engine.reset(new FormulaEngine);
        engine->setDirectCalls(true);  // the program kills this process to stop a call
    }

    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 2;
    const QByteArray bytes = input.readAll();
    if (bytes.isEmpty())
        return 0;  // not needed after all
    QDataStream request(bytes);
    request.setVersion(QDataStream::Qt_5_0);
    QString job_path;
    quint64 allowance = 0;
    quint32 count = 0;
    request >> job_path >> allowance >> count;
    std::vector<QStringList> variables;
    std::vector<QString> texts;
    for (quint32 i = 0; i < count && request.status() == QDataStream::Ok; ++i) {
        variables.emplace_back();
        texts.emplace_back();
        request >> variables.back() >> texts.back();
    }
    if (request.status() != QDataStream::Ok)
        return 2;

    QFile output;
    output.open(stdout, QIODevice::WriteOnly);
    QDataStream reply(&output);
    reply.setVersion(QDataStream::Qt_5_0);
    if (!engine) {
        reply << qint32(2) << quint64(inherited);
        finish(output);
    }

    QFile job(job_path);
    if (!job.open(QIODevice::ReadWrite) || job.size() < qint64(sizeof(JobHeader)))
        return 2;
    uchar* base = job.map(0, job.size());
    if (!base)
        return 2;
    JobHeader* header = reinterpret_cast<JobHeader*>(base);
    if (header->magic != kJobMagic || header->size != quint64(job.size()) || header->arguments > quint32(kJobColumns)
        || header->formulas != count)
        return 2;
    shared_header = header;
    cap_memory(allowance, inherited);

    std::vector<int> compiled(count, -1);
    for (quint32 i = 0; i < count; ++i) {
        SyntaxError error;
        header->formula.store(qint32(i));
        compiled[i] = engine->compile(variables[i], texts[i], &error);
        if (compiled[i] < 0) {
            reply << qint32(1) << qint32(i) << error.message.left(kExceptionChars) << qint32(error.message.size())
                  << qint32(error.line) << qint32(error.column);
            finish(output);
        }
    }

    const int arguments = int(header->arguments);
    const qint32* formula = header->formula_offset
        ? reinterpret_cast<const qint32*>(base + header->formula_offset) : nullptr;
    data_type* result = reinterpret_cast<data_type*>(base + header->result_offset);
    std::vector<double> args(std::size_t(arguments), 0.0);
    quint64 made = 0;
    bool finite = true;
    double last = 0;  // the value of the last call, as the formula gave it
    for (quint64 i = 0; i < header->calls && finite; ++i) {
        for (int a = 0; a < arguments; ++a) {
            switch (ColumnKind(header->kind[a])) {
            case ColumnKind::Float:
                args[std::size_t(a)] = reinterpret_cast<const float*>(base + header->offset[a])[i];
                break;
            case ColumnKind::Double:
                args[std::size_t(a)] = reinterpret_cast<const double*>(base + header->offset[a])[i];
                break;
            default:
                args[std::size_t(a)] = 0.0;
                break;
            }
        }
        const qint32 f = formula ? formula[i] : 0;
        if (f != header->formula.load(std::memory_order_relaxed))
            header->formula.store(f, std::memory_order_relaxed);
        const int index = f >= 0 && quint32(f) < count ? compiled[std::size_t(f)] : -1;
        last = engine->call(index, args);
        result[i] = static_cast<data_type>(last);
        finite = fits_cell(last);
        made = i + 1;
        header->done.store(made, std::memory_order_relaxed);
    }
    const QString exception = engine->firstException();
    reply << qint32(0) << made << exception.left(kExceptionChars) << qint32(exception.size()) << last;
    finish(output);
}
