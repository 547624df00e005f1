#include "editing/formulasdialog.h"

#include "ui_formulasdialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

FormulasDialog::FormulasDialog(QWidget* parent) : QDialog(parent), ui(new Ui::FormulasDialog)
{
    ui->setupUi(this);
    // Importing formulas from a file is not offered.
    ui->ImportFormulas->hide();
}

FormulasDialog::~FormulasDialog()
{
    delete ui;
}

void FormulasDialog::setLanguage(int lang)
{
    language = lang;
    if (language != 0) {
        ui->CancelButton->setText(QStringLiteral("Cancel"));
        ui->ImportFormulas->setText(QStringLiteral("Import formulas"));
    } else {
        ui->CancelButton->setText(QString::fromUtf8("Отмена"));
        ui->ImportFormulas->setText(QString::fromUtf8("Импорт формул"));
    }
}

void FormulasDialog::setLayersNames(const std::vector<QString>& names)
{
    layers_names = names;
}

void FormulasDialog::setFormulas(const std::vector<int>& t, const std::vector<QString>& a,
                                 const std::vector<QString>& b, const std::vector<QString>& c)
{
    types = t;
    a_texts = a;
    b_texts = b;
    c_texts = c;
}

QStringList FormulasDialog::typeItems() const
{
    if (language != 0)
        return {QStringLiteral("Gradner"), QStringLiteral("Const"), QStringLiteral("Water-saturated"),
                QStringLiteral("Gas-saturated"), QString::fromUtf8("aVp² + bVp + c"), QStringLiteral("Other")};
    return {QString::fromUtf8("Гарднер"), QString::fromUtf8("Константа"), QString::fromUtf8("Водонасыщенные породы"),
            QString::fromUtf8("Газонасыщенные породы"), QString::fromUtf8("aVp² + bVp + c"),
            QString::fromUtf8("Другое")};
}

void FormulasDialog::addFormulaRows(int count)
{
    rows_count = count;
    const QStringList items = typeItems();
    for (int i = 0; i < count; ++i) {
        const std::size_t n = static_cast<std::size_t>(i);
        Row row;
        const bool named = n < layers_names.size() && !layers_names[n].isEmpty();
        row.name = new QLabel(named ? layers_names[n] : QString::number(i + 1), this);
        row.name->setObjectName(QStringLiteral("name_%1").arg(i));

        auto* fields = new QHBoxLayout;
        row.a = new QLineEdit(this);
        row.b = new QLineEdit(this);
        row.c = new QLineEdit(this);
        row.a->setObjectName(QStringLiteral("a_%1").arg(i));
        row.b->setObjectName(QStringLiteral("b_%1").arg(i));
        row.c->setObjectName(QStringLiteral("c_%1").arg(i));
        if (n < a_texts.size())
            row.a->setText(a_texts[n]);
        if (n < b_texts.size())
            row.b->setText(b_texts[n]);
        if (n < c_texts.size())
            row.c->setText(c_texts[n]);
        fields->addWidget(row.a);
        fields->addWidget(row.b);
        fields->addWidget(row.c);

        row.type = new QComboBox(this);
        row.type->setObjectName(QStringLiteral("formula_%1").arg(i));
        row.type->addItems(items);
        if (n < types.size() && types[n] >= 0 && types[n] < items.size())
            row.type->setCurrentIndex(types[n]);

        row.hint = new QLabel(this);
        row.hint->setObjectName(QStringLiteral("hint_%1").arg(i));

        ui->gridLayout->addWidget(row.name, i, 0);
        ui->gridLayout->addWidget(row.type, i, 1);
        ui->gridLayout->addLayout(fields, i, 2);
        ui->gridLayout->addWidget(row.hint, i, 3);
        rows.push_back(row);
        connect(row.type, SIGNAL(currentIndexChanged(int)), this, SLOT(formulaChanged(int)));
    }
    checkAllFields();
}

// a is always shown (disabled for Gardner's formula); b and c only where the
// formula reads them; the hint names the parameters of the two-parameter
// porosity formulas and of the polynomial.
void FormulasDialog::applyFieldRule(const Row& row, int type)
{
    row.a->setVisible(true);
    row.a->setEnabled(type != 0);
    row.b->setVisible(type == 2 || type == 3 || type == 4);
    row.c->setVisible(type == 4);
    if (type == 2 || type == 3) {
        row.hint->setTextFormat(Qt::RichText);
        row.hint->setText(QString::fromUtf8("σ|n<sub>max</sub>"));
    } else if (type == 4) {
        row.hint->setTextFormat(Qt::PlainText);
        row.hint->setText(QStringLiteral("a|b|c"));
    } else {
        row.hint->setText(QString());
    }
}

void FormulasDialog::formulaChanged(int index)
{
    QObject* from = sender();
    for (const Row& row : rows)
        if (row.type == from) {
            applyFieldRule(row, index);
            return;
        }
}

void FormulasDialog::checkAllFields()
{
    for (const Row& row : rows)
        applyFieldRule(row, row.type->currentIndex());
}

void FormulasDialog::on_OkButton_clicked()
{
    std::vector<int> indices;
    std::vector<QString> a, b, c;
    for (const Row& row : rows) {
        indices.push_back(row.type->currentIndex());
        a.push_back(row.a->text());
        b.push_back(row.b->text());
        c.push_back(row.c->text());
    }
    accept();
    emit formulasSelected(indices, a, b, c);
}

void FormulasDialog::on_CancelButton_clicked()
{
    reject();
}

void FormulasDialog::on_ImportFormulas_clicked() {}
