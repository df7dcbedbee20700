#include "DatagramSocket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QUdpSocket>
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
            address = info.addresses().constFirst();
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

int32_t TDatagramSocket::Receive(uint8_t* buffer, int32_t capacity, int32_t ms, bool& truncated) {
    truncated = false;
    if (!FSocket)
        Fail(QStringLiteral("Datagram receive without a socket"));
    if (!FSocket->hasPendingDatagrams() && !FSocket->waitForReadyRead(ms)) {
        if (FSocket->error() != QAbstractSocket::SocketTimeoutError &&
            FSocket->error() != QAbstractSocket::UnknownSocketError)
            Fail(QStringLiteral("Datagram receive failed: %1").arg(FSocket->errorString()));
        return 0;
    }
    const qint64 size = FSocket->pendingDatagramSize();
    if (size < 0) {
        if (FSocket->error() == QAbstractSocket::ConnectionRefusedError)
            Fail(QStringLiteral("Datagram receive failed: %1").arg(FSocket->errorString()));
        return 0;
    }
    truncated = size > capacity;
    const qint64 got = FSocket->readDatagram(reinterpret_cast<char*>(buffer), capacity);
    if (got < 0)
        Fail(QStringLiteral("Datagram receive failed: %1").arg(FSocket->errorString()));
    return static_cast<int32_t>(got);
}

void TDatagramSocket::Release() {
    FSocket.reset();
}
