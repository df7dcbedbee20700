#pragma once

// How nuvctl words what the user gave, and reads the files it is given.

#include <QByteArray>
#include <QString>

// A bad command line: ECliError with exitUsage.
[[noreturn]] void Usage(const QString& text);

// A text the user gave, for a message: long ones shortened ("1234...").
QString Shortened(const QString& text);
// The same in double quotes, a shortened one followed by its length.
QString Quoted(const QString& text);
// Why path cannot be read as a file ("No such file.", a folder, a device); empty when it can.
QString NotRegularFile(const QString& path);
// The whole file; ECliError with exitFile when it cannot be read.
QByteArray ReadWholeFile(const QString& path);
// A settings file read whole: one holding NUL bytes is refused, for it would pass for the
// settings it was meant to be. kind names it in that refusal ("Recipe "). ECliError with
// exitFile.
QByteArray ReadSettingsFile(const QString& path, const QString& kind = {});
// Texts go to the printer byte for byte in a single-byte character set; what is the argument's
// name. ECliError with exitUsage for a character outside Latin-1.
QByteArray SingleByte(const QString& what, const QString& text);

// A port name as a file name part: "/dev/ttyUSB0" -> "ttyUSB0", "TCP/IP 10.0.0.2:9100" ->
// "TCP_IP_10.0.0.2_9100".
QString PortFileTag(const QString& port);
