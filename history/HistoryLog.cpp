#include "HistoryLog.h"

#include "FileError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Lock holders only write a line or rename a file; waiting longer means something hangs, and
// the window must not hang with it.
constexpr int LockTimeoutMs = 3000;

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int OpenRetrying(const QString& path, int flags) {
    const QByteArray native = QFile::encodeName(path);
    int fd = -1;
    do
        fd = ::open(native.constData(), flags | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// A descriptor closed whatever way its scope is left; closing it also drops its lock.
class TFd {
public:
    explicit TFd(int fd = -1) : FFd(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    void Reset(int fd = -1) {
        if (FFd >= 0)
            ::close(FFd);
        FFd = fd;
    }

private:
    int FFd;
};

bool LockWithin(int fd, int operation) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (timer.elapsed() >= LockTimeoutMs) {
            errno = EWOULDBLOCK;
            return false;
        }
        QThread::msleep(5);
    }
}

QString LockFailure(const QString& path, int error) {
    if (error == EWOULDBLOCK)
        return FileErrorText(
            "lock", path,
            QStringLiteral("Another program held it for over %1 s.").arg(LockTimeoutMs / 1000));
    return FileErrorText("lock", path, SystemError(error));
}

bool SyncFolder(const QString& folder) {
    const TFd fd(OpenRetrying(folder, O_RDONLY | O_DIRECTORY));
    return fd.Get() >= 0 && ::fsync(fd.Get()) == 0;
}

// -1 when the file is not there.
int64_t FileSize(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return info.st_size;
}

bool Fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

THistoryLog::THistoryLog(const QString& folder, int64_t rotateBytes)
    : FFolder(QDir::cleanPath(folder)), FRotateBytes(rotateBytes) {}

QString THistoryLog::Path() const {
    return FFolder + u'/' + FileName;
}

QString THistoryLog::OldPath() const {
    return FFolder + u'/' + OldFileName;
}

bool THistoryLog::Append(const THistoryRecord& record, QString* error) const {
    const QByteArray line = HistoryLine(record) + '\n';
    const QString path = Path();
    const QString lockPath = FFolder + u'/' + LockFileName;
    const TFd lock(OpenRetrying(lockPath, O_RDWR | O_CREAT));
    if (lock.Get() < 0)
        return Fail(error, FileErrorText("open", lockPath, SystemError(errno)));
    if (!LockWithin(lock.Get(), LOCK_SH))
        return Fail(error, LockFailure(lockPath, errno));

    TFd fd(OpenRetrying(path, O_RDWR | O_APPEND | O_CREAT));
    if (fd.Get() < 0)
        return Fail(error, FileErrorText("open", path, SystemError(errno)));
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        return Fail(error, FileErrorText("read", path, SystemError(errno)));
    int64_t size = info.st_size;
    if (size > 0 && size + line.size() > FRotateBytes) {
        // Renaming needs every other writer out of the file: the exclusive lock. flock cannot
        // turn a shared lock into an exclusive one without letting go, so another process may
        // rotate first; hence the size is looked at again under the lock.
        fd.Reset();
        if (!LockWithin(lock.Get(), LOCK_EX))
            return Fail(error, LockFailure(lockPath, errno));
        size = FileSize(path);
        if (size > 0 && size + line.size() > FRotateBytes) {
            if (::rename(QFile::encodeName(path).constData(),
                         QFile::encodeName(OldPath()).constData()) != 0)
                return Fail(error,
                            FileErrorText(
                                "rename", path,
                                QStringLiteral("%1 (to %2)").arg(SystemError(errno), OldFileName)));
            SyncFolder(FFolder);
        }
        fd.Reset(OpenRetrying(path, O_RDWR | O_APPEND | O_CREAT));
        if (fd.Get() < 0)
            return Fail(error, FileErrorText("open", path, SystemError(errno)));
        if (::fstat(fd.Get(), &info) != 0)
            return Fail(error, FileErrorText("read", path, SystemError(errno)));
        size = info.st_size;
    }
    // A line a power cut left unfinished is ended, so that this one stands on its own.
    QByteArray out;
    if (size > 0) {
        char last = '\n';
        if (::pread(fd.Get(), &last, 1, size - 1) == 1 && last != '\n')
            out += '\n';
    }
    out += line;
    // One write: appends of other processes never land inside the line.
    ssize_t written = -1;
    do
        written = ::write(fd.Get(), out.constData(), static_cast<size_t>(out.size()));
    while (written < 0 && errno == EINTR);
    if (written != out.size())
        return Fail(error, FileErrorText("write", path,
                                         written < 0 ? SystemError(errno)
                                                     : QStringLiteral("The disk is full.")));
    if (::fdatasync(fd.Get()) != 0)
        return Fail(error, FileErrorText("write", path, SystemError(errno)));
    if (size == 0)
        SyncFolder(FFolder); // a new file is durable once its folder is
    return true;
}

bool THistoryLog::Read(QList<THistoryRecord>& records, int* skipped, QString* error) const {
    records.clear();
    if (skipped)
        *skipped = 0;
    // Held shared, no rotation falls between reading the two files. A folder that may not be
    // written has no lock file to take, and no writer to fear either.
    TFd lock(OpenRetrying(FFolder + u'/' + LockFileName, O_RDONLY));
    if (lock.Get() >= 0 && !LockWithin(lock.Get(), LOCK_SH))
        lock.Reset();
    for (const QString& path : {OldPath(), Path()}) {
        QFile file(path);
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly))
            return Fail(error, FileErrorText("open", path, file.errorString()));
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return Fail(error, FileErrorText("read", path, file.errorString()));
        for (const QByteArray& line : bytes.split('\n')) {
            if (line.trimmed().isEmpty())
                continue;
            if (const auto record = ParseHistoryLine(line))
                records.append(*record);
            else if (skipped)
                ++*skipped;
        }
    }
    return true;
}
