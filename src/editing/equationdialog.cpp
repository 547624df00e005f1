#include "editing/equationdialog.h"

#include "editing/grid_formula.h"
#include "ui_equationdialog.h"

EquationDialog::EquationDialog(QWidget* parent) : QDialog(parent), ui(new Ui::EquationDialog)
{
    ui->setupUi(this);
}

EquationDialog::~EquationDialog()
{
    delete ui;
}

void EquationDialog::setLanguage(int lang)
{
    language = lang;
    if (lang == 1)
        setWindowTitle(QStringLiteral("Input equation"));
    else if (lang == 0)
        setWindowTitle(QString::fromUtf8("Введите выражение"));
}

void EquationDialog::setAvailableGrids(const vector3D& den, const vector3D& Vp, const vector3D& Vs,
                                       const vector3D& R)
{
    const bool english = language != 0;
    auto variable = [](const char* name, bool fits) {
        return QStringLiteral("<font color='%1'> %2 </font> - ")
            .arg(fits ? QStringLiteral("green") : QStringLiteral("red"), QString::fromLatin1(name));
    };
    auto text = [english](const char* russian, const char* english_text) {
        return QString::fromUtf8(english ? english_text : russian);
    };
    QString label = QStringLiteral("<html> <font color='green'> dens </font> - ");
    label += text("плотность;", "density;");
    label += QStringLiteral("<font color='green'> h </font> - ");
    label += text("глубина;", "depth;");
    label += variable("Vp", grid_formula::grid_fits(Vp, den));
    label += text("скорость Vp;", "velocity Vp;");
    label += variable("Vs", grid_formula::grid_fits(Vs, den));
    label += text("скорость Vs;", "velocity Vs;");
    label += variable("R", grid_formula::grid_fits(R, den));
    label += text("регуляризатор;", "R Vs; </html>");
    ui->label->setText(label);
}

void EquationDialog::on_OKbutton_clicked()
{
    const QString text = ui->lineEdit->text();
    accept();
    emit OKclicked(text);
}

void EquationDialog::on_Cancelbutton_clicked()
{
    close();
}
