#include "SerialCounter.h"

#include "ExitStatus.h"
#include "FileError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A blocking flock cannot be given a time-out, so poll.
bool LockWithin(int fd, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (timer.elapsed() >= timeoutMs) {
            errno = EWOULDBLOCK;
            return false;
        }
        QThread::msleep(10);
    }
}

int OpenForLock(const QString& path, int flags) {
    int fd = -1;
    do
        fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

QString LockFailure(const QString& path, int timeoutMs) {
    if (errno == EWOULDBLOCK)
        return QStringLiteral("\"%1\" stayed locked by another run for %2 s; check that no other "
                              "nuvctl hangs on it.")
            .arg(Native(path))
            .arg(timeoutMs / 1000);
    return FileErrorText("lock", path, SystemError());
}

} // namespace

TSerialCounter::TSerialCounter(const QString& path) : FPath(path) {}

TSerialCounter::~TSerialCounter() {
    Release();
}

int64_t TSerialCounter::Peek(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ECliError(exitFile, FileErrorText("open", path, file.errorString()));
    const QByteArray bytes = file.read(4096);
    const QByteArray text = bytes.trimmed();
    bool digits = !text.isEmpty() && text.size() <= 18;
    for (const char c : text)
        digits = digits && c >= '0' && c <= '9';
    if (!digits)
        throw ECliError(exitFile,
                        QStringLiteral("The serial counter file \"%1\" must hold the next serial "
                                       "number as decimal digits (up to 18), not \"%2\".")
                            .arg(Native(path), QString::fromLatin1(text.left(40))));
    return text.toLongLong();
}

int64_t TSerialCounter::Take(int timeoutMs) {
    Release();
    const QString lockPath = FPath + QStringLiteral(".lock");
    FLockFd = OpenForLock(lockPath, O_RDWR | O_CREAT);
    if (FLockFd < 0)
        throw ECliError(exitFile, FileErrorText("create", lockPath, SystemError()));
    if (!LockWithin(FLockFd, timeoutMs)) {
        const QString why = LockFailure(lockPath, timeoutMs);
        Release();
        throw ECliError(exitFile, why);
    }
    try {
        FTaken = Peek(FPath);
    } catch (...) {
        Release();
        throw;
    }
    return FTaken;
}

void TSerialCounter::Commit() {
    QSaveFile file(FPath);
    const QByteArray next = QByteArray::number(qlonglong(FTaken + 1)) + '\n';
    const bool stored =
        file.open(QIODevice::WriteOnly) && file.write(next) == next.size() && file.commit();
    const int64_t taken = FTaken;
    if (!stored)
        throw ECliError(exitFile,
                        QStringLiteral("The printer took serial %1, but the counter file \"%2\" "
                                       "could not be updated (%3): set it to %4 before the next "
                                       "run.")
                            .arg(taken)
                            .arg(Native(FPath), file.errorString())
                            .arg(taken + 1));
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
    const int fd = OpenForLock(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        throw ECliError(exitFile, FileErrorText("open", path, SystemError()));
    QString error;
    if (!LockWithin(fd, timeoutMs)) {
        error = LockFailure(path, timeoutMs);
    } else {
        struct stat st {};
        QByteArray bytes;
        if (::fstat(fd, &st) == 0 && st.st_size == 0)
            bytes = line(header);
        bytes += line(fields);
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n =
                ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = FileErrorText("write", path, SystemError());
                break;
            }
            written += n;
        }
        if (error.isEmpty() && ::fdatasync(fd) != 0)
            error = FileErrorText("write", path, SystemError());
    }
    ::close(fd);
    if (!error.isEmpty())
        throw ECliError(exitFile, error);
}
