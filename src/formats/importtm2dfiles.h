#pragma once
// Lists chosen project files of the 2D modelling product ("*.TM2Dproj"):
// one table row per file with editable profile end coordinates, and a map
// of the profiles with the rectangle that encloses them in a frame turned by
// an azimuth. The files themselves are never opened. Texts in Russian only.
#include <QDialog>
#include <QStringList>

#include <array>

namespace Ui {
class ImportTM2Dfiles;
}

class ImportTM2Dfiles : public QDialog {
    Q_OBJECT

public:
    explicit ImportTM2Dfiles(QWidget* parent = nullptr);
    ~ImportTM2Dfiles() override;

    // Row count of the file table.
    void setFilesCount(int n);
    // Row i: X0 = i, Y0 = -i, X1 = i + 1, Y1 = 1 - i (editable placeholders of
    // the profile's ends) and the file's base name (not editable). Rows are
    // added when there are more files than rows.
    void setFiles(const QStringList& files);

    // Extent of the profile end points at the last drawing of the map:
    // {x min, x max, y min, y max}.
    std::array<double, 4> extent() const { return extent_; }

private slots:
    void on_OkButton_clicked();
    void on_CancelButton_clicked();
    // Draws the map when the map tab becomes current and the table has rows.
    void on_tabWidget_currentChanged(int index);
    // Draws the map.
    void on_pushButton_clicked();

private:
    Ui::ImportTM2Dfiles* ui;
    std::array<double, 4> extent_{{0, 0, 0, 0}};
};
