#pragma once

// Serial numbers for a production line: a counter file holding the next number as decimal
// text, and a CSV record of what each printer was given.

#include <QString>
#include <QStringList>
#include <cstdint>

// A number is taken under an exclusive lock on FILE.lock and stays locked until the printer
// has answered and Release() is called; Commit() before that stores the next number, without
// it the number is given back. The lock is
// on a file of its own because the counter file is replaced on every commit, and a lock held
// on the replaced file would exclude nobody. Every failure throws ECliError(exitFile).
class TSerialCounter {
public:
    explicit TSerialCounter(const QString& path);
    ~TSerialCounter();
    TSerialCounter(const TSerialCounter&) = delete;
    TSerialCounter& operator=(const TSerialCounter&) = delete;

    // Waits up to timeoutMs for the lock, then reads the number.
    int64_t Take(int timeoutMs);
    // Replaces the counter file with the taken number plus one, in one step.
    void Commit();
    void Release();
    // Reads the number without the lock: a bad file is reported before any printer is touched.
    static int64_t Peek(const QString& path);

private:
    QString FPath;
    int FLockFd = -1;
    int64_t FTaken = -1;
};

// Appends one line to a CSV file under an exclusive lock on the file itself (it is only ever
// appended to), writing the header first when the file is new. Throws ECliError(exitFile).
void AppendCsvRecord(const QString& path, const QStringList& header, const QStringList& fields,
                     int timeoutMs);
