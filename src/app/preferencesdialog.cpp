#include "app/preferencesdialog.h"

#include "common/text_numbers.h"
#include "engine/memory.h"
#include "engine/model_size_estimate.h"
#include "ui_preferencesdialog.h"

#include <CL/opencl.hpp>

#include <QComboBox>
#include <cmath>
#include <limits>
#include <string>
#include <thread>

// The images are compiled into the static GUI library; registering them
// again is harmless.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {

// A record item as an int (truncated); -1 for values that are not numbers
// or do not fit, which no list offers.
int itemAsInt(double value)
{
    if (!std::isfinite(value) || value < std::numeric_limits<int>::min()
        || value > std::numeric_limits<int>::max())
        return -1;
    return static_cast<int>(value);
}

double item(const std::vector<double>& params, size_t i)
{
    return i < params.size() ? params[i] : 0.0;
}

const QString refusedFieldStyle = QStringLiteral("QLineEdit { background-color: rgb(255, 128, 128); }");

} // namespace

PreferencesDialog::PreferencesDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::PreferencesDialog)
{
    initResources();  // the scale previews
    ui->setupUi(this);
    setStyleSheet(QStringLiteral("QMainWindow {background: 'white';}"));

    ui->ThreadList->addItems(threadChoices(std::thread::hardware_concurrency()));
    ui->DeviceList->addItems(computingDeviceNames());

    setWindowTitle(QStringLiteral("Preferences"));
    nx = ny = nz = 0;
    language = 1;
    memory_limit = query_system_memory().total_bytes;
}

PreferencesDialog::~PreferencesDialog()
{
    delete ui;
}

QStringList PreferencesDialog::threadChoices(unsigned hardware_threads)
{
    // A system that cannot tell its core count still runs one worker.
    const unsigned count = hardware_threads > 0 ? hardware_threads : 1;
    QStringList items;
    for (unsigned i = 1; i <= count; ++i)
        items << QString::number(i);
    return items;
}

QStringList PreferencesDialog::computingDeviceNames()
{
    QStringList names;
    std::vector<cl::Platform> platforms;
    if (cl::Platform::get(&platforms) != CL_SUCCESS)
        return names;
    for (auto platform = platforms.rbegin(); platform != platforms.rend(); ++platform) {
        std::vector<cl::Device> devices;
        if (platform->getDevices(CL_DEVICE_TYPE_ALL, &devices) != CL_SUCCESS)
            continue;
        for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
            std::string name;
            if (device->getInfo(CL_DEVICE_NAME, &name) != CL_SUCCESS)
                continue;
            // Some drivers count the terminating zero in the name's size.
            while (!name.empty() && name.back() == '\0')
                name.pop_back();
            names << QString::fromStdString(name);
        }
    }
    return names;
}

void PreferencesDialog::setMemoryLimit(uint64_t bytes)
{
    memory_limit = bytes;
    if (estimate_shown)
        updateEstimate(ui->expansion_factor->text());
}

void PreferencesDialog::setInversionOptions(const InversionMemoryOptions& options, double factor)
{
    inversion_options = options;
    current_factor = factor;
    if (estimate_shown)
        updateEstimate(ui->expansion_factor->text());
}

void PreferencesDialog::setLanguage(int lang)
{
    language = lang;
    if (lang == 1) {
        setWindowTitle(QStringLiteral("Preferences"));
        ui->thread_count_label->setText(QStringLiteral("Count of threads"));
        ui->use_device_label->setText(QStringLiteral("Computing device"));
        ui->expansion_label->setText(QStringLiteral("Expansion factor"));
        ui->memory_label->setText(QStringLiteral("Required RAM for inversion"));
        ui->field_color_label->setText(QStringLiteral("Colorscale (maps)"));
        ui->invert_field_color_label->setText(QStringLiteral("Invert colorscale (maps)"));
        ui->model_color_label->setText(QStringLiteral("Colorscale (3D model)"));
        ui->invert_cube_color_label->setText(QStringLiteral("Invert colorscale (3D model)"));
        ui->store_effects_label->setText(QStringLiteral("Store effects"));
        ui->language_label->setText(QStringLiteral("Language"));
        ui->cube_scale_dir_label->setText(QStringLiteral("Cube scae direction"));
        ui->cube_scale_dir_type->setItemText(0, QStringLiteral("Upward"));
        ui->cube_scale_dir_type->setItemText(1, QStringLiteral("Downward"));
        ui->field_scale_dir_label->setText(QStringLiteral("Field scale direction"));
        ui->field_scale_dir_type->setItemText(0, QStringLiteral("Upward"));
        ui->field_scale_dir_type->setItemText(1, QStringLiteral("Downward"));
    } else if (lang == 0) {
        setWindowTitle(QStringLiteral("Настройки"));
        ui->thread_count_label->setText(QStringLiteral("Кол-во потоков"));
        ui->use_device_label->setText(QStringLiteral("Вычислительное устройство"));
        ui->expansion_label->setText(QStringLiteral("Коэффициент расширения"));
        ui->memory_label->setText(QStringLiteral("Объем ОЗУ для инверсии"));
        ui->field_color_label->setText(QStringLiteral("Цветовая шкала (карты)"));
        ui->invert_field_color_label->setText(QStringLiteral("Инвертировать шкалу (карты)"));
        ui->model_color_label->setText(QStringLiteral("Цветовая шкала (3D модель)"));
        ui->invert_cube_color_label->setText(QStringLiteral("Инвертировать шкалу (3D модель)"));
        ui->store_effects_label->setText(QStringLiteral("Хранить эффекты в памяти"));
        ui->language_label->setText(QStringLiteral("Язык"));
        ui->cube_scale_dir_label->setText(QStringLiteral("Направление шкалы (3D модель)"));
        ui->cube_scale_dir_type->setItemText(0, QStringLiteral("Снизу вверх"));
        ui->cube_scale_dir_type->setItemText(1, QStringLiteral("Сверху сниз"));
        ui->field_scale_dir_label->setText(QStringLiteral("Направление шкалы (карты)"));
        ui->field_scale_dir_type->setItemText(0, QStringLiteral("Снизу вверх"));
        ui->field_scale_dir_type->setItemText(1, QStringLiteral("Сверху сниз"));
    }
    // The estimate's prefix follows the language too.
    if (estimate_shown)
        updateEstimate(ui->expansion_factor->text());
}

void PreferencesDialog::setModelSize(int nx_, int ny_, int nz_)
{
    nx = nx_;
    ny = ny_;
    nz = nz_;
    if (estimate_shown)
        updateEstimate(ui->expansion_factor->text());
}

void PreferencesDialog::loadPreferences(std::vector<double>& params)
{
    loaded = params;
    loaded.resize(10, 0.0);

    // Clamped to the list, so a record from a machine with more cores (or a
    // damaged one) never turns into an empty choice and 0 threads.
    const int threads = itemAsInt(loaded[0]);
    int thread_index = threads - 1;
    if (thread_index < 0)
        thread_index = 0;
    if (thread_index >= ui->ThreadList->count())
        thread_index = ui->ThreadList->count() - 1;
    ui->ThreadList->setCurrentIndex(thread_index);

    ui->ColorScale->setCurrentIndex(itemAsInt(loaded[1]));
    ui->invert_checkbox->setChecked(loaded[2] != 0);
    ui->ColorScale_cube->setCurrentIndex(itemAsInt(loaded[3]));
    ui->invert_checkbox_cube->setChecked(loaded[4] != 0);
    ui->expansion_factor->setText(text_numbers::field_text(loaded[5]));
    ui->store_eff_checkbox->setChecked(loaded[6] != 0);
    updateEstimate(ui->expansion_factor->text());
    ui->language_list->setCurrentIndex(itemAsInt(loaded[7]));
    // The texts follow the list also when its index did not change.
    const int chosen = ui->language_list->currentIndex();
    if (chosen >= 0 && chosen != language)
        setLanguage(chosen);
    ui->cube_scale_dir_type->setCurrentIndex(itemAsInt(loaded[8]));
    ui->field_scale_dir_type->setCurrentIndex(itemAsInt(loaded[9]));
}

void PreferencesDialog::updateEstimate(const QString& text)
{
    estimate_shown = true;
    // The inversion on the typed factor, with the workers chosen here.
    InversionMemoryOptions options = inversion_options;
    double typed = 0.0;
    if (parse_expansion_factor(text, &typed) != ExpansionFactorStatus::Ok || typed != current_factor)
        options.operator_serves = false;
    const int threads = std::max(1, ui->ThreadList->currentText().toInt());
    const ExpandedModelEstimate e = estimate_expanded_model(text, nx, ny, nz, memory_limit, threads, options);
    const bool english = language != 0;

    expansion_accepted = e.ok();
    ui->expansion_factor->setStyleSheet(expansion_accepted ? QString() : refusedFieldStyle);

    if (!e.hasSizes()) {
        const QString limit = QString::number(max_expansion_factor, 'g', 6);
        ui->model_size->setText(english ? QStringLiteral("Enter a number from 0 to %1").arg(limit)
                                        : QStringLiteral("Введите число от 0 до %1").arg(limit));
        ui->required_memory->setText(QString());
        return;
    }

    const QString prefix = english ? QStringLiteral("Expanded size: ") : QStringLiteral("Кол-во ячеек: ");
    ui->model_size->setText(prefix + QString::number(e.mx) + QStringLiteral("x") + QString::number(e.my)
                            + QStringLiteral("x") + QString::number(e.nz));
    QString memory = QStringLiteral("≈ ") + QString::number(e.memory_gb, 'g', 6) + QStringLiteral(" GB");
    if (!e.ok())
        memory += english ? QStringLiteral(" (the expanded grid does not fit in memory)")
                          : QStringLiteral(" (расширенная сетка не помещается в памяти)");
    ui->required_memory->setText(memory);
}

void PreferencesDialog::on_expansion_factor_textEdited(const QString& text)
{
    updateEstimate(text);
}

void PreferencesDialog::on_language_list_currentIndexChanged(int index)
{
    setLanguage(index);
}

void PreferencesDialog::on_OKbutton_clicked()
{
    const QString text = ui->expansion_factor->text();
    const ExpandedModelEstimate e = estimate_expanded_model(text, nx, ny, nz, memory_limit);
    if (!e.ok()) {
        updateEstimate(text);
        ui->expansion_factor->setFocus();
        return;
    }

    // A list left without a choice (a loaded value it does not offer) keeps
    // the loaded value.
    auto choice = [this](QComboBox* list, size_t i) {
        const int index = list->currentIndex();
        return index >= 0 ? static_cast<double>(index) : loaded[i];
    };

    std::vector<double> params;
    params.push_back(std::max(1, ui->ThreadList->currentText().toInt()));
    params.push_back(choice(ui->ColorScale, 1));
    params.push_back(ui->invert_checkbox->isChecked() ? 1.0 : 0.0);
    params.push_back(choice(ui->ColorScale_cube, 3));
    params.push_back(ui->invert_checkbox_cube->isChecked() ? 1.0 : 0.0);
    params.push_back(e.factor);
    params.push_back(ui->store_eff_checkbox->isChecked() ? 1.0 : 0.0);
    params.push_back(choice(ui->language_list, 7));
    params.push_back(choice(ui->cube_scale_dir_type, 8));
    params.push_back(choice(ui->field_scale_dir_type, 9));

    emit set_preferences(params);
    close();
}

void PreferencesDialog::on_Cancelbutton_clicked()
{
    close();
}
