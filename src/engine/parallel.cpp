#include "engine/parallel.h"

#include "engine/fft.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <cstdint>
#include <system_error>
#include <thread>

namespace {

// One call of run_split: its ranges, claimed one at a time by the pool's
// workers and by the calling thread.
struct SplitJob
{
    const std::function<void(size_t, size_t)>* work = nullptr;
    std::vector<std::pair<size_t, size_t>> ranges;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::mutex m;
    std::condition_variable finished;
    std::exception_ptr error;

    // Runs one unclaimed range; false when none is left.
    bool run_one()
    {
        const size_t i = next.fetch_add(1);
        if (i >= ranges.size())
            return false;
        try {
            (*work)(ranges[i].first, ranges[i].second);
        } catch (...) {
            std::lock_guard<std::mutex> l(m);
            if (!error)
                error = std::current_exception();
        }
        if (done.fetch_add(1) + 1 == ranges.size()) {
            std::lock_guard<std::mutex> l(m);
            finished.notify_all();
        }
        return true;
    }
};

// Worker threads kept alive between calls. A call queues its ranges and
// works on them itself too, so a call made from inside a worker (a kernel
// split within a level that is itself one of several) always finishes.
//
// A run makes many short calls in a row (a few per pair of levels), so a
// worker that has finished one keeps looking for the next for a short while
// before it sleeps, and the caller watches its ranges end rather than sleep
// on them: waking a sleeping thread costs more than a short call's work.
// A call of T ranges engages workers 0 .. T-2 only; the others sleep, so
// that a run on few threads leaves the other processors alone.
class WorkerPool
{
public:
    static WorkerPool& instance()
    {
        static WorkerPool pool;
        return pool;
    }

    ~WorkerPool()
    {
        {
            std::lock_guard<std::mutex> l(m);
            stopping = true;
            generation.fetch_add(1);
        }
        for (auto& w : workers)
            w->cv.notify_all();
        for (auto& w : workers)
            w->thread.join();
    }

    // The job is shared with the workers that take it: one may still hold it
    // (having found no range left) when the call returns; by then every
    // range has ended, and no range is started after that.
    void run(const std::shared_ptr<SplitJob>& job)
    {
        const size_t helpers = std::min(job->ranges.size() - 1, kMaxThreads);
        {
            std::lock_guard<std::mutex> l(m);
            grow(helpers);
            queue.push_back(job);
            generation.fetch_add(1);
            for (size_t i = 0; i < helpers && i < workers.size(); ++i)
                if (workers[i]->sleeping)
                    workers[i]->cv.notify_one();
        }
        while (job->run_one()) {
        }
        // The other ranges end on the workers.
        const size_t count = job->ranges.size();
        spin_until([&] { return job->done.load() == count; });
        {
            std::unique_lock<std::mutex> l(job->m);
            job->finished.wait(l, [&] { return job->done.load() == count; });
        }
        std::lock_guard<std::mutex> l(m);
        for (auto it = queue.begin(); it != queue.end(); ++it)
            if (*it == job) {
                queue.erase(it);
                break;
            }
    }

private:
    static constexpr size_t kMaxThreads = 64;

    struct Worker
    {
        std::thread thread;
        std::condition_variable cv;
        bool sleeping = false;  // guarded by the pool's mutex
    };

    // Under the lock.
    void grow(size_t n)
    {
        while (workers.size() < n) {
            auto w = std::make_unique<Worker>();
            const size_t index = workers.size();
            try {
                w->thread = std::thread([this, index] { loop(index); });
            } catch (const std::system_error&) {
                return;  // the calling thread and the workers there are share the work
            }
            workers.push_back(std::move(w));
        }
    }

    // Spins until done() holds or about two milliseconds have passed: with
    // a pause at first, then yielding now and then to other threads (there
    // may be more threads than processors). Returns done().
    template <class Done>
    static bool spin_until(Done done)
    {
        const auto start = std::chrono::steady_clock::now();
        for (unsigned i = 1; !done(); ++i) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
            if (i % 256 == 0) {
                const auto spent = std::chrono::steady_clock::now() - start;
                if (spent > std::chrono::milliseconds(2))
                    return done();
                if (spent > std::chrono::microseconds(50))
                    std::this_thread::yield();
            }
        }
        return true;
    }

    // Under the lock: a queued job that wants worker `index` and has a
    // range left.
    std::shared_ptr<SplitJob> job_for(size_t index) const
    {
        for (const auto& job : queue)
            if (index + 1 < job->ranges.size() && job->next.load() < job->ranges.size())
                return job;
        return nullptr;
    }

    void loop(size_t index)
    {
        Worker& self = *workers_at(index);
        uint64_t seen = 0;
        bool wanted = true;  // the last job seen wanted this worker
        for (;;) {
            if (wanted)
                spin_until([&] { return generation.load() != seen; });
            std::unique_lock<std::mutex> l(m);
            if (generation.load() == seen && !stopping) {
                self.sleeping = true;
                self.cv.wait(l, [&] { return stopping || generation.load() != seen; });
                self.sleeping = false;
            }
            if (stopping)
                return;
            seen = generation.load();
            std::shared_ptr<SplitJob> job = job_for(index);
            wanted = job != nullptr;
            while (job) {
                l.unlock();
                while (job->run_one()) {
                }
                job.reset();
                l.lock();
                job = job_for(index);
            }
        }
    }

    Worker* workers_at(size_t index)
    {
        std::lock_guard<std::mutex> l(m);
        return workers[index].get();
    }

    std::mutex m;
    std::deque<std::shared_ptr<SplitJob>> queue;
    std::atomic<uint64_t> generation{0};  // counts the calls queued, read without the lock
    std::vector<std::unique_ptr<Worker>> workers;
    bool stopping = false;
};

} // namespace

void run_split(size_t item_count, int thread_count,
               const std::function<void(size_t, size_t)>& work)
{
    // A count below 1 would start no worker and leave the outputs as they
    // were, which callers would take for a result.
    const uint64_t T = thread_count < 1 ? 1 : static_cast<uint64_t>(thread_count);
    const uint64_t n = item_count;
    if (T == 1) {
        work(0, item_count);
        return;
    }
    auto shared = std::make_shared<SplitJob>();
    SplitJob& job = *shared;
    job.work = &work;
    job.ranges.reserve(T);
    // Empty ranges (fewer items than threads) are not handed out: the
    // calling thread sees them.
    for (uint64_t i = 0; i < T; ++i) {
        const size_t b = static_cast<size_t>(i * n / T), e = static_cast<size_t>((i + 1) * n / T);
        if (b < e)
            job.ranges.emplace_back(b, e);
        else
            work(b, e);
    }
    if (job.ranges.size() <= 1) {
        if (!job.ranges.empty())
            work(job.ranges[0].first, job.ranges[0].second);
        return;
    }
    WorkerPool::instance().run(shared);
    if (job.error)
        std::rethrow_exception(job.error);
}

size_t split_workers(size_t item_count, int thread_count)
{
    const size_t T = thread_count < 1 ? 1 : static_cast<size_t>(thread_count);
    return std::max<size_t>(1, std::min(item_count, T));
}

size_t split_range_index(size_t begin, size_t item_count, int thread_count)
{
    // Range i starts at floor(i * n / T); for T < n that start gives back i
    // as ceil(start * T / n).
    const uint64_t T = thread_count < 1 ? 1 : static_cast<uint64_t>(thread_count);
    const uint64_t n = item_count;
    if (T >= n)
        return begin;
    return static_cast<size_t>((begin * T + n - 1) / n);
}

namespace {

// Operator row r of level l over columns [0, cols) of its full grid into
// `row` (cols <= effects.columns): the half row and its mirror.
void operator_row(const EffectsOperator& effects, size_t l, size_t r, size_t cols, float* row)
{
    const float* h = effects.half_row(static_cast<int>(l), static_cast<int>(r));
    const size_t C = static_cast<size_t>(effects.columns);
    const size_t half = C / 2;
    for (size_t k = 0; k < cols && k <= half; ++k)
        row[k] = h[k];
    for (size_t k = half + 1; k < cols; ++k)
        row[k] = h[C - k];
}

} // namespace

void parallel_accumulate_effects(const EffectsOperator& effects, const vector3D& model_re,
                                 const vector3D& model_im, field2D& out_re, field2D& out_im,
                                 int thread_count)
{
    if (out_re.empty())
        return;
    const size_t out_rows = out_re.size();
    const size_t out_cols = out_re[0].size();
    // Stale operators with fewer levels, rows or columns than the model are
    // never read past their end.
    const size_t levels = std::min(model_re.size(), static_cast<size_t>(std::max(0, effects.levels())));
    size_t rows = 0, cols = 0;
    if (levels) {
        rows = std::min({model_re[0].size(), static_cast<size_t>(std::max(0, effects.rows)), out_rows});
        if (rows)
            cols = std::min({model_re[0][0].size(), static_cast<size_t>(std::max(0, effects.columns)), out_cols});
    }

    run_split(out_rows, thread_count, [&](size_t r0, size_t r1) {
        for (size_t r = r0; r < r1; ++r) {
            std::fill(out_re[r].begin(), out_re[r].end(), 0.0);
            std::fill(out_im[r].begin(), out_im[r].end(), 0.0);
        }
        // A few rows at a time, all levels for them: the rows' sums stay in
        // cache and every level is read in runs of several rows. Every cell
        // still sums its levels in increasing order.
        constexpr size_t block = 8;
        std::vector<float> op(cols);
        const size_t end = std::min(r1, rows);
        for (size_t b0 = r0; b0 < end; b0 += block) {
            const size_t b1 = std::min(b0 + block, end);
            for (size_t l = 0; l < levels; ++l) {
                for (size_t r = b0; r < b1; ++r) {
                    operator_row(effects, l, r, cols, op.data());
                    const float* mr = model_re[l][r].data();
                    const float* mi = model_im[l][r].data();
                    double* sr = out_re[r].data();
                    double* si = out_im[r].data();
                    for (size_t k = 0; k < cols; ++k) {
                        const float pr = op[k] * mr[k];
                        const float pi = op[k] * mi[k];
                        sr[k] += static_cast<double>(pr);
                        si[k] += static_cast<double>(pi);
                    }
                }
            }
        }
    });
}

void parallel_update_model(const EffectsOperator& effects, vector3D& model_re, vector3D& model_im,
                           const field2D& misfit_re, const field2D& misfit_im,
                           const std::vector<double>& weights, int thread_count)
{
    if (model_re.empty() || effects.levels() <= 0)
        return;
    // Nothing is read past the end of a stale operator or a smaller misfit.
    const size_t rows = std::min({model_re[0].size(), static_cast<size_t>(std::max(0, effects.rows)),
                                  misfit_re.size(), misfit_im.size()});
    const size_t cols = rows ? std::min({model_re[0][0].size(), static_cast<size_t>(std::max(0, effects.columns)),
                                         misfit_re[0].size(), misfit_im[0].size()})
                             : 0;
    const size_t op_levels = static_cast<size_t>(effects.levels());

    run_split(model_re.size(), thread_count, [&](size_t l0, size_t l1) {
        std::vector<float> op(cols);
        for (size_t l = l0; l < l1 && l < weights.size() && l < op_levels; ++l) {
            const double w = weights[l];
            if (w == 0.0)
                continue;
            for (size_t r = 0; r < rows; ++r) {
                operator_row(effects, l, r, cols, op.data());
                float* mr = model_re[l][r].data();
                float* mi = model_im[l][r].data();
                const double* fr = misfit_re[r].data();
                const double* fi = misfit_im[r].data();
                for (size_t k = 0; k < cols; ++k) {
                    const double o = static_cast<double>(op[k]);
                    mr[k] = static_cast<float>(static_cast<double>(mr[k]) - o * fr[k] * w);
                    mi[k] = static_cast<float>(static_cast<double>(mi[k]) - o * fi[k] * w);
                }
            }
        }
    });
}

void parallel_fft_layers(vector3D& re, vector3D& im, int direction, int thread_count)
{
    run_split(re.size(), thread_count, [&](size_t l0, size_t l1) {
        for (size_t l = l0; l < l1; ++l)
            fft_2d(re[l], im[l], direction);
    });
}
