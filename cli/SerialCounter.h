#pragma once

// Serial numbers for a production line: a counter file holding the next number as decimal
// text, its journal (SerialJournal.h), and a CSV record of what each printer was given.

#include "SerialJournal.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

// A number is reserved before the printer is sent anything and stays locked, under an exclusive
// lock on FILE.lock, until its outcome is known: a kill at any moment leaves at worst a number
// that nobody uses, never one that two printers get. The lock is on a file of its own because
// the counter file is replaced on every reservation, and a lock held on the replaced file would
// exclude nobody. Every failure throws ECliError(exitFile).
class TSerialCounter {
public:
    // Counter values are up to kDigits digits, and the number after the last one handed out
    // must be storable too.
    static constexpr int kDigits = 18;
    static constexpr int64_t kLastSerial = 999'999'999'999'999'998;

    explicit TSerialCounter(const QString& path);
    ~TSerialCounter();
    TSerialCounter(const TSerialCounter&) = delete;
    TSerialCounter& operator=(const TSerialCounter&) = delete;

    // Waits up to timeoutMs for the lock, reads the next number N, journals "N reserved" for
    // port and stores N+1, each synced to disk, and returns N. An earlier run's reservation
    // that has no outcome is passed over, journalled "not finished" and told to note once.
    int64_t Reserve(const QString& port, int timeoutMs,
                    const std::function<void(const QString&)>& note);
    // The outcome of the reserved number; each releases the lock.
    void Used();             // the printer confirmed it
    void Return();           // the printer was sent nothing: the counter goes back to it
    void SentNotConfirmed(); // the printer may hold it: it is spent
    void Release();

    // Reads the number without the lock: a bad file is reported before any printer is touched.
    static int64_t Peek(const QString& path);
    // The file the counter really is: replacing a symbolic link would leave its target behind
    // for other runs to read.
    static QString CounterPath(const QString& path);
    static QString LockPath(const QString& path) { return path + QStringLiteral(".lock"); }
    static QString JournalPath(const QString& path) { return path + QStringLiteral(".journal"); }

private:
    void Outcome(const QString& event);
    QString FPath;
    QString FPort;
    TSerialJournal FJournal;
    int FLockFd = -1;
    int64_t FTaken = -1;
};

// Appends one line to a CSV file under an exclusive lock on the file itself (it is only ever
// appended to), writing the header first when the file is new. Throws ECliError(exitFile).
void AppendCsvRecord(const QString& path, const QStringList& header, const QStringList& fields,
                     int timeoutMs);
