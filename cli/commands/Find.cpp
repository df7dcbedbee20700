// find: which port a printer is on, and at which rate it listens.

#include "Commands.h"

#include "CliHistory.h"
#include "CliRequest.h"
#include "Events.h"
#include "ExitStatus.h"
#include "PortJobs.h"
#include "PortList.h"
#include "PortName.h"
#include "Report.h"
#include "StopSignals.h"

#include <vector>

namespace {

// "9600, 115200, ... and 57600": the rates in the order they are tried.
QString RatesText(const QString& lastJoin) {
    QStringList rates;
    for (const int32_t rate : PrinterRates())
        rates << QString::number(rate);
    const QString last = rates.takeLast();
    return rates.join(QStringLiteral(", ")) + QLatin1Char(' ') + lastJoin + QLatin1Char(' ') + last;
}

int Find(const TCliRequest& r) {
    const bool scan = r.FPorts.isEmpty();
    QStringList ports = r.FPorts;
    QList<QPair<QString, QString>> refused; // device, why
    if (scan) {
        for (const TPortInfo& p : AvailablePorts()) {
            QString why;
            if (MayOpenPort(p.FDevice, &why))
                ports.append(p.FDevice);
            else
                refused.append({p.FDevice, why});
        }
        if (ports.isEmpty() && refused.isEmpty())
            throw ECliError(exitOpen, QStringLiteral("No serial port is present: plug in the "
                                                     "printer's adapter, or name one with "
                                                     "--port."));
    }
    TJobSet set(r, ports, false);
    const auto& runners = set.Runners();
    std::vector<TJobReport> reports;
    for (const auto& pr : runners) {
        reports.push_back(
            JobStart(pr->FPort, r.FCommand, r.FSettings.FPeerHost, r.FSettings.FPeerPort));
        if (r.FJson)
            Emit(StartEvent(reports.back()));
    }
    std::vector<int> tried(runners.size(), 0);
    std::vector<int32_t> found(runners.size(), 0);
    auto ratesOf = [&](size_t i) {
        // A datagram link has no rate to look for.
        return IsDatagramPortName(runners[i]->FPort) ? QList<int32_t>{r.FBaudRate} : PrinterRates();
    };
    std::function<void(size_t)> tryNext = [&](size_t i) {
        TPortRunner& pr = *runners[i];
        const int32_t rate = ratesOf(i).at(tried[i]);
        if (StopSignal() != 0) {
            pr.FStatus = StopStatus();
            pr.FMessage = QStringLiteral("Stopped before %1 bit/s was tried.").arg(rate);
            return;
        }
        pr.SetRate(rate);
        if (r.FVerbose)
            set.Note(QStringLiteral("%1: trying %2 bit/s").arg(pr.FPort).arg(rate));
        pr.Start(jobQuery, [&, i, rate](TPortRunner& done) {
            if (done.FStatus == exitNoReply && ++tried[i] < ratesOf(i).size())
                tryNext(i);
            else if (done.FStatus == exitOk || done.FStatus == exitWrongDevice)
                found[i] = rate;
        });
    };
    for (size_t i = 0; i < runners.size(); ++i)
        tryNext(i);
    set.Wait();

    TTally tally;
    int opened = 0;
    for (size_t i = 0; i < runners.size(); ++i) {
        TPortRunner& pr = *runners[i];
        const bool datagram = IsDatagramPortName(pr.FPort);
        QString result = QStringLiteral("printer found");
        if (pr.FStatus == exitWrongDevice)
            result = QStringLiteral("not a printer of this series (exit %1)").arg(exitWrongDevice);
        else if (pr.FStatus == exitNoReply)
            result = QStringLiteral("no printer answered (exit %1)").arg(exitNoReply);
        else if (pr.FStatus != exitOk)
            result = ResultText(pr.FStatus);
        if (pr.FStatus == exitNoReply && !datagram)
            pr.FMessage = QStringLiteral("No printer answered on %1 at %2 bit/s. Check the cable "
                                         "and the printer's power.")
                              .arg(pr.FPort, RatesText(QStringLiteral("or")));
        tally.Add(pr.FStatus == exitOk, pr.FStatus);
        if (pr.FStatus != exitOpen)
            ++opened;
        TJobReport& report = reports[i];
        JobEnded(report, pr);
        report.FRate = datagram ? 0 : found[i];
        if (pr.FStatus != exitOk && !pr.FMessage.isEmpty())
            report.FRecord.FReason = pr.FMessage;
        // Scanning, a port where nothing answered is no job on a printer.
        if (!scan || pr.FStatus == exitOk || pr.FStatus == exitWrongDevice)
            AppendHistory(r, report, [&](const QString& text) { set.PortNote(pr, text); });
        if (r.FJson)
            Emit(EndEvent(report));
        else if (pr.FStatus == exitOk || !r.FQuiet)
            Out(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                    .arg(pr.FPort, IdText(pr.FDeviceId),
                         found[i] == 0 || datagram ? QStringLiteral("-")
                                                   : QString::number(found[i]),
                         result, Seconds(pr.FSeconds)));
        // Scanning, ports without a printer are what is expected; only -v explains them.
        if (pr.FStatus != exitOk && (!scan || r.FVerbose))
            set.PortNote(pr, pr.FMessage);
    }
    if (!r.FQuiet && !r.FJson)
        for (const auto& [device, why] : refused)
            Out(QStringLiteral("%1\t-\t-\t%2\t-").arg(device, NoAccess(why)));
    if (r.FJson)
        for (const auto& [device, why] : refused)
            Emit(Event(event::End)
                     .Add(QStringLiteral("port"), device)
                     .Add(QStringLiteral("identification"), QString())
                     .Add(QStringLiteral("job"), r.FCommand)
                     .Add(QStringLiteral("status"), int(exitOpen))
                     .Add(QStringLiteral("result"), ResultWord(exitOpen))
                     .Add(QStringLiteral("reason"), NoAccess(why)));
    const qsizetype present = ports.size() + refused.size();
    if (!scan) {
        // Several ports: a summary, as for the other commands (the text one is left out, as
        // ever: each port has its line).
        if (r.FJson && ports.size() > 1)
            Summary(r, tally, set.Seconds());
        return tally.FFirst;
    }
    const int status = tally.FOk > 0 ? exitOk : opened > 0 ? exitNoReply : exitOpen;
    if (r.FJson)
        Summary(r, TTally{present, tally.FOk, status}, set.Seconds());
    if (tally.FOk == 0)
        Err(QStringLiteral("No printer answered on any serial port (%1 present).").arg(present));
    return status;
}

} // namespace

TCliCommand FindCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("find");
    c.FHelp = {{c.FName, QStringLiteral("on every serial port present (or each --port), try "
                                        "the\nidentification at %1 bit/s\nand print where a "
                                        "printer answers and at which rate. A printer\nthat "
                                        "listens at another rate may print a few stray "
                                        "characters.")
                             .arg(RatesText(QStringLiteral("and")))}};
    c.FPorts = TPortUse::Optional;
    c.FRun = Find;
    return c;
}
