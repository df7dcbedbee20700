// The ports present: which one a port name opens, and its adapter's USB ids.
#include "PortList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortList : public QObject {
    Q_OBJECT

private slots:
    // "%T" stands for a folder holding a stand-in device and a by-id link to it.
    void presentPortByName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device"); // empty: none
        QTest::newRow("COM name") << "COM1"
                                  << "/dev/ttyS0";
        QTest::newRow("name under /dev") << "ttyS0"
                                         << "/dev/ttyS0";
        QTest::newRow("device path") << "%T/ttyUSB7"
                                     << "%T/ttyUSB7";
        QTest::newRow("link by id") << "%T/by-id/usb-FTDI_A50285BI-if00"
                                    << "%T/ttyUSB7";
        QTest::newRow("not present") << "COM2"
                                     << "";
        QTest::newRow("datagram link") << "TCP/IP"
                                       << "";
        QTest::newRow("datagram peer") << "10.0.0.7:9100"
                                       << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void presentPortByName() {
        QFETCH(QString, name);
        QFETCH(QString, device);
        QTemporaryDir dir;
        QFile stand(dir.filePath(QStringLiteral("ttyUSB7")));
        QVERIFY(stand.open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("by-id")));
        QVERIFY(QFile::link(QStringLiteral("../ttyUSB7"),
                            dir.filePath(QStringLiteral("by-id/usb-FTDI_A50285BI-if00"))));
        const QString folder = QFileInfo(dir.path()).canonicalFilePath();
        name.replace(QStringLiteral("%T"), folder);
        device.replace(QStringLiteral("%T"), folder);

        TPortInfo usb;
        usb.FDevice = folder + QStringLiteral("/ttyUSB7");
        usb.FVendorId = 0x0403;
        usb.FProductId = 0x6001;
        TPortInfo builtIn;
        builtIn.FDevice = QStringLiteral("/dev/ttyS0");
        const auto port = PresentPort(name, {builtIn, usb});
        QCOMPARE(port ? port->FDevice : QString(), device);
    }
};

QTEST_GUILESS_MAIN(TestPortList)
#include "test_portlist.moc"
