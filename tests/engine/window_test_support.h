#pragma once
// Helpers of the main-window tests of the forward calculation and the
// inversions: node vectors, the action icons, polling while a run processes
// events, answering the inversion dialog and the field misfit.
#include "app/mainwindow.h"
#include "engine/field_stats.h"
#include "engine/inversion_parameters.h"
#include "test_nodes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace windowtest {

inline bool same_icon(const QIcon& icon, const char* path)
{
    return icon.pixmap(32).toImage() == QIcon(QString::fromUtf8(path)).pixmap(32).toImage();
}

// Calls `poll` at every event processing inside `action` (a run processes
// events between its steps).
inline void while_running(const std::function<void()>& poll, const std::function<void()>& action)
{
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, poll);
    timer.start();
    action();
    timer.stop();
}

// Answers the inversion dialog that `action` opens: `fill` sets its widgets,
// then OK or Cancel. Another modal window still open after ten seconds is
// closed so that the test cannot hang. Returns whether the dialog was seen.
inline bool answer_inversion_dialog(const std::function<void(inversion_parameters*)>& fill, bool ok,
                                    const std::function<void()>& action)
{
    bool seen = false;
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<inversion_parameters*>(QApplication::activeModalWidget());
        if (d && !seen) {
            seen = true;
            if (fill)
                fill(d);
            d->findChild<QPushButton*>(ok ? "ok_button" : "cancel_button")->click();
        } else if (!d && clock.elapsed() > 10000) {
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
        }
    });
    timer.start();
    action();
    timer.stop();
    return seen;
}

// RMS of the observed minus the calculated field.
inline double misfit(const MainWindow& w) { return field_misfit(w.Vz_observed, w.Vz_calculated).rms; }

} // namespace windowtest
