#include "HistoryQuery.h"

#include <QStringList>
#include <algorithm>

std::optional<QDateTime> ParseHistoryDate(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() == 10) {
        const QDate date = QDate::fromString(t, Qt::ISODate);
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
        return std::nullopt;
    }
    // A blank between date and time reads as ISO 8601's "T".
    QString iso = t;
    if (iso.size() > 10 && iso.at(10) == u' ')
        iso[10] = u'T';
    const QDateTime time = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!time.isValid() || iso.size() <= 10)
        return std::nullopt;
    return time;
}

bool HistoryMatches(const THistoryRecord& record, const THistoryFilter& filter) {
    if (!filter.FPort.isEmpty() && record.FPort != filter.FPort)
        return false;
    if (filter.FFailedOnly && record.FResult == historyresult::Ok)
        return false;
    if (filter.FSince && record.FTime < *filter.FSince)
        return false;
    return true;
}

QList<THistoryRecord> FilterHistory(const QList<THistoryRecord>& records,
                                    const THistoryFilter& filter) {
    QList<THistoryRecord> out;
    std::copy_if(records.begin(), records.end(), std::back_inserter(out),
                 [&](const THistoryRecord& r) { return HistoryMatches(r, filter); });
    return out;
}

QString HistoryTable(const QList<THistoryRecord>& records) {
    QList<QStringList> rows;
    rows.append({QStringLiteral("TIME"), QStringLiteral("PORT"), QStringLiteral("JOB"),
                 QStringLiteral("RESULT"), QStringLiteral("SERIAL"), QStringLiteral("BYTES"),
                 QStringLiteral("RETRIES"), QStringLiteral("SECONDS"), QStringLiteral("REASON")});
    for (const THistoryRecord& r : records)
        rows.append({r.FTime.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), r.FPort,
                     r.FJob, r.FResult, r.FSerial, QString::number(r.FBytes),
                     QString::number(r.FRetries), QString::number(r.FSeconds, 'f', 1), r.FReason});
    const qsizetype columns = rows.first().size();
    QList<qsizetype> widths(columns - 1, 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c + 1 < columns; ++c)
            widths[c] = std::max(widths[c], row.at(c).size());
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c + 1 < columns; ++c)
            line += row.at(c).leftJustified(widths[c]) + QStringLiteral("  ");
        line += row.last();
        out += line.trimmed() + u'\n';
    }
    return out;
}
