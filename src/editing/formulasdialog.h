#pragma once
// The per-layer velocity-to-density formulas: one row per layer with the
// layer's name, the formula type and up to three parameters (or a script
// expression of Vp, Vs and h in the first field).
#include <QDialog>
#include <QString>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;

namespace Ui {
class FormulasDialog;
}

class FormulasDialog : public QDialog {
    Q_OBJECT

public:
    explicit FormulasDialog(QWidget* parent = nullptr);
    ~FormulasDialog() override;

    // 0 Russian, any other value English (the combo-box items and buttons).
    void setLanguage(int lang);
    void setLayersNames(const std::vector<QString>& names);
    // The last confirmed content: type codes and the a, b and c texts.
    void setFormulas(const std::vector<int>& types, const std::vector<QString>& a, const std::vector<QString>& b,
                     const std::vector<QString>& c);
    // Builds `count` rows from the stored names and formulas.
    void addFormulaRows(int count);

    int rowCount() const { return rows_count; }

signals:
    // Type codes, a-texts, b-texts, c-texts, one entry per row in row order;
    // emitted after OK has closed the dialog.
    void formulasSelected(std::vector<int>& indices, std::vector<QString>& formulas, std::vector<QString>& lines2,
                          std::vector<QString>& lines3);

public slots:
    // Shows the fields of the sending row's new formula type.
    void formulaChanged(int index);
    // Shows the fields of every row's current type.
    void checkAllFields();

private slots:
    void on_OkButton_clicked();
    void on_CancelButton_clicked();
    void on_ImportFormulas_clicked();

private:
    struct Row {
        QLabel* name = nullptr;
        QComboBox* type = nullptr;
        QLineEdit* a = nullptr;
        QLineEdit* b = nullptr;
        QLineEdit* c = nullptr;
        QLabel* hint = nullptr;
    };
    void applyFieldRule(const Row& row, int type);
    QStringList typeItems() const;

    Ui::FormulasDialog* ui;
    int language = 0;
    int rows_count = 0;
    std::vector<QString> layers_names;
    std::vector<int> types;
    std::vector<QString> a_texts, b_texts, c_texts;
    std::vector<Row> rows;
};
