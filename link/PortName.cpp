#include "PortName.h"

#include <algorithm>

namespace {

// anyHost: the text is meant as a peer whatever it holds, and problem says what is wrong with it.
std::optional<TDatagramPeer> ParseHostPort(QStringView text, bool anyHost,
                                           TPeerProblem* problem = nullptr) {
    auto fail = [problem](TPeerFault fault, QStringView part) -> std::optional<TDatagramPeer> {
        if (problem)
            *problem = {fault, part.toString()};
        return std::nullopt;
    };
    const qsizetype colon = text.lastIndexOf(u':');
    const QStringView given = text.first(std::max<qsizetype>(colon, 0));
    const QStringView portText = colon < 0 ? QStringView() : text.sliced(colon + 1);
    const bool digits =
        !portText.isEmpty() && std::all_of(portText.begin(), portText.end(),
                                           [](QChar c) { return c >= u'0' && c <= u'9'; });
    const bool bracketed = given.size() > 2 && given.front() == u'[' && given.back() == u']';
    if (!anyHost && !(digits && (bracketed || given.contains(u'.'))))
        return fail(TPeerFault::None, {});
    if (colon <= 0)
        return fail(TPeerFault::NoPort, {});
    if (!digits)
        return fail(TPeerFault::PortNotNumber, portText);
    bool ok = false;
    const uint port = portText.toUInt(&ok, 10);
    if (!ok || port == 0 || port > 65535)
        return fail(TPeerFault::PortOutOfRange, portText);
    const QStringView host = bracketed ? given.sliced(1, given.size() - 2) : given;
    if (bracketed != host.contains(u':'))
        return fail(TPeerFault::BadHost, given);
    for (const QChar c : host) {
        if (c.unicode() <= 32 || c == u'[' || c == u']' || c == u'/')
            return fail(TPeerFault::BadHost, given);
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

TPeerProblem DatagramPeerProblem(const QString& portName) {
    const QString text = portName.trimmed();
    TPeerProblem problem;
    if (text != DatagramPortName && !ParseDatagramPeer(text)) {
        const bool prefixed = text.startsWith(DatagramPortName);
        ParseHostPort(prefixed ? QStringView(text).sliced(DatagramPortName.size()).trimmed()
                               : QStringView(text),
                      prefixed, &problem);
    }
    return problem;
}

bool IsDatagramPortName(const QString& portName) {
    return portName == DatagramPortName || ParseDatagramPeer(portName).has_value();
}

QString PeerText(const QString& host, uint16_t port) {
    if (host.contains(u':'))
        return QStringLiteral("[%1]:%2").arg(host).arg(port);
    return QStringLiteral("%1:%2").arg(host).arg(port);
}
