// The regrid parameter dialog: its form and texts, the node counts shown as
// values are typed, the fields filled from a lattice, and the records it
// emits on OK (each only when it is valid).
#include "editing/gridconvertparams.h"

#include <QtTest>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>

#include <map>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

const char* kFields[9] = {"minX", "maxX", "dx", "minY", "maxY", "dy", "minZ", "maxZ", "dz"};

QLineEdit* field(GridConvertParams& d, const char* name)
{
    return d.findChild<QLineEdit*>(name);
}

QString labelText(GridConvertParams& d, const char* name)
{
    auto* l = d.findChild<QLabel*>(name);
    return l ? l->text() : QStringLiteral("<missing>");
}

// Plain text of a rich-text label.
QString plain(const QString& rich)
{
    QTextDocument doc;
    doc.setHtml(rich);
    return doc.toPlainText();
}

void fill(GridConvertParams& d, const QStringList& values)
{
    for (int i = 0; i < values.size(); ++i)
        field(d, kFields[i])->setText(values[i]);
}

std::vector<double> record(const QSignalSpy& spy)
{
    return spy.isEmpty() ? std::vector<double>() : spy.first().first().value<std::vector<double>>();
}

}  // namespace

class TestGridConvertParams : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<std::vector<double>>(); }
    void form();
    void languages();
    void nodeCounts_data();
    void nodeCounts();
    void setValues();
    void setSurferValues();
    void hideZ();
    void records_data();
    void records();
    void closesBeforeEmitting();
    void cancelEmitsNothing();
};

void TestGridConvertParams::form()
{
    GridConvertParams d;
    QCOMPARE(d.objectName(), QStringLiteral("GridConvertParams"));
    QCOMPARE(d.size(), QSize(564, 186));
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Параметры грида"));
    QVERIFY(!d.windowIcon().isNull());
    for (const char* name : kFields) {
        QVERIFY2(field(d, name), name);
        QVERIFY(field(d, name)->text().isEmpty());
    }
    for (const char* name : {"Nx", "Ny", "Nz"})
        QVERIFY(labelText(d, name).isEmpty());
    QCOMPARE(plain(labelText(d, "label")), QStringLiteral("Min"));
    QCOMPARE(plain(labelText(d, "label_2")), QStringLiteral("Max"));
    QCOMPARE(plain(labelText(d, "label_3")), QString::fromUtf8("Δ"));
    QCOMPARE(plain(labelText(d, "label_6")), QStringLiteral("N"));
    QCOMPARE(plain(labelText(d, "label_4")), QStringLiteral("X"));
    QCOMPARE(plain(labelText(d, "label_7")), QStringLiteral("Y"));
    QCOMPARE(plain(labelText(d, "label_5")), QStringLiteral("Z"));
    auto* ok = d.findChild<QPushButton*>("OKbutton");
    auto* cancel = d.findChild<QPushButton*>("Cancelbutton");
    QVERIFY(ok && cancel);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(ok->geometry(), QRect(130, 130, 93, 28));
    QCOMPARE(cancel->geometry(), QRect(330, 130, 93, 28));
    // Tab order through the nine fields, then OK and Cancel.
    QWidget* w = field(d, "minX");
    const QStringList expected{"minX", "maxX", "dx", "minY", "maxY", "dy", "minZ", "maxZ", "dz", "OKbutton", "Cancelbutton"};
    for (int i = 1; i < expected.size(); ++i) {
        w = w->nextInFocusChain();
        while (w && w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        QVERIFY(w);
        QCOMPARE(w->objectName(), expected[i]);
    }
}

void TestGridConvertParams::languages()
{
    GridConvertParams d;
    d.setLanguage(1);
    QCOMPARE(d.windowTitle(), QStringLiteral("Grid parameters"));
    QCOMPARE(plain(labelText(d, "label_4")), QStringLiteral("X, m"));
    QCOMPARE(plain(labelText(d, "label_7")), QStringLiteral("Y, m"));
    QCOMPARE(plain(labelText(d, "label_5")), QStringLiteral("Z, m"));
    QCOMPARE(d.findChild<QPushButton*>("Cancelbutton")->text(), QStringLiteral("Cancel"));
    QCOMPARE(d.findChild<QPushButton*>("OKbutton")->text(), QStringLiteral("OK"));
    QCOMPARE(plain(labelText(d, "label")), QStringLiteral("Min"));

    d.setLanguage(0);
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Параметры сетки"));
    QCOMPARE(plain(labelText(d, "label_4")), QString::fromUtf8("X, м"));
    QCOMPARE(plain(labelText(d, "label_7")), QString::fromUtf8("Y, м"));
    QCOMPARE(plain(labelText(d, "label_5")), QString::fromUtf8("Z, м"));
    QCOMPARE(d.findChild<QPushButton*>("Cancelbutton")->text(), QString::fromUtf8("Отмена"));
    QCOMPARE(d.findChild<QPushButton*>("OKbutton")->text(), QStringLiteral("OK"));

    // Another value keeps the texts as they are.
    GridConvertParams other;
    other.setLanguage(5);
    QCOMPARE(other.windowTitle(), QString::fromUtf8("Параметры грида"));
    QCOMPARE(plain(labelText(other, "label_4")), QStringLiteral("X"));
}

void TestGridConvertParams::nodeCounts_data()
{
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("count");
    QTest::newRow("0..1000 by 300") << "0" << "1000" << "300" << "4";
    QTest::newRow("0..1000 by 5") << "0" << "1000" << "5" << "201";
    QTest::newRow("one node") << "10" << "10" << "3" << "1";
    QTest::newRow("step 0") << "0" << "1000" << "0" << "";
    QTest::newRow("unreadable step") << "0" << "1000" << "abc" << "";
    QTest::newRow("unreadable max counts as 0") << "-100" << "x" << "50" << "3";
}

void TestGridConvertParams::nodeCounts()
{
    QFETCH(QString, min);
    QFETCH(QString, max);
    QFETCH(QString, step);
    QFETCH(QString, count);
    // The same values on each axis in turn; the count follows every change.
    const char* counts[3] = {"Nx", "Ny", "Nz"};
    for (int axis = 0; axis < 3; ++axis) {
        GridConvertParams d;
        field(d, kFields[3 * axis])->setText(min);
        field(d, kFields[3 * axis + 1])->setText(max);
        field(d, kFields[3 * axis + 2])->setText(step);
        QCOMPARE(labelText(d, counts[axis]), count);
    }
}

void TestGridConvertParams::setValues()
{
    GridConvertParams d;
    // Every value with all its digits (the shortest text that reads back to
    // it), so that OK without an edit sends back the same numbers.
    d.setValues({512345.5, 513000, 25, -100, 100, 12.5, 1234.5612, 2000, 24.691224});
    const QStringList expected{"512345.5", "513000", "25", "-100", "100", "12.5", "1234.5612", "2000", "24.691224"};
    for (int i = 0; i < 9; ++i)
        QCOMPARE(field(d, kFields[i])->text(), expected[i]);
    QCOMPARE(labelText(d, "Nx"), QStringLiteral("27"));  // (513000 - 512345.5) / 25 + 1
    QCOMPARE(labelText(d, "Ny"), QStringLiteral("17"));
    QCOMPARE(labelText(d, "Nz"), QStringLiteral("32"));  // (2000 - 1234.5612) / 24.691224 + 1

    // 7-digit coordinates in plain notation, never "6.51235e+06".
    d.setValues({6512345.5, 7000000, 0.7, 0, 1, 1, -0.0, 1e-7, 1});
    QCOMPARE(field(d, "minX")->text(), QStringLiteral("6512345.5"));
    QCOMPARE(field(d, "maxX")->text(), QStringLiteral("7000000"));
    QCOMPARE(field(d, "dx")->text(), QStringLiteral("0.7"));
    QCOMPARE(field(d, "minZ")->text(), QStringLiteral("0"));
    QCOMPARE(field(d, "maxZ")->text(), QStringLiteral("1e-07"));

    // Fewer than nine values change nothing.
    d.setValues({1, 2, 3, 4, 5, 6, 7, 8});
    QCOMPARE(field(d, "minX")->text(), QStringLiteral("6512345.5"));
    QCOMPARE(field(d, "dz")->text(), QStringLiteral("1"));
}

void TestGridConvertParams::setSurferValues()
{
    GridConvertParams d;
    fill(d, {"", "", "", "", "", "", "5", "50", "5"});
    d.setSurferValues({101, 51, 0, 1000, 0, 500, -3, 7});
    QCOMPARE(field(d, "minX")->text(), QStringLiteral("0"));
    QCOMPARE(field(d, "maxX")->text(), QStringLiteral("1000"));
    QCOMPARE(field(d, "dx")->text(), QStringLiteral("10"));
    QCOMPARE(field(d, "minY")->text(), QStringLiteral("0"));
    QCOMPARE(field(d, "maxY")->text(), QStringLiteral("500"));
    QCOMPARE(field(d, "dy")->text(), QStringLiteral("10"));
    QCOMPARE(labelText(d, "Nx"), QStringLiteral("101"));
    QCOMPARE(labelText(d, "Ny"), QStringLiteral("51"));
    // The Z row is kept.
    QCOMPARE(field(d, "minZ")->text(), QStringLiteral("5"));
    QCOMPARE(field(d, "maxZ")->text(), QStringLiteral("50"));
    QCOMPARE(field(d, "dz")->text(), QStringLiteral("5"));

    // Steps of 7-digit grids in their shortest decimal: 4 columns 25 m apart
    // and 3 rows 100.02 m apart keep their counts.
    d.setSurferValues({4, 3, 6512345.5, 6512420.5, 512345.5, 512345.5 + 2 * 100.02});
    QCOMPARE(field(d, "minX")->text(), QStringLiteral("6512345.5"));
    QCOMPARE(field(d, "maxX")->text(), QStringLiteral("6512420.5"));
    QCOMPARE(field(d, "dx")->text(), QStringLiteral("25"));
    QCOMPARE(field(d, "minY")->text(), QStringLiteral("512345.5"));
    QCOMPARE(field(d, "dy")->text(), QStringLiteral("100.02"));
    QCOMPARE(labelText(d, "Nx"), QStringLiteral("4"));
    QCOMPARE(labelText(d, "Ny"), QStringLiteral("3"));

    // A single node along an axis has no step.
    d.setSurferValues({1, 3, 250, 250, 0, 20});
    QCOMPARE(field(d, "dx")->text(), QStringLiteral("0"));
    QCOMPARE(field(d, "dy")->text(), QStringLiteral("10"));

    // Fewer than six values change nothing.
    d.setSurferValues({11, 11, 0, 1, 0});
    QCOMPARE(field(d, "minX")->text(), QStringLiteral("250"));
}

void TestGridConvertParams::hideZ()
{
    GridConvertParams d;
    d.hideZ();
    for (const char* name : {"minZ", "maxZ", "dz"})
        QVERIFY(field(d, name)->isHidden());
    QVERIFY(d.findChild<QLabel*>("Nz")->isHidden());
    QVERIFY(d.findChild<QLabel*>("label_5")->isHidden());
    QVERIFY(!field(d, "minX")->isHidden());
    QVERIFY(!d.findChild<QLabel*>("Ny")->isHidden());
}

void TestGridConvertParams::records_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<std::vector<double>>("grid3d");
    QTest::addColumn<std::vector<double>>("grid2d");
    QTest::addColumn<std::vector<double>>("minmax");
    using V = std::vector<double>;
    QTest::newRow("all valid, maxima snapped")
        << QStringList{"0", "1000", "300", "0", "500", "100", "0", "105", "10"}
        << V{0, 900, 300, 0, 500, 100, 0, 100, 10} << V{4, 6, 0, 900, 0, 500} << V{0, 900, 0, 500, 0, 100};
    QTest::newRow("step 5 keeps 1000") << QStringList{"0", "1000", "5", "-50", "50", "50", "10", "30", "10"}
                                       << V{0, 1000, 5, -50, 50, 50, 10, 30, 10} << V{201, 3, 0, 1000, -50, 50}
                                       << V{0, 1000, -50, 50, 10, 30};
    {
        // The lattice of a 7-digit grid as the dialog shows it: sent back
        // unchanged, with the maxima as typed and no count lost.
        const double maxZ = 1234.5612 + 4 * 24.691224;
        const double maxY = 512345.5 + 2 * 100.02;
        QTest::newRow("7-digit lattice comes back as shown")
            << QStringList{"6512345.5", "6512420.5", "25", "512345.5", QString::number(maxY, 'g', 17), "100.02",
                           "1234.5612", QString::number(maxZ, 'g', 17), "24.691224"}
            << V{6512345.5, 6512420.5, 25, 512345.5, maxY, 100.02, 1234.5612, maxZ, 24.691224}
            << V{4, 3, 6512345.5, 6512420.5, 512345.5, maxY} << V{6512345.5, 6512420.5, 512345.5, maxY, 1234.5612, maxZ};
        QTest::newRow("0 .. 0.7 by 0.1 keeps 8 levels")
            << QStringList{"0", "100", "50", "0", "100", "50", "0", "0.7", "0.1"} << V{0, 100, 50, 0, 100, 50, 0, 0.7, 0.1}
            << V{3, 3, 0, 100, 0, 100} << V{0, 100, 0, 100, 0, 0.7};
    }
    QTest::newRow("maxX at minX: nothing") << QStringList{"100", "100", "10", "0", "500", "100", "0", "100", "10"}
                                          << V{} << V{} << V{};
    QTest::newRow("maxX below minX: nothing") << QStringList{"100", "0", "10", "0", "500", "100", "0", "100", "10"}
                                             << V{} << V{} << V{};
    QTest::newRow("maxX short of one step: nothing")
        << QStringList{"0", "99", "100", "0", "500", "100", "0", "100", "10"} << V{} << V{} << V{};
    QTest::newRow("maxY at minY: nothing") << QStringList{"0", "1000", "100", "50", "50", "10", "0", "100", "10"}
                                          << V{} << V{} << V{};
    QTest::newRow("flat Z: 2D only") << QStringList{"0", "1000", "500", "0", "10", "5", "20", "20", "10"} << V{}
                                     << V{3, 3, 0, 1000, 0, 10} << V{};
    QTest::newRow("dz 0: 2D only") << QStringList{"0", "1000", "500", "0", "10", "5", "0", "100", "0"} << V{}
                                   << V{3, 3, 0, 1000, 0, 10} << V{};
    QTest::newRow("negative dz: 2D and min/max")
        << QStringList{"0", "1000", "500", "0", "10", "5", "0", "100", "-30"} << V{} << V{3, 3, 0, 1000, 0, 10}
        << V{0, 1000, 0, 10, 0, 90};
    QTest::newRow("dx 0: nothing") << QStringList{"0", "1000", "0", "0", "500", "100", "0", "100", "10"} << V{}
                                   << V{} << V{};
    QTest::newRow("negative dx: min/max only")
        << QStringList{"0", "1000", "-300", "0", "500", "100", "0", "100", "10"} << V{} << V{}
        << V{0, 900, 0, 500, 0, 100};
    QTest::newRow("negative dy: min/max only")
        << QStringList{"0", "1000", "500", "0", "500", "-100", "0", "100", "10"} << V{} << V{}
        << V{0, 1000, 0, 500, 0, 100};
    QTest::newRow("Z row empty (hidden): 2D only") << QStringList{"0", "1000", "250", "0", "500", "250"} << V{}
                                                   << V{5, 3, 0, 1000, 0, 500} << V{};
    QTest::newRow("unreadable maxX: nothing") << QStringList{"0", "1e3x", "10", "0", "500", "100", "0", "100", "10"}
                                             << V{} << V{} << V{};
    QTest::newRow("infinite maxY: nothing") << QStringList{"0", "1000", "10", "0", "inf", "100", "0", "100", "10"}
                                           << V{} << V{} << V{};
    QTest::newRow("count beyond int: nothing")
        << QStringList{"0", "1e12", "1e-3", "0", "500", "100", "0", "100", "10"} << V{} << V{} << V{};
}

void TestGridConvertParams::records()
{
    QFETCH(QStringList, values);
    QFETCH(std::vector<double>, grid3d);
    QFETCH(std::vector<double>, grid2d);
    QFETCH(std::vector<double>, minmax);
    GridConvertParams d;
    fill(d, values);
    QSignalSpy spy3d(&d, &GridConvertParams::GridConvertParamsSignal);
    QSignalSpy spy2d(&d, &GridConvertParams::SurferGridParams);
    QSignalSpy spyMinMax(&d, &GridConvertParams::MinMaxSignal);
    d.findChild<QPushButton*>("OKbutton")->click();
    QCOMPARE(spy3d.count(), grid3d.empty() ? 0 : 1);
    QCOMPARE(spy2d.count(), grid2d.empty() ? 0 : 1);
    QCOMPARE(spyMinMax.count(), minmax.empty() ? 0 : 1);
    QCOMPARE(record(spy3d), grid3d);
    QCOMPARE(record(spy2d), grid2d);
    QCOMPARE(record(spyMinMax), minmax);
}

void TestGridConvertParams::closesBeforeEmitting()
{
    GridConvertParams d;
    d.setValues({0, 100, 10, 0, 100, 10, 0, 100, 10});
    d.show();
    QVERIFY(d.isVisible());
    int order = 0;
    int seen3d = 0, seen2d = 0, seenMinMax = 0;
    bool visible_when_emitted = true;
    connect(&d, &GridConvertParams::GridConvertParamsSignal, [&](std::vector<double>) {
        seen3d = ++order;
        visible_when_emitted = d.isVisible();
    });
    connect(&d, &GridConvertParams::SurferGridParams, [&](std::vector<double>) { seen2d = ++order; });
    connect(&d, &GridConvertParams::MinMaxSignal, [&](std::vector<double>) { seenMinMax = ++order; });
    d.findChild<QPushButton*>("OKbutton")->click();
    QCOMPARE(seen3d, 1);
    QCOMPARE(seen2d, 2);
    QCOMPARE(seenMinMax, 3);
    QVERIFY(!visible_when_emitted);
    QVERIFY(!d.isVisible());

    // Invalid input closes too.
    GridConvertParams bad;
    bad.show();
    QSignalSpy spy(&bad, &GridConvertParams::SurferGridParams);
    bad.findChild<QPushButton*>("OKbutton")->click();
    QVERIFY(!bad.isVisible());
    QCOMPARE(spy.count(), 0);
}

void TestGridConvertParams::cancelEmitsNothing()
{
    GridConvertParams d;
    d.setValues({0, 100, 10, 0, 100, 10, 0, 100, 10});
    d.show();
    QSignalSpy spy3d(&d, &GridConvertParams::GridConvertParamsSignal);
    QSignalSpy spy2d(&d, &GridConvertParams::SurferGridParams);
    QSignalSpy spyMinMax(&d, &GridConvertParams::MinMaxSignal);
    d.findChild<QPushButton*>("Cancelbutton")->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(spy3d.count() + spy2d.count() + spyMinMax.count(), 0);
}

QTEST_MAIN(TestGridConvertParams)
#include "tst_gridconvertparams.moc"
