#include "PortList.h"

#include <QFile>
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
