#include "FailureText.h"

#include "PortList.h"

#include <QFile>
#include <QFileInfo>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#endif

namespace {

// The owner's group and the permission bits.
void StatDevice(const QString& devicePath, TDeviceAccess& access) {
#ifndef _WIN32
    struct stat info {};
    if (::stat(QFile::encodeName(devicePath).constData(), &info) != 0)
        return;
    access.FKnown = true;
    access.FGid = info.st_gid;
    access.FMode = info.st_mode & 07777;
    if (const group* g = ::getgrgid(info.st_gid))
        access.FGroup = QString::fromLocal8Bit(g->gr_name);
#else
    Q_UNUSED(devicePath);
    Q_UNUSED(access);
#endif
}

} // namespace

QString DeviceGroupName(const QString& devicePath) {
    TDeviceAccess access;
    StatDevice(devicePath, access);
    return access.FGroup;
}

TDeviceAccess DeviceAccess(const QString& devicePath) {
    TDeviceAccess access;
    StatDevice(devicePath, access);
    const QString real = QFileInfo(devicePath).canonicalFilePath();
    access.FKernelName = QFileInfo(real.isEmpty() ? devicePath : real).fileName();
    if (const auto port = PresentPort(devicePath, AvailablePorts())) {
        access.FVendorId = port->FVendorId;
        access.FProductId = port->FProductId;
    }
    return access;
}

QString PermissionAdvice(const TDeviceAccess& access) {
    // Joining root's group would hand out far more than one port; a group without read and
    // write permission would not help at all.
    if (access.FKnown && access.FGid != 0 && !access.FGroup.isEmpty() &&
        (access.FMode & 060) == 060)
        return QStringLiteral("The user must be in group \"%1\", which may read and write it, "
                              "then log in again: sudo usermod -aG %1 $USER")
            .arg(access.FGroup);
    const auto hex = [](uint16_t id) {
        return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
    };
    const QString match = access.FVendorId && access.FProductId
                              ? QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\"")
                                    .arg(hex(*access.FVendorId), hex(*access.FProductId))
                              : QStringLiteral("KERNEL==\"%1\"").arg(access.FKernelName);
    return QStringLiteral("Only the administrator can open it: ask for a udev rule that gives it "
                          "to group dialout, this line in a file under /etc/udev/rules.d/: "
                          "SUBSYSTEM==\"tty\", %1, GROUP=\"dialout\", MODE=\"0660\"; then "
                          "join that group (sudo usermod -aG dialout $USER) and log in again.")
        .arg(match);
}

const TRemedyWords& RemedyWords(TReader reader) {
    static const TRemedyWords window = {
        QStringLiteral("the name in PORT"), QStringLiteral("the PORT list"),
        QStringLiteral("BAUD RATE"), QStringLiteral("type TCP/IP HOST:PORT into PORT"),
        QStringLiteral("section [NETWORK] of config.ini while the window is closed")};
    static const TRemedyWords commandLine = {
        QStringLiteral("the name given with --port"), QStringLiteral("list-ports"),
        QStringLiteral("--baud"), QStringLiteral("give --port \"TCP/IP HOST:PORT\""),
        QStringLiteral("section [NETWORK] of the settings file given with --config FILE")};
    return reader == TReader::Window ? window : commandLine;
}

QString SerialPortText(const QString& portName, const QString& devicePath) {
    return devicePath == portName ? portName : QStringLiteral("%1 (%2)").arg(portName, devicePath);
}

QString OpenFailureText(const QString& portName, const TMyUart& uart, int32_t baudRate,
                        TReader reader) {
    const QString device =
        uart.FDevicePath.isEmpty() ? TMyUart::DevicePath(portName) : uart.FDevicePath;
    const QString port = SerialPortText(portName, device);
    switch (uart.FOpenError) {
    case TOpenError::NotFound:
        return QStringLiteral("Cannot open the port %1: there is no such port. Check %2; a USB "
                              "adapter appears in %3 once it is plugged in.")
            .arg(port, RemedyWords(reader).FPortName, RemedyWords(reader).FPortList);
    case TOpenError::Permission:
        return QStringLiteral("Cannot open the port %1: permission denied. %2")
            .arg(port, PermissionAdvice(DeviceAccess(device)));
    case TOpenError::Busy:
        return QStringLiteral("Cannot open the port %1: it is busy, held by another program. "
                              "Close that program (a terminal, a modem manager, another copy of "
                              "this tool) and try again.")
            .arg(port);
    case TOpenError::NotSerial:
        return QStringLiteral("Cannot open the port %1: it is not a serial port.").arg(port);
    case TOpenError::Settings:
        return QStringLiteral("Cannot open the port %1: it does not take the rate %2 bit/s.")
            .arg(port)
            .arg(baudRate);
    case TOpenError::None:
    case TOpenError::Other:
        break;
    }
    const QString why =
        uart.FOpenErrorText.isEmpty() ? QStringLiteral("unknown error") : uart.FOpenErrorText;
    return QStringLiteral("Cannot open the port %1: %2.").arg(port, why);
}

QString NoPeerText(TReader reader) {
    return QStringLiteral("The datagram link has no peer: %1 (for example TCP/IP "
                          "192.168.1.20:9100), or set HOST and PORT in %2.")
        .arg(RemedyWords(reader).FPeerTyped, RemedyWords(reader).FPeerStored);
}

QString IdentificationText(const QByteArray& id) {
    QString text;
    for (const char c : id) {
        const auto b = static_cast<uint8_t>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return text;
}
