#include "Report.h"

#include "CliRequest.h"
#include "Events.h"
#include "ExitStatus.h"
#include "FailureText.h"
#include "PortJobs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

void Out(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void Err(const QString& text) {
    for (const QString& line : text.split(QLatin1Char('\n')))
        std::fprintf(stderr, "nuvctl: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString IdText(const QByteArray& id) {
    return id.isEmpty() ? QStringLiteral("-") : IdentificationText(id);
}

QString NoAccess(const QString& why) {
    return QStringLiteral("no access: ") + why;
}

QString Seconds(double s) {
    return QString::asprintf("%.2f s", s);
}

QString ResultText(int status) {
    return status == exitOk ? StatusWord(status)
                            : QStringLiteral("%1 (exit %2)").arg(StatusWord(status)).arg(status);
}

QString Hex(const uint8_t* data, int32_t length) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(data), length).toHex(' ').toUpper());
}

QString BlockText(uint16_t code, const uint8_t* block, int32_t length) {
    return QStringLiteral("command 0x%1, %2 bytes: %3")
        .arg(code, 2, 16, QLatin1Char('0'))
        .arg(length)
        .arg(Hex(block, length));
}

int Report(const TCliRequest& r, TJobSet& set, bool data) {
    TTally tally;
    const auto& runners = set.Runners();
    for (const auto& pr : runners) {
        QString result = pr->FStarted ? ResultText(pr->FStatus) : QStringLiteral("not started");
        if (!pr->FNote.isEmpty())
            result += QStringLiteral(", ") + pr->FNote;
        if ((data || !r.FQuiet) && !r.FJson)
            Out(QStringLiteral("%1\t%2\t%3\t%4")
                    .arg(pr->FPort, IdText(pr->FDeviceId), result, Seconds(pr->FSeconds)));
        tally.Add(pr->FStarted && pr->FStatus == exitOk, pr->FStatus);
    }
    for (const auto& pr : runners)
        if (pr->FStarted && pr->FStatus != exitOk)
            set.PortNote(*pr, FailureReason(pr->FStatus, pr->FMessage));
    if (runners.size() > 1)
        Summary(r, tally, set.Seconds());
    return tally.FFirst;
}

void Summary(const TCliRequest& r, const TTally& tally, double seconds, double perHour) {
    if (r.FJson) {
        TJsonLine line = Event(event::Summary);
        line.Add(QStringLiteral("printers"), qint64(tally.FPrinters))
            .Add(QStringLiteral("ok"), qint64(tally.FOk))
            .Add(QStringLiteral("failed"), qint64(tally.FPrinters - tally.FOk))
            .Add(QStringLiteral("status"), tally.FFirst)
            .AddSeconds(QStringLiteral("seconds"), seconds);
        if (perHour >= 0)
            line.Add(QStringLiteral("per_hour"), std::round(perHour * 10) / 10);
        Emit(line);
        return;
    }
    if (r.FQuiet)
        return;
    Out(QStringLiteral("%1 of %2 printers OK, %3 failed%4; %5%6")
            .arg(tally.FOk)
            .arg(tally.FPrinters)
            .arg(tally.FPrinters - tally.FOk)
            .arg(tally.FFirst == exitOk ? QString()
                                        : QStringLiteral(" (exit %1)").arg(tally.FFirst))
            .arg(Seconds(seconds))
            .arg(perHour < 0 ? QString() : QStringLiteral(", %1 an hour").arg(perHour, 0, 'f', 0)));
}
