#pragma once
// The interaction of the benchmarks that run the main window: no dialog
// opens, every question gets its default answer, every open dialog the one
// path given, and every message box is counted and written to the error
// stream.
#include "app/interaction.h"

#include <cstdio>

// Answers every open dialog with one path; reports any message box.
class ScriptedOpen : public Interaction
{
public:
    QString path;
    int notes = 0;
    void notify(QMessageBox::Icon, const QString&, const QString& text) override
    {
        ++notes;
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    QMessageBox::StandardButton question(const QString&, const QString&, QMessageBox::StandardButtons,
                                         QMessageBox::StandardButton d, QWidget*) override
    {
        return d;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&, QString*) override { return path; }
    QStringList openFileNames(QWidget*, const QString&, const QString&, const QString&, QString*) override
    {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&, QString*) override
    {
        return {};
    }
    QString existingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
    int runDialog(QDialog*) override { return 0; }
    bool openUrl(const QUrl&) override { return false; }
};
