#include "PortName.h"

namespace {

std::optional<TDatagramPeer> ParseHostPort(QStringView text, bool anyHost) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    QStringView host = text.first(colon);
    const QStringView portText = text.sliced(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok, 10);
    if (!ok || port == 0 || port > 65535 || !portText.front().isDigit())
        return std::nullopt;
    const bool bracketed = host.size() > 2 && host.front() == u'[' && host.back() == u']';
    if (bracketed) {
        host = host.sliced(1, host.size() - 2);
        if (!host.contains(u':'))
            return std::nullopt;
    } else if (host.contains(u':') || (!anyHost && !host.contains(u'.'))) {
        return std::nullopt;
    }
    for (const QChar c : host) {
        if (c.unicode() <= 32 || c == u'[' || c == u']' || c == u'/')
            return std::nullopt;
    }
    return TDatagramPeer{host.toString(), static_cast<uint16_t>(port)};
}

} // namespace

std::optional<TDatagramPeer> ParseDatagramPeer(const QString& portName) {
    const QString text = portName.trimmed();
    const QString prefix = DatagramPortName + u' ';
    if (text.startsWith(prefix))
        return ParseHostPort(QStringView(text).sliced(prefix.size()).trimmed(), true);
    return ParseHostPort(text, false);
}

bool IsDatagramPortName(const QString& portName) {
    return portName == DatagramPortName || ParseDatagramPeer(portName).has_value();
}

QString PeerText(const QString& host, uint16_t port) {
    if (host.contains(u':'))
        return QStringLiteral("[%1]:%2").arg(host).arg(port);
    return QStringLiteral("%1:%2").arg(host).arg(port);
}
