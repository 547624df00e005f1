#pragma once
// A scripted stand-in for the program's message boxes and file dialogs.
//
//   FakeInteraction fake;            // installs itself, restores on destruction
//   fake.answers << QMessageBox::Yes;
//   fake.openNames << "/tmp/a.3Dgrd";
//   ... run the command ...
//   QCOMPARE(fake.errors(), QStringList{"3D density grid is empty"});
//
// A question with no scripted answer gets its default button; a file dialog
// with no scripted name gets an empty answer (the user cancelled).

#include "app/interaction.h"

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>
#include <functional>

class FakeInteraction : public Interaction
{
public:
    struct Note
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };
    struct Question
    {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    };
    struct FileRequest
    {
        QString kind;  // "open", "openMany", "save", "dir"
        QString caption;
        QString dir;
        QString filter;
    };

    FakeInteraction() { previous = setInteraction(this); }
    ~FakeInteraction() override { setInteraction(previous == this ? nullptr : previous); }

    // Scripted answers, consumed front first.
    QList<QMessageBox::StandardButton> answers;
    QStringList openNames;            // getOpenFileName
    QList<QStringList> openNameLists; // getOpenFileNames
    QStringList saveNames;            // getSaveFileName
    QStringList saveFilters;          // selected filter of each save (optional)
    QStringList directories;          // getExistingDirectory
    // Called with every dialog run through runDialog (it may work the dialog's
    // buttons); its result is the dialog's result. Without it the dialog is
    // rejected at once.
    std::function<int(QDialog*)> onDialog;
    bool openUrlResult = true;

    // What happened.
    QList<Note> notes;
    QList<Question> questions;
    QList<FileRequest> fileRequests;
    QStringList dialogs;              // class name of each dialog run
    QList<QUrl> openedUrls;

    QStringList texts(QMessageBox::Icon icon) const
    {
        QStringList out;
        for (const Note& n : notes)
            if (n.icon == icon)
                out << n.text;
        return out;
    }
    QStringList errors() const { return texts(QMessageBox::Critical); }
    QStringList messages() const { return texts(QMessageBox::Information); }
    void clear()
    {
        notes.clear();
        questions.clear();
        fileRequests.clear();
        dialogs.clear();
        openedUrls.clear();
    }

    void notify(QMessageBox::Icon icon, const QString& title, const QString& text) override
    {
        notes.append({icon, title, text});
    }
    QMessageBox::StandardButton question(const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton,
                                         QWidget*) override
    {
        questions.append({title, text, buttons, defaultButton});
        return answers.isEmpty() ? defaultButton : answers.takeFirst();
    }
    QString openFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter,
                         QString*) override
    {
        fileRequests.append({"open", caption, dir, filter});
        return openNames.isEmpty() ? QString() : openNames.takeFirst();
    }
    QStringList openFileNames(QWidget*, const QString& caption, const QString& dir, const QString& filter,
                              QString*) override
    {
        fileRequests.append({"openMany", caption, dir, filter});
        return openNameLists.isEmpty() ? QStringList() : openNameLists.takeFirst();
    }
    QString saveFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter,
                         QString* selectedFilter) override
    {
        fileRequests.append({"save", caption, dir, filter});
        if (selectedFilter && !saveFilters.isEmpty())
            *selectedFilter = saveFilters.takeFirst();
        return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
    }
    QString existingDirectory(QWidget*, const QString& caption, const QString& dir) override
    {
        fileRequests.append({"dir", caption, dir, QString()});
        return directories.isEmpty() ? QString() : directories.takeFirst();
    }

    int runDialog(QDialog* dialog) override
    {
        dialogs.append(QString::fromLatin1(dialog->metaObject()->className()));
        return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
    }
    bool openUrl(const QUrl& url) override
    {
        openedUrls.append(url);
        return openUrlResult;
    }

private:
    Interaction* previous = nullptr;
};
