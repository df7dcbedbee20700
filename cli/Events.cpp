#include "Events.h"

#include "ExitStatus.h"
#include "HistoryRecord.h"

#include <cstdio>

TJsonLine Event(const QString& name) {
    TJsonLine line;
    line.Add(QStringLiteral("event"), name);
    return line;
}

void Emit(const TJsonLine& line) {
    const QByteArray text = line.Text() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

QString ResultWord(int status) {
    if (status == exitOk)
        return historyresult::Ok;
    if (status == exitSigHup || status == exitSigInt || status == exitSigTerm)
        return historyresult::Cancelled;
    return historyresult::Failed;
}
