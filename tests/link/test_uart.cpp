#include "UniUart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <chrono>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

qint64 MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int OpenDescriptorCount() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// A pseudo-terminal pair: the port under test opens the slave by its path, the test plays the
// printer on the master.
struct TPty {
    int master = -1;
    int slave = -1;
    QString path;

    TPty() {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        // Raw, or the line discipline echoes our bytes back and rewrites line ends.
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        path = QString::fromLocal8Bit(name);
    }
    ~TPty() {
        CloseMaster();
        if (slave >= 0)
            ::close(slave);
    }
    void CloseMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    bool Send(const QByteArray& bytes) const {
        return ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Collects what the port sent: stops at count bytes or after quietMs without a byte.
    QByteArray Receive(qsizetype count, int quietMs = 1000) const {
        QByteArray got;
        char chunk[65536];
        while (got.size() < count) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, quietMs) <= 0)
                break;
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.append(chunk, n);
        }
        return got;
    }
};

QByteArray ReadAll(TMyUart& uart, int32_t count, int32_t ms, int32_t* result = nullptr) {
    QByteArray buffer(count, '\0');
    int32_t received = -7;
    const int32_t n = uart.Read(reinterpret_cast<uint8_t*>(buffer.data()), count, received, ms);
    if (result)
        *result = n;
    if (n >= 0 && n != received)
        return QByteArrayLiteral("<received differs>");
    return n < 0 ? QByteArrayLiteral("<failed>") : buffer.left(n);
}

bool WriteBytes(TMyUart& uart, const QByteArray& bytes) {
    return uart.Write(reinterpret_cast<const uint8_t*>(bytes.constData()), int32_t(bytes.size()));
}

} // namespace

class TestUart : public QObject {
    Q_OBJECT

private slots:
    void devicePath_data();
    void devicePath();
    void beforeAnyOpen();
    void lineSettings();
    void readTimeoutReachesDeviceOnlyOnChange();
    void readReturnsAtCount();
    void shortReadEndsAfterGap();
    void gapCountsFromLastByte();
    void totalLimitWhileBytesTrickle();
    void nothingArrives();
    void noTotalLimitWaitsForFirstByte();
    void purgeAtOpen();
    void writeReachesLine();
    void stuckWriteFailsAndLeavesNothingQueued();
    void hungUpLineFails();
    void exclusiveOpen();
    void refusesWhatIsNoSerialLine();
    void closeAndTakenState();
};

void TestUart::devicePath_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::newRow("COM1") << QStringLiteral("COM1") << QStringLiteral("/dev/ttyS0");
    QTest::newRow("COM10") << QStringLiteral("COM10") << QStringLiteral("/dev/ttyS9");
    QTest::newRow("lower case") << QStringLiteral("com3") << QStringLiteral("/dev/ttyS2");
    QTest::newRow("COM0") << QStringLiteral("COM0") << QStringLiteral("/dev/COM0");
    QTest::newRow("COM alone") << QStringLiteral("COM") << QStringLiteral("/dev/COM");
    QTest::newRow("COM sign") << QStringLiteral("COM+1") << QStringLiteral("/dev/COM+1");
    QTest::newRow("COM trailing") << QStringLiteral("COM1x") << QStringLiteral("/dev/COM1x");
    QTest::newRow("device name") << QStringLiteral("ttyUSB0") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("absolute") << QStringLiteral("/dev/serial/by-id/x")
                              << QStringLiteral("/dev/serial/by-id/x");
}

void TestUart::devicePath() {
    QFETCH(QString, name);
    QFETCH(QString, path);
    QCOMPARE(TMyUart::DevicePath(name), path);
}

void TestUart::beforeAnyOpen() {
    TPty pty;
    QVERIFY(!pty.path.isEmpty());
    TMyUart uart;
    QVERIFY(!uart.IsOpen());
    QCOMPARE(uart.Handle(), -1);
    QVERIFY(!WriteBytes(uart, "x"));
    int32_t n = 0;
    QCOMPARE(ReadAll(uart, 4, 50, &n), QByteArray("<failed>"));
    QCOMPARE(n, -1);

    QVERIFY(uart.SetBaudRate(9600));
    QVERIFY(uart.SetBaudRate(19200));
    QCOMPARE(uart.FBaudRate, 19200);
    QCOMPARE(uart.FApplySettingsCount, 0);
    uart.SetReadTimeout(300);
    QCOMPARE(uart.FApplyTimeoutsCount, 0);

    QVERIFY(uart.Open(pty.path, 9600));
    QCOMPARE(uart.FBaudRate, 9600);
    QCOMPARE(uart.FReadTotalTimeoutConstant, 300);
    QCOMPARE(uart.FApplyTimeoutsCount, 1);
    termios tio{};
    QCOMPARE(::tcgetattr(uart.Handle(), &tio), 0);
    QCOMPARE(::cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(::cfgetispeed(&tio), speed_t(B9600));
}

void TestUart::lineSettings() {
    TPty pty;
    // Start from a line set up the opposite way in every respect we care about.
    termios messy{};
    ::tcgetattr(pty.slave, &messy);
    messy.c_cflag = (messy.c_cflag & ~(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    messy.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    messy.c_oflag |= OPOST | ONLCR;
    messy.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    QCOMPARE(::tcsetattr(pty.slave, TCSANOW, &messy), 0);

    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 19200));
    QVERIFY(uart.IsOpen());
    termios tio{};
    QCOMPARE(::tcgetattr(uart.Handle(), &tio), 0);
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP | INLCR | IGNCR), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(::cfgetospeed(&tio), speed_t(B19200));
    const int applied = uart.FApplySettingsCount;
    QCOMPARE(applied, 1);

    QVERIFY(uart.SetBaudRate(115200));
    QCOMPARE(uart.FApplySettingsCount, applied + 1);
    QCOMPARE(::tcgetattr(uart.Handle(), &tio), 0);
    QCOMPARE(::cfgetospeed(&tio), speed_t(B115200));
    QVERIFY(uart.SetBaudRate(115200));
    QCOMPARE(uart.FApplySettingsCount, applied + 1);

    // A refused rate is recorded all the same; asking for it again does not touch the device.
    QVERIFY(!uart.SetBaudRate(-1));
    QCOMPARE(uart.FBaudRate, -1);
    QCOMPARE(uart.FApplySettingsCount, applied + 2);
    QVERIFY(uart.SetBaudRate(-1));
    QCOMPARE(uart.FApplySettingsCount, applied + 2);
    QVERIFY(uart.SetBaudRate(115200));
    QCOMPARE(uart.FApplySettingsCount, applied + 3);
}

void TestUart::readTimeoutReachesDeviceOnlyOnChange() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 9600));
    QCOMPARE(uart.FApplyTimeoutsCount, 1);
    ReadAll(uart, 1, 20);
    ReadAll(uart, 1, 20);
    QCOMPARE(uart.FApplyTimeoutsCount, 2);
    uart.SetReadTimeout(20);
    QCOMPARE(uart.FApplyTimeoutsCount, 2);
    QCOMPARE(uart.FReadTotalTimeoutConstant, 20);

    uart.Close();
    uart.SetReadTimeout(70);
    QCOMPARE(uart.FReadTotalTimeoutConstant, 70);
    QCOMPARE(uart.FApplyTimeoutsCount, 2);
    QVERIFY(uart.Open(pty.path, 9600));
    QCOMPARE(uart.FApplyTimeoutsCount, 3);
}

void TestUart::readReturnsAtCount() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 115200));
    QVERIFY(pty.Send("0123456789"));

    // Single-byte reads of bytes already there must not wait for the gap or the time-out.
    const auto start = Clock::now();
    QByteArray got;
    for (int i = 0; i < 10; ++i)
        got += ReadAll(uart, 1, 5000);
    QCOMPARE(got, QByteArray("0123456789"));
    QVERIFY2(MsSince(start) < 500, QByteArray::number(MsSince(start)));

    QVERIFY(pty.Send("abcde"));
    QCOMPARE(ReadAll(uart, 3, 5000), QByteArray("abc"));
    QCOMPARE(ReadAll(uart, 2, 5000), QByteArray("de"));
}

void TestUart::shortReadEndsAfterGap() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 115200));
    QVERIFY(pty.Send("ABCD"));
    const auto start = Clock::now();
    QCOMPARE(ReadAll(uart, 10, 3000), QByteArray("ABCD"));
    const qint64 ms = MsSince(start);
    QVERIFY2(ms >= 90 && ms <= 400, QByteArray::number(ms));
}

void TestUart::gapCountsFromLastByte() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 115200));
    QVERIFY(pty.Send("AB"));
    Clock::time_point secondSent;
    std::thread writer([&] {
        std::this_thread::sleep_for(70ms);
        secondSent = Clock::now();
        pty.Send("CD");
    });
    const QByteArray got = ReadAll(uart, 10, 3000);
    const auto end = Clock::now();
    writer.join();
    QCOMPARE(got, QByteArray("ABCD"));
    const auto afterLast =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - secondSent).count();
    QVERIFY2(afterLast >= 90 && afterLast <= 500, QByteArray::number(qint64(afterLast)));
}

void TestUart::totalLimitWhileBytesTrickle() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 115200));
    std::thread writer([&] {
        for (int i = 0; i < 15; ++i) {
            pty.Send(QByteArray(1, char('a' + i)));
            std::this_thread::sleep_for(40ms);
        }
    });
    const auto start = Clock::now();
    const QByteArray got = ReadAll(uart, 100, 300);
    const qint64 ms = MsSince(start);
    writer.join();
    // The gap never grows past the interval, so only the total limit can end the read.
    QVERIFY2(got.size() >= 1 && got.size() < 15, got);
    QVERIFY2(ms < 600, QByteArray::number(ms));
    QCOMPARE(got, QByteArray("abcdefghijklmno").left(got.size()));
}

void TestUart::nothingArrives() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 115200));
    auto start = Clock::now();
    int32_t n = -1;
    QCOMPARE(ReadAll(uart, 10, 150, &n), QByteArray());
    QCOMPARE(n, 0);
    qint64 ms = MsSince(start);
    QVERIFY2(ms >= 140 && ms <= 800, QByteArray::number(ms));

    // A deadline already past must not turn into a wait without end.
    start = Clock::now();
    QCOMPARE(ReadAll(uart, 10, -5, &n), QByteArray());
    QCOMPARE(n, 0);
    ms = MsSince(start);
    QVERIFY2(ms < 500, QByteArray::number(ms));
}

void TestUart::noTotalLimitWaitsForFirstByte() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 115200));
    Clock::time_point sent;
    std::thread writer([&] {
        std::this_thread::sleep_for(250ms);
        sent = Clock::now();
        pty.Send("xyz");
    });
    const QByteArray got = ReadAll(uart, 10, 0);
    const auto end = Clock::now();
    writer.join();
    QCOMPARE(got, QByteArray("xyz"));
    const auto afterLast =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - sent).count();
    QVERIFY2(afterLast >= 90 && afterLast <= 500, QByteArray::number(qint64(afterLast)));
}

void TestUart::purgeAtOpen() {
    TPty pty;
    QVERIFY(pty.Send("stale"));
    pollfd pfd{pty.slave, POLLIN, 0};
    QCOMPARE(::poll(&pfd, 1, 2000), 1); // the bytes are there before the open

    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 9600));
    QVERIFY(pty.Send("Z"));
    QCOMPARE(ReadAll(uart, 10, 2000), QByteArray("Z"));
}

void TestUart::writeReachesLine() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 115200));
    QVERIFY(WriteBytes(uart, "hello"));
    QCOMPARE(pty.Receive(5), QByteArray("hello"));
    QVERIFY(uart.Write(nullptr, 0));
    QVERIFY(!uart.Write(reinterpret_cast<const uint8_t*>("x"), -1));

    // Far more than the line's buffers hold: Write must keep going until all bytes are out.
    QByteArray block(256 * 1024, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 7 + i / 251) & 0xFF);
    QByteArray received;
    std::thread reader([&] { received = pty.Receive(block.size(), 3000); });
    const bool ok = WriteBytes(uart, block);
    reader.join();
    QVERIFY(ok);
    QCOMPARE(received.size(), block.size());
    QVERIFY(received == block);
}

void TestUart::stuckWriteFailsAndLeavesNothingQueued() {
    TPty pty;
    TMyUart uart;
    // A fast nominal rate keeps the stall allowance, and so this test, short.
    QVERIFY(uart.Open(pty.path, 4000000));
    const auto start = Clock::now();
    QVERIFY(!WriteBytes(uart, QByteArray(1024 * 1024, 'q')));
    const qint64 ms = MsSince(start);
    QVERIFY2(ms < 10000, QByteArray::number(ms));
    QVERIFY(uart.IsOpen());

    // Nothing of the failed block may follow later messages.
    const QByteArray drained = pty.Receive(1024 * 1024, 200);
    QVERIFY(drained.size() < 1024 * 1024);
    QVERIFY(WriteBytes(uart, "ok"));
    QCOMPARE(pty.Receive(100, 300), QByteArray("ok"));
}

void TestUart::hungUpLineFails() {
    TPty pty;
    TMyUart uart;
    QVERIFY(uart.Open(pty.path, 9600));
    pty.CloseMaster();
    const auto start = Clock::now();
    int32_t n = 0;
    ReadAll(uart, 1, 2000, &n);
    QCOMPARE(n, -1);
    QVERIFY2(MsSince(start) < 1500, QByteArray::number(MsSince(start)));
    QVERIFY(!WriteBytes(uart, "x"));
}

void TestUart::exclusiveOpen() {
    TPty pty;
    TMyUart first;
    QVERIFY(first.Open(pty.path, 9600));
    const int descriptors = OpenDescriptorCount();

    TMyUart second;
    QVERIFY(!second.Open(pty.path, 9600));
    QVERIFY(!second.IsOpen());
    QCOMPARE(second.Handle(), -1);

    // The same device under another name is still the same device.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString alias = dir.filePath(QStringLiteral("printer"));
    QVERIFY(QFile::link(pty.path, alias));
    QVERIFY(!second.Open(alias, 9600));
    QCOMPARE(OpenDescriptorCount(), descriptors);

    if (::geteuid() != 0) {
        // Any other program is refused by the kernel (root is exempt from TIOCEXCL).
        const int fd = ::open(QFile::encodeName(pty.path).constData(), O_RDWR | O_NOCTTY);
        const int openError = errno;
        if (fd >= 0)
            ::close(fd);
        QCOMPARE(fd, -1);
        QCOMPARE(openError, EBUSY);
    }

    QVERIFY(WriteBytes(first, "still mine"));
    QCOMPARE(pty.Receive(10), QByteArray("still mine"));

    first.Close();
    QVERIFY(second.Open(alias, 9600));
}

void TestUart::refusesWhatIsNoSerialLine() {
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("not a port");
    file.flush();
    const int descriptors = OpenDescriptorCount();

    TMyUart uart;
    for (const QString& name : {file.fileName(), QStringLiteral("/dev/null"),
                                QStringLiteral("/dev"), QStringLiteral("no-such-port-here")}) {
        QVERIFY2(!uart.Open(name, 9600), qPrintable(name));
        QVERIFY(!uart.IsOpen());
        QCOMPARE(uart.Handle(), -1);
        QCOMPARE(OpenDescriptorCount(), descriptors);
    }
}

void TestUart::closeAndTakenState() {
    TPty pty;
    TMyUart uart;
    uart.Close();
    QVERIFY(!uart.IsOpen() && !uart.IsTaken());

    QVERIFY(uart.Open(pty.path, 9600));
    const int settings = uart.FApplySettingsCount;
    uart.Take();
    QVERIFY(uart.IsTaken());
    QVERIFY(!uart.IsOpen());
    QCOMPARE(uart.Handle(), -1);
    int32_t n = 0;
    ReadAll(uart, 1, 20, &n);
    QCOMPARE(n, -1);
    QVERIFY(!WriteBytes(uart, "x"));
    QVERIFY(uart.SetBaudRate(38400));
    QCOMPARE(uart.FApplySettingsCount, settings);

    // Taking the port released the device.
    TMyUart other;
    QVERIFY(other.Open(pty.path, 9600));
    other.Close();

    uart.Close();
    QVERIFY(!uart.IsTaken());
    QVERIFY(!uart.IsOpen());
    uart.Close();
    QVERIFY(uart.Open(pty.path, 9600));
    QVERIFY(uart.IsOpen() && !uart.IsTaken());
}

QTEST_GUILESS_MAIN(TestUart)
#include "test_uart.moc"
