#pragma once
// The table of layer statistics: minimum, maximum and mean density of every
// layer and of the whole grid. Ctrl+C copies the selected cells as
// tab-separated text, one line per table row.
#include <QDialog>
#include <QString>

#include <vector>

class QKeyEvent;

namespace Ui {
class StatisticsDialog;
}

class StatisticsDialog : public QDialog {
    Q_OBJECT

public:
    explicit StatisticsDialog(QWidget* parent = nullptr);
    ~StatisticsDialog() override;

    // One row per record {min, max, mean} with the name of the same index.
    // Nothing happens for no records or a first record of fewer than three values.
    void setData(const std::vector<std::vector<double>>& stats, const std::vector<QString>& names);
    // 0 Russian, any other value English.
    void setLanguage(int lang);

    // The text Ctrl+C puts on the clipboard: per row, every selected cell's
    // text followed by a tab, then a line end.
    QString selectionText() const;

    // Key presses on the table reach keyPressSlot too; Ctrl+C there copies
    // the whole selection instead of the table's current cell.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // Takes the place of the dialog's own key handling.
    void keyPressEvent(QKeyEvent* e);

public slots:
    void keyPressSlot(QKeyEvent* e);

private:
    void fitColumns();

    Ui::StatisticsDialog* ui;
};
