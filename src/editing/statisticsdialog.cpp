#include "editing/statisticsdialog.h"

#include "common/text_numbers.h"
#include "ui_statisticsdialog.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTableWidgetItem>

namespace {

// A statistic of single-precision cells: a value that is a float is shown
// with the digits the cells have (2.4, not 2.4000000953674316); any other
// with the shortest text that reads back to it. Copied with Ctrl+C, the
// text gives back the number itself.
QString statisticText(double v)
{
    if (std::isfinite(v) && double(float(v)) == v)
        return text_numbers::field_text(text_numbers::decimal_value(float(v)));
    return text_numbers::field_text(v);
}

}  // namespace

StatisticsDialog::StatisticsDialog(QWidget* parent) : QDialog(parent), ui(new Ui::StatisticsDialog)
{
    ui->setupUi(this);
    connect(this, SIGNAL(keyPressEvent(QKeyEvent*)), this, SLOT(keyPressSlot(QKeyEvent*)));
    ui->tableWidget->installEventFilter(this);
}

bool StatisticsDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->tableWidget && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        emit keyPressEvent(key);
        return key->key() == Qt::Key_C && key->modifiers() == Qt::ControlModifier;
    }
    return QDialog::eventFilter(watched, event);
}

StatisticsDialog::~StatisticsDialog()
{
    delete ui;
}

void StatisticsDialog::setData(const std::vector<std::vector<double>>& stats, const std::vector<QString>& names)
{
    if (stats.empty() || stats.front().size() < 3)
        return;
    ui->tableWidget->setRowCount(static_cast<int>(stats.size()));
    for (std::size_t j = 0; j < stats.size(); ++j) {
        const int row = static_cast<int>(j);
        ui->tableWidget->setItem(row, 0, new QTableWidgetItem(j < names.size() ? names[j] : QString()));
        for (int c = 0; c < 3; ++c) {
            const QString value = std::size_t(c) < stats[j].size() ? statisticText(stats[j][std::size_t(c)])
                                                                  : QString();
            ui->tableWidget->setItem(row, c + 1, new QTableWidgetItem(value));
        }
    }
    fitColumns();
}

// Every column as wide as its longest text or header, so that no value is
// shortened to "2...."; a table wider than the window scrolls.
void StatisticsDialog::fitColumns()
{
    ui->tableWidget->resizeColumnsToContents();
}

void StatisticsDialog::setLanguage(int lang)
{
    const bool english = lang != 0;
    setWindowTitle(english ? QStringLiteral("Statistics") : QString::fromUtf8("Статистика"));
    const char* english_headers[4] = {"Layer's name", "Min", "Max", "Mean"};
    const char* russian_headers[4] = {"Имя слоя", "Минимум", "Максимум", "Среднее"};
    for (int c = 0; c < 4; ++c) {
        QTableWidgetItem* header = ui->tableWidget->horizontalHeaderItem(c);
        if (!header) {
            header = new QTableWidgetItem;
            ui->tableWidget->setHorizontalHeaderItem(c, header);
        }
        header->setText(QString::fromUtf8(english ? english_headers[c] : russian_headers[c]));
    }
    fitColumns();
}

QString StatisticsDialog::selectionText() const
{
    QString text;
    const QTableWidget* table = ui->tableWidget;
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            if (item && item->isSelected())
                text += item->text() + QLatin1Char('\t');
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void StatisticsDialog::keyPressSlot(QKeyEvent* e)
{
    if (!e || e->key() != Qt::Key_C || e->modifiers() != Qt::ControlModifier)
        return;
    QApplication::clipboard()->setText(selectionText(), QClipboard::Clipboard);
}
