#pragma once
// The preferences: thread count, computing device (shown only), FFT expansion
// factor with the expanded grid size and memory estimate, colour scales of the
// maps and of the 3D model, effects storage and language. OK emits the
// ten-value `preferences` record:
//   [0] thread count, [1] maps colour-scale type, [2] invert maps scale,
//   [3] 3D-model colour-scale type, [4] invert 3D-model scale,
//   [5] expansion factor, [6] store effects, [7] language,
//   [8] 3D-model scale direction, [9] maps scale direction.

#include "engine/memory.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace Ui {
class PreferencesDialog;
}

class PreferencesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PreferencesDialog(QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    // 1 English, 0 Russian; any other value is stored but changes no text.
    void setLanguage(int lang);
    // Node counts of the density grid, used by the estimate.
    void setModelSize(int nx, int ny, int nz);
    // Fills the widgets from a ten-value record (missing items count as 0).
    void loadPreferences(std::vector<double>& params);

    // Physical memory the expanded grid must fit in (0: unknown, not checked).
    // The constructor takes the machine's figure.
    void setMemoryLimit(uint64_t bytes);

    // The options of the inversion whose need the estimate shows, and the
    // expansion factor in force: an operator that serves now serves only
    // while the typed factor is that one.
    void setInversionOptions(const InversionMemoryOptions& options, double current_factor);

    // False while the expansion factor field holds a value that OK refuses.
    bool expansionFactorAccepted() const { return expansion_accepted; }

    // The thread counts offered for `hardware_threads` reported by the
    // system: "1" to that count, and "1" alone when the system reports 0.
    static QStringList threadChoices(unsigned hardware_threads);
    // Names of every OpenCL device of every platform (platforms and their
    // devices from the last to the first); empty without any platform.
    static QStringList computingDeviceNames();

signals:
    void set_preferences(std::vector<double>& params);

private slots:
    void on_OKbutton_clicked();
    void on_Cancelbutton_clicked();
    void on_expansion_factor_textEdited(const QString& text);
    void on_language_list_currentIndexChanged(int index);

private:
    // Recomputes the expanded size and memory labels from `text` and marks
    // the field when the factor is refused.
    void updateEstimate(const QString& text);

    Ui::PreferencesDialog* ui = nullptr;
    int nx = 0;
    int ny = 0;
    int nz = 0;
    int language = 1;
    uint64_t memory_limit = 0;
    InversionMemoryOptions inversion_options;
    double current_factor = 0.0;
    std::vector<double> loaded = std::vector<double>(10, 0.0);  // last record loaded
    bool expansion_accepted = true;
    bool estimate_shown = false;
};
