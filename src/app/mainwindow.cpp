// The main window's construction, close handler and destructor.
#include "app/mainwindow.h"

#include "app/interaction.h"
#include "app/mainwindowform.h"
#include "app/texts.h"
#include "views/surf.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QtDataVisualization/Q3DSurface>

namespace {

// What a close request made during a run does once the run has returned.
enum PendingClose { NoPendingClose = 0, CloseWithoutSaving, SaveThenClose };

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new MainWindowForm)
{
    // The icons are compiled into the static GUI library.
    Q_INIT_RESOURCE(resources);

    // The form; its on_<object>_<signal> slots are connected by name.
    ui->setupUi(this);

    ui->dockWidget->hide();
    ui->showDock->setVisible(false);
    ui->showDock->setEnabled(false);

    // The 3D view. Without an OpenGL context the window goes on without it:
    // everything below is still built, so no later command meets a null object.
    createGraph();
    surf = new Surf(graph);

    surf->setAlpha(255);

    createStatusBar();
    createColorScales();
    makeConnections();
    createDataActionGroup();

    // The data members start from their initial values in the class; the
    // remembered preferences replace some of them.
    readSettings();
    setLanguage(language);
    QCoreApplication::processEvents();

    // Key presses on the 3D graph reach keyPressEvent like the window's own.
    if (graph)
        graph->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    delete surf;
    delete ui;
}

// The 3D graph in a window container inside Model3D. The offscreen and minimal
// platforms have no OpenGL, and Q3DSurface cannot even be constructed there,
// so the window runs without a 3D view and says nothing (they serve headless
// runs). Elsewhere a graph without a context is discarded after the message.
void MainWindow::createGraph()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    graph = new QtDataVisualization::Q3DSurface();
    graph_container = QWidget::createWindowContainer(graph);
    if (graph->hasContext()) {
        auto* layout = new QGridLayout(ui->Model3D);
        layout->addWidget(graph_container);
        return;
    }
    delete graph_container;  // takes the graph with it
    graph_container = nullptr;
    graph = nullptr;
    interaction()->notify(QMessageBox::NoIcon, QString(),
                          QStringLiteral("Couldn't initialize the OpenGL context."));
}

// Left to right: the text of long operations, the progress bar (hidden while
// idle), the misfit.
void MainWindow::createStatusBar()
{
    progress_label = new QLabel(QString());
    ui->statusbar->addWidget(progress_label, 0);
    ui->statusbar->addWidget(&progress_bar, 0);
    progress_bar.hide();
    misfit_label = new QLabel(QString());
    ui->statusbar->addWidget(misfit_label, 0);
}

// One hidden colour scale in cell (0, 1) of each plot, with its own margin
// group; the default axis rects stay hidden until something is drawn.
void MainWindow::createColorScales()
{
    auto makeScale = [](QCustomPlot* plot) {
        auto* scale = new QCPColorScale(plot);
        plot->plotLayout()->addElement(0, 1, scale);
        scale->setVisible(false);
        scale->setMarginGroup(QCP::msLeft, new QCPMarginGroup(plot));
        return scale;
    };
    observed_scale = makeScale(ui->observed_axes);
    calculated_scale = makeScale(ui->calculated_axes);
    ui->model_colorscale->axisRect()->setVisible(false);
    model_scale = makeScale(ui->model_colorscale);
    ui->observed_axes->axisRect()->setVisible(false);
    ui->calculated_axes->axisRect()->setVisible(false);
    const QCP::Interactions mapInteractions = QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables;
    ui->observed_axes->setInteractions(mapInteractions);
    ui->calculated_axes->setInteractions(mapInteractions);
}

void MainWindow::makeConnections()
{
    connect(surf, &Surf::selectedSeriesChanged, this, &MainWindow::selectedSeriesChanged);
    connect(surf, QOverload<const QPoint&>::of(&Surf::selectedPoint), this, &MainWindow::selectedPoint);
    connect(this, &MainWindow::keyPressEvent, this, &MainWindow::keyPressSlot);
    connect(ui->calculated_axes, &QCustomPlot::mousePress, this, &MainWindow::calculatedClicked);
    connect(ui->observed_axes, &QCustomPlot::mousePress, this, &MainWindow::observedClicked);
    connect(ui->splitter, &QSplitter::splitterMoved, this, &MainWindow::updateFieldsRatio);
    connect(ui->model_colorscale, &QCustomPlot::mousePress, this, &MainWindow::colorbarClicked);
    const auto rangeChanged = QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged);
    connect(ui->calculated_axes->xAxis, rangeChanged, this, &MainWindow::calculatedXchanged);
    connect(ui->observed_axes->xAxis, rangeChanged, this, &MainWindow::observedXchanged);
    connect(ui->calculated_axes->yAxis, rangeChanged, this, &MainWindow::calculatedYchanged);
    connect(ui->observed_axes->yAxis, rangeChanged, this, &MainWindow::observedYchanged);
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

// Closing with a data set loaded asks whether to save first. Cancel keeps the
// window as it is. No closes; Yes closes only when the save succeeded, so a
// cancelled or failed save keeps the window open with the data. The settings
// store is written whenever the window really closes, also with no data set
// loaded, so preferences chosen in an empty project are kept.
//
// A close requested while a run is active (see app/run_guard.h) stops the run
// and waits until it has returned: only then is the project saved and the
// window closed, so a half-computed state is never written.
void MainWindow::closeEvent(QCloseEvent* event)
{
    if (close_confirmed) {
        close_confirmed = false;
        event->accept();
        return;
    }
    if (pending_close != NoPendingClose) {
        // Already decided; waiting for the run to return.
        stopRuns();
        event->ignore();
        return;
    }
    if (!hasAnyData()) {
        if (runActive()) {
            stopRuns();
            pending_close = CloseWithoutSaving;
            event->ignore();
            return;
        }
        writeSettings();
        inversion_running = false;
        forward_running = false;
        event->accept();
        return;
    }

    const QString text = byLanguage(language, "Сохранить проект перед выходом?", "Save project before exit?");
    const QMessageBox::StandardButton answer =
        interaction()->question(QStringLiteral("Tolmera3D"), text,
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel, this);
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
        event->ignore();
        return;
    }
    if (runActive()) {
        stopRuns();
        pending_close = answer == QMessageBox::Yes ? SaveThenClose : CloseWithoutSaving;
        event->ignore();
        return;
    }
    const bool saveFirst = answer == QMessageBox::Yes;
    if (saveFirst && !(save_before_close ? save_before_close() : saveProjectForClose())) {
        event->ignore();
        return;
    }
    writeSettings();
    inversion_running = false;
    forward_running = false;
    event->accept();
}

// The second half of a close requested during a run, reached once the last
// run has returned.
void MainWindow::finishPendingClose()
{
    if (pending_close == NoPendingClose)
        return;
    if (runActive()) {
        // Another run started meanwhile: wait for it too.
        stopRuns();
        return;
    }
    const int what = pending_close;
    pending_close = NoPendingClose;
    if (what == SaveThenClose && !(save_before_close ? save_before_close() : saveProjectForClose()))
        return;
    writeSettings();
    inversion_running = false;
    forward_running = false;
    close_confirmed = true;
    close();
    close_confirmed = false;
}

// File > New project: the entry is offered but does nothing.
void MainWindow::on_new_model_triggered() {}
