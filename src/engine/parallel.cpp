#include "engine/parallel.h"

#include "engine/fft.h"

#include <algorithm>
#include <atomic>
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
        }
        wake.notify_all();
        for (std::thread& t : threads)
            t.join();
    }

    void run(SplitJob& job, size_t helpers)
    {
        std::shared_ptr<SplitJob> shared(&job, [](SplitJob*) {});
        {
            std::lock_guard<std::mutex> l(m);
            grow(std::min(helpers, kMaxThreads));
            queue.push_back(shared);
        }
        wake.notify_all();
        while (job.run_one()) {
        }
        {
            std::unique_lock<std::mutex> l(job.m);
            job.finished.wait(l, [&] { return job.done.load() == job.ranges.size(); });
        }
        // Workers may still hold the job's handle after its last range;
        // take it out of the queue before it goes out of scope.
        std::unique_lock<std::mutex> l(m);
        for (auto it = queue.begin(); it != queue.end(); ++it)
            if (it->get() == &job) {
                queue.erase(it);
                break;
            }
        idle.wait(l, [&] { return shared.use_count() == 1; });
    }

private:
    static constexpr size_t kMaxThreads = 64;

    void grow(size_t n)
    {
        while (threads.size() < n) {
            try {
                threads.emplace_back([this] { loop(); });
            } catch (const std::system_error&) {
                return;  // the calling thread and the workers there are share the work
            }
        }
    }

    void loop()
    {
        std::unique_lock<std::mutex> l(m);
        for (;;) {
            wake.wait(l, [&] { return stopping || !queue.empty(); });
            if (stopping)
                return;
            std::shared_ptr<SplitJob> job = queue.front();
            l.unlock();
            const bool ran = job->run_one();
            l.lock();
            if (!ran && !queue.empty() && queue.front() == job)
                queue.pop_front();
            job.reset();
            idle.notify_all();
        }
    }

    std::mutex m;
    std::condition_variable wake, idle;
    std::deque<std::shared_ptr<SplitJob>> queue;
    std::vector<std::thread> threads;
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
    SplitJob job;
    job.work = &work;
    job.ranges.reserve(T);
    for (uint64_t i = 0; i < T; ++i)
        job.ranges.emplace_back(static_cast<size_t>(i * n / T), static_cast<size_t>((i + 1) * n / T));
    WorkerPool::instance().run(job, static_cast<size_t>(T - 1));
    if (job.error)
        std::rethrow_exception(job.error);
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
