#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// What the PORT box may name besides a serial port: "TCP/IP" (the datagram link to the peer in
// the settings) or a datagram peer typed out.

inline const QString DatagramPortName = QStringLiteral("TCP/IP");

struct TDatagramPeer {
    QString FHost;
    uint16_t FPort = 0;
};

// "TCP/IP HOST:PORT", or "HOST:PORT" where HOST holds a dot or is an IPv6 address in brackets
// (no serial port is named like that); blanks around the text do not count. PORT is 1 to 65535.
std::optional<TDatagramPeer> ParseDatagramPeer(const QString& portName);

// Why a port name meant as a datagram peer makes none, and the part of it at fault (the port
// number's text, or the host as given). "TCP/IP..." is always meant as a peer; without it only
// HOST.NAME:DIGITS or [IPV6]:DIGITS is, and the rest name serial ports (None).
enum class TPeerFault { None, NoPort, PortNotNumber, PortOutOfRange, BadHost };
struct TPeerProblem {
    TPeerFault FFault = TPeerFault::None;
    QString FPart;
};
TPeerProblem DatagramPeerProblem(const QString& portName);

// The port name selects the datagram link: exactly "TCP/IP", or a peer as above.
bool IsDatagramPortName(const QString& portName);

// "host:port", with an IPv6 address in brackets.
QString PeerText(const QString& host, uint16_t port);
