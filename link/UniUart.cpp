#include "UniUart.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QtGlobal>

#include <algorithm>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif

namespace {

// A write that makes no progress for this long has met a device that no longer drains: a line
// without flow control always does. The allowance covers a full 4 KiB driver buffer draining
// twice over at the line rate on top of a fixed margin, so only a stuck device trips it.
int WriteStallLimitMs(int32_t baudRate) {
    constexpr qint64 fixedMs = 1000;
    constexpr qint64 driverBufferBits = 4096 * 10;
    const qint64 rate = baudRate > 0 ? baudRate : DeliveredRate;
    return int(fixedMs + 2 * driverBufferBits * 1000 / rate);
}

#ifndef Q_OS_WIN
// False only for a device that opens and is no terminal (/dev/null): the open of a serial port
// fails there in the terminal calls, with a message that means nothing to a technician.
bool CouldBeTerminal(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
}
#endif

} // namespace

TMyUart::TMyUart() = default;

TMyUart::~TMyUart() {
    Close();
}

QString TMyUart::DevicePath(const QString& name) {
#ifdef Q_OS_WIN
    return name;
#else
    if (name.size() > 3 && name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        const QStringView digits = QStringView(name).mid(3);
        const bool allDigits =
            std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
        bool ok = false;
        const uint number = allDigits ? digits.toUInt(&ok) : 0;
        if (ok && number >= 1)
            return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
    }
    if (name.startsWith(QLatin1Char('/')))
        return name;
    return QStringLiteral("/dev/") + name;
#endif
}

bool TMyUart::Open(const QString& name, int32_t baudRate) {
    // Never leak a device that is still open, nor stay taken.
    Close();

    const QString path = DevicePath(name);
    FDevicePath = path;
    FOpenError = TOpenError::None;
    FOpenErrorText.clear();
    const auto fail = [this](TOpenError error, const QString& text) {
        FOpenError = error;
        FOpenErrorText = text;
        return false;
    };
#ifndef Q_OS_WIN
    // Only a character device can be a serial line; opening anything else could have side
    // effects (a FIFO, a disk), so look before opening.
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        const int error = errno;
        return fail(error == ENOENT || error == ENOTDIR ? TOpenError::NotFound
                    : error == EACCES                   ? TOpenError::Permission
                                                        : TOpenError::Other,
                    QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!S_ISCHR(info.st_mode))
        return fail(TOpenError::NotSerial, QString());
    // Qt reports a refused open and a busy port alike; the system tells them apart.
    if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return fail(TOpenError::Permission, QString::fromLocal8Bit(std::strerror(EACCES)));
#endif

    auto port = std::make_unique<QSerialPort>();
    port->setPortName(path);
    // Set before open so the line comes up at the wanted rate, 8N1, without flow control; the
    // open itself makes the line raw with CLOCAL and takes TIOCEXCL and a lock file.
    port->setBaudRate(baudRate);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        switch (port->error()) {
        case QSerialPort::DeviceNotFoundError:
            return fail(TOpenError::NotFound, port->errorString());
        case QSerialPort::PermissionError:
            // Access was checked above: what is left is a lock or an exclusive open.
            return fail(TOpenError::Busy, port->errorString());
        default:
#ifndef Q_OS_WIN
            if (!CouldBeTerminal(native))
                return fail(TOpenError::NotSerial, QString());
#endif
            return fail(TOpenError::Other, port->errorString());
        }
    }

#ifndef Q_OS_WIN
    // The lock file is keyed on the path and TIOCEXCL does not stop root; a lock on the device
    // itself also refuses the same device reached under another name.
    if (::flock(port->handle(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return fail(TOpenError::Busy, QString());
#endif
    port->clearError();

    // Devices without modem-control lines (pseudo-terminals, some adapters) refuse these in
    // more than one way; the printer needs neither line, so no refusal is a fault.
    port->setDataTerminalReady(true);
    port->clearError();
    port->setRequestToSend(true);
    port->clearError();

    // Whatever the line carried before we came is not an answer to anything we send.
    port->clear(QSerialPort::AllDirections);
    port->clearError();

#ifdef Q_OS_LINUX
    // USB adapters otherwise hold received bytes up to 16 ms; with small acknowledged blocks the
    // turnaround decides the transfer speed. Drivers that do not know the request are fine.
    serial_struct serial{};
    if (::ioctl(port->handle(), TIOCGSERIAL, &serial) == 0 &&
        (serial.flags & static_cast<int>(ASYNC_LOW_LATENCY)) == 0) {
        serial.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
        ::ioctl(port->handle(), TIOCSSERIAL, &serial);
    }
#endif

    FPort = std::move(port);
    ApplyTimeouts();
    FBaudRate = baudRate;
    if (!ApplySettings()) {
        Close();
        return fail(TOpenError::Settings, QString());
    }
    return true;
}

void TMyUart::Close() {
    FTaken = false;
    if (FPort) {
        if (FPort->isOpen())
            FPort->close();
        FPort.reset();
    }
}

void TMyUart::Take() {
    Close();
    FTaken = true;
}

bool TMyUart::IsOpen() const {
    return FPort && FPort->isOpen();
}

int TMyUart::Handle() const {
    if (!IsOpen())
        return -1;
#ifdef Q_OS_WIN
    return int(reinterpret_cast<intptr_t>(FPort->handle()));
#else
    return FPort->handle();
#endif
}

bool TMyUart::ApplySettings() {
    if (!IsOpen())
        return false;
    ++FApplySettingsCount;
    // Data bits, parity, stop bits and flow control were set at open and never change; the rate
    // is the only setting that moves.
    if (FPort->setBaudRate(FBaudRate))
        return true;
    FPort->clearError();
    return false;
}

bool TMyUart::ApplyTimeouts() {
    // The device keeps no read time-out of its own here: Read applies the stored one itself.
    if (!IsOpen())
        return false;
    ++FApplyTimeoutsCount;
    return true;
}

void TMyUart::SetReadTimeout(int32_t ms) {
    if (ms == FReadTotalTimeoutConstant)
        return;
    FReadTotalTimeoutConstant = ms;
    if (IsOpen())
        ApplyTimeouts();
}

bool TMyUart::SetBaudRate(int32_t rate) {
    if (rate == FBaudRate)
        return true;
    FBaudRate = rate;
    return IsOpen() ? ApplySettings() : true;
}

int32_t TMyUart::Read(uint8_t* buffer, int32_t count, int32_t& received, int32_t ms) {
    QElapsedTimer clock;
    clock.start();
    SetReadTimeout(ms);
    received = 0;
    if (!IsOpen() || (count > 0 && buffer == nullptr))
        return -1;
    if (count <= 0)
        return 0;

    // A negative time-out is a deadline already past: look once, do not wait without end.
    const qint64 totalMs = ms < 0 ? 1 : ms;
    char* out = reinterpret_cast<char*>(buffer);
    int32_t got = 0;
    qint64 lastByteMs = 0;
    for (;;) {
        // Bytes the port object already holds cost no system call; the framing layer reads one
        // byte at a time, so this is the common path.
        const qint64 n = FPort->read(out + got, count - got);
        if (n < 0) {
            received = got;
            return -1;
        }
        if (n > 0) {
            got += int32_t(n);
            if (got >= count)
                break;
            lastByteMs = clock.elapsed();
        }

        const qint64 now = clock.elapsed();
        qint64 wait = -1;
        if (totalMs > 0) {
            wait = totalMs - now;
            if (wait <= 0)
                break;
        }
        if (got > 0) {
            // Ends once more than the interval has passed since the last byte.
            const qint64 gapLeft = ReadIntervalTimeout + 1 - (now - lastByteMs);
            if (gapLeft <= 0)
                break;
            wait = wait < 0 ? gapLeft : std::min(wait, gapLeft);
        }

        if (!FPort->waitForReadyRead(int(wait))) {
            // Anything but a time-out (including end of file on a hung-up line) is a failure.
            if (FPort->error() != QSerialPort::TimeoutError) {
                FPort->clearError();
                received = got;
                return -1;
            }
            FPort->clearError();
        }
    }
    received = got;
    return got;
}

bool TMyUart::Write(const uint8_t* buffer, int32_t count) {
    if (!IsOpen() || count < 0 || (count > 0 && buffer == nullptr))
        return false;
    if (count == 0)
        return true;

    // QSerialPort only queues here; the bytes go out while we wait for them to be written.
    bool ok = FPort->write(reinterpret_cast<const char*>(buffer), count) == count;
    const int stallMs = WriteStallLimitMs(FBaudRate);
    while (ok && FPort->bytesToWrite() > 0)
        ok = FPort->waitForBytesWritten(stallMs);
    if (!ok) {
        // Drop what is left so it cannot go out later, in the middle of another exchange.
        FPort->clear(QSerialPort::Output);
        FPort->clearError();
    }
    return ok;
}
