// Slots whose commands are not built yet: each line is an empty body that the
// subsystem implementing the slot deletes when it adds the slot to its own file.
#include "app/interaction.h"
#include "app/mainwindow.h"

#include <QKeyEvent>
#include <QMouseEvent>

// ---- Shell

// ---- Maps, sections and 3D view

// ---- Commands of the main form
