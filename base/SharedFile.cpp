#include "SharedFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString SystemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int OpenRetrying(const QString& path, int flags, unsigned mode) {
    const QByteArray native = QFile::encodeName(path);
    int fd = -1;
    do
        fd = ::open(native.constData(), flags | O_CLOEXEC, static_cast<mode_t>(mode));
    while (fd < 0 && errno == EINTR);
    return fd;
}

void TFd::Reset(int fd) {
    if (FFd >= 0)
        ::close(FFd);
    FFd = fd;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

namespace {

bool Failed(QString* why) {
    if (why)
        *why = SystemErrorText(errno);
    return false;
}

} // namespace

bool MayCreateFileIn(const QString& folder, QString* why) {
    // A name of its own: a probe a killed run left behind refuses nothing.
    QByteArray name = QFile::encodeName(folder + QStringLiteral("/.nuv-probe-XXXXXX"));
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return Failed(why);
    ::close(fd);
    ::unlink(name.constData());
    return true;
}

bool MayWriteFile(const QString& path, bool read, QString* why) {
    const TFd fd(OpenRetrying(path, (read ? O_RDWR : O_WRONLY) | O_APPEND));
    return fd.Get() >= 0 || Failed(why);
}

bool SyncFolderOf(const QString& path) {
    const TFd fd(OpenRetrying(QFileInfo(path).absolutePath(), O_RDONLY | O_DIRECTORY));
    return fd.Get() >= 0 && ::fsync(fd.Get()) == 0;
}

bool LockWithin(int fd, int operation, int timeoutMs, const std::function<bool()>& stopped) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (stopped && stopped()) {
            errno = EINTR;
            return false;
        }
        if (timer.elapsed() >= timeoutMs) {
            errno = EWOULDBLOCK;
            return false;
        }
        QThread::msleep(5);
    }
}

QByteArray EndOfCutLine(int fd, int64_t size) {
    char last = '\n';
    if (size > 0 && ::pread(fd, &last, 1, static_cast<off_t>(size - 1)) == 1 && last != '\n')
        return QByteArrayLiteral("\n");
    return {};
}

bool AppendLineDurably(int fd, const QString& path, const QByteArray& line,
                       const QByteArray& firstLine) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    const QByteArray bytes = (st.st_size == 0 ? firstLine : EndOfCutLine(fd, st.st_size)) + line;
    return WriteAll(fd, bytes) && ::fdatasync(fd) == 0 && (st.st_size > 0 || SyncFolderOf(path));
}

bool ReplaceDurably(const QString& path, const QByteArray& bytes, QString* error) {
    const QByteArray target = QFile::encodeName(path);
    // One fixed name: a run killed half-way leaves nothing that piles up, and the lock keeps
    // two runs from writing it at once.
    const QByteArray temporary = target + ".new";
    struct stat st {};
    const bool existed = ::stat(target.constData(), &st) == 0;
    bool ok = false;
    const int fd = OpenRetrying(path + QStringLiteral(".new"), O_WRONLY | O_CREAT | O_TRUNC);
    if (fd >= 0) {
        ok = (!existed || ::fchmod(fd, st.st_mode & 07777) == 0) && WriteAll(fd, bytes) &&
             ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temporary.constData(), target.constData()) == 0 && SyncFolderOf(path);
    }
    if (!ok) {
        if (error)
            *error = SystemErrorText(errno);
        ::unlink(temporary.constData());
    }
    return ok;
}
