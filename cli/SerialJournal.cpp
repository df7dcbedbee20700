#include "SerialJournal.h"

#include "ExitStatus.h"
#include "FileError.h"
#include "LocalTime.h"
#include "SharedFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <fcntl.h>

namespace {

// Tabs and line ends would break the line into other fields.
QString Field(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return text;
}

} // namespace

QString JournalTime() {
    return LocalTimeText(QDateTime::currentDateTime());
}

void TSerialJournal::Append(int64_t serial, const QString& event, const QString& port,
                            const QString& pid) {
    const TFd fd(OpenRetrying(FPath, O_RDWR | O_APPEND | O_CREAT));
    if (fd.Get() < 0)
        throw ECliError(exitFile, FileErrorText("open", FPath, SystemErrorText(errno)));
    const QByteArray line =
        QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
            .arg(JournalTime())
            .arg(serial)
            .arg(event, Field(port),
                 pid.isEmpty() ? QString::number(QCoreApplication::applicationPid()) : pid)
            .toUtf8();
    if (!AppendLineDurably(fd.Get(), FPath, line))
        throw ECliError(exitFile, FileErrorText("write", FPath, SystemErrorText(errno)));
}

std::optional<TJournalEntry> TSerialJournal::LastEntry() const {
    QFile file(FPath);
    if (!file.exists())
        return std::nullopt;
    // A journal that cannot be read might hide a number some printer holds.
    if (!file.open(QIODevice::ReadOnly))
        throw ECliError(exitFile, FileErrorText("read", FPath, file.errorString()));
    // Only the last line matters: the lock is held from a reservation to its outcome, so an
    // unfinished reservation is always the last event written.
    constexpr qint64 kTail = 4096;
    const qint64 size = file.size();
    file.seek(std::max<qint64>(0, size - kTail));
    QByteArray tail = file.read(kTail);
    const qsizetype end = tail.lastIndexOf('\n');
    if (end < 0)
        return std::nullopt;
    tail.truncate(end);
    const QList<QByteArray> fields = tail.mid(tail.lastIndexOf('\n') + 1).split('\t');
    if (fields.size() != 5)
        return std::nullopt;
    bool ok = false;
    TJournalEntry e;
    e.FTime = QString::fromUtf8(fields[0]);
    e.FSerial = fields[1].toLongLong(&ok);
    e.FEvent = QString::fromUtf8(fields[2]);
    e.FPort = QString::fromUtf8(fields[3]);
    e.FPid = QString::fromUtf8(fields[4]);
    if (!ok)
        return std::nullopt;
    return e;
}
