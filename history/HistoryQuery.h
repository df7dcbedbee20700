#pragma once

// What `nuvctl history` shows: the records a filter lets through, as a table.

#include "HistoryRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

struct THistoryFilter {
    QString FPort;            // only jobs on this port, as the job named it; empty: all
    bool FFailedOnly = false; // only jobs whose result is not "ok"
    std::optional<QDateTime> FSince;
};

// A --since date: "2026-12-09" (local midnight), "2026-12-09T10:30", "2026-12-09 10:30:15" or
// any of these with an offset ("2026-12-09T10:30+01:00", "...Z"); nullopt when it is none.
std::optional<QDateTime> ParseHistoryDate(const QString& text);

bool HistoryMatches(const THistoryRecord& record, const THistoryFilter& filter);
QList<THistoryRecord> FilterHistory(const QList<THistoryRecord>& records,
                                    const THistoryFilter& filter);

// One line per record under a header line, columns aligned, the reason last and whole; each
// line ends in "\n". Times are local.
QString HistoryTable(const QList<THistoryRecord>& records);
