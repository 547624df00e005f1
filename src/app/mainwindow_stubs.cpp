// Slots whose commands are not built yet: each line is an empty body that the
// subsystem implementing the slot deletes when it adds the slot to its own file.
#include "app/interaction.h"
#include "app/mainwindow.h"

#include <QKeyEvent>
#include <QMouseEvent>

// ---- Shell
bool MainWindow::saveProjectForClose() { return false; }

// ---- Maps, sections and 3D view

// ---- Commands of the main form
void MainWindow::on_open_project_triggered() {}
void MainWindow::on_save_project_triggered() {}
void MainWindow::on_save_as_triggered() {}
void MainWindow::on_import_faults_triggered() {}
void MainWindow::on_import_profiles_scheme_triggered() {}
void MainWindow::on_export_faults_one_file_triggered() {}
void MainWindow::on_export_faults_multiple_files_triggered() {}
void MainWindow::on_delete_faults_triggered() {}
