#include "DatagramSocket.h"

#include "PortName.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QUdpSocket>
#include <algorithm>
#include <stdexcept>

#ifndef _WIN32
#include <cerrno>
#include <sys/socket.h>
#endif

namespace {
[[noreturn]] void Fail(const QString& text, EDatagramError::TKind kind = EDatagramError::Failed) {
    throw EDatagramError(kind, text);
}
// A refused datagram (the peer's system said nothing listens there) is an unreachable printer;
// anything else is a failure of the step named.
[[noreturn]] void FailSocket(const QUdpSocket& socket, const char* step) {
    if (socket.error() == QAbstractSocket::ConnectionRefusedError ||
        socket.error() == QAbstractSocket::NetworkError)
        Fail(QStringLiteral("The printer at %1 is not reachable: %2")
                 .arg(PeerText(socket.peerAddress().toString(), socket.peerPort()),
                      socket.errorString()),
             EDatagramError::Unreachable);
    Fail(QStringLiteral("Datagram %1 failed: %2").arg(QLatin1String(step), socket.errorString()));
}

} // namespace

TDatagramSocket::TDatagramSocket() = default;
TDatagramSocket::~TDatagramSocket() = default;

void TDatagramSocket::Send(const QString& host, uint16_t port, const uint8_t* data, int32_t count) {
    if (!FSocket) {
        if (host.trimmed().isEmpty() || port == 0)
            Fail(QStringLiteral("The datagram link has no peer"), EDatagramError::NoPeer);
        QHostAddress address(host.trimmed());
        if (address.isNull()) {
            const QHostInfo info = QHostInfo::fromName(host.trimmed());
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
                Fail(QStringLiteral("The printer's host %1 was not found: %2")
                         .arg(host, info.errorString()),
                     EDatagramError::HostNotFound);
            // Printers answer on IPv4; take an IPv6 address only when there is no other.
            address = info.addresses().constFirst();
            for (const QHostAddress& a : info.addresses()) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    address = a;
                    break;
                }
            }
        }
        auto socket = std::make_unique<QUdpSocket>();
        // A printer on the local network is never reached through a proxy.
        socket->setProxy(QNetworkProxy::NoProxy);
        // Connected, so that datagrams from any other sender are dropped by the system.
        socket->connectToHost(address, port);
        if (!socket->waitForConnected(1000))
            Fail(QStringLiteral("The datagram link to %1 could not be set up: %2")
                     .arg(PeerText(host, port), socket->errorString()));
        FSocket = std::move(socket);
    }
    const qint64 written = FSocket->write(reinterpret_cast<const char*>(data), count);
    if (written != count)
        FailSocket(*FSocket, "send");
}

int32_t TDatagramSocket::Receive(uint8_t* buffer, int32_t capacity, int32_t ms, int32_t& size) {
    size = 0;
    if (!FSocket)
        Fail(QStringLiteral("Datagram receive without a socket"));
    // The peer's system may have answered an earlier datagram with "nothing listens here". Qt
    // swallows that answer while it looks for datagrams, so look for it first.
    if (PeerRefused())
        FailRefused();
    // A wait of 0 or less would wait without end.
    if (!FSocket->hasPendingDatagrams() && !FSocket->waitForReadyRead(ms > 0 ? ms : 1)) {
        if (FSocket->error() != QAbstractSocket::SocketTimeoutError &&
            FSocket->error() != QAbstractSocket::UnknownSocketError)
            FailSocket(*FSocket, "receive");
        return 0;
    }
    const qint64 pending = FSocket->pendingDatagramSize();
    if (pending < 0) {
        // Readable without a datagram: the refusal arrived while we waited.
        if (FSocket->error() == QAbstractSocket::ConnectionRefusedError ||
            FSocket->error() == QAbstractSocket::UnknownSocketError)
            FailRefused();
        return 0;
    }
    const qint64 got = FSocket->readDatagram(reinterpret_cast<char*>(buffer), capacity);
    if (got < 0)
        FailSocket(*FSocket, "receive");
    size = static_cast<int32_t>(std::min<qint64>(pending, INT32_MAX));
    return static_cast<int32_t>(got);
}

bool TDatagramSocket::PeerRefused() const {
#ifndef _WIN32
    char byte = 0;
    const auto fd = static_cast<int>(FSocket->socketDescriptor());
    return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) < 0 && errno == ECONNREFUSED;
#else
    return false;
#endif
}

void TDatagramSocket::FailRefused() const {
    Fail(QStringLiteral("The printer at %1 is not reachable: nothing answers at that address "
                        "and port (the datagram was refused). Check the address and the port.")
             .arg(PeerText(FSocket->peerAddress().toString(), FSocket->peerPort())),
         EDatagramError::Unreachable);
}

void TDatagramSocket::Release() {
    FSocket.reset();
}
