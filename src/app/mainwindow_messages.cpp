// Errors and notices of every command, the about box and the user manual.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/texts.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QUrl>

// The caller has chosen the text by language; these only show it, in a
// modal box without title or parent.
void MainWindow::show_error(QString text)
{
    interaction()->error(text);
}

void MainWindow::show_message(QString text)
{
    interaction()->message(text);
}

void MainWindow::on_about_programm_triggered()
{
    QMessageBox box;
    box.setText(QStringLiteral("<html><p align='center'><span style='font-size:10pt;'><b> Tolmera3D </b> <br> "
                               "Website: <a href='https://tolmera3d.example.org'>https://tolmera3d.example.org</a>"
                               " <br> e-mail: <i>support@tolmera3d.example.org</i><br> 2021 "));
    box.setFixedSize(300, 200);
    const QPixmap logo(QStringLiteral(":/Images/logo3D.png"));
    if (!logo.isNull()) {
        box.setWindowIcon(QIcon(logo));
        box.setIconPixmap(logo.scaled(99, 99, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
    box.setWindowTitle(QStringLiteral("Tolmera3D"));
    interaction()->runDialog(&box);
}

// The manual is a PDF beside the executable, opened by the desktop's viewer.
void MainWindow::on_manual_triggered()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/Tolmera3D руководство.pdf");
    if (QFile::exists(path)) {
        interaction()->openUrl(QUrl::fromLocalFile(path));
        return;
    }
    show_error(byLanguage(language, "Файл с руководством отсутствует", "Can't find the manual"));
}
