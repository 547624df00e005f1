#pragma once
// Long runs and the commands that must not interfere with them.
//
// A forward calculation, an inversion, a horizon fit or a long file read or
// write runs on the GUI thread and processes events between its steps, so the
// user can press other commands meanwhile. A command that replaces or empties
// a data set that the run holds by reference (open, new grid, delete, undo,
// preferences, regrid, cube arithmetic...) would leave the run reading freed
// memory. Every such run therefore brackets itself with a RunGuard:
//
//   void MainWindow::on_forward_grid_triggered()
//   {
//       if (forward_running) { forward_running = false; return; }  // second press: stop
//       RunGuard run(this, RunKind::Forward);
//       if (!run)            // another run holds the data (a message was shown)
//           return;
//       ... the calculation, testing forward_running between steps ...
//   }                        // the guard's end restores everything
//
// While at least one guard lives:
//  - every data-replacing command of the main form is disabled (the actions
//    are in one QActionGroup; an action that other code enables or disables
//    meanwhile gets that state when the last run ends);
//  - the starting action of the outermost run shows ":/Images/stop.png" and
//    stays enabled (pressing it again is the stop), the other two run actions
//    (forward_grid, inversion, horizonInversion) are disabled;
//  - a close request asks the save question, stops the runs (clears
//    inversion_running and forward_running, sets abort_requested for a file
//    operation or a formula) and closes only after the last run has
//    returned, so nothing half-computed is saved.
//
// The flag of the kind (forward_running for Forward; inversion_running for
// Inversion and HorizonFit; abort_enabled, with abort_requested cleared, for
// the file kinds and Formula, which Esc pressed in any of the program's
// windows can abort: views/abort_key_filter.h) is set by the guard and
// cleared when the last guard of that kind ends. Stopping a run only clears the flag: the run keeps the guard until
// it has returned, and no new run may start meanwhile.
//
// Runs may nest only where the outer run is paused and keeps its data intact:
//  - Forward inside Inversion or HorizonFit (their closing or per-pass forward
//    calculations);
//  - FileWrite inside anything (an export reads only).
// Any other nesting is refused: the guard shows a message, sets nothing and
// converts to false.
//
// Code that changes data without an action of the form (key presses and map
// clicks of horizon editing, for example) calls
// MainWindow::refuseWhileRunning() first and returns when it gives true.

class MainWindow;

enum class RunKind : int {
    Forward,     // forward calculation of the density grid
    Inversion,   // 3D, lateral or layered inversion
    HorizonFit,  // horizon fitting
    FileRead,    // a long read that replaces project data (XYZ import...)
    FileWrite,   // a long write that only reads project data (XYZ export...)
    Formula,     // a user formula replacing the density grid (grid formula, script rows)
};

class RunGuard
{
public:
    RunGuard(MainWindow* window, RunKind kind);
    ~RunGuard();
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

    // False when the run was refused: the caller must return without running.
    explicit operator bool() const { return started; }

private:
    MainWindow* window;
    RunKind kind;
    bool started;
};
