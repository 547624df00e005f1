#pragma once
// A device that refuses bytes, as a full disk does, without a special file
// system: while a FileSizeLimit lives, no file of the process may grow past
// `bytes` (RLIMIT_FSIZE), and a write beyond fails with EFBIG ("File too
// large") instead of ending the process with SIGXFSZ. The limit and the
// signal's handler are restored when it goes out of scope.
#include <csignal>

#include <sys/resource.h>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        ok_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
        if (ok_) {
            rlimit small = saved_;
            small.rlim_cur = bytes;
            ok_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
        }
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // True when the limit is in force.
    bool ok() const { return ok_; }

    // Restores the earlier limit and handler (once).
    void lift()
    {
        if (lifted_)
            return;
        lifted_ = true;
        if (ok_)
            setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit saved_{};
    void (*old_handler_)(int) = SIG_DFL;
    bool ok_ = false;
    bool lifted_ = false;
};
