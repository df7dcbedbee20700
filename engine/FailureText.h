#pragma once

// The reasons a technician reads when a link cannot be opened; the window and the
// command-line program show the same words.

#include "UniUart.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// Who reads a reason: the window names its own controls, the command-line program its options.
// One table of reasons serves both; only the words of the remedy differ.
enum class TReader { Window, CommandLine };

struct TRemedyWords {
    QString FPortName;   // where the port is named: "the name in PORT"
    QString FPortList;   // where present ports are listed: "the PORT list"
    QString FRate;       // where the printer's rate is chosen: "BAUD RATE"
    QString FPeerTyped;  // how a datagram peer is named directly
    QString FPeerStored; // where the configured peer lives
};
const TRemedyWords& RemedyWords(TReader reader);

// A serial port as a technician names it: "COM3 (/dev/ttyS2)" when the name maps to another
// device, else the name alone.
QString SerialPortText(const QString& portName, const QString& devicePath);

// Why the serial port named portName did not open, from what the last Open of uart recorded,
// with what to try.
QString OpenFailureText(const QString& portName, const TMyUart& uart, int32_t baudRate,
                        TReader reader = TReader::Window);

// The datagram link was chosen, but no peer is known.
QString NoPeerText(TReader reader = TReader::Window);

// What the system says about a device file, for advice on a refused open.
struct TDeviceAccess {
    bool FKnown = false; // the file could be looked at; the three fields below are set then
    uint32_t FGid = 0;
    QString FGroup; // the group's name; empty when it has none
    uint32_t FMode = 0;
    QString FKernelName;               // the device's own name, links resolved: "ttyUSB0"
    std::optional<uint16_t> FVendorId; // a USB adapter's ids
    std::optional<uint16_t> FProductId;
};
TDeviceAccess DeviceAccess(const QString& devicePath);

// What a user who may not open the device can do about it: join its group when that group may
// read and write it (and is not root's), else ask the administrator for a udev rule.
QString PermissionAdvice(const TDeviceAccess& access);

// The group that owns a device file ("dialout" on most systems); empty when unknown.
QString DeviceGroupName(const QString& devicePath);

// An identification as a technician can read it back: bytes that are not printable show as
// \xNN.
QString IdentificationText(const QByteArray& id);
