#include "LinkConnection.h"

bool TLinkConnection::Open(const QString& portName, int32_t baudRate) {
    FUart.Close();
    const std::optional<TDatagramPeer> typed = ParseDatagramPeer(portName);
    if (portName == DatagramPortName || typed) {
        FUseDatagram = true;
        FActivePeer = typed ? *typed : TDatagramPeer{FPeerHost.trimmed(), FPeerPort};
        if (FActivePeer.FHost.isEmpty() || FActivePeer.FPort == 0)
            return false;
        FUart.Take();
    } else {
        FUseDatagram = false;
        if (!FUart.Open(portName, baudRate))
            return false;
    }
    FLog.AddLog("OPEN " + portName.toLatin1() + TTrafficLog::TimeStamp());
    return true;
}

void TLinkConnection::Send(const uint8_t* data, int32_t count) {
    FLog.AddLog("Send " + QByteArray::number(count) + " bytes" + TTrafficLog::TimeStamp());
    FLog.DumpHex(data, count < 12 ? count : 12);
    if (count > 12)
        FLog.DumpHex(data + 12, count - 12);
    if (FUseDatagram)
        FSocket.Send(FActivePeer.FHost, FActivePeer.FPort, data, count);
    else
        FUart.Write(data, count);
}

int32_t TLinkConnection::ReceiveDatagram(uint8_t* buffer, int32_t capacity, int32_t ms,
                                         int32_t& size) {
    return FSocket.Receive(buffer, capacity, ms, size);
}

void TLinkConnection::Close() {
    if (FUseDatagram)
        FSocket.Release();
    // Leaves the taken state too.
    FUart.Close();
    FLog.AddLog("CLOSE " + TTrafficLog::TimeStamp());
}
