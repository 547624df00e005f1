#pragma once
// The layers table: a modeless window with one row per layer of the
// layered model (name, density, fixed flag) and five buttons per row that
// fill the layer with the typed density, import a lateral density map for
// it and export its three layer maps. It keeps its own copy of the rows
// taken when it was opened and talks back only through its signals.
#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QKeyEvent;
class QTableWidgetItem;

namespace Ui {
class HorizonsWindow;
}

class HorizonsWindow : public QDialog {
    Q_OBJECT

public:
    // Columns of the table.
    enum Column {
        NameColumn = 0,
        DensityColumn = 1,
        FixedColumn = 2,
        FillColumn = 3,
        ImportColumn = 4,
        ExportTopColumn = 5,
        ExportCentralColumn = 6,
        ExportMeanColumn = 7,
        ColumnCount = 8
    };

    explicit HorizonsWindow(QWidget* parent = nullptr);
    ~HorizonsWindow() override;

    // 0 Russian, any other value English: column titles, Cancel, window
    // title and the texts of the cell buttons placed afterwards.
    void setLanguage(int language);
    int currentLanguage() const { return language; }

    // Row i shows layer number i + 1, densities[i] ('g', 6 digits), the
    // flag fixed[i] (unchecked past the end of `fixed`) and the five cell
    // buttons; one row per density.
    void setLayers(const std::vector<double>& densities, const std::vector<bool>& fixed);
    // Writes the names into column 0 when the table has at least as many
    // rows as there are names (an empty name replaces the number).
    void setNames(std::vector<QString> names);
    // A push button centred in the cell (row, column), connected to
    // onButtonClicked; nothing outside the table.
    void setCellButton(int row, int column, QString text);
    void setRowCount(int rows);
    int rowCount() const;
    // Takes ownership of the item; nothing outside the table.
    void setItem(int row, int column, QTableWidgetItem* item);
    QTableWidgetItem* item(int row, int column) const;

    // Asked with the table's row count before anything is sent; when it
    // returns false (having said why) nothing is sent and the rows stay.
    // The main window refuses a table whose rows no longer match the
    // layers, and anything while a run holds the model.
    void setSendCheck(std::function<bool(int rows)> check);

    // What the table holds now: one density per row (unreadable or empty
    // text gives 0), one flag per row (checked or partly checked), one name
    // per row (the text of column 0).
    std::vector<double> densities() const;
    std::vector<bool> fixedFlags() const;
    std::vector<QString> names() const;

signals:
    void dens_edited(std::vector<double> dens);
    void dens_edited_norecalc(std::vector<double> dens);
    void delete_horizon(int n);
    // Takes the place of the widget's key handler.
    void keyPressEvent(QKeyEvent* event);
    void set_fixed(std::vector<bool> fixed);
    void names_edited(std::vector<QString> names);
    void load_horizon_density(int n_hor);
    void export_horizon_density(int n_hor);
    void export_horizon_density_central(int n_hor);
    void export_horizon_density_vert_mean(int n_hor);
    void set_constant_density(int n_hor, double dens);

public slots:
    void on_OKbutton_clicked();
    void on_Cancelbutton_clicked();
    void keyPressSlot(QKeyEvent* e);
    void on_recalc_grid_clicked();
    void on_denTable_cellClicked(int row, int column);
    void onButtonClicked();

private:
    bool maySend() const;
    double densityAt(int row) const;

    Ui::HorizonsWindow* ui;
    int language = 0;
    std::function<bool(int)> send_check;
};
