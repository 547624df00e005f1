#include "editing/horizonswindow.h"

#include "app/interaction.h"
#include "app/texts.h"
#include "editing/layers.h"
#include "ui_horizonswindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidgetItem>

HorizonsWindow::HorizonsWindow(QWidget* parent) : QDialog(parent), ui(new Ui::HorizonsWindow)
{
    ui->setupUi(this);
    connect(this, SIGNAL(keyPressEvent(QKeyEvent*)), this, SLOT(keyPressSlot(QKeyEvent*)));
    ui->recalc_grid->hide();
}

HorizonsWindow::~HorizonsWindow()
{
    delete ui;
}

void HorizonsWindow::setLanguage(int lang)
{
    language = lang;
    static const char* const russian[ColumnCount] = {
        "Имя слоя", "Плотность", "Фиксировать", "Заполнить плотностью", "Импорт плотности",
        "Экспорт плотности\n(кровля)", "Экспорт плотности\n(центр)", "Экспорт плотности\n(верт. среднее)"};
    static const char* const english[ColumnCount] = {
        "Layer's name", "Density", "Fix density", "Fill density", "Import density",
        "Export density\n(top)", "Export density\n(center)", "Export density\n(vertical mean)"};
    for (int c = 0; c < ColumnCount && c < ui->denTable->columnCount(); ++c) {
        QTableWidgetItem* header = ui->denTable->horizontalHeaderItem(c);
        if (!header) {
            header = new QTableWidgetItem;
            ui->denTable->setHorizontalHeaderItem(c, header);
        }
        header->setText(byLanguage(language, russian[c], english[c]));
    }
    ui->Cancelbutton->setText(byLanguage(language, "Отмена", "Cancel"));
    setWindowTitle(byLanguage(language, "Слои", "Layers"));
    ui->denTable->resizeColumnsToContents();
}

void HorizonsWindow::setLayers(const std::vector<double>& densities, const std::vector<bool>& fixed)
{
    const int rows = static_cast<int>(densities.size());
    setRowCount(rows);
    const QString fill = byLanguage(language, "Заполнить", "Fill");
    const QString load = byLanguage(language, "Загрузить", "Import");
    const QString save = byLanguage(language, "Сохранить", "Export");
    for (int i = 0; i < rows; ++i) {
        setItem(i, NameColumn, new QTableWidgetItem(QString::number(i + 1)));
        setItem(i, DensityColumn, new QTableWidgetItem(QString::number(densities[i], 'g', 6)));
        auto* flag = new QTableWidgetItem;
        flag->setCheckState(i < static_cast<int>(fixed.size()) && fixed[i] ? Qt::Checked : Qt::Unchecked);
        setItem(i, FixedColumn, flag);
        setCellButton(i, FillColumn, fill);
        setCellButton(i, ImportColumn, load);
        setCellButton(i, ExportTopColumn, save);
        setCellButton(i, ExportCentralColumn, save);
        setCellButton(i, ExportMeanColumn, save);
    }
}

void HorizonsWindow::setNames(std::vector<QString> names)
{
    if (static_cast<int>(names.size()) > rowCount())
        return;
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        if (QTableWidgetItem* cell = item(i, NameColumn))
            cell->setText(names[i]);
        else
            setItem(i, NameColumn, new QTableWidgetItem(names[i]));
    }
}

void HorizonsWindow::setCellButton(int row, int column, QString text)
{
    if (row < 0 || column < 0 || row >= ui->denTable->rowCount() || column >= ui->denTable->columnCount())
        return;
    auto* cell = new QWidget;
    auto* layout = new QHBoxLayout(cell);
    auto* button = new QPushButton(text, cell);
    button->setAutoDefault(false);
    layout->addWidget(button);
    layout->setAlignment(Qt::AlignCenter);
    layout->setContentsMargins(0, 0, 0, 0);
    connect(button, SIGNAL(clicked()), this, SLOT(onButtonClicked()));
    ui->denTable->setCellWidget(row, column, cell);
}

void HorizonsWindow::setRowCount(int rows)
{
    ui->denTable->setRowCount(rows < 0 ? 0 : rows);
}

int HorizonsWindow::rowCount() const
{
    return ui->denTable->rowCount();
}

void HorizonsWindow::setItem(int row, int column, QTableWidgetItem* cell)
{
    if (row < 0 || column < 0 || row >= ui->denTable->rowCount() || column >= ui->denTable->columnCount()) {
        delete cell;
        return;
    }
    ui->denTable->setItem(row, column, cell);
}

QTableWidgetItem* HorizonsWindow::item(int row, int column) const
{
    return ui->denTable->item(row, column);
}

void HorizonsWindow::setSendCheck(std::function<bool(int)> check)
{
    send_check = std::move(check);
}

bool HorizonsWindow::maySend() const
{
    return !send_check || send_check(rowCount());
}

double HorizonsWindow::densityAt(int row) const
{
    const QTableWidgetItem* cell = item(row, DensityColumn);
    if (!cell || cell->text().isEmpty())
        return 0.0;
    return cell->text().toDouble();
}

std::vector<double> HorizonsWindow::densities() const
{
    std::vector<double> out;
    for (int i = 0; i < rowCount(); ++i)
        out.push_back(densityAt(i));
    return out;
}

std::vector<bool> HorizonsWindow::fixedFlags() const
{
    std::vector<bool> out;
    for (int i = 0; i < rowCount(); ++i) {
        const QTableWidgetItem* cell = item(i, FixedColumn);
        out.push_back(cell && cell->checkState() != Qt::Unchecked);
    }
    return out;
}

std::vector<QString> HorizonsWindow::names() const
{
    std::vector<QString> out;
    for (int i = 0; i < rowCount(); ++i) {
        const QTableWidgetItem* cell = item(i, NameColumn);
        out.push_back(cell ? layers::storable_name(cell->text()) : QString());
    }
    return out;
}

void HorizonsWindow::on_OKbutton_clicked()
{
    const std::vector<double> dens = densities();
    const std::vector<bool> flags = fixedFlags();
    const std::vector<QString> layer_names = names();
    if (!maySend())
        return;
    close();
    emit dens_edited_norecalc(dens);
    emit set_fixed(flags);
    emit names_edited(layer_names);
}

void HorizonsWindow::on_Cancelbutton_clicked()
{
    close();
}

void HorizonsWindow::on_recalc_grid_clicked()
{
    const std::vector<double> dens = densities();
    const std::vector<bool> flags = fixedFlags();
    if (!maySend())
        return;
    emit dens_edited(dens);
    emit set_fixed(flags);
}

void HorizonsWindow::on_denTable_cellClicked(int, int) {}

void HorizonsWindow::keyPressSlot(QKeyEvent* e)
{
    if (!e || e->key() != Qt::Key_Delete)
        return;
    const int row = ui->denTable->currentRow();
    if (row <= 0 || row >= rowCount())
        return;
    if (!maySend())
        return;
    const QMessageBox::StandardButton answer = interaction()->question(
        QStringLiteral("Tolmera3D"),
        byLanguage(language, "Вы уверен, что хотите удалить слой?", "Are you sure you want to delete layer"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No, this);
    if (answer != QMessageBox::Yes)
        return;
    ui->denTable->removeRow(row);
    emit delete_horizon(row);
}

void HorizonsWindow::onButtonClicked()
{
    QObject* button = sender();
    auto* cell = button ? qobject_cast<QWidget*>(button->parent()) : nullptr;
    if (!cell)
        return;
    int row = -1, column = -1;
    for (int r = 0; r < rowCount() && row < 0; ++r)
        for (int c = 0; c < ui->denTable->columnCount(); ++c)
            if (ui->denTable->cellWidget(r, c) == cell) {
                row = r;
                column = c;
                break;
            }
    if (row < 0)
        return;
    switch (column) {
    case FillColumn: {
        const double value = densityAt(row);
        if (maySend())
            emit set_constant_density(row, value);
        break;
    }
    case ImportColumn:
        if (maySend())
            emit load_horizon_density(row);
        break;
    case ExportTopColumn:
        if (maySend())
            emit export_horizon_density(row);
        break;
    case ExportCentralColumn:
        if (maySend())
            emit export_horizon_density_central(row);
        break;
    case ExportMeanColumn:
        if (maySend())
            emit export_horizon_density_vert_mean(row);
        break;
    default:
        break;
    }
}
