#pragma once

#include <QList>
#include <QString>
#include <cstdint>
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

// Whether this user may open the device for reading and writing; why not in `why`.
bool MayOpenPort(const QString& device, QString* why = nullptr);
