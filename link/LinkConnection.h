#pragma once

#include "DatagramSocket.h"
#include "PortName.h"
#include "TrafficLog.h"
#include "UniUart.h"

#include <QString>
#include <cstdint>

// Opening, using and closing the link of one job: the serial port, or the datagram link when
// the port name is exactly "TCP/IP" (the peer set in FPeerHost and FPeerPort) or names a peer
// itself. Every open, close and send is recorded in the traffic log.
class TLinkConnection {
public:
    TLinkConnection(TMyUart& uart, TTrafficLog& log) : FUart(uart), FLog(log) {}

    // false when the serial port fails to open (the port says why) or the datagram link has no
    // peer; no log line is written then.
    bool Open(const QString& portName, int32_t baudRate);
    // Logs the bytes, then writes them; a failed write shows up as a missing reply.
    void Send(const uint8_t* data, int32_t count);
    int32_t ReceiveDatagram(uint8_t* buffer, int32_t capacity, int32_t ms, int32_t& size);
    void Close();

    bool FUseDatagram = false;
    // The configured peer, used for "TCP/IP".
    QString FPeerHost;
    uint16_t FPeerPort = 0;
    // The peer of the open datagram link; empty and 0 when none is set.
    TDatagramPeer FActivePeer;

private:
    TMyUart& FUart;
    TTrafficLog& FLog;
    TDatagramSocket FSocket;
};
