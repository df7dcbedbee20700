#include "Preflight.h"

#include "CliCommand.h"
#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "FileError.h"
#include "PortJobs.h"
#include "PortName.h"
#include "SharedFile.h"
#include "UniUart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <sys/stat.h>

namespace {

// A name meant as a datagram peer that does not make one: why, else empty.
QString PeerNameProblem(const QString& port) {
    const TPeerProblem problem = DatagramPeerProblem(port);
    switch (problem.FFault) {
    case TPeerFault::None:
        return {};
    case TPeerFault::NoPort:
        return QStringLiteral("give the peer as TCP/IP HOST:PORT (for example TCP/IP "
                              "192.168.1.20:9100)");
    case TPeerFault::PortNotNumber:
        return QStringLiteral("the port number %1 is not a number").arg(Quoted(problem.FPart));
    case TPeerFault::PortOutOfRange:
        return QStringLiteral("the port number %1 is out of range 1..65535")
            .arg(Shortened(problem.FPart));
    case TPeerFault::BadHost:
        return QStringLiteral("%1 is not a host name or address").arg(Quoted(problem.FPart));
    }
    return {};
}

// What a port name reaches: the same key for two names of one device.
QString DeviceKey(const QString& port, const TToolSettings& settings) {
    if (port == DatagramPortName)
        return QStringLiteral("udp ") + PeerText(settings.FPeerHost, settings.FPeerPort);
    if (const auto peer = ParseDatagramPeer(port))
        return QStringLiteral("udp ") + PeerText(peer->FHost, peer->FPort);
    const QString device = TMyUart::DevicePath(port);
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) == 0 && S_ISCHR(st.st_mode))
        return QStringLiteral("device %1").arg(qulonglong(st.st_rdev));
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

void CheckPorts(const TCliRequest& r) {
    QHash<QString, QString> seen; // key -> the first name given for it
    for (const QString& port : r.FPorts) {
        if (const QString why = PeerNameProblem(port); !why.isEmpty())
            Usage(QStringLiteral("--port %1: %2.").arg(Quoted(port), why));
        const QString key = DeviceKey(port, r.FSettings);
        // Two names for one device would make the second job find it busy, or send it one
        // printer's work twice.
        if (seen.contains(key))
            Usage(QStringLiteral("--port %1 and %2 name the same device.")
                      .arg(Quoted(seen.value(key)), Quoted(port)));
        seen.insert(key, port);
    }
}

} // namespace

void CheckFolderTakesFiles(const QString& file) {
    const QString dir = QFileInfo(file).absolutePath();
    if (QString why; !MayCreateFileIn(dir, &why))
        throw ECliError(exitFile, QStringLiteral("Cannot create files in folder \"%1\". %2.")
                                      .arg(QDir::toNativeSeparators(dir), why));
}

void CheckWritable(const QString& path, bool replaced, bool read) {
    const QFileInfo info(path);
    if (info.isDir())
        throw ECliError(exitFile, FileErrorText("write", path, NotRegularFile(path)));
    if (info.exists()) {
        if (QString why; !MayWriteFile(path, read, &why))
            throw ECliError(exitFile, FileErrorText("write", path, why + QLatin1Char('.')));
        if (!replaced)
            return;
    }
    CheckFolderTakesFiles(path);
}

void CheckOutputFile(const QString& path) {
    if (QFileInfo::exists(path))
        if (const QString why = NotRegularFile(path); !why.isEmpty())
            throw ECliError(exitFile, FileErrorText("create", path, why));
    CheckWritable(path, true);
}

void CheckBeforePrinters(const TCliRequest& r) {
    const TCliCommand* command = FindCliCommand(r.FCommand);
    if (command && command->FPorts != TPortUse::Filter)
        CheckPorts(r);
    if (command && command->FCheck)
        command->FCheck(r);
    if (!r.FLogPath.isEmpty()) {
        // find without --port learns its ports later; they share the folder.
        if (r.FPorts.isEmpty())
            CheckFolderTakesFiles(r.FLogPath);
        for (const QString& log : PortLogPaths(r.FLogPath, r.FPorts))
            CheckWritable(log, false);
    }
}
