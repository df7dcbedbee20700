#include "Preflight.h"

#include "CliCommand.h"
#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "FileError.h"
#include "PortJobs.h"
#include "PortName.h"
#include "SharedFile.h"
#include "TextToInt.h"
#include "UniUart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A name meant as a datagram peer that does not make one: why, else empty.
QString PeerNameProblem(const QString& port) {
    const QString text = port.trimmed();
    const bool prefixed = text.startsWith(DatagramPortName);
    if (text == DatagramPortName || ParseDatagramPeer(text))
        return {};
    const QString peer = prefixed ? text.mid(DatagramPortName.size()).trimmed() : text;
    const qsizetype colon = peer.lastIndexOf(QLatin1Char(':'));
    const QString portText = colon < 0 ? QString() : peer.mid(colon + 1);
    bool digits = !portText.isEmpty();
    for (const QChar c : portText)
        digits = digits && c.isDigit();
    // Without the prefix only HOST.NAME:DIGITS is taken for a peer; the rest are serial names.
    if (!prefixed && !(digits && peer.left(colon).contains(QLatin1Char('.'))))
        return {};
    if (colon <= 0)
        return QStringLiteral("give the peer as TCP/IP HOST:PORT (for example TCP/IP "
                              "192.168.1.20:9100)");
    if (!digits)
        return QStringLiteral("the port number %1 is not a number").arg(Quoted(portText));
    if (const auto value = TryTextToInt64(portText); !value || *value < 1 || *value > 65535)
        return QStringLiteral("the port number %1 is out of range 1..65535")
            .arg(Shortened(portText));
    return QStringLiteral("%1 is not a host name or address").arg(Quoted(peer.left(colon)));
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

// Write permission is tried, not read from the permission bits: root passes those, and a
// read-only mount or an immutable file does not show in them.
void CheckFolderTakesFiles(const QString& file) {
    const QString dir = QFileInfo(file).absolutePath();
    const QByteArray probe = QFile::encodeName(QDir(dir).filePath(
        QStringLiteral(".nuvctl-probe-%1").arg(QCoreApplication::applicationPid())));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw ECliError(exitFile, QStringLiteral("Cannot create files in folder \"%1\". %2.")
                                      .arg(QDir::toNativeSeparators(dir), SystemErrorText(errno)));
    ::close(fd);
    ::unlink(probe.constData());
}

void CheckWritable(const QString& path, bool replaced, bool read) {
    const QFileInfo info(path);
    if (info.isDir())
        throw ECliError(
            exitFile, FileErrorText("write", path, QStringLiteral("It is a folder, not a file.")));
    if (info.exists()) {
        const int fd = ::open(QFile::encodeName(path).constData(),
                              (read ? O_RDWR : O_WRONLY) | O_APPEND | O_CLOEXEC);
        if (fd < 0)
            throw ECliError(
                exitFile, FileErrorText("write", path, SystemErrorText(errno) + QLatin1Char('.')));
        ::close(fd);
        if (!replaced)
            return;
    }
    CheckFolderTakesFiles(path);
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
