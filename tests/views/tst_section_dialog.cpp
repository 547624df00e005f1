// The vertical-section dialog on its own, offscreen: its form and texts in
// both languages, the line it sends on every redraw, the map and its profile
// picking, the section, horizons, profiles and fault crossings it draws, the
// cube menu, the BLN import of a line and its writers.
#include <QtTest>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

#include "fake_interaction.h"
#include "formats/bln.h"
#include "views/horizontalslicedialog.h"

Q_DECLARE_METATYPE(QResizeEvent*)

namespace {

using Line = QList<QVariant>;

template <typename W>
W* child(QObject* o, const char* name)
{
    W* w = o->findChild<W*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

QString text(QObject* o, const char* name)
{
    if (auto* l = o->findChild<QLabel*>(QString::fromLatin1(name)))
        return l->text();
    if (auto* b = o->findChild<QPushButton*>(QString::fromLatin1(name)))
        return b->text();
    qFatal("no text widget %s", name);
    return QString();
}

void writeText(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

// Curves of a plot by name.
QList<QCPCurve*> curvesNamed(QCustomPlot* plot, const QString& name)
{
    QList<QCPCurve*> out;
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* c = qobject_cast<QCPCurve*>(plot->plottable(i)))
            if (c->name() == name)
                out << c;
    return out;
}

int countOf(QCustomPlot* plot, const char* className)
{
    int n = 0;
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (plot->plottable(i)->inherits(className))
            ++n;
    return n;
}

// A section of 3 levels at depths 0, 100, 200 and 4 samples 0 .. 30.
struct Section
{
    std::vector<std::vector<double>> values{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    std::vector<double> x{0, 10, 20, 30};
    std::vector<double> z{0, 100, 200};
};

}  // namespace

class TestSectionDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formInBothLanguages_data();
    void formInBothLanguages();
    void initialState();
    void setLineEmitsAndKeepsDigits();
    void enterInEveryFieldReextracts();
    void depthTypeEmitsDirChanged();
    void mapViewAndCurves();
    void redrawResetsMapView();
    void clickAndTakeProfile();
    void profileButtonIgnoresOtherCurves();
    void sectionDrawnWithColourMap();
    void sectionWithoutSamplesKeepsPrevious();
    void contextMenuItems();
    void switchingCubeRedraws();
    void horizonsDrawnAsMagentaLines();
    void profilesAndRmse_data();
    void profilesAndRmse();
    void faultsTracesAndCrossings();
    void importLine();
    void importLineErrors_data();
    void importLineErrors();
    void sectionBlnWriter();
    void crossingsWriter();
    void resizeGoesThroughItsSignal();

private:
    std::unique_ptr<FakeInteraction> fake;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestSectionDialog::init()
{
    fake.reset(new FakeInteraction);
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void TestSectionDialog::cleanup()
{
    fake.reset();
    dir.reset();
}

void TestSectionDialog::formInBothLanguages_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");  // title, then the widgets below in order
    QTest::newRow("English") << 1
                             << QStringList{"Slices export", "Line parameters", "X, m", "Y, m", "Start", "End",
                                            "Step, m", "Глубины", "Import BLN", "Set coordinates", "Export", "⏎"};
    QTest::newRow("Russian") << 0
                             << QStringList{"Экспорт срезов", "Параметры линии среза", "X, м", "Y, м", "Начало",
                                            "Конец", "Шаг по профилю, м", "Глубины", "Импорт BLN",
                                            "Обновить координаты", "Экспорт", "⏎"};
}

void TestSectionDialog::formInBothLanguages()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    HorizontalSliceDialog d;
    d.setLanguage(language == 0 ? 1 : 0);  // the other one first: every text is set
    d.setLanguage(language);
    QCOMPARE(d.windowTitle(), texts[0]);
    const char* names[] = {"titleLabel", "xLabel",    "yLabel",           "minLabel",
                           "maxLabel",   "stepLabel", "depthsLabel",      "importCoordinates",
                           "setCoordinates", "saveSlice", "setCoordsFromProfile"};
    for (int i = 0; i < 11; ++i)
        QCOMPARE(text(&d, names[i]), texts[i + 1]);
    auto* box = child<QComboBox>(&d, "depthType");
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QString::fromUtf8("Отрицательные"));
    QCOMPARE(box->itemText(1), QString::fromUtf8("Положительные"));
}

void TestSectionDialog::initialState()
{
    HorizontalSliceDialog d;
    QCOMPARE(d.size(), QSize(1224, 771));
    QVERIFY(d.windowFlags() & Qt::Window);
    QVERIFY(d.styleSheet().contains("background: 'white'"));
    QCOMPARE(d.sliceType(), 1);
    QVERIFY(child<QPushButton>(&d, "setCoordsFromProfile")->isHidden());
    for (const char* b : {"importCoordinates", "setCoordinates", "saveSlice"})
        QVERIFY(!child<QPushButton>(&d, b)->autoDefault());
    QVERIFY(!d.sectionColorScale()->visible());
    QCOMPARE(d.sectionPlot()->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(d.mapPlot()->interactions().testFlag(QCP::iRangeDrag));
    QVERIFY(d.mapPlot()->interactions().testFlag(QCP::iRangeZoom));
    QVERIFY(d.mapPlot()->interactions().testFlag(QCP::iSelectPlottables));
    // Tab order of the line fields.
    QWidget* w = child<QLineEdit>(&d, "xmin");
    const char* order[] = {"ymin", "xmax", "ymax", "dx"};
    for (const char* next : order) {
        w = w->nextInFocusChain();
        while (w && !qobject_cast<QLineEdit*>(w))
            w = w->nextInFocusChain();
        QVERIFY(w);
        QCOMPARE(w->objectName(), QString(next));
    }
}

void TestSectionDialog::setLineEmitsAndKeepsDigits()
{
    HorizontalSliceDialog d;
    QSignalSpy spy(&d, SIGNAL(coordsSelected(double, double, double, double, double)));
    // UTM-sized coordinates keep every digit in the fields.
    d.setLineCoordinates(512345.67, 513000, 5512345.25, 5513000.5, 12.5);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0], (Line{512345.67, 513000.0, 5512345.25, 5513000.5, 12.5}));
    QCOMPARE(child<QLineEdit>(&d, "xmin")->text(), QString("512345.67"));
    QCOMPARE(child<QLineEdit>(&d, "ymin")->text(), QString("5512345.25"));
    QCOMPARE(child<QLineEdit>(&d, "xmax")->text(), QString("513000"));
    QCOMPARE(child<QLineEdit>(&d, "ymax")->text(), QString("5513000.5"));
    QCOMPARE(child<QLineEdit>(&d, "dx")->text(), QString("12.5"));
    // Enter sends exactly the same line again.
    QTest::keyClick(child<QLineEdit>(&d, "dx"), Qt::Key_Return);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy[1], spy[0]);
}

void TestSectionDialog::enterInEveryFieldReextracts()
{
    HorizontalSliceDialog d;
    QSignalSpy spy(&d, SIGNAL(coordsSelected(double, double, double, double, double)));
    d.setLineCoordinates(0, 100, 0, 50, 10);
    spy.clear();
    int expected = 0;
    for (const char* name : {"xmin", "xmax", "ymin", "ymax", "dx"}) {
        auto* field = child<QLineEdit>(&d, name);
        // Typing alone changes nothing.
        QTest::keyClicks(field, "1");
        QCOMPARE(spy.count(), expected);
        QTest::keyClick(field, Qt::Key_Enter);
        QCOMPARE(spy.count(), ++expected);
    }
    // Every field got a "1" appended; an unreadable field counts as 0.
    QCOMPARE(spy.last(), (Line{1.0, 1001.0, 1.0, 501.0, 101.0}));
    child<QLineEdit>(&d, "dx")->setText("abc");
    QTest::mouseClick(child<QPushButton>(&d, "setCoordinates"), Qt::LeftButton);
    QCOMPARE(spy.last(), (Line{1.0, 1001.0, 1.0, 501.0, 0.0}));
}

void TestSectionDialog::depthTypeEmitsDirChanged()
{
    HorizontalSliceDialog d;
    QSignalSpy spy(&d, SIGNAL(dirChanged(int)));
    d.setDepthType(0);
    QCOMPARE(spy.count(), 0);  // no change
    d.setDepthType(1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].toInt(), 1);
    QCOMPARE(child<QComboBox>(&d, "depthType")->currentIndex(), 1);
    child<QComboBox>(&d, "depthType")->setCurrentIndex(0);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy[1][0].toInt(), 0);
    d.setDepthType(7);  // anything else is the negative choice
    QCOMPARE(child<QComboBox>(&d, "depthType")->currentIndex(), 0);
}

void TestSectionDialog::mapViewAndCurves()
{
    HorizontalSliceDialog d;
    d.setLanguage(1);
    d.setModelBounds(1000, 1400, 5000, 5200);
    std::vector<std::vector<double>> scheme{{1000, 5000, 1400, 5200, 1400, 5000}, {1100, 5100}, {1000, 5200, 1200, 5000}};
    d.setProfiles(scheme);
    d.setLineCoordinates(1000, 1400, 5100, 5100, 10);
    QCustomPlot* map = d.mapPlot();
    // Square view with 5 % margin: half width 0.5 * 1.05 * 400 = 210.
    QCOMPARE(map->xAxis->range().lower, 1200.0 - 210);
    QCOMPARE(map->xAxis->range().upper, 1200.0 + 210);
    QCOMPARE(map->yAxis->range().lower, 5100.0 - 210);
    QCOMPARE(map->yAxis->range().upper, 5100.0 + 210);
    QCOMPARE(map->xAxis->label(), QString("X, m"));
    QCOMPARE(map->yAxis->label(), QString("Y, m"));
    // Outline (black, five points) and the red line, both unnamed; profiles
    // named after their place in the scheme (the one-point one is skipped).
    QList<QCPCurve*> unnamed = curvesNamed(map, QString());
    QCOMPARE(unnamed.size(), 2);
    QCPCurve* outline = unnamed[0];
    QCOMPARE(outline->data()->size(), 5);
    QCOMPARE(outline->pen().color(), QColor(Qt::black));
    QCPCurve* line = unnamed[1];
    QCOMPARE(line->pen().color(), QColor(Qt::red));
    QCOMPARE(line->data()->size(), 2);
    QCOMPARE(line->data()->at(0)->key, 1000.0);
    QCOMPARE(line->data()->at(1)->value, 5100.0);
    QCOMPARE(curvesNamed(map, "Profile 1").size(), 1);
    QCOMPARE(curvesNamed(map, "Profile 2").size(), 0);
    QCOMPARE(curvesNamed(map, "Profile 3").size(), 1);
    QCOMPARE(curvesNamed(map, "Profile 1")[0]->data()->size(), 3);
}

void TestSectionDialog::redrawResetsMapView()
{
    HorizontalSliceDialog d;
    d.setModelBounds(0, 100, 0, 300);
    d.setLineCoordinates(0, 100, 0, 300, 10);
    QCustomPlot* map = d.mapPlot();
    map->xAxis->setRange(-5000, 5000);  // a zoom by the user
    const int before = map->plottableCount();
    QTest::mouseClick(child<QPushButton>(&d, "setCoordinates"), Qt::LeftButton);
    QCOMPARE(map->xAxis->range().lower, 50.0 - 157.5);
    QCOMPARE(map->xAxis->range().upper, 50.0 + 157.5);
    QCOMPARE(map->plottableCount(), before);  // nothing piles up
}

void TestSectionDialog::clickAndTakeProfile()
{
    HorizontalSliceDialog d;
    d.setLanguage(0);
    d.setModelBounds(0, 100, 0, 100);
    std::vector<std::vector<double>> scheme{{0, 0, 100, 100}, {10, 20, 30, 40, 50, 60}};
    d.setProfiles(scheme);
    d.setLineCoordinates(0, 100, 50, 50, 7);
    QSignalSpy spy(&d, SIGNAL(coordsSelected(double, double, double, double, double)));

    QCustomPlot* map = d.mapPlot();
    auto* button = child<QPushButton>(&d, "setCoordsFromProfile");
    auto* info = child<QLabel>(&d, "infoLabel");

    // The red line: an empty red name, no button.
    QCPCurve* line = curvesNamed(map, QString()).last();
    d.plottableClick(line, 0, nullptr);
    QCOMPARE(info->text(), QString("<html> <font color='red'></html>"));
    QVERIFY(button->isHidden());

    // The second profile: its name and the button; the button takes its
    // first segment and keeps the step.
    QCPCurve* second = curvesNamed(map, QString::fromUtf8("Профиль 2"))[0];
    d.plottableClick(second, 0, nullptr);
    QCOMPARE(info->text(), QString::fromUtf8("<html> <font color='red'>Профиль 2</html>"));
    QVERIFY(!button->isHidden());
    second->setSelection(QCPDataSelection(QCPDataRange(0, 1)));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0], (Line{10.0, 30.0, 20.0, 40.0, 7.0}));
    QCOMPARE(child<QLineEdit>(&d, "xmin")->text(), QString("10"));
    QCOMPARE(child<QLineEdit>(&d, "ymax")->text(), QString("40"));
}

void TestSectionDialog::profileButtonIgnoresOtherCurves()
{
    HorizontalSliceDialog d;
    d.setLanguage(1);
    d.setLineCoordinates(0, 100, 50, 50, 7);
    std::vector<std::vector<std::vector<QVector3D>>> sticks{{{QVector3D(0, 0, 0)}, {QVector3D(10, 10, 0)}}};
    std::vector<QString> names{"Profile fault"};
    d.setFaults(sticks, names);
    QSignalSpy spy(&d, SIGNAL(coordsSelected(double, double, double, double, double)));
    // Nothing selected: nothing happens.
    QTest::mouseClick(child<QPushButton>(&d, "setCoordsFromProfile"), Qt::LeftButton);
    // A fault whose name looks like a profile: the line stays as it was.
    QList<QCPCurve*> fault = curvesNamed(d.mapPlot(), "Profile fault");
    QCOMPARE(fault.size(), 1);
    QCOMPARE(fault[0]->pen().color(), QColor(Qt::darkMagenta));
    fault[0]->setSelection(QCPDataSelection(QCPDataRange(0, 1)));
    QTest::mouseClick(child<QPushButton>(&d, "setCoordsFromProfile"), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(child<QLineEdit>(&d, "xmax")->text(), QString("100"));
}

void TestSectionDialog::sectionDrawnWithColourMap()
{
    HorizontalSliceDialog d;
    d.setLanguage(1);
    d.setGradient(QCPColorGradient(QCPColorGradient::gpHot), 1.5, 2.5);
    Section s;
    d.setDensitySlice(s.values, s.x, s.z);
    QCOMPARE(d.densityParams(), (std::vector<double>{4, 3, 0, 30, 0, 200}));
    QCustomPlot* plot = d.sectionPlot();
    QCOMPARE(countOf(plot, "QCPColorMap"), 1);
    auto* map = qobject_cast<QCPColorMap*>(plot->plottable(0));
    QVERIFY(map);
    QCOMPARE(map->data()->keySize(), 4);
    QCOMPARE(map->data()->valueSize(), 3);
    QCOMPARE(map->data()->cell(2, 1), 7.0);  // sample 2, level 1
    QCOMPARE(map->data()->keyRange(), QCPRange(0, 30));
    QCOMPARE(map->data()->valueRange(), QCPRange(0, 200));
    QCOMPARE(map->dataRange(), QCPRange(1.5, 2.5));
    QCOMPARE(map->gradient(), QCPColorGradient(QCPColorGradient::gpHot));
    QVERIFY(d.sectionColorScale()->visible());
    QCOMPARE(d.sectionColorScale()->axis()->label(), QString("σ, g/cm3"));
    QCOMPARE(d.sectionColorScale()->dataRange(), QCPRange(1.5, 2.5));
    QVERIFY(plot->yAxis->rangeReversed());
    QCOMPARE(plot->xAxis->label(), QString("X, m"));
    QCOMPARE(plot->yAxis->label(), QString("Z, m"));
    QVERIFY(plot->xAxis2->visible() && plot->yAxis2->visible());
    // The section and the profiles share their left and right margins.
    QVERIFY(plot->axisRect()->marginGroup(QCP::msLeft));
    QCOMPARE(plot->axisRect()->marginGroup(QCP::msLeft), d.profilePlot()->axisRect()->marginGroup(QCP::msLeft));
    QCOMPARE(plot->axisRect()->marginGroup(QCP::msRight), d.profilePlot()->axisRect()->marginGroup(QCP::msRight));
    // A replot works.
    QVERIFY(!plot->toPixmap(400, 300).isNull());
}

void TestSectionDialog::sectionWithoutSamplesKeepsPrevious()
{
    HorizontalSliceDialog d;
    Section s;
    d.setDensitySlice(s.values, s.x, s.z);
    std::vector<std::vector<double>> none;
    std::vector<double> no_x, z{0, 1};
    d.setDensitySlice(none, no_x, z);
    QCOMPARE(d.densitySection(), s.values);
    QCOMPARE(countOf(d.sectionPlot(), "QCPColorMap"), 1);
}

void TestSectionDialog::contextMenuItems()
{
    HorizontalSliceDialog d;
    d.setLanguage(1);
    Section s;
    d.setDensitySlice(s.values, s.x, s.z);
    auto menus = [&] { return d.findChildren<QMenu*>(); };
    QMetaObject::invokeMethod(&d, "on_densitySlice_customContextMenuRequested", Q_ARG(QPoint, QPoint(10, 10)));
    QCOMPARE(menus().size(), 1);
    QList<QAction*> actions = menus()[0]->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions[0]->text(), QString("Density"));
    QVERIFY(actions[0]->isCheckable() && actions[0]->isChecked());
    menus()[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(menus().size(), 0);  // deleted when it closed

    // With every cube, in Russian: four items, the shown one checked.
    d.setLanguage(0);
    d.setVpSlice(s.values, s.x, s.z, 1000, 6000);
    d.setVsSlice(s.values, s.x, s.z, 500, 3000);
    d.setRegSlice(s.values, s.x, s.z, 0, 1);
    QMetaObject::invokeMethod(&d, "on_densitySlice_customContextMenuRequested", Q_ARG(QPoint, QPoint(10, 10)));
    actions = menus()[0]->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions[0]->text(), QString::fromUtf8("Плотность"));
    QCOMPARE(actions[1]->text(), QString("Vp"));
    QCOMPARE(actions[2]->text(), QString("Vs"));
    QCOMPARE(actions[3]->text(), QString::fromUtf8("Регуляризатор"));
    QVERIFY(actions[0]->isChecked());
    QVERIFY(!actions[2]->isCheckable());
    actions[2]->trigger();  // Vs
    QCOMPARE(d.sliceType(), 3);
    QCOMPARE(d.sectionColorScale()->axis()->label(), QString::fromUtf8("Vs, м/с"));
    QCOMPARE(d.sectionColorScale()->dataRange(), QCPRange(500, 3000));
}

void TestSectionDialog::switchingCubeRedraws()
{
    HorizontalSliceDialog d;
    d.setLanguage(1);
    Section s;
    d.setLineCoordinates(0, 10, 0, 0, 1);
    d.setDensitySlice(s.values, s.x, s.z);
    std::vector<std::vector<double>> hor{{50, 60, 70, 80}};
    d.setHorizonsDepths(hor, s.x);
    std::vector<std::vector<double>> reg{{-1, 0, 1, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}};
    d.setRegSlice(reg, s.x, s.z, -1, 1);
    QCOMPARE(d.sliceType(), 1);  // arriving does not switch
    d.showR();
    QCOMPARE(d.sliceType(), 4);
    QCustomPlot* plot = d.sectionPlot();
    auto* map = qobject_cast<QCPColorMap*>(plot->plottable(0));
    QVERIFY(map);
    QCOMPARE(map->data()->cell(0, 0), -1.0);
    QCOMPARE(d.sectionColorScale()->axis()->label(), QString("R"));
    QCOMPARE(map->dataRange(), QCPRange(-1, 1));
    QCOMPARE(plot->graphCount(), 1);  // the horizon came back
    d.showDens();
    QCOMPARE(d.sectionColorScale()->axis()->label(), QString("σ, g/cm3"));
    QCOMPARE(plot->graphCount(), 1);
}

void TestSectionDialog::horizonsDrawnAsMagentaLines()
{
    HorizontalSliceDialog d;
    Section s;
    d.setDensitySlice(s.values, s.x, s.z);
    std::vector<std::vector<double>> hor{{50, 60, 70, 80}, {150, 160, 170, 180}};
    d.setHorizonsDepths(hor, s.x);
    QCustomPlot* plot = d.sectionPlot();
    QCOMPARE(plot->graphCount(), 2);
    QCOMPARE(countOf(plot, "QCPColorMap"), 1);  // the section stays
    QCPGraph* g = plot->graph(1);
    QCOMPARE(g->pen().color(), QColor(Qt::magenta));
    QCOMPARE(g->pen().width(), 3);
    QCOMPARE(g->lineStyle(), QCPGraph::lsLine);
    QCOMPARE(g->data()->size(), 4);
    QCOMPARE(g->data()->at(3)->key, 30.0);
    QCOMPARE(g->data()->at(3)->value, 180.0);
    QCOMPARE(d.horizonDepths(), hor);
    // New depths replace the old lines.
    std::vector<std::vector<double>> one{{1, 2, 3, 4}};
    d.setHorizonsDepths(one, s.x);
    QCOMPARE(plot->graphCount(), 1);
}

void TestSectionDialog::profilesAndRmse_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("calc");
    QTest::addColumn<bool>("obs");
    QTest::addColumn<int>("graphs");
    QTest::addColumn<QString>("label");
    QTest::newRow("both, English") << 1 << true << true << 3 << QString("RMSE = ± 3.53553 mGal");
    QTest::newRow("both, Russian") << 0 << true << true << 3 << QString::fromUtf8("СКО = ± 3.53553  мГал");
    QTest::newRow("calculated only") << 1 << true << false << 1 << QString();
    QTest::newRow("observed only") << 1 << false << true << 1 << QString();
    QTest::newRow("none") << 1 << false << false << 0 << QString();
}

void TestSectionDialog::profilesAndRmse()
{
    QFETCH(int, language);
    QFETCH(bool, calc);
    QFETCH(bool, obs);
    QFETCH(int, graphs);
    QFETCH(QString, label);
    HorizontalSliceDialog d;
    d.setLanguage(language);
    std::vector<double> x{0, 10}, c{1, 2}, o{4, 6}, r{3, 4};
    if (calc)
        d.setVzCalcSlice(c, x);
    if (obs)
        d.setVzObsSlice(o, x);
    if (calc && obs)
        d.setVzResidSlice(r, x);
    d.plotVz();
    QCustomPlot* plot = d.profilePlot();
    QCOMPARE(plot->graphCount(), graphs);
    QCOMPARE(child<QLabel>(&d, "mse_label")->text(), label);
    if (graphs == 0)
        return;
    const bool en = language != 0;
    QCOMPARE(plot->xAxis->label(), en ? QString("X, m") : QString::fromUtf8("X, м"));
    QCOMPARE(plot->yAxis->label(), en ? QString("dg, mGal") : QString::fromUtf8("dg, мГал"));
    QVERIFY(plot->legend->visible());
    QCOMPARE(plot->legend->borderPen().style(), Qt::NoPen);
    QCOMPARE(plot->legend->brush().style(), Qt::NoBrush);
    QCOMPARE(plot->xAxis->range(), QCPRange(0, 10));
    if (calc && obs) {
        QCOMPARE(plot->yAxis->range(), QCPRange(1, 6));
        QCPGraph* cg = plot->graph(0);
        QCOMPARE(cg->name(), en ? QString("Calculated field") : QString::fromUtf8("Рассчитанное поле"));
        QCOMPARE(cg->pen().color(), QColor(Qt::red));
        QCPGraph* og = plot->graph(1);
        QCOMPARE(og->name(), en ? QString("Observed field") : QString::fromUtf8("Наблюденное поле"));
        QCOMPARE(og->lineStyle(), QCPGraph::lsNone);
        QCOMPARE(og->scatterStyle().shape(), QCPScatterStyle::ssCircle);
        QCOMPARE(og->scatterStyle().size(), 2.0);
        QCPGraph* rg = plot->graph(2);
        QCOMPARE(rg->name(), en ? QString("Residual field") : QString::fromUtf8("Остаточное поле"));
        QCOMPARE(rg->valueAxis(), plot->yAxis2);
        QCOMPARE(rg->pen().color(), QColor(Qt::darkYellow));
        QVERIFY(plot->yAxis2->visible());
        QCOMPARE(plot->yAxis2->range(), QCPRange(3, 4));
        QCOMPARE(plot->yAxis2->label(), en ? QString("δg, mGal") : QString::fromUtf8("δg, мГал"));
        QCOMPARE(plot->yAxis2->labelColor(), QColor(Qt::darkYellow));
        QCOMPARE(plot->yAxis2->tickLabelColor(), QColor(Qt::darkYellow));
    } else {
        QVERIFY(!plot->yAxis2->visible());
    }
}

void TestSectionDialog::faultsTracesAndCrossings()
{
    HorizontalSliceDialog d;
    d.setModelBounds(0, 10, -10, 10);
    d.setLineCoordinates(0, 10, 0, 0, 1);
    Section s;
    d.setDensitySlice(s.values, s.x, s.z);
    // Points given deepest first: the dialog sorts them.
    std::vector<std::vector<std::vector<QVector3D>>> sticks{
        {{QVector3D(5, -5, 300), QVector3D(5, -5, 100)}, {QVector3D(5, 5, 600), QVector3D(5, 5, 200)}, {}},
        {{QVector3D(20, -5, 0), QVector3D(20, -5, 10)}, {QVector3D(20, 5, 0), QVector3D(20, 5, 10)}}};
    std::vector<QString> names{"F1", "F2"};
    d.setFaults(sticks, names);
    QCOMPARE(d.sortedFaults()[0][0][0].z(), 100.f);
    QCOMPARE(int(d.faultCrossings().size()), 1);  // F2 lies beyond the section's end
    QCOMPARE(d.faultCrossings()[0][0].distance, 5.f);
    QCOMPARE(d.faultCrossings()[0][0].depth, 150.f);
    QCOMPARE(d.faultCrossings()[0][1].depth, 450.f);
    // Traces on the map: through the shallowest point of each stick that has one.
    QList<QCPCurve*> f1 = curvesNamed(d.mapPlot(), "F1");
    QCOMPARE(f1.size(), 1);
    QCOMPARE(f1[0]->data()->size(), 2);
    QCOMPARE(f1[0]->data()->at(1)->value, 5.0);
    // Crossings on the section: one unnamed dark magenta curve, kept through
    // redraws without piling up.
    auto crossingCurves = [&] {
        int n = 0;
        for (QCPCurve* c : curvesNamed(d.sectionPlot(), QString()))
            if (c->pen().color() == QColor(Qt::darkMagenta))
                ++n;
        return n;
    };
    QCOMPARE(crossingCurves(), 1);
    d.showDens();
    QCOMPARE(crossingCurves(), 1);
    d.setFaults(sticks, names);
    QCOMPARE(crossingCurves(), 1);
    // A new line follows: the crossings move with it.
    child<QLineEdit>(&d, "xmax")->setText("30");
    QTest::keyClick(child<QLineEdit>(&d, "xmax"), Qt::Key_Return);
    d.setDensitySlice(s.values, s.x, s.z);  // the extraction's redraw
    QCOMPARE(int(d.faultCrossings().size()), 2);
    QCOMPARE(d.faultCrossings()[1][0].distance, 20.f);
}

void TestSectionDialog::importLine()
{
    HorizontalSliceDialog d;
    d.setLineCoordinates(0, 1, 0, 1, 5);
    QSignalSpy spy(&d, SIGNAL(coordsSelected(double, double, double, double, double)));
    const QString file = dir->filePath("line.bln");
    writeText(file, "3,1\n512000.5, 5512000.25\n513000,5513000\n514000 5514000\n");
    fake->openNames << file;
    QTest::mouseClick(child<QPushButton>(&d, "importCoordinates"), Qt::LeftButton);
    QCOMPARE(fake->fileRequests.size(), 1);
    QCOMPARE(fake->fileRequests[0].kind, QString("open"));
    QCOMPARE(fake->fileRequests[0].caption, QString("Open file"));
    QCOMPARE(fake->fileRequests[0].dir, QString());
    QCOMPARE(fake->fileRequests[0].filter, QString("*.bln"));
    QVERIFY(fake->errors().isEmpty());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0], (Line{512000.5, 513000.0, 5512000.25, 5513000.0, 5.0}));  // the step is kept
    // Cancelled: nothing happens.
    QTest::mouseClick(child<QPushButton>(&d, "importCoordinates"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TestSectionDialog::importLineErrors_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("start");  // beginning of the error text
    QTest::newRow("second line holds one number") << 1 << QByteArray("2,1\n100\n200 300\n") << QString("BLN error\n");
    QTest::newRow("one point only") << 1 << QByteArray("1,1\n100 200\n") << QString("BLN error");
    QTest::newRow("no polyline") << 0 << QByteArray("hello\n") << QString::fromUtf8("Ошибка в BLN файле ");
    QTest::newRow("truncated") << 0 << QByteArray("5,1\n1 2\n3 4\n") << QString::fromUtf8("Ошибка в BLN файле \n");
}

void TestSectionDialog::importLineErrors()
{
    QFETCH(int, language);
    QFETCH(QByteArray, content);
    QFETCH(QString, start);
    HorizontalSliceDialog d;
    d.setLanguage(language);
    d.setLineCoordinates(1, 2, 3, 4, 5);
    QSignalSpy spy(&d, SIGNAL(coordsSelected(double, double, double, double, double)));
    const QString file = dir->filePath("bad.bln");
    writeText(file, content);
    fake->openNames << file;
    QTest::mouseClick(child<QPushButton>(&d, "importCoordinates"), Qt::LeftButton);
    QCOMPARE(fake->errors().size(), 1);
    QVERIFY2(fake->errors()[0].startsWith(start), qPrintable(fake->errors()[0]));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(child<QLineEdit>(&d, "xmin")->text(), QString("1"));
    QCOMPARE(child<QLineEdit>(&d, "ymax")->text(), QString("4"));
}

void TestSectionDialog::sectionBlnWriter()
{
    HorizontalSliceDialog d;
    std::vector<double> x{0, 100, 250.5}, v{1500, -2.5, 3.125};
    const QString file = dir->filePath("p.bln");
    QVERIFY(d.writeSectionBln(file, x, v, -1));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("3,1\n0, -1500\n100, 2.5\n250.5, -3.125\n"));
    std::vector<bln_polyline> back;
    QVERIFY(read_bln_polylines(file, back).ok());
    QCOMPARE(back, (std::vector<bln_polyline>{{0, -1500, 100, 2.5, 250.5, -3.125}}));

    // Refused: no file is created.
    std::vector<double> empty, shorter{1, 2};
    QVERIFY(!d.writeSectionBln(dir->filePath("a.bln"), empty, empty, 1));
    QVERIFY(!d.writeSectionBln(dir->filePath("b.bln"), x, shorter, 1));
    QVERIFY(!d.writeSectionBln(QString(), x, v, 1));
    QVERIFY(!QFile::exists(dir->filePath("a.bln")));
    QVERIFY(!QFile::exists(dir->filePath("b.bln")));
    // A folder that does not exist: false, nothing written.
    QVERIFY(!d.writeSectionBln(dir->filePath("no/such/p.bln"), x, v, 1));
}

void TestSectionDialog::crossingsWriter()
{
    HorizontalSliceDialog d;
    std::vector<section::Crossing> c{{{5.f, 150.f}, {5.f, 450.f}}, {{0.1f, 10.5f}}};
    const QString file = dir->filePath("f.bln");
    QVERIFY(d.writeFaultCrossingsBln(file, c, 1));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    // Floats written with the digits they have.
    QCOMPARE(f.readAll(), QByteArray("2,1\n5, 150\n5, 450\n1,1\n0.1, 10.5\n"));
    std::vector<bln_polyline> back;
    QVERIFY(read_bln_polylines(file, back).ok());
    QCOMPARE(int(back.size()), 2);
    QVERIFY(d.writeFaultCrossingsBln(file, c, -1));
    QVERIFY(read_bln_polylines(file, back).ok());
    QCOMPARE(back[0][1], -150.0);
    std::vector<section::Crossing> none;
    QVERIFY(!d.writeFaultCrossingsBln(dir->filePath("none.bln"), none, 1));
    QVERIFY(!QFile::exists(dir->filePath("none.bln")));
    QVERIFY(!d.writeFaultCrossingsBln(QString(), c, 1));
}

void TestSectionDialog::resizeGoesThroughItsSignal()
{
    qRegisterMetaType<QResizeEvent*>();
    HorizontalSliceDialog d;
    QSignalSpy spy(&d, SIGNAL(resizeEvent(QResizeEvent*)));
    d.show();
    d.resize(900, 600);
    QCoreApplication::processEvents();
    QVERIFY(spy.count() >= 1);
    d.close();
}

QTEST_MAIN(TestSectionDialog)
#include "tst_section_dialog.moc"
