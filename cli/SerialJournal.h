#pragma once

// The journal of a serial counter, FILE.journal beside it: one line per event, so that every
// number handed out can be accounted for after a kill or a power cut. Fields, tab-separated:
//   TIME  SERIAL  EVENT  PORT  PID
// TIME is the local time in ISO 8601 with its offset, to the millisecond; EVENT is one of the
// texts below. Each line goes out in one write and is synced to disk before the step it
// announces is taken.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace journal {
inline const QString Reserved = QStringLiteral("reserved");
inline const QString Used = QStringLiteral("used");
inline const QString Returned = QStringLiteral("returned");
inline const QString SentNotConfirmed = QStringLiteral("sent, not confirmed");
// Written by the next run for a reservation that has no outcome; port and process are those
// of the reservation.
inline const QString NotFinished = QStringLiteral("not finished");
} // namespace journal

struct TJournalEntry {
    QString FTime;
    int64_t FSerial = -1;
    QString FEvent;
    QString FPort;
    QString FPid;
};

class TSerialJournal {
public:
    explicit TSerialJournal(const QString& path) : FPath(path) {}

    // Throws ECliError(exitFile) when the line could not be written and synced.
    void Append(int64_t serial, const QString& event, const QString& port,
                const QString& pid = QString());
    // The last whole line; a line cut short by a power cut does not count. Throws
    // ECliError(exitFile) when the journal exists but cannot be read.
    std::optional<TJournalEntry> LastEntry() const;

private:
    QString FPath;
};

// Time as the journal and the record write it.
QString JournalTime();
