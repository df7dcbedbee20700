// history: the jobs kept in the files folder's history.jsonl, as a table or events.

#include "Commands.h"

#include "CliHistory.h"
#include "CliRequest.h"
#include "CliText.h"
#include "Events.h"
#include "ExitStatus.h"
#include "HistoryLog.h"
#include "HistoryQuery.h"
#include "Report.h"

#include <QDir>
#include <cstdio>

namespace {

const QString kFailed = QStringLiteral("failed");
const QString kSince = QStringLiteral("since");

THistoryFilter Filter(const TCliRequest& r) {
    THistoryFilter filter;
    if (r.FPorts.size() > 1)
        Usage(QStringLiteral("history takes one --port."));
    filter.FPort = r.FPorts.value(0);
    filter.FFailedOnly = r.FOptions.contains(kFailed);
    if (r.FOptions.contains(kSince)) {
        filter.FSince = ParseHistoryDate(r.Option(kSince));
        if (!filter.FSince)
            Usage(QStringLiteral("--since %1: give a date as 2026-12-09, or a time as "
                                 "\"2026-12-09 10:30\".")
                      .arg(Quoted(r.Option(kSince))));
    }
    return filter;
}

int History(const TCliRequest& r) {
    const THistoryFilter filter = Filter(r);
    const THistoryLog log(FilesFolder(r));
    QList<THistoryRecord> records;
    int skipped = 0;
    QString error;
    if (!log.Read(records, &skipped, &error))
        throw ECliError(exitFile, error);
    records = FilterHistory(records, filter);
    if (r.FJson) {
        for (const THistoryRecord& record : records) {
            // The line as history.jsonl holds it, its event named first.
            TJsonLine line = Event(event::History);
            AddHistoryFields(line, record);
            Emit(line);
        }
    } else {
        std::fputs(HistoryTable(records).toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
    if (skipped > 0 && !r.FQuiet)
        Err(QStringLiteral("%1 line%2 of %3 %4 no job record (cut short by a power cut?) and "
                           "%5 left out.")
                .arg(skipped)
                .arg(skipped == 1 ? QString() : QStringLiteral("s"))
                .arg(QDir::toNativeSeparators(log.Path()),
                     skipped == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                     skipped == 1 ? QStringLiteral("was") : QStringLiteral("were")));
    return exitOk;
}

} // namespace

TCliCommand HistoryCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("history");
    c.FHelp = {{QStringLiteral("history"),
                QStringLiteral("the jobs of the window and nuvctl kept in the files folder's\n"
                               "history.jsonl, oldest first, as a table (--json: the lines);\n"
                               "--port NAME: only the jobs on that port, named as the job\n"
                               "named it")}};
    c.FPorts = TPortUse::Filter;
    c.FOptions = {{{kFailed}, QString(), QStringLiteral("only the jobs that did not end OK")},
                  {{kSince},
                   QStringLiteral("DATE"),
                   QStringLiteral("only the jobs from then on: 2026-12-09, \"2026-12-09 "
                                  "10:30\"\nor ISO 8601 with an offset")}};
    c.FRun = History;
    return c;
}
