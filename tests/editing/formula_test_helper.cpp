// Stand-ins for the tests of the formula worker's surroundings:
//  - a broken worker (started, through a script, where the program looks for
//    its worker): "nan", "inf", "short" and "endless" read the request as
//    the worker does and answer as a damaged installation might: success
//    with NaN or infinite results, success with fewer results than calls,
//    or output without end;
//  - a program running a formula that never ends ("program"): it prints its
//    worker's process id once the worker runs, and waits to be killed.
#include "common/types.h"
#include "editing/formula_job.h"
#include "editing/formula_worker.h"
#include "editing/grid_formula.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <limits>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

using namespace grid_formula;

int broken_worker(const char* mode)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    QFile input;
    input.open(stdin, QIODevice::ReadOnly);
    const QByteArray bytes = input.readAll();
    if (bytes.isEmpty())
        return 0;
    QDataStream request(bytes);
    request.setVersion(QDataStream::Qt_5_0);
    QString job_path;
    quint64 allowance = 0;
    request >> job_path >> allowance;
    QFile job(job_path);
    if (!job.open(QIODevice::ReadWrite))
        return 2;
    uchar* base = job.map(0, job.size());
    if (!base)
        return 2;
    const JobHeader* header = reinterpret_cast<const JobHeader*>(base);
    data_type* result = reinterpret_cast<data_type*>(base + header->result_offset);
    const quint64 calls = header->calls;

    QFile output;
    output.open(stdout, QIODevice::WriteOnly);
    QDataStream reply(&output);
    reply.setVersion(QDataStream::Qt_5_0);
    if (std::strcmp(mode, "endless") == 0) {
        // The start of an answer whose text never ends.
        reply << qint32(0) << calls << quint32(0x7ffffff0);
        output.flush();
        const QByteArray more(4096, 'x');
        for (;;) {
            if (output.write(more) < 0 || !output.flush())
                return 1;
        }
    }
    const bool nan = std::strcmp(mode, "nan") == 0;
    const bool inf = std::strcmp(mode, "inf") == 0;
    const float value = nan ? std::numeric_limits<float>::quiet_NaN()
        : inf               ? std::numeric_limits<float>::infinity()
                            : 1.f;
    const quint64 made = std::strcmp(mode, "short") == 0 && calls > 0 ? calls - 1 : calls;
    for (quint64 i = 0; i < made; ++i)
        result[i] = value;
    // Success, with the last value a cell can hold.
    reply << qint32(0) << made << QString() << qint32(0) << 1.0;
    output.flush();
    return 0;
}

// Runs a formula that never ends over a small grid; the first look of the
// watch prints the worker's process id (the child of this process that runs).
int endless_program(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const vector3D density(2, vector2D(2, std::vector<data_type>(2, 1.f)));
    bool told = false;
    Watch watch;
    watch.events_interval_ms = 20;
    watch.stop_requested = [&told] {
        if (!told) {
            told = true;
            std::printf("running\n");
            std::fflush(stdout);
        }
        return false;
    };
    vector3D out;
    evaluate_grid_formula("(function(){for(;;){}})()", density, {0, 10}, {}, {}, {}, out, Progress(), &watch);
    return 1;  // never comes here: it is killed
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "program") == 0)
        return endless_program(argc, argv);
    if (argc > 1)
        return broken_worker(argv[1]);
    return 2;
}
