// The preferences dialog on a machine without any OpenCL platform: the
// device list is empty and nothing else changes.

#include "app/preferencesdialog.h"

#include <CL/cl.h>

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(std::vector<double>)

class TestPreferencesNoOpenCL : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyDeviceList();

private:
    QTemporaryDir no_vendors;
};

void TestPreferencesNoOpenCL::initTestCase()
{
    qRegisterMetaType<std::vector<double>>("std::vector<double>&");
    QVERIFY(no_vendors.isValid());
    // The ICD loader reads its vendor list on the first call: point it at an
    // empty folder before anything asks.
    qputenv("OCL_ICD_VENDORS", no_vendors.path().toLocal8Bit());
    cl_uint count = 99;
    const cl_int status = clGetPlatformIDs(0, nullptr, &count);
    QVERIFY(status != CL_SUCCESS || count == 0);
}

void TestPreferencesNoOpenCL::emptyDeviceList()
{
    QCOMPARE(PreferencesDialog::computingDeviceNames(), QStringList());
    PreferencesDialog d;
    QComboBox* devices = d.findChild<QComboBox*>(QStringLiteral("DeviceList"));
    QVERIFY(devices);
    QCOMPARE(devices->count(), 0);
    // The dialog works as usual.
    std::vector<double> record{1, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    d.loadPreferences(record);
    QSignalSpy spy(&d, SIGNAL(set_preferences(std::vector<double>&)));
    d.findChild<QPushButton*>(QStringLiteral("OKbutton"))->click();
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestPreferencesNoOpenCL)
#include "tst_preferences_no_opencl.moc"
