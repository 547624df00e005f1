#pragma once
// Esc from anywhere while an operation can be aborted (abort_enabled: a
// user formula, a long file read or write). The main window installs this
// filter on the application for as long as the flag is set, so that Esc
// reaches the abort question whichever of the program's windows has the
// keyboard: the 3D view, a map, the status line, the main window itself or
// one of its modeless windows (layers table, crop sliders, Z:XY...), which
// would otherwise take Esc for themselves and close.
//
// Modal dialogs and open menus keep their own Esc: while one is up the key
// is theirs. Windows of other main windows (tests make several) are left
// alone.
#include <QObject>

class MainWindow;

class AbortKeyFilter : public QObject
{
public:
    // A child of the window, so that it goes with it.
    explicit AbortKeyFilter(MainWindow* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether a key sent to `receiver` is one pressed in the main window or
    // in one of its windows.
    bool belongsToWindow(QObject* receiver) const;

    MainWindow* window;
};
