// Re-normalisation of the regularizer and its three modes.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "editing/regularizer.h"

#include <QAction>

void MainWindow::recalcRegularizer()
{
    if (regularizer.empty())
        return;
    regularizers::RecalcMode mode = regularizers::RecalcMode::Initial;
    if (ui->reg_del_means->isChecked())
        mode = regularizers::RecalcMode::DeleteMeans;
    else if (ui->reg_del_mins->isChecked())
        mode = regularizers::RecalcMode::DeleteMins;
    regularizers::recalc_regularizer(regularizer, regularizer_offsets, regularizer_scale, mode);
}

static void checkOnly(QAction* own, std::initializer_list<QAction*> others)
{
    own->setChecked(true);
    for (QAction* a : others)
        a->setChecked(false);
}

void MainWindow::on_reg_not_recalc_triggered()
{
    if (refuseWhileRunning())
        return;
    checkOnly(ui->reg_not_recalc, {ui->reg_del_means, ui->reg_del_mins});
    recalcRegularizer();
    on_view_reg_triggered();
}

void MainWindow::on_reg_del_means_triggered()
{
    if (refuseWhileRunning())
        return;
    checkOnly(ui->reg_del_means, {ui->reg_not_recalc, ui->reg_del_mins});
    recalcRegularizer();
    on_view_reg_triggered();
}

void MainWindow::on_reg_del_mins_triggered()
{
    if (refuseWhileRunning())
        return;
    checkOnly(ui->reg_del_mins, {ui->reg_not_recalc, ui->reg_del_means});
    recalcRegularizer();
    on_view_reg_triggered();
}
