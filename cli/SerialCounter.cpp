#include "SerialCounter.h"

#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "FileError.h"
#include "SharedFile.h"
#include "StopSignals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString LockFailure(const QString& path, int timeoutMs) {
    if (errno == EWOULDBLOCK)
        return QStringLiteral("\"%1\" stayed locked by another run for %2 s; check that no other "
                              "nuvctl hangs on it.")
            .arg(Native(path))
            .arg(timeoutMs / 1000);
    if (errno == EINTR && StopSignal() != 0)
        return QStringLiteral("Stopped by %1 while waiting for the lock on \"%2\".")
            .arg(SignalName(StopSignal()), Native(path));
    return FileErrorText("lock", path, SystemErrorText(errno));
}

QByteArray CounterText(int64_t value) {
    return QByteArray::number(qlonglong(value)) + '\n';
}

} // namespace

TSerialCounter::TSerialCounter(const QString& path)
    : FPath(CounterPath(path)), FJournal(JournalPath(FPath)) {}

QString TSerialCounter::CounterPath(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

TSerialCounter::~TSerialCounter() {
    Release();
}

int64_t TSerialCounter::Peek(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ECliError(exitFile, FileErrorText("open", path, file.errorString()));
    const QByteArray bytes = file.read(4096);
    const QByteArray text = bytes.trimmed();
    bool digits = !text.isEmpty() && text.size() <= kDigits;
    for (const char c : text)
        digits = digits && c >= '0' && c <= '9';
    if (!digits)
        throw ECliError(exitFile,
                        QStringLiteral("The serial counter file \"%1\" must hold the next serial "
                                       "number as decimal digits (up to %2), not %3.")
                            .arg(Native(path))
                            .arg(kDigits)
                            .arg(Quoted(QString::fromLatin1(text))));
    const int64_t value = text.toLongLong();
    if (value > kLastSerial)
        throw ECliError(exitFile,
                        QStringLiteral("The serial counter file \"%1\" holds %2: the number after "
                                       "it would not fit in %3 digits. Start a new series.")
                            .arg(Native(path))
                            .arg(value)
                            .arg(kDigits));
    return value;
}

int64_t TSerialCounter::Reserve(const QString& port, int timeoutMs,
                                const std::function<void(const QString&)>& note) {
    Release();
    const QString lockPath = LockPath(FPath);
    FLockFd = OpenRetrying(lockPath, O_RDWR | O_CREAT);
    if (FLockFd < 0)
        throw ECliError(exitFile, FileErrorText("create", lockPath, SystemErrorText(errno)));
    if (!LockWithin(FLockFd, LOCK_EX, timeoutMs, [] { return StopSignal() != 0; })) {
        const QString why = LockFailure(lockPath, timeoutMs);
        Release();
        throw ECliError(exitFile, why);
    }
    try {
        int64_t next = Peek(FPath);
        const std::optional<TJournalEntry> last = FJournal.LastEntry();
        if (last && last->FEvent == journal::Reserved) {
            // That printer may or may not hold the number: it is never handed out again.
            note(QStringLiteral("serial %1 was reserved by an earlier run that did not finish "
                                "(%2, %3); it is not reused.")
                     .arg(last->FSerial)
                     .arg(last->FPort, last->FTime));
            FJournal.Append(last->FSerial, journal::NotFinished, last->FPort, last->FPid);
            if (last->FSerial >= next)
                next = last->FSerial + 1;
            if (next > kLastSerial)
                throw ECliError(exitFile, QStringLiteral("The serial counter \"%1\" has no "
                                                         "number left in %2 digits.")
                                              .arg(Native(FPath))
                                              .arg(kDigits));
        }
        FJournal.Append(next, journal::Reserved, port);
        QString error;
        if (!ReplaceDurably(FPath, CounterText(next + 1), &error))
            throw ECliError(exitFile,
                            QStringLiteral("%1 Serial %2 is journalled as reserved and will not "
                                           "be handed out; nothing was sent.")
                                .arg(FileErrorText("write", FPath, error))
                                .arg(next));
        FTaken = next;
        FPort = port;
    } catch (...) {
        Release();
        throw;
    }
    return FTaken;
}

void TSerialCounter::Outcome(const QString& event) {
    const int64_t taken = FTaken;
    const QString port = FPort;
    try {
        FJournal.Append(taken, event, port);
    } catch (...) {
        Release();
        throw;
    }
    Release();
}

void TSerialCounter::Used() {
    Outcome(journal::Used);
}

void TSerialCounter::SentNotConfirmed() {
    Outcome(journal::SentNotConfirmed);
}

void TSerialCounter::Return() {
    QString error;
    if (!ReplaceDurably(FPath, CounterText(FTaken), &error)) {
        // The journal keeps "reserved"; the next run passes the number over.
        const int64_t taken = FTaken;
        Release();
        throw ECliError(exitFile,
                        QStringLiteral("Serial %1 was not sent, but the counter could not be set "
                                       "back to it: %2 It stays unused.")
                            .arg(taken)
                            .arg(FileErrorText("write", FPath, error)));
    }
    Outcome(journal::Returned);
}

void TSerialCounter::Release() {
    FTaken = -1;
    if (FLockFd >= 0)
        ::close(FLockFd); // closing drops the lock
    FLockFd = -1;
}

void AppendCsvRecord(const QString& path, const QStringList& header, const QStringList& fields,
                     int timeoutMs) {
    auto line = [](const QStringList& values) {
        QStringList out;
        for (QString v : values) {
            if (v.contains(QLatin1Char(',')) || v.contains(QLatin1Char('"')) ||
                v.contains(QLatin1Char('\n')) || v.contains(QLatin1Char('\r')))
                v = QLatin1Char('"') + v.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                    QLatin1Char('"');
            out.append(v);
        }
        return out.join(QLatin1Char(',')).toUtf8() + '\n';
    };
    // Read too: the last byte tells whether a power cut left a line unfinished.
    const TFd fd(OpenRetrying(path, O_RDWR | O_APPEND | O_CREAT));
    if (fd.Get() < 0)
        throw ECliError(exitFile, FileErrorText("open", path, SystemErrorText(errno)));
    if (!LockWithin(fd.Get(), LOCK_EX, timeoutMs))
        throw ECliError(exitFile, LockFailure(path, timeoutMs));
    if (!AppendLineDurably(fd.Get(), path, line(fields), line(header)))
        throw ECliError(exitFile, FileErrorText("write", path, SystemErrorText(errno)));
}
