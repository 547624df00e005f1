#include "engine/inversion_parameters.h"

#include "app/interaction.h"
#include "common/int_conversion.h"
#include "common/text_numbers.h"
#include "engine/inversion.h"
#include "ui_inversion_parameters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QIcon>
#include <QPalette>

#include <cmath>

namespace {

// The shortest text that reads back to the same number: a record shown and
// sent back unchanged is the record given.
QString number_text(double v) { return text_numbers::field_text(v); }

// A density limit: "*" (blanks around it ignored) means no limit on that
// side, and so does a field left empty: a bound the user did not give must
// not clamp the densities to 0.
double limit_value(const QString& text, double open_value)
{
    const QString t = text.simplified();
    if (t.isEmpty() || t == QLatin1String("*"))
        return open_value;
    return t.toDouble();
}

void set_combo_index(QComboBox* box, double value)
{
    const int index = saturating_int(value);
    // An index the box does not have keeps the current choice, so that a
    // damaged record cannot leave a box without a choice (index -1).
    if (index >= 0 && index < box->count())
        box->setCurrentIndex(index);
}

} // namespace

inversion_parameters::inversion_parameters(QWidget* parent)
    : QDialog(parent), ui(new Ui::inversion_parameters)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/Images/logo_earth.png")));

    // Options of other inversion kinds that this program does not offer.
    for (QWidget* w : {static_cast<QWidget*>(ui->fitting_data_type), static_cast<QWidget*>(ui->fitting_type_label),
                       static_cast<QWidget*>(ui->smooth_label), static_cast<QWidget*>(ui->use_smooth_checkbox),
                       static_cast<QWidget*>(ui->filter_type_list), static_cast<QWidget*>(ui->filter_param_label),
                       static_cast<QWidget*>(ui->input_filter_param), static_cast<QWidget*>(ui->use_polygons),
                       static_cast<QWidget*>(ui->use_polygons_label),
                       static_cast<QWidget*>(ui->use_mass_centrums_label),
                       static_cast<QWidget*>(ui->use_mass_centums_checkbox),
                       static_cast<QWidget*>(ui->mass_centrum_width_label),
                       static_cast<QWidget*>(ui->mass_centrum_width_value), static_cast<QWidget*>(ui->den),
                       static_cast<QWidget*>(ui->input_den), static_cast<QWidget*>(ui->initial_level_value),
                       static_cast<QWidget*>(ui->initial_level_label),
                       static_cast<QWidget*>(ui->initial_level_checkbox)})
        w->hide();
    ui->setLogDir->setMinimumWidth(20);
    ui->setLogDir->setMaximumWidth(30);
    ui->setLogDir->resize(30, ui->setLogDir->height());
    ui->tabWidget->setCurrentIndex(0);

    // The texts and the language agree from the start.
    setLanguage(lang);
}

inversion_parameters::~inversion_parameters()
{
    delete ui;
}

void inversion_parameters::setLanguage(int language)
{
    lang = language;
    if (language == 1) {
        setWindowTitle("Inversion parameters");
        ui->gridInversion->setText("Grid");
        ui->lateralInversion->setText("Lateral");
        ui->polygonalInversion->setText("Layers");
        ui->tabWidget->setTabText(0, "Main");
        ui->tabWidget->setTabText(1, "Regularization");
        ui->tabWidget->setTabText(2, "Additional");
        ui->N_iter->setText("\nIter. count\n");
        ui->alpha_pow->setText("\nDepth power\n");
        ui->den->setText("Effective density");
        ui->positive_density->setText("\nPositive density\n");
        ui->standard_reg_label->setText("\nStandard regularization\n");
        ui->c_reg->setText("Reg. parameter");
        ui->type->setText("Reg. type");
        ui->reg_type->setItemText(2, "Focusing");
        ui->reg_type->setItemText(3, "Aprior density");
        ui->accounting_prior_label->setText("\nPrior data accounting\n");
        ui->use_uploaded_reg_label->setText("Uploaded regularizer");
        ui->use_init_model_label->setText("Init model - regularizer");
        ui->alpha->setText("Step scale");
        ui->fitting_type_label->setText("Use field");
        ui->fitting_data_type->setItemText(0, "Full");
        ui->fitting_data_type->setItemText(1, "Residual");
        ui->smooth_label->setText("Smooth");
        ui->filter_type_list->setItemText(0, "Gaussian");
        ui->filter_type_list->setItemText(1, "Moving average");
        ui->filter_type_list->setItemText(2, "Exponential moving average");
        ui->filter_param_label->setText("Filter width, m");
        ui->initial_level_label->setText("Gravity mean level");
        ui->use_polygons_label->setText("Invert inside polygons");
        ui->use_mass_centrums_label->setText("Use mass centrum lines");
        ui->mass_centrum_width_label->setText("Line width");
        ui->den_limits_label->setText("Density limits");
        ui->logFileLabel->setText("Save intermediate results");
        ui->ok_button->setText("OK");
        ui->cancel_button->setText("Cancel");
    } else if (language == 0) {
        setWindowTitle(QString::fromUtf8("Параметры инверсии"));
        ui->gridInversion->setText(QString::fromUtf8("Грид"));
        ui->lateralInversion->setText(QString::fromUtf8("Латеральная"));
        ui->polygonalInversion->setText(QString::fromUtf8("Слои"));
        ui->tabWidget->setTabText(0, QString::fromUtf8("Основные"));
        ui->tabWidget->setTabText(1, QString::fromUtf8("Регуляризация"));
        ui->tabWidget->setTabText(2, QString::fromUtf8("Дополнительные"));
        ui->N_iter->setText(QString::fromUtf8("\nКол-во итераций\n"));
        ui->alpha_pow->setText(QString::fromUtf8("\nГлубинный индекс\n"));
        ui->den->setText(QString::fromUtf8("Изб. плотность"));
        ui->positive_density->setText(QString::fromUtf8("\nПоложительная плотность\n"));
        ui->standard_reg_label->setText(QString::fromUtf8("\nСтандартная регуляризация\n"));
        ui->c_reg->setText(QString::fromUtf8("Параметр регуляризации"));
        ui->type->setText(QString::fromUtf8("Тип регуляризации"));
        ui->reg_type->setItemText(2, QString::fromUtf8("Фокусировка"));
        ui->reg_type->setItemText(3, QString::fromUtf8("Априорная изб. плотность"));
        ui->accounting_prior_label->setText(QString::fromUtf8("\nУчет априорных данных\n"));
        ui->use_uploaded_reg_label->setText(QString::fromUtf8("Загруженный регуляризатор"));
        ui->use_init_model_label->setText(QString::fromUtf8("Начальная модель - регуляризатор"));
        ui->alpha->setText(QString::fromUtf8("Масштаб шага"));
        ui->fitting_type_label->setText(QString::fromUtf8("Подбор по"));
        ui->fitting_data_type->setItemText(0, QString::fromUtf8("Полному полю"));
        ui->fitting_data_type->setItemText(1, QString::fromUtf8("Остаточному полю"));
        ui->smooth_label->setText(QString::fromUtf8("Сглаживание"));
        ui->filter_type_list->setItemText(0, QString::fromUtf8("Фильтр Гаусса"));
        ui->filter_type_list->setItemText(1, QString::fromUtf8("Скользящее среднее"));
        ui->filter_type_list->setItemText(2, QString::fromUtf8("Экспоненциальное среднее"));
        ui->filter_param_label->setText(QString::fromUtf8("Ширина фильтра, м"));
        ui->initial_level_label->setText(QString::fromUtf8("Средний уровень поля"));
        ui->use_polygons_label->setText(QString::fromUtf8("Подбор внутри блоков"));
        ui->use_mass_centrums_label->setText(QString::fromUtf8("Линии центров масс"));
        ui->mass_centrum_width_label->setText(QString::fromUtf8("Ширина полосы"));
        ui->den_limits_label->setText(QString::fromUtf8("Ограничение плотности"));
        ui->logFileLabel->setText(QString::fromUtf8("Сохранять промежуточные результаты"));
        ui->ok_button->setText("OK");
        ui->cancel_button->setText(QString::fromUtf8("Отмена"));
    }
    // A warning raised while the form was filled follows the language.
    update_step_warning();
}

void inversion_parameters::set_uploaded_reg_available(bool available)
{
    if (!available)
        ui->use_uploaded_reg_checkbox->setChecked(false);
    ui->use_uploaded_reg_checkbox->setEnabled(available);
    uploaded_reg_available = available;
}

void inversion_parameters::set_previous_params(std::vector<double> params)
{
    using namespace inversion_record;
    if (params.size() < record_size)
        return;
    for (size_t i = 0; i < record_size; ++i) {
        const double v = params[i];
        switch (i) {
        case iterations:
            ui->input_N_iter->setText(QString::number(saturating_int(v), 10));
            break;
        case step_scale:
            ui->input_alpha->setText(number_text(v));
            break;
        case regularization_parameter:
            ui->input_c->setText(number_text(v));
            break;
        case depth_power:
            ui->input_power->setText(number_text(v));
            break;
        case regularization_type:
            set_combo_index(ui->reg_type, v);
            break;
        case effective_density:
            ui->input_den->setText(number_text(v));
            break;
        case positive_density:
            ui->positive_checkbox->setChecked(v != 0);
            break;
        case use_polygons:
            ui->use_polygons->setChecked(v != 0);
            break;
        case fitted_data_type:
            set_combo_index(ui->fitting_data_type, v);
            break;
        case smoothing_on:
            ui->use_smooth_checkbox->setChecked(v != 0);
            ui->filter_type_list->setEnabled(saturating_int(v) != 0);
            ui->input_filter_param->setEnabled(saturating_int(v) != 0);
            break;
        case filter_type:
            set_combo_index(ui->filter_type_list, v);
            break;
        case filter_width:
            ui->input_filter_param->setText(number_text(v));
            break;
        case mass_centre_lines_on:
            ui->use_mass_centums_checkbox->setChecked(v != 0);
            break;
        case initial_level_on:
            ui->initial_level_checkbox->setChecked(v != 0);
            break;
        case initial_level:
            ui->initial_level_value->setText(number_text(v));
            break;
        case mass_centre_line_width:
            ui->mass_centrum_width_value->setText(number_text(v));
            break;
        case use_initial_model:
            ui->use_init_model_checkbox->setChecked(v != 0);
            break;
        case kind:
            if (v == 1)
                ui->gridInversion->setChecked(true);
            else if (v == 2)
                ui->lateralInversion->setChecked(true);
            else
                ui->polygonalInversion->setChecked(true);
            break;
        case initial_regularizer_type:
            set_combo_index(ui->init_reg_type, v);
            break;
        case density_limits_on:
            ui->den_limits_checkbox->setChecked(v != 0);
            break;
        case lower_limit:
            ui->den_limits_min->setText(v <= -open_limit ? QStringLiteral("*") : number_text(v));
            break;
        case upper_limit:
            ui->den_limits_max->setText(v >= open_limit ? QStringLiteral("*") : number_text(v));
            break;
        case use_uploaded_regularizer:
            ui->use_uploaded_reg_checkbox->setChecked(v != 0);
            break;
        case sign_constraint_on:
            ui->sign_account_checkbox->setChecked(v != 0);
            break;
        case sign_constraint_type:
            set_combo_index(ui->sign_account_type, v);
            break;
        case sign_source:
            set_combo_index(ui->sign_account_data_type, v);
            break;
        case power_schedule:
            set_combo_index(ui->power_type, v);
            ui->input_final_power->setEnabled(v != 0);
            break;
        case final_power:
            ui->input_final_power->setText(number_text(v));
            break;
        default:
            break;
        }
    }
}

void inversion_parameters::set_memory(double mem, double available_mem)
{
    const QString lead = lang != 0 ? QStringLiteral("You need ≈ ") : QString::fromUtf8("Необходимо ≈ ");
    ui->memory_label->setText(lead + QString::number(mem, 'f', 3) + QStringLiteral("GB RAM"));
    ui->memory_label->setStyleSheet(mem > available_mem ? QStringLiteral("QLabel { background-color : red}")
                                                        : QStringLiteral("QLabel { background-color : white}"));
    QCoreApplication::processEvents();
}

void inversion_parameters::set_memory_need(std::function<double(const std::vector<double>&, bool)> need,
                                           double available_mem)
{
    const bool first = !memory_need;
    memory_need = std::move(need);
    available_memory = available_mem;
    if (first) {
        // Every field of the form may change the run's need.
        for (QCheckBox* box : findChildren<QCheckBox*>())
            connect(box, &QCheckBox::toggled, this, &inversion_parameters::update_memory);
        for (QRadioButton* button : findChildren<QRadioButton*>())
            connect(button, &QRadioButton::toggled, this, &inversion_parameters::update_memory);
        for (QComboBox* list : findChildren<QComboBox*>())
            connect(list, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                    &inversion_parameters::update_memory);
        for (QLineEdit* field : findChildren<QLineEdit*>())
            connect(field, &QLineEdit::textChanged, this, &inversion_parameters::update_memory);
    }
    update_memory();
}

void inversion_parameters::update_memory()
{
    if (memory_need)
        set_memory(memory_need(current_record(), ui->log_checkbox->isChecked()), available_memory);
}

void inversion_parameters::set_log_dir(QString& dir, bool save_log)
{
    log_dir = dir.isEmpty() ? QDir::currentPath() : dir;
    ui->log_checkbox->setChecked(save_log);
    ui->logDirLabel->setText(log_dir);
}

std::vector<double> inversion_parameters::current_record() const
{
    using namespace inversion_record;
    std::vector<double> p(record_size, 0.0);
    bool ok = false;
    const int n = ui->input_N_iter->text().toInt(&ok, 10);
    p[iterations] = std::max(1, ok ? n : 0);
    p[step_scale] = ui->input_alpha->text().toDouble();
    p[regularization_parameter] = ui->input_c->text().toDouble();
    p[depth_power] = ui->input_power->text().toDouble();
    p[regularization_type] = ui->reg_type->currentIndex();
    p[effective_density] = ui->input_den->text().toDouble();
    p[positive_density] = ui->positive_checkbox->isChecked() ? 1 : 0;
    p[use_polygons] = ui->use_polygons->isChecked() ? 1 : 0;
    p[fitted_data_type] = ui->fitting_data_type->currentIndex();
    p[smoothing_on] = ui->use_smooth_checkbox->isChecked() ? 1 : 0;
    p[filter_type] = ui->filter_type_list->currentIndex();
    p[filter_width] = ui->input_filter_param->text().toDouble();
    p[mass_centre_lines_on] = ui->use_mass_centums_checkbox->isChecked() ? 1 : 0;
    p[initial_level_on] = ui->initial_level_checkbox->isChecked() ? 1 : 0;
    p[initial_level] = ui->initial_level_value->text().toDouble();
    p[mass_centre_line_width] = ui->mass_centrum_width_value->text().toDouble();
    p[use_initial_model] = ui->use_init_model_checkbox->isChecked() ? 1 : 0;
    p[kind] = ui->lateralInversion->isChecked() ? kind_lateral
              : ui->polygonalInversion->isChecked() ? kind_layered
                                                    : kind_grid;
    p[initial_regularizer_type] = ui->init_reg_type->currentIndex();
    p[density_limits_on] = ui->den_limits_checkbox->isChecked() ? 1 : 0;
    p[lower_limit] = limit_value(ui->den_limits_min->text(), -open_limit);
    p[upper_limit] = limit_value(ui->den_limits_max->text(), open_limit);
    p[use_uploaded_regularizer] = ui->use_uploaded_reg_checkbox->isChecked() ? 1 : 0;
    p[sign_constraint_on] = ui->sign_account_checkbox->isChecked() ? 1 : 0;
    p[sign_constraint_type] = ui->sign_account_type->currentIndex();
    p[sign_source] = ui->sign_account_data_type->currentIndex();
    p[power_schedule] = ui->power_type->currentIndex();
    p[final_power] = ui->input_final_power->text().toDouble();
    return p;
}

void inversion_parameters::on_ok_button_clicked()
{
    const std::vector<double> record = current_record();
    close();
    emit set_log_params(log_dir, ui->log_checkbox->isChecked());
    if (ui->gridInversion->isChecked())
        emit inv_params(record);
    else if (ui->polygonalInversion->isChecked())
        emit polygonal_inv_params(record);
    else
        emit polygonal_inv_grid_params(record);
}

void inversion_parameters::on_cancel_button_clicked()
{
    close();
}

void inversion_parameters::set_log_widgets_enabled(bool enabled)
{
    ui->log_checkbox->setEnabled(enabled);
    ui->logDirLabel->setEnabled(enabled);
    ui->setLogDir->setEnabled(enabled);
}

void inversion_parameters::on_gridInversion_toggled(bool checked)
{
    if (checked) {
        ui->use_smooth_checkbox->setEnabled(false);
        ui->filter_type_list->setEnabled(false);
        ui->input_filter_param->setEnabled(false);
    }
    ui->use_polygons->setEnabled(checked);
    ui->use_mass_centums_checkbox->setEnabled(checked);
    ui->use_init_model_checkbox->setEnabled(checked);
    ui->init_reg_type->setEnabled(checked);
    ui->den_limits_checkbox->setEnabled(checked);
    ui->sign_account_checkbox->setEnabled(checked);
    ui->sign_account_type->setEnabled(checked);
    ui->use_uploaded_reg_checkbox->setEnabled(checked && uploaded_reg_available);
    set_log_widgets_enabled(!ui->polygonalInversion->isChecked());
}

void inversion_parameters::on_lateralInversion_toggled(bool checked)
{
    ui->input_power->setEnabled(!checked);
    ui->alpha_pow->setEnabled(!checked);
    ui->reg_type->setEnabled(!checked);
    ui->type->setEnabled(!checked);
    ui->input_den->setEnabled(!checked);
    ui->use_smooth_checkbox->setEnabled(checked);
    ui->filter_type_list->setEnabled(checked && ui->use_smooth_checkbox->isChecked());
    ui->input_filter_param->setEnabled(checked);
    ui->sign_account_checkbox->setEnabled(!checked);
    ui->sign_account_type->setEnabled(!checked);
    set_log_widgets_enabled(!ui->polygonalInversion->isChecked());
}

void inversion_parameters::on_polygonalInversion_toggled(bool checked)
{
    ui->input_power->setEnabled(!checked);
    ui->alpha_pow->setEnabled(!checked);
    ui->reg_type->setEnabled(!checked);
    ui->type->setEnabled(!checked);
    ui->input_den->setEnabled(!checked);
    ui->positive_density->setVisible(!checked);
    ui->positive_checkbox->setVisible(!checked);
    ui->sign_account_checkbox->setEnabled(!checked);
    ui->sign_account_type->setEnabled(!checked);
}

void inversion_parameters::on_reg_type_currentIndexChanged(int index)
{
    const bool shown = index == 2 || index == 3;
    ui->den->setVisible(shown);
    ui->input_den->setVisible(shown);
}

void inversion_parameters::on_power_type_currentIndexChanged(int index)
{
    ui->input_final_power->setEnabled(index != 0);
}

void inversion_parameters::on_use_smooth_checkbox_stateChanged(int state)
{
    ui->filter_type_list->setEnabled(state != 0);
    ui->input_filter_param->setEnabled(state != 0);
}

void inversion_parameters::on_initial_level_checkbox_stateChanged(int state)
{
    ui->initial_level_value->setEnabled(state != 0);
}

void inversion_parameters::on_den_limits_checkbox_stateChanged(int state)
{
    ui->den_limits_min->setEnabled(state != 0);
    ui->den_limits_max->setEnabled(state != 0);
}

void inversion_parameters::on_input_alpha_textChanged(QString)
{
    update_step_warning();
}

void inversion_parameters::update_step_warning()
{
    const bool warn = ui->input_alpha->text().toDouble() > 1.0;
    QPalette palette = ui->input_alpha->palette();
    palette.setColor(QPalette::Base, warn ? Qt::red : Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    ui->input_alpha->setPalette(palette);
    if (!warn)
        ui->warning->clear();
    else if (lang != 0)
        ui->warning->setText(QStringLiteral("Inversion can fall apart. Use step value ≤ 1."));
    else
        ui->warning->setText(QString::fromUtf8("Возможно расхождение результатов. Испоьзуйте значения ≤ 1."));
}

void inversion_parameters::on_setLogDir_clicked()
{
    const QString dir = interaction()->existingDirectory(this, QStringLiteral("Save file"), QString());
    if (dir.isEmpty())
        return;
    log_dir = dir;
    ui->logDirLabel->setText(log_dir);
}

void inversion_parameters::on_sign_account_data_type_currentIndexChanged(int) {}
