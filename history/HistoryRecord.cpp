#include "HistoryRecord.h"

#include "JsonLine.h"
#include "LocalTime.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

// The field names, each written once.
const QString kTime = QStringLiteral("time");
const QString kProgram = QStringLiteral("program");
const QString kVersion = QStringLiteral("version");
const QString kPort = QStringLiteral("port");
const QString kUsb = QStringLiteral("usb");
const QString kUsbSerial = QStringLiteral("usb_serial");
const QString kIdentification = QStringLiteral("identification");
const QString kJob = QStringLiteral("job");
const QString kFiles = QStringLiteral("files");
const QString kPath = QStringLiteral("path");
const QString kSize = QStringLiteral("size");
const QString kSha256 = QStringLiteral("sha256");
const QString kBytes = QStringLiteral("bytes");
const QString kRetries = QStringLiteral("retries");
const QString kSeconds = QStringLiteral("seconds");
const QString kResult = QStringLiteral("result");
const QString kReason = QStringLiteral("reason");
const QString kSerial = QStringLiteral("serial");

} // namespace

void AddHistoryFields(TJsonLine& line, const THistoryRecord& r) {
    line.Add(kTime, LocalTimeText(r.FTime)).Add(kProgram, r.FProgram).Add(kVersion, r.FVersion);
    line.Add(kPort, r.FPort);
    // Only a USB adapter has these.
    if (!r.FUsbId.isEmpty())
        line.Add(kUsb, r.FUsbId);
    if (!r.FUsbSerial.isEmpty())
        line.Add(kUsbSerial, r.FUsbSerial);
    line.Add(kIdentification, r.FIdentification).Add(kJob, r.FJob);
    QJsonArray files;
    for (const THistoryFile& f : r.FFiles)
        files.append(QJsonObject{{kPath, f.FPath},
                                 {kSize, static_cast<qint64>(f.FSize)},
                                 {kSha256, QString::fromLatin1(f.FSha256)}});
    line.Add(kFiles, files);
    line.Add(kBytes, static_cast<qint64>(r.FBytes)).Add(kRetries, r.FRetries);
    // Milliseconds are all a job's duration needs.
    line.AddSeconds(kSeconds, r.FSeconds);
    line.Add(kResult, r.FResult).Add(kReason, r.FReason).Add(kSerial, r.FSerial);
}

QByteArray HistoryLine(const THistoryRecord& record) {
    TJsonLine line;
    AddHistoryFields(line, record);
    return line.Text();
}

std::optional<THistoryRecord> ParseHistoryLine(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    THistoryRecord r;
    r.FTime = QDateTime::fromString(o[kTime].toString(), Qt::ISODateWithMs);
    if (!r.FTime.isValid())
        return std::nullopt;
    r.FProgram = o[kProgram].toString();
    r.FVersion = o[kVersion].toString();
    r.FPort = o[kPort].toString();
    r.FUsbId = o[kUsb].toString();
    r.FUsbSerial = o[kUsbSerial].toString();
    r.FIdentification = o[kIdentification].toString();
    r.FJob = o[kJob].toString();
    for (const QJsonValue& v : o[kFiles].toArray()) {
        const QJsonObject f = v.toObject();
        r.FFiles.append(
            {f[kPath].toString(), f[kSize].toInteger(), f[kSha256].toString().toLatin1()});
    }
    r.FBytes = o[kBytes].toInteger();
    r.FRetries = o[kRetries].toInt();
    r.FSeconds = o[kSeconds].toDouble();
    r.FResult = o[kResult].toString();
    r.FReason = o[kReason].toString();
    r.FSerial = o[kSerial].toString();
    return r;
}

std::optional<THistoryFile> HistoryFileEntry(const QString& path, QString* error) {
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    // Size and sum from the same reading, whatever happens to the file meanwhile.
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return HistoryFileEntry(path, bytes);
}

THistoryFile HistoryFileEntry(const QString& path, const QByteArray& bytes) {
    return {QFileInfo(path).absoluteFilePath(), bytes.size(),
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()};
}
