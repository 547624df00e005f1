#pragma once
// The modal dialog that sets up a 3D density inversion: the kind (grid,
// lateral or layered), iteration count, step scale, depth power and its
// schedule, regularization, prior data, density limits and the log.
//
// OK closes the dialog, emits set_log_params and then exactly one record
// signal with the 28-value inversion record (see inversion_record_size);
// the receiver runs the whole inversion inside that emission. Cancel only
// closes. The dialog never touches the model.
#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

namespace Ui {
class inversion_parameters;
}

class inversion_parameters : public QDialog
{
    Q_OBJECT

public:
    explicit inversion_parameters(QWidget* parent = nullptr);
    ~inversion_parameters() override;

    // 0 Russian, 1 English; any other value is only stored (the step warning
    // and the memory text then use English).
    void setLanguage(int language);
    // Whether the project's regularizer has the density grid's size. False
    // unchecks the box; the box is enabled exactly when available.
    void set_uploaded_reg_available(bool available);

    // The need in GB of the run a record would start (with the log on or
    // off): shown at once and again whenever a field of the form changes.
    void set_memory_need(std::function<double(const std::vector<double>& record, bool save_log)> need,
                         double available_mem);

    int language() const { return lang; }
    QString log_directory() const { return log_dir; }

signals:
    void inv_params(std::vector<double> params);                // grid kind
    void polygonal_inv_grid_params(std::vector<double> params); // lateral kind
    void polygonal_inv_params(std::vector<double> params);      // layered kind
    void set_log_params(QString& dir, bool save_log);

public slots:
    // Fills the form from a previous record; fewer than 28 values leave the
    // form as constructed.
    void set_previous_params(std::vector<double> params);
    // Memory display: the estimate in GB and the machine's memory in GB
    // (red when the estimate exceeds it).
    void set_memory(double mem, double available_mem);
    // The log directory (an empty one becomes the current directory) and
    // whether the run logs.
    void set_log_dir(QString& log_dir, bool save_log);

private slots:
    void on_ok_button_clicked();
    void on_cancel_button_clicked();
    void on_gridInversion_toggled(bool checked);
    void on_lateralInversion_toggled(bool checked);
    void on_polygonalInversion_toggled(bool checked);
    void on_reg_type_currentIndexChanged(int index);
    void on_power_type_currentIndexChanged(int index);
    void on_use_smooth_checkbox_stateChanged(int state);
    void on_initial_level_checkbox_stateChanged(int state);
    void on_den_limits_checkbox_stateChanged(int state);
    void on_input_alpha_textChanged(QString text);
    void on_setLogDir_clicked();
    void on_sign_account_data_type_currentIndexChanged(int index);

private:
    // The record the form describes now.
    std::vector<double> current_record() const;
    void update_step_warning();
    void update_memory();
    void set_log_widgets_enabled(bool enabled);

    Ui::inversion_parameters* ui;
    QString log_dir;
    int lang = 0;
    bool uploaded_reg_available = false;
    std::function<double(const std::vector<double>&, bool)> memory_need;
    double available_memory = 0.0;
};
