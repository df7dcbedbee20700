#pragma once

// The reasons a technician reads when a link cannot be opened; the window and the
// command-line program show the same words.

#include "UniUart.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// A serial port as a technician names it: "COM3 (/dev/ttyS2)" when the name maps to another
// device, else the name alone.
QString SerialPortText(const QString& portName, const QString& devicePath);

// Why the serial port named portName did not open, from what the last Open of uart recorded,
// with what to try.
QString OpenFailureText(const QString& portName, const TMyUart& uart, int32_t baudRate);

// The datagram link was chosen, but no peer is known.
QString NoPeerText();

// The group that owns a device file ("dialout" on most systems); empty when unknown.
QString DeviceGroupName(const QString& devicePath);

// An identification as a technician can read it back: bytes that are not printable show as
// \xNN.
QString IdentificationText(const QByteArray& id);
