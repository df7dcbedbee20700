#pragma once

#include "DatagramSocket.h"
#include "TrafficLog.h"
#include "UniUart.h"

#include <QString>
#include <cstdint>

// Opening, using and closing the link of one job: the serial port, or the datagram link when
// the port name is exactly "TCP/IP". Every open, close and send is recorded in the traffic log.
class TLinkConnection {
public:
    TLinkConnection(TMyUart& uart, TTrafficLog& log) : FUart(uart), FLog(log) {}

    static inline const QString DatagramPortName = QStringLiteral("TCP/IP");

    // false only when the serial port fails to open; no log line is written then.
    bool Open(const QString& portName, int32_t baudRate);
    // Logs the bytes, then writes them; a failed write shows up as a missing reply.
    void Send(const uint8_t* data, int32_t count);
    int32_t ReceiveDatagram(uint8_t* buffer, int32_t capacity, int32_t ms, int32_t& size);
    void Close();

    bool FUseDatagram = false;
    QString FPeerHost;
    uint16_t FPeerPort = 0;

private:
    TMyUart& FUart;
    TTrafficLog& FLog;
    TDatagramSocket FSocket;
};
