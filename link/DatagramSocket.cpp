#include "DatagramSocket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QUdpSocket>
#include <algorithm>
#include <stdexcept>

namespace {
[[noreturn]] void Fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}
} // namespace

TDatagramSocket::TDatagramSocket() = default;
TDatagramSocket::~TDatagramSocket() = default;

void TDatagramSocket::Send(const QString& host, uint16_t port, const uint8_t* data, int32_t count) {
    if (!FSocket) {
        if (host.trimmed().isEmpty() || port == 0)
            Fail(QStringLiteral("Datagram link has no peer: set HOST and PORT in section NETWORK "
                                "of config.ini"));
        QHostAddress address(host.trimmed());
        if (address.isNull()) {
            const QHostInfo info = QHostInfo::fromName(host.trimmed());
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
                Fail(QStringLiteral("Host %1 not found: %2").arg(host, info.errorString()));
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
            Fail(QStringLiteral("Datagram link to %1:%2: %3")
                     .arg(host)
                     .arg(port)
                     .arg(socket->errorString()));
        FSocket = std::move(socket);
    }
    const qint64 written = FSocket->write(reinterpret_cast<const char*>(data), count);
    if (written != count)
        Fail(QStringLiteral("Datagram send failed: %1").arg(FSocket->errorString()));
}

int32_t TDatagramSocket::Receive(uint8_t* buffer, int32_t capacity, int32_t ms, int32_t& size) {
    size = 0;
    if (!FSocket)
        Fail(QStringLiteral("Datagram receive without a socket"));
    // A wait of 0 or less would wait without end.
    if (!FSocket->hasPendingDatagrams() && !FSocket->waitForReadyRead(ms > 0 ? ms : 1)) {
        if (FSocket->error() != QAbstractSocket::SocketTimeoutError &&
            FSocket->error() != QAbstractSocket::UnknownSocketError)
            Fail(QStringLiteral("Datagram receive failed: %1").arg(FSocket->errorString()));
        return 0;
    }
    const qint64 pending = FSocket->pendingDatagramSize();
    if (pending < 0) {
        if (FSocket->error() == QAbstractSocket::ConnectionRefusedError)
            Fail(QStringLiteral("Datagram receive failed: %1").arg(FSocket->errorString()));
        return 0;
    }
    const qint64 got = FSocket->readDatagram(reinterpret_cast<char*>(buffer), capacity);
    if (got < 0)
        Fail(QStringLiteral("Datagram receive failed: %1").arg(FSocket->errorString()));
    size = static_cast<int32_t>(std::min<qint64>(pending, INT32_MAX));
    return static_cast<int32_t>(got);
}

void TDatagramSocket::Release() {
    FSocket.reset();
}
