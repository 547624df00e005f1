#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "views/surf.h"

#include <QAction>
#include <QDockWidget>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QtDataVisualization/Q3DSurface>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new MainWindowForm)
{
    // The icons are compiled into the static GUI library.
    Q_INIT_RESOURCE(resources);

    ui->setupUi(this);
    project_version = 2;

    ui->dockWidget->hide();
    ui->showDock->setVisible(false);
    ui->showDock->setEnabled(false);

    createGraph();

    setLanguage(language);
}

MainWindow::~MainWindow()
{
    delete surf;
    delete ui;
}

// The 3D graph in a window container inside Model3D. There is no OpenGL on the
// offscreen and minimal platforms, and Q3DSurface cannot even be constructed
// there, so the window runs without a 3D view; `surf` then wraps no graph and
// every 3D operation does nothing.
void MainWindow::createGraph()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        graph = new QtDataVisualization::Q3DSurface();
        graph_container = QWidget::createWindowContainer(graph);
        if (graph->hasContext()) {
            auto* layout = new QGridLayout(ui->Model3D);
            layout->addWidget(graph_container);
        } else {
            delete graph_container;  // takes the graph with it
            graph_container = nullptr;
            graph = nullptr;
            interaction()->notify(QMessageBox::NoIcon, QString(),
                                  QStringLiteral("Couldn't initialize the OpenGL context."));
        }
    }
    surf = new Surf(graph);
    surf->setAlpha(255);
}

void MainWindow::setLanguage(int lang)
{
    language = lang;
    ui->setTexts(lang);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (graph && watched == graph && event->type() == QEvent::KeyPress)
        emit keyPressEvent(static_cast<QKeyEvent*>(event));
    return false;
}

// File > New project: the entry is offered but does nothing.
void MainWindow::on_new_model_triggered() {}
