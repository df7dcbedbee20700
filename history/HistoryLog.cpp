#include "HistoryLog.h"

#include "FileError.h"
#include "SharedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Lock holders only write a line or rename a file; waiting longer means something hangs, and
// the window must not hang with it.
constexpr int LockTimeoutMs = 3000;

QString LockFailure(const QString& path, int error) {
    if (error == EWOULDBLOCK)
        return FileErrorText(
            "lock", path,
            QStringLiteral("Another program held it for over %1 s.").arg(LockTimeoutMs / 1000));
    return FileErrorText("lock", path, SystemErrorText(error));
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
        return Fail(error, FileErrorText("open", lockPath, SystemErrorText(errno)));
    if (!LockWithin(lock.Get(), LOCK_SH, LockTimeoutMs))
        return Fail(error, LockFailure(lockPath, errno));

    TFd fd(OpenRetrying(path, O_RDWR | O_APPEND | O_CREAT));
    if (fd.Get() < 0)
        return Fail(error, FileErrorText("open", path, SystemErrorText(errno)));
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        return Fail(error, FileErrorText("read", path, SystemErrorText(errno)));
    int64_t size = info.st_size;
    if (size > 0 && size + line.size() > FRotateBytes) {
        // Renaming needs every other writer out of the file: the exclusive lock. flock cannot
        // turn a shared lock into an exclusive one without letting go, so another process may
        // rotate first; hence the size is looked at again under the lock.
        fd.Reset();
        if (!LockWithin(lock.Get(), LOCK_EX, LockTimeoutMs))
            return Fail(error, LockFailure(lockPath, errno));
        size = FileSize(path);
        if (size > 0 && size + line.size() > FRotateBytes) {
            if (::rename(QFile::encodeName(path).constData(),
                         QFile::encodeName(OldPath()).constData()) != 0)
                return Fail(
                    error,
                    FileErrorText(
                        "rename", path,
                        QStringLiteral("%1 (to %2)").arg(SystemErrorText(errno), OldFileName)));
            SyncFolderOf(path);
        }
        fd.Reset(OpenRetrying(path, O_RDWR | O_APPEND | O_CREAT));
        if (fd.Get() < 0)
            return Fail(error, FileErrorText("open", path, SystemErrorText(errno)));
        if (::fstat(fd.Get(), &info) != 0)
            return Fail(error, FileErrorText("read", path, SystemErrorText(errno)));
        size = info.st_size;
    }
    // A line a power cut left unfinished is ended, so that this one stands on its own.
    const QByteArray out = EndOfCutLine(fd.Get(), size) + line;
    // One write: appends of other processes never land inside the line.
    ssize_t written = -1;
    do
        written = ::write(fd.Get(), out.constData(), static_cast<size_t>(out.size()));
    while (written < 0 && errno == EINTR);
    if (written != out.size())
        return Fail(error, FileErrorText("write", path,
                                         written < 0 ? SystemErrorText(errno)
                                                     : QStringLiteral("The disk is full.")));
    if (::fdatasync(fd.Get()) != 0)
        return Fail(error, FileErrorText("write", path, SystemErrorText(errno)));
    if (size == 0)
        SyncFolderOf(path); // a new file is durable once its folder is
    return true;
}

QString THistoryLog::NotWrittenText(const QString& error) {
    return QStringLiteral("%1 was not written: %2").arg(FileName, error);
}

QList<THistoryLog::TFile> THistoryLog::ReadFiles() const {
    // Held shared, no rotation falls between reading the two files. A folder that may not be
    // written has no lock file to take, and no writer to fear either.
    TFd lock(OpenRetrying(FFolder + u'/' + LockFileName, O_RDONLY));
    if (lock.Get() >= 0 && !LockWithin(lock.Get(), LOCK_SH, LockTimeoutMs))
        lock.Reset();
    QList<TFile> files;
    for (const QString& name : {OldFileName, FileName}) {
        const QString path = FFolder + u'/' + name;
        QFile file(path);
        if (!file.exists())
            continue;
        TFile& read = files.emplace_back();
        read.FName = name;
        if (!file.open(QIODevice::ReadOnly)) {
            read.FError = FileErrorText("open", path, file.errorString());
            continue;
        }
        read.FData = file.readAll();
        read.FModified = QFileInfo(file).lastModified();
        if (file.error() != QFileDevice::NoError)
            read.FError = FileErrorText("read", path, file.errorString());
    }
    return files;
}

bool THistoryLog::Read(QList<THistoryRecord>& records, int* skipped, QString* error) const {
    records.clear();
    if (skipped)
        *skipped = 0;
    for (const TFile& file : ReadFiles()) {
        if (!file.FError.isEmpty())
            return Fail(error, file.FError);
        for (const QByteArray& line : file.FData.split('\n')) {
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
