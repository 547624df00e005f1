#pragma once
// The modal dialog of horizon fitting: the horizon to fit (as the layer whose
// top it is), the number of passes and the step scale. Its texts are Russian
// whatever the program's language.
//
// OK accepts the dialog and then emits paramsSelected with the map
//   "Niter"     the pass count (the field read as a base-10 integer, 0 when it is none),
//   "layer"     the horizon's index: the list's current index + 1 (0 for an empty list),
//   "stepScale" the step scale (the field read as a number, 0 when it is none);
// the receiver runs the whole fit inside that emission. Cancel only closes.
#include <QDialog>
#include <QMap>
#include <QString>

#include <vector>

namespace Ui {
class InversionHorizonDialog;
}

class InversionHorizonDialog : public QDialog
{
    Q_OBJECT

public:
    explicit InversionHorizonDialog(QWidget* parent = nullptr);
    ~InversionHorizonDialog() override;

    // One list entry per layer name from index 1 on (entry 0 is the model top):
    // the name, or its index + 1 when the name is empty.
    void setLayersNames(std::vector<QString>& names);
    // Prefills the form from the last confirmed map; absent keys (and a layer
    // that is not in the list) leave the form's values.
    void setPreviousParams(QMap<QString, double>& params);

signals:
    void paramsSelected(QMap<QString, double>& params);

private slots:
    void on_OkButton_clicked();
    void on_cancelButton_clicked();

private:
    Ui::InversionHorizonDialog* ui;
};
