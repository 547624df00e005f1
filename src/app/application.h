#pragma once
// The program's QApplication. Every event, and so every command a menu, a
// button, a key or a queued call starts, is delivered through notify(): an
// allocation failure anywhere in a command ends there, with the "Out of
// memory" message, instead of ending the program. Commands build their
// results before they replace the model, so the model stays as it was.
#include <QApplication>

class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;
};

// Called by every undo snapshot of the density grid. A command that took one
// and then failed for memory gets its grid back from it, so a change made in
// place stops half-way without leaving a half-changed model.
void note_undo_snapshot();

// What follows an allocation failure that ended a command: the freed heap
// goes back to the system, wait cursors left by the command are removed and
// the main window (if any) shows the out-of-memory message.
// `snapshot_taken`: the failed command took an undo snapshot of the grid.
void report_command_out_of_memory(bool snapshot_taken = false);

// Gives all free heap back to the system (after running out of memory).
void release_free_heap();

// Gives the free heap back to the system when a large amount of it is free
// (after a run or a large command), so the next figure of available memory
// is true; a little is kept for the next run.
void release_large_free_heap();
