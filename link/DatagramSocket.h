#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>

class QUdpSocket;

// A failure of the datagram link, with what kind of failure it was.
class EDatagramError : public std::runtime_error {
public:
    enum TKind { NoPeer, HostNotFound, Unreachable, Failed };
    EDatagramError(TKind kind, const QString& text)
        : std::runtime_error(text.toStdString()), FKind(kind) {}
    TKind FKind;
};

// A UDP socket connected to one peer, used blockingly on the worker thread. Being connected, it
// only ever receives datagrams from that peer. Errors are thrown as EDatagramError.
class TDatagramSocket {
public:
    TDatagramSocket();
    ~TDatagramSocket();
    TDatagramSocket(const TDatagramSocket&) = delete;
    TDatagramSocket& operator=(const TDatagramSocket&) = delete;

    // Creates the socket on first use; throws when the peer is not configured or not resolvable.
    void Send(const QString& host, uint16_t port, const uint8_t* data, int32_t count);
    // Waits at most ms for one datagram; returns the bytes kept (at most capacity) and sets
    // size to the datagram's whole length; 0 and 0 when none came in time.
    int32_t Receive(uint8_t* buffer, int32_t capacity, int32_t ms, int32_t& size);
    void Release();
    bool IsCreated() const { return static_cast<bool>(FSocket); }

private:
    bool PeerRefused() const;
    [[noreturn]] void FailRefused() const;

    std::unique_ptr<QUdpSocket> FSocket;
};
