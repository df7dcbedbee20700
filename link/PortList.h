#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// A serial port present on this machine, as the system describes it.
struct TPortInfo {
    QString FDevice;      // what to open: "/dev/ttyUSB0" (the system's name elsewhere)
    QString FDescription; // "FT232R USB UART"; may be empty
    QString FManufacturer;
    QString FSerialNumber;
    std::optional<uint16_t> FVendorId;
    std::optional<uint16_t> FProductId;
};

// The serial ports present now, in the order of their device names.
QList<TPortInfo> AvailablePorts();

// The USB adapter's "vendor:product", four hex digits each ("0403:6001"); empty when the port
// has no such ids.
QString UsbIdText(const TPortInfo& port);

// The port among `present` that a port name opens: "COM3", a device path, a name under /dev/
// or a link to the device (/dev/serial/by-id/...). nullopt for a datagram peer or a port that
// is not present.
std::optional<TPortInfo> PresentPort(const QString& portName, const QList<TPortInfo>& present);

// A job's port as its record names it, with its USB adapter's ids (empty for none).
struct TRecordedPort {
    QString FName;
    QString FUsbId;
    QString FUsbSerial;
};
// Plain "TCP/IP" names the peer it reaches ("TCP/IP host:port"). present lists the ports, asked
// only for a serial port; looked up before the job, an adapter pulled out during it is still
// named.
TRecordedPort RecordedPort(const QString& portName, const QString& peerHost, uint16_t peerPort,
                           const std::function<QList<TPortInfo>()>& present);

// Whether this user may open the device for reading and writing; why not in `why`.
bool MayOpenPort(const QString& device, QString* why = nullptr);
