#include "editing/newmodelwindow.h"

#include "app/interaction.h"
#include "ui_newmodelwindow.h"

namespace {

const char* sigmaLabel(int language)
{
    return language == 0
               ? "<html><head/><body><p align='center'><span style=' font-family:'Calibri','sans-serif'; "
                 "font-size:9pt;'>σ. г/см</span><span style=' font-family:'Calibri','sans-serif'; font-size:9pt; "
                 "vertical-align:super;'>3</span></p></body></html>"
               : "<html><head/><body><p align='center'><span style=' font-family:'Calibri','sans-serif'; "
                 "font-size:9pt;'>σ. g/cm</span><span style=' font-family:'Calibri','sans-serif'; font-size:9pt; "
                 "vertical-align:super;'>3</span></p></body></html>";
}

}  // namespace

NewModelWindow::NewModelWindow(QWidget* parent) : QDialog(parent), ui(new Ui::NewModelWindow)
{
    ui->setupUi(this);
}

NewModelWindow::~NewModelWindow()
{
    delete ui;
}

void NewModelWindow::setLanguage(int language)
{
    const bool ru = language == 0;
    setWindowTitle(ru ? QString::fromUtf8("Параметры модели") : QStringLiteral("Model parameters"));
    ui->min_label->setText(ru ? QString::fromUtf8("Минимум") : QStringLiteral("Min"));
    ui->max_label->setText(ru ? QString::fromUtf8("Максимум") : QStringLiteral("Max"));
    ui->step_label->setText(ru ? QString::fromUtf8("Шаг") : QStringLiteral("Step"));
    ui->x_label->setText(ru ? QString::fromUtf8("X, м") : QStringLiteral("X, m"));
    ui->y_label->setText(ru ? QString::fromUtf8("Y, м") : QStringLiteral("Y, m"));
    ui->z_label->setText(ru ? QString::fromUtf8("Z, м") : QStringLiteral("Z, m"));
    ui->sigma_label->setText(QString::fromUtf8(sigmaLabel(language)));
    ui->Cancelbutton->setText(ru ? QString::fromUtf8("Отмена") : QStringLiteral("Cancel"));
}

void NewModelWindow::on_OKButton_clicked()
{
    const std::vector<double> params{
        ui->minX->text().toDouble(),     ui->maxX->text().toDouble(),     ui->stepX->text().toDouble(),
        ui->minY->text().toDouble(),     ui->maxY->text().toDouble(),     ui->stepY->text().toDouble(),
        ui->minZ->text().toDouble(),     ui->maxZ->text().toDouble(),     ui->stepZ->text().toDouble(),
        ui->minSigma->text().toDouble(), ui->maxSigma->text().toDouble()};
    close();
    if (params[2] > 0 && params[5] > 0 && params[8] > 0)
        emit params_selected(params);
    else
        interaction()->error(QStringLiteral("Step must be positive"));
}

void NewModelWindow::on_Cancelbutton_clicked()
{
    close();
}
