#include "views/abort_key_filter.h"

#include "app/mainwindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>
#include <QtDataVisualization/Q3DSurface>

AbortKeyFilter::AbortKeyFilter(MainWindow* w) : QObject(w), window(w) {}

bool AbortKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
        return false;
    if (!window->abort_enabled || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;
    if (!belongsToWindow(watched))
        return false;
    // Taken here whatever the answer, so that a modeless window does not
    // close on the same key.
    window->askToAbort();
    return true;
}

bool AbortKeyFilter::belongsToWindow(QObject* receiver) const
{
    if (receiver->isWidgetType()) {
        // The main window's own widgets and the windows it is the parent of.
        for (const QWidget* w = static_cast<QWidget*>(receiver); w; w = w->parentWidget())
            if (w == window)
                return true;
        return false;
    }
    if (receiver->isWindowType()) {
        // The 3D graph is a window of its own inside the main window. The
        // window of a top-level widget passes the key on to its focus
        // widget, where it is seen again.
        for (const QWindow* w = static_cast<QWindow*>(receiver); w; w = w->parent())
            if (w == window->windowHandle() || w == window->graph)
                return true;
    }
    return false;
}
