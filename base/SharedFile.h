#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

// Files that several processes append to or replace under a lock, and that must hold what
// was written through a power cut: the serial counter, its journal, the records, the history.

// The C library's text for an errno value.
QString SystemErrorText(int error);

// open(2) with O_CLOEXEC, tried again when a signal interrupts it; -1 with errno set.
int OpenRetrying(const QString& path, int flags, unsigned mode = 0666);

// A descriptor closed whatever way its scope is left; closing it also drops its lock.
class TFd {
public:
    explicit TFd(int fd = -1) : FFd(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    void Reset(int fd = -1);

private:
    int FFd;
};

// Every byte, through short writes and interrupting signals.
bool WriteAll(int fd, const QByteArray& bytes);

// Whether this process may create a file in folder, or write (read: and read) the existing file
// at path. Tried, not read from the permission bits: root passes those, and a read-only mount or
// an immutable file does not show in them. False with the system's reason in why.
bool MayCreateFileIn(const QString& folder, QString* why = nullptr);
bool MayWriteFile(const QString& path, bool read = false, QString* why = nullptr);

// A new or renamed entry is only durable once the folder holding it is.
bool SyncFolderOf(const QString& path);

// flock(2) with a time-out, which a blocking flock cannot have. False with errno EWOULDBLOCK
// when the time ran out, EINTR when `stopped` said to give up, else flock's own.
bool LockWithin(int fd, int operation, int timeoutMs, const std::function<bool()>& stopped = {});

// "\n" when a power cut left the file's last line unfinished (its size bytes do not end in a
// line end), so that a line appended after it stands on its own; else nothing.
QByteArray EndOfCutLine(int fd, int64_t size);

// Appends line to the file open on fd (O_RDWR | O_APPEND, so that the last byte can be read),
// after ending a line a power cut left unfinished, or after firstLine when the file is empty:
// all in one write, so that other processes' appends cannot land inside it (only a short write,
// on a full disk, is continued). Synced to disk, and the folder too for a new file. False with
// errno set.
bool AppendLineDurably(int fd, const QString& path, const QByteArray& line,
                       const QByteArray& firstLine = {});

// Replaces the file with bytes so that after a crash it holds either the old or the new
// contents: a temporary file beside it is written and synced, renamed over it, and the folder
// synced. Keeps the file's permissions. Returns false with the system's reason.
bool ReplaceDurably(const QString& path, const QByteArray& bytes, QString* error);
