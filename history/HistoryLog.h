#pragma once

// history.jsonl in a files folder: every job of the window and of nuvctl appends one line, and
// nothing overwrites it. Several processes share it: each line goes out in one write on a
// descriptor opened for appending, under a shared lock on history.jsonl.lock beside it. A line
// that would take the file past the limit first renames it to history.1.jsonl (replacing the
// one before) under the exclusive lock, so no process ever writes into a file being renamed.

#include "HistoryRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>

class THistoryLog {
public:
    static constexpr int64_t DefaultRotateBytes = 10 * 1024 * 1024;
    static inline const QString FileName = QStringLiteral("history.jsonl");
    static inline const QString OldFileName = QStringLiteral("history.1.jsonl");
    static inline const QString LockFileName = QStringLiteral("history.jsonl.lock");

    // folder: the files folder. rotateBytes: the size history.jsonl never grows beyond (but
    // for one line longer than that).
    explicit THistoryLog(const QString& folder, int64_t rotateBytes = DefaultRotateBytes);

    QString Path() const;
    QString OldPath() const;

    // Appends the record as one line, synced to disk. false, with the file layer's message,
    // when it could not be written (a line cut short by a full disk is skipped by readers, and
    // the next line starts on a line of its own).
    bool Append(const THistoryRecord& record, QString* error = nullptr) const;
    // What the user is told of Append's error; the job's result stands.
    static QString NotWrittenText(const QString& error);

    // The records of both files, oldest first. Lines that are no record (one cut short by a
    // power cut) are left out and counted in `skipped`. false, with the reason, when a file
    // that is there cannot be read; a missing file is an empty history.
    bool Read(QList<THistoryRecord>& records, int* skipped = nullptr,
              QString* error = nullptr) const;

    // A file of the history as read: its name (OldFileName or FileName), bytes and time of
    // change, or why it could not be read.
    struct TFile {
        QString FName;
        QByteArray FData;
        QDateTime FModified;
        QString FError;
    };
    // Both files as they were at one moment, the older first: no rotation falls between the
    // two readings. A missing file is left out.
    QList<TFile> ReadFiles() const;

private:
    QString FFolder;
    int64_t FRotateBytes;
};
