#pragma once

// One job as the history keeps it: one JSON object per line of history.jsonl. The field names
// are a published interface (README, "History and support"): add fields, never rename one.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// The names of the jobs, as nuvctl spells its commands; the window uses the same ones.
namespace historyjob {
inline const QString SetParams = QStringLiteral("set-params");
inline const QString SetBluetooth = QStringLiteral("set-bluetooth");
inline const QString SetIrComm = QStringLiteral("set-ircomm");
inline const QString SetFactory = QStringLiteral("set-factory");
inline const QString Program = QStringLiteral("program");
inline const QString Font = QStringLiteral("font");
inline const QString LogoDownload = QStringLiteral("logo download");
} // namespace historyjob

// How a job ended.
namespace historyresult {
inline const QString Ok = QStringLiteral("ok");
inline const QString Failed = QStringLiteral("failed");
inline const QString Cancelled = QStringLiteral("cancelled"); // stopped on request
} // namespace historyresult

// A file a job sent, as it was when the job read it.
struct THistoryFile {
    QString FPath; // absolute
    int64_t FSize = 0;
    QByteArray FSha256; // lower-case hex

    bool operator==(const THistoryFile&) const = default;
};

struct THistoryRecord {
    QDateTime FTime; // when the job started
    QString FProgram;
    QString FVersion;
    QString FPort;
    QString FUsbId;     // the adapter's "vendor:product" in hex; empty when the port has none
    QString FUsbSerial; // the adapter's serial number; empty when it has none
    QString FIdentification;
    QString FJob;
    QList<THistoryFile> FFiles;
    int64_t FBytes = 0; // data bytes the printer acknowledged
    int FRetries = 0;   // tries beyond the first, over the whole job
    double FSeconds = 0;
    QString FResult; // one of historyresult
    QString FReason; // why it failed; empty after success
    QString FSerial; // the serial number written; empty when none

    bool operator==(const THistoryRecord&) const = default;
};

class TJsonLine;

// The record's fields added to line, in the order of history.jsonl.
void AddHistoryFields(TJsonLine& line, const THistoryRecord& record);
// The record as one line of JSON, without the line end.
QByteArray HistoryLine(const THistoryRecord& record);
// A line read back; nullopt when it is not a JSON object with a time (a line cut short by a
// power cut, or no history line at all). Fields missing from an older line stay empty.
std::optional<THistoryRecord> ParseHistoryLine(const QByteArray& line);

// The file's absolute path, size and SHA-256 as it is now; nullopt with the reason when it
// cannot be read.
std::optional<THistoryFile> HistoryFileEntry(const QString& path, QString* error = nullptr);
// The entry of the file at path from the bytes read of it.
THistoryFile HistoryFileEntry(const QString& path, const QByteArray& bytes);
