#pragma once
// Drives a status-bar progress bar from a codec's progress callback.
#include "formats/codec_status.h"

#include <QElapsedTimer>

class QProgressBar;

// While it lives, callback() shows the bar, sets it to the percentage done and
// lets pending events other than user input run (at most every few hundredths
// of a second, so that the window repaints without slowing the codec down). The bar is hidden when
// the scope ends, unless told otherwise. A null bar gives an empty callback.
class ProgressBarScope {
public:
    explicit ProgressBarScope(QProgressBar* bar, bool hide_at_end = true);
    ~ProgressBarScope();
    ProgressBarScope(const ProgressBarScope&) = delete;
    ProgressBarScope& operator=(const ProgressBarScope&) = delete;

    CodecProgress callback();

private:
    QProgressBar* bar_;
    bool hide_at_end_;
    QElapsedTimer since_events_;
};
