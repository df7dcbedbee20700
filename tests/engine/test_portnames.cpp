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

    // Permission: the group that owns the device, and how to join it.
    void permissionNamesTheGroup() {
        QTemporaryFile device;
        QVERIFY(device.open());
        const QString group = DeviceGroupName(device.fileName());
        QVERIFY(!group.isEmpty());
        TMyUart uart;
        uart.FOpenError = TOpenError::Permission;
        uart.FDevicePath = device.fileName();
        const QString text = OpenFailureText(device.fileName(), uart, 9600);
        QVERIFY2(text.contains(QStringLiteral("permission denied. On Linux the user must be in "
                                              "the group that owns the device (\"%1\"), then log "
                                              "in again: sudo usermod -aG %1 $USER")
                                   .arg(group)),
                 qPrintable(text));
        uart.FDevicePath = "/nonexistent/device";
        QVERIFY(
            OpenFailureText("/nonexistent/device", uart, 9600).contains("(usually \"dialout\")"));
    }
};

QTEST_GUILESS_MAIN(TestPortNames)
#include "test_portnames.moc"
