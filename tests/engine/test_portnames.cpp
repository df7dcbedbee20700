// What PORT may name besides a serial port, and the words for a port that does not open.
#include "FailureText.h"
#include "PortName.h"

#include <QTemporaryFile>
#include <QTest>

class TestPortNames : public QObject {
    Q_OBJECT

private slots:
    void datagramPeers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: not a peer, a serial port name
        QTest::addColumn<int>("port");
        QTest::newRow("prefixed") << "TCP/IP 127.0.0.1:9100"
                                  << "127.0.0.1" << 9100;
        QTest::newRow("prefixed name") << "TCP/IP printer:9100"
                                       << "printer" << 9100;
        QTest::newRow("prefixed ipv6") << "TCP/IP [fe80::1]:9"
                                       << "fe80::1" << 9;
        QTest::newRow("dotted") << "192.168.1.5:9100"
                                << "192.168.1.5" << 9100;
        QTest::newRow("dotted name") << "prn.shop.lan:65535"
                                     << "prn.shop.lan" << 65535;
        QTest::newRow("ipv6") << "[::1]:1"
                              << "::1" << 1;
        QTest::newRow("blanks around") << "  10.0.0.1:9100 "
                                       << "10.0.0.1" << 9100;
        QTest::newRow("plain TCP/IP") << "TCP/IP"
                                      << "" << 0;
        QTest::newRow("serial") << "COM1"
                                << "" << 0;
        QTest::newRow("device") << "/dev/ttyUSB0"
                                << "" << 0;
        QTest::newRow("name without dot") << "printer:9100"
                                          << "" << 0;
        QTest::newRow("path with dot") << "/dev/tty.usb:1"
                                       << "" << 0;
        QTest::newRow("port 0") << "1.2.3.4:0"
                                << "" << 0;
        QTest::newRow("port too big") << "1.2.3.4:65536"
                                      << "" << 0;
        QTest::newRow("no port") << "1.2.3.4:"
                                 << "" << 0;
        QTest::newRow("signed port") << "1.2.3.4:+80"
                                     << "" << 0;
        QTest::newRow("ipv6 unbracketed") << "TCP/IP ::1:9100"
                                          << "" << 0;
        QTest::newRow("brackets without ipv6") << "[1.2.3.4]:80"
                                               << "" << 0;
    }

    void datagramPeers() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        const auto peer = ParseDatagramPeer(text);
        QCOMPARE(peer.has_value(), !host.isEmpty());
        QCOMPARE(IsDatagramPortName(text), !host.isEmpty() || text == "TCP/IP");
        if (peer) {
            QCOMPARE(peer->FHost, host);
            QCOMPARE(int(peer->FPort), port);
        }
    }

    void openFailures_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("not found")
            << int(TOpenError::NotFound)
            << "Cannot open the port COM3 (/dev/ttyS2): there is no such port.";
        QTest::newRow("busy") << int(TOpenError::Busy)
                              << "Cannot open the port COM3 (/dev/ttyS2): it is busy, held by "
                                 "another program.";
        QTest::newRow("not serial") << int(TOpenError::NotSerial)
                                    << "Cannot open the port COM3 (/dev/ttyS2): it is not a serial "
                                       "port.";
        QTest::newRow("rate") << int(TOpenError::Settings)
                              << "Cannot open the port COM3 (/dev/ttyS2): it does not take the "
                                 "rate 14400 bit/s.";
        QTest::newRow("other") << int(TOpenError::Other)
                               << "Cannot open the port COM3 (/dev/ttyS2): Input/output error.";
    }

    void openFailures() {
        QFETCH(int, error);
        QFETCH(QString, text);
        TMyUart uart;
        uart.FOpenError = TOpenError(error);
        uart.FOpenErrorText = "Input/output error";
        QVERIFY2(OpenFailureText("COM3", uart, 14400).startsWith(text),
                 qPrintable(OpenFailureText("COM3", uart, 14400)));
    }

    // Joining a group helps only when that group may read and write the device and is not
    // root's; otherwise only the administrator can help, with a udev rule.
    void permissionAdvice_data() {
        QTest::addColumn<bool>("known");
        QTest::addColumn<uint>("gid");
        QTest::addColumn<QString>("group");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<int>("vendor"); // -1: not a USB adapter
        QTest::addColumn<int>("product");
        QTest::addColumn<QString>("advice"); // the start of it
        const QString join = "The user must be in group \"dialout\", which may read and write "
                             "it, then log in again: sudo usermod -aG dialout $USER";
        const QString admin = "Only the administrator can open it: ask for a udev rule that gives "
                              "it to group dialout, this line in a file under /etc/udev/rules.d/: "
                              "SUBSYSTEM==\"tty\", %1, GROUP=\"dialout\", MODE=\"0660\"; then "
                              "join that group (sudo usermod -aG dialout $USER) and log in again.";
        const QString kernel = admin.arg("KERNEL==\"ttyS2\"");
        QTest::newRow("dialout rw") << true << 20u << "dialout" << 0660u << -1 << -1 << join;
        QTest::newRow("root's group") << true << 0u << "root" << 0660u << -1 << -1 << kernel;
        QTest::newRow("group may only read")
            << true << 20u << "dialout" << 0640u << -1 << -1 << kernel;
        QTest::newRow("owner only") << true << 1000u << "tech" << 0600u << -1 << -1 << kernel;
        QTest::newRow("root's group, USB adapter")
            << true << 0u << "root" << 0600u << 0x403 << 0x6001
            << admin.arg("ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\"");
        QTest::newRow("not looked at") << false << 0u << "" << 0u << -1 << -1 << kernel;
    }
    void permissionAdvice() {
        QFETCH(bool, known);
        QFETCH(uint, gid);
        QFETCH(QString, group);
        QFETCH(uint, mode);
        QFETCH(int, vendor);
        QFETCH(int, product);
        QFETCH(QString, advice);
        TDeviceAccess access;
        access.FKnown = known;
        access.FGid = gid;
        access.FGroup = group;
        access.FMode = mode;
        access.FKernelName = "ttyS2";
        if (vendor >= 0) {
            access.FVendorId = uint16_t(vendor);
            access.FProductId = uint16_t(product);
        }
        QCOMPARE(PermissionAdvice(access), advice);
    }

    // The real device's group and bits reach the open failure's words.
    void permissionLooksAtTheDevice() {
        QTemporaryFile device;
        QVERIFY(device.open());
        QVERIFY(device.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                      QFile::WriteGroup));
        const TDeviceAccess access = DeviceAccess(device.fileName());
        QVERIFY(access.FKnown);
        QCOMPARE(access.FMode, 0660u);
        QCOMPARE(access.FGroup, DeviceGroupName(device.fileName()));
        QCOMPARE(access.FKernelName, QFileInfo(device.fileName()).fileName());
        TMyUart uart;
        uart.FOpenError = TOpenError::Permission;
        uart.FDevicePath = device.fileName();
        QCOMPARE(OpenFailureText(device.fileName(), uart, 9600),
                 QStringLiteral("Cannot open the port %1: permission denied. %2")
                     .arg(device.fileName(), PermissionAdvice(access)));
    }

    // A character device that is no terminal is not a serial port, whatever the terminal calls
    // said.
    void devNullIsNotASerialPort() {
        TMyUart uart;
        QVERIFY(!uart.Open("/dev/null", 9600));
        QCOMPARE(uart.FOpenError, TOpenError::NotSerial);
        QCOMPARE(OpenFailureText("/dev/null", uart, 9600),
                 QString("Cannot open the port /dev/null: it is not a serial port."));
    }
};

QTEST_GUILESS_MAIN(TestPortNames)
#include "test_portnames.moc"
