#pragma once
// Main windows on a real display, for the GUI tests run under Xvfb.
//
//   void initTestCase() { if (withoutDisplay()) QSKIP("needs a display with OpenGL"); }
//   auto w = shownMainWindow({1000, 700});
//   QVERIFY(w);

#include "app/mainwindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSize>
#include <QTest>

#include <memory>

// True on the platforms without a display (offscreen, minimal), where the
// window has no OpenGL and the GUI tests skip.
inline bool withoutDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

// A main window resized to `size` (when valid), shown, exposed and with its
// pending events processed. Null when it is never exposed, or when
// `needsGraph` and it got no 3D graph.
inline std::unique_ptr<MainWindow> shownMainWindow(QSize size = QSize(), bool needsGraph = true)
{
    std::unique_ptr<MainWindow> w(new MainWindow);
    if (size.isValid())
        w->resize(size);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()) || (needsGraph && !w->graph))
        return nullptr;
    QCoreApplication::processEvents();
    return w;
}
