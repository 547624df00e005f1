#include "formats/progress_bar_scope.h"

#include <QCoreApplication>
#include <QProgressBar>

ProgressBarScope::ProgressBarScope(QProgressBar* bar, bool hide_at_end) : bar_(bar), hide_at_end_(hide_at_end) {}

ProgressBarScope::~ProgressBarScope()
{
    if (bar_ && hide_at_end_)
        bar_->hide();
}

CodecProgress ProgressBarScope::callback()
{
    if (!bar_)
        return CodecProgress();
    return [this](int percent) {
        if (bar_->isHidden())
            bar_->show();
        if (bar_->value() != percent)
            bar_->setValue(percent);
        // Repaints only: user input could start a command that changes the
        // data the codec is reading from or writing into.
        if (!since_events_.isValid() || since_events_.elapsed() >= 20) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            since_events_.start();
        }
        return true;
    };
}
