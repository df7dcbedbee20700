#include "PortList.h"

#include "PortName.h"
#include "UniUart.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

QList<TPortInfo> AvailablePorts() {
    QList<TPortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        TPortInfo port;
        port.FDevice = info.systemLocation();
        port.FDescription = info.description();
        port.FManufacturer = info.manufacturer();
        port.FSerialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            port.FVendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.FProductId = info.productIdentifier();
        ports.append(port);
    }
    std::sort(ports.begin(), ports.end(),
              [](const TPortInfo& a, const TPortInfo& b) { return a.FDevice < b.FDevice; });
    return ports;
}

QString UsbIdText(const TPortInfo& port) {
    if (!port.FVendorId || !port.FProductId)
        return {};
    return QStringLiteral("%1:%2")
        .arg(*port.FVendorId, 4, 16, QLatin1Char('0'))
        .arg(*port.FProductId, 4, 16, QLatin1Char('0'));
}

std::optional<TPortInfo> PresentPort(const QString& portName, const QList<TPortInfo>& present) {
    if (portName.isEmpty() || IsDatagramPortName(portName))
        return std::nullopt;
    // Links (by-id, by-path, one's own) lead to the device the system lists.
    const auto canonical = [](const QString& path) {
        const QString target = QFileInfo(path).canonicalFilePath();
        return target.isEmpty() ? path : target;
    };
    const QString device = canonical(TMyUart::DevicePath(portName));
    for (const TPortInfo& port : present) {
        if (port.FDevice == device || canonical(port.FDevice) == device)
            return port;
    }
    return std::nullopt;
}

TRecordedPort RecordedPort(const QString& portName, const QString& peerHost, uint16_t peerPort,
                           const std::function<QList<TPortInfo>()>& present) {
    TRecordedPort recorded{portName, {}, {}};
    if (IsDatagramPortName(portName)) {
        if (portName == DatagramPortName && !peerHost.isEmpty())
            recorded.FName = DatagramPortName + u' ' + PeerText(peerHost, peerPort);
    } else if (present) {
        if (const auto port = PresentPort(portName, present())) {
            recorded.FUsbId = UsbIdText(*port);
            recorded.FUsbSerial = port->FSerialNumber;
        }
    }
    return recorded;
}

bool MayOpenPort(const QString& device, QString* why) {
#ifndef _WIN32
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#else
    Q_UNUSED(device);
#endif
    if (why)
        why->clear();
    return true;
}
