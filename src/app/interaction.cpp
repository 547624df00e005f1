#include "app/interaction.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QUrl>

namespace {
DialogInteraction& dialogs()
{
    static DialogInteraction instance;
    return instance;
}
Interaction* current = nullptr;
} // namespace

Interaction* interaction()
{
    return current ? current : &dialogs();
}

Interaction* setInteraction(Interaction* replacement)
{
    Interaction* previous = interaction();
    current = replacement;
    return previous;
}

void DialogInteraction::notify(QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box;
    box.setIcon(icon);
    box.setWindowTitle(title);
    box.setText(text);
    box.exec();
}

QMessageBox::StandardButton DialogInteraction::question(const QString& title, const QString& text,
                                                        QMessageBox::StandardButtons buttons,
                                                        QMessageBox::StandardButton defaultButton,
                                                        QWidget* parent)
{
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

QString DialogInteraction::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                        const QString& filter, QString* selectedFilter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, selectedFilter);
}

QStringList DialogInteraction::openFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                             const QString& filter, QString* selectedFilter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter, selectedFilter);
}

QString DialogInteraction::saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                        const QString& filter, QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter);
}

QString DialogInteraction::existingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

int DialogInteraction::runDialog(QDialog* dialog)
{
    return dialog->exec();
}

bool DialogInteraction::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
