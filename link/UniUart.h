#pragma once

#include "LineRates.h"

#include <QString>
#include <cstdint>
#include <memory>

class QSerialPort;

// Why the last Open failed.
enum class TOpenError {
    None,
    NotFound,   // no such device
    NotSerial,  // exists, but not a character device
    Permission, // the user may not open it
    Busy,       // held by another program
    Settings,   // the port refused the line settings
    Other,
};

// One serial port with fixed line settings: 8N1, raw, no flow control, modem-status lines
// ignored, DTR and RTS raised. Used blockingly, only from the worker thread.
class TMyUart {
public:
    TMyUart();
    ~TMyUart();
    TMyUart(const TMyUart&) = delete;
    TMyUart& operator=(const TMyUart&) = delete;

    bool Open(const QString& name, int32_t baudRate);
    void Close();
    // Returns bytes received (0..count) or -1 on failure or a closed port. Returns at the first
    // of: count bytes, ms since the call began (0 = no total limit), more than 100 ms since the
    // last byte once one has arrived.
    int32_t Read(uint8_t* buffer, int32_t count, int32_t& received, int32_t ms);
    bool Write(const uint8_t* buffer, int32_t count);
    bool SetBaudRate(int32_t rate);
    void SetReadTimeout(int32_t ms);
    bool ApplySettings();
    bool ApplyTimeouts();

    // The datagram link borrows the port object: "taken" counts as closed for everything but
    // the link layer, which alone enters and leaves it.
    void Take();
    bool IsTaken() const { return FTaken; }
    bool IsOpen() const;
    // Native descriptor of the open port, -1 when closed.
    int Handle() const;

    // Maps a user's port name to a device: "COMn" -> /dev/ttyS(n-1), "/..." as is, else /dev/NAME.
    static QString DevicePath(const QString& name);

    int32_t FBaudRate = DeliveredRate;
    // Set by every Open: why it failed (None after success), the system's own words where
    // there are any, and the device the name mapped to.
    TOpenError FOpenError = TOpenError::None;
    QString FOpenErrorText;
    QString FDevicePath;
    static constexpr int32_t ReadIntervalTimeout = 100;
    int32_t FReadTotalTimeoutConstant = 0;

    // How often the settings and the time-outs reached the device; tests use these to see that
    // unchanged values are not written again.
    int FApplySettingsCount = 0;
    int FApplyTimeoutsCount = 0;

private:
    std::unique_ptr<QSerialPort> FPort;
    bool FTaken = false;
};
