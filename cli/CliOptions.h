#pragma once

// The command line of nuvctl: global options, the command, its arguments and options, checked
// and converted the way the window converts what is typed into it.

#include "CommandBlocks.h"
#include "ToolSettings.h"

#include <QString>
#include <QStringList>
#include <cstdint>

struct TCliRequest {
    QString FCommand;  // "query", "logo build", ...; "help" or "version"
    QStringList FArgs; // the command's own arguments
    QStringList FPorts;
    int32_t FBaudRate = 9600;
    QString FConfigPath;
    TToolSettings FSettings; // the defaults, or read from --config
    QString FLogPath;
    bool FQuiet = false;
    bool FVerbose = false;
    TParameterValues FParams; // set-params
    QString FSerialFile;      // set-factory
    QString FRecordFile;      // set-factory
    QString FOutput;          // logo build
};

// Throws ECliError: exitUsage for a bad command line, exitFile for a --config (or its
// codepage.ini) that cannot be read or holds a value the window could not show.
TCliRequest ParseCommandLine(const QStringList& arguments);

QString HelpText();

// A rate given as `name` (an option or argument): converted by the text-to-integer rule and
// positive, else ECliError with exitUsage.
int32_t PositiveRate(const QString& name, const QString& text);

// The rates the window offers, the most common first: the order in which find tries them.
const QList<int32_t>& FindRates();

// A text the user gave, for a message: long ones shortened ("1234...").
QString Shortened(const QString& text);
// The same in double quotes, a shortened one followed by its length.
QString Quoted(const QString& text);
// Why path cannot be read as a file ("No such file.", a folder, a device); empty when it can.
QString NotRegularFile(const QString& path);

// A port name as a file name part: "/dev/ttyUSB0" -> "ttyUSB0", "TCP/IP 10.0.0.2:9100" ->
// "TCP_IP_10.0.0.2_9100".
QString PortFileTag(const QString& port);
