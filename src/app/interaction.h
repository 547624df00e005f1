#pragma once
// Every message box, question and file dialog of the program goes through
// this interface, so that tests can replace it with a scripted fake (see
// tests/support/fake_interaction.h) and no test ever blocks on a modal box.

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QUrl;
class QWidget;

class Interaction
{
public:
    virtual ~Interaction() = default;

    // A modal box with the given icon, title and text (no parent).
    virtual void notify(QMessageBox::Icon icon, const QString& title, const QString& text) = 0;
    // Critical box without title.
    virtual void error(const QString& text) { notify(QMessageBox::Critical, QString(), text); }
    // Information box without title.
    virtual void message(const QString& text) { notify(QMessageBox::Information, QString(), text); }

    virtual QMessageBox::StandardButton question(const QString& title, const QString& text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton,
                                                 QWidget* parent = nullptr) = 0;

    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter, QString* selectedFilter = nullptr) = 0;
    virtual QStringList openFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter, QString* selectedFilter = nullptr) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter, QString* selectedFilter = nullptr) = 0;
    virtual QString existingDirectory(QWidget* parent, const QString& caption, const QString& dir) = 0;

    // Runs a dialog the caller has built (the about box, command dialogs)
    // modally and returns its result code.
    virtual int runDialog(QDialog* dialog) = 0;
    // Opens a local file or a link with the desktop's default handler.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The real thing: QMessageBox and QFileDialog.
class DialogInteraction : public Interaction
{
public:
    void notify(QMessageBox::Icon icon, const QString& title, const QString& text) override;
    QMessageBox::StandardButton question(const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton,
                                         QWidget* parent = nullptr) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter, QString* selectedFilter = nullptr) override;
    QStringList openFileNames(QWidget* parent, const QString& caption, const QString& dir,
                              const QString& filter, QString* selectedFilter = nullptr) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter, QString* selectedFilter = nullptr) override;
    QString existingDirectory(QWidget* parent, const QString& caption, const QString& dir) override;
    int runDialog(QDialog* dialog) override;
    bool openUrl(const QUrl& url) override;
};

// The interaction in use (the dialog one unless a test installed another).
Interaction* interaction();
// Installs `replacement` (not owned; nullptr restores the dialog one) and
// returns the previous one.
Interaction* setInteraction(Interaction* replacement);
