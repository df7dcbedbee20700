// station RECIPE: a recipe run on each printer as it is plugged in, on every port at once.
//
// Each port is a small state machine on the main thread, moved on by the end of its worker's
// jobs: it polls with the identification alone until a printer answers, runs the recipe, then
// polls until that printer stops answering before it waits for the next one.

#include "Commands.h"

#include "CliRequest.h"
#include "CliText.h"
#include "CommandLine.h"
#include "Events.h"
#include "ExitStatus.h"
#include "FailureText.h"
#include "LiveTable.h"
#include "LocalTime.h"
#include "PortJobs.h"
#include "PortList.h"
#include "PortStep.h"
#include "Recipe.h"
#include "Report.h"
#include "StopSignals.h"
#include "TextToInt.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSet>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

const QString kCount = QStringLiteral("count");
// A printer is looked for at most this often on each port.
constexpr qint64 kPollMs = 500;
// Adapters plugged in later are looked for this often (without --port).
constexpr int kScanMs = 1000;
// Polls in a row a printer must miss to count as removed: one missed identification (three
// tries) may be a glitch, and taking a printer still there for the next one would run the
// recipe on it twice.
constexpr int kMissesForGone = 2;

// --count's number; 0 without it.
int Count(const TCliRequest& r) {
    return r.FOptions.contains(kCount) ? NumberArgument(TrimCtl(r.Option(kCount))) : 0;
}

enum class TPortState {
    Waiting, // for a printer to answer
    Running, // the recipe
    Present, // done; waiting for the printer to stop answering
    Idle,    // the station is ending
};

struct TStationPort {
    TPortRunner* FRunner = nullptr;
    TPortState FState = TPortState::Waiting;
    qint64 FLastPoll = -kPollMs; // when the last poll started, on the station's clock
    int FMisses = 0;
    bool FPolling = false;
    std::unique_ptr<TPrinterRun> FPrinter;
    QString FNotPrinter; // what answered that is not a printer of this series
};

class TStation : public TStepOutput {
public:
    TStation(const TCliRequest& r, const TRecipe& recipe, TJobSet& set)
        : TStepOutput(r, set), FRecipe(recipe),
          FTable(stdout, !r.FJson && !r.FQuiet && ::isatty(STDOUT_FILENO) == 1), FCount(Count(r)) {
        FClock.start();
        set.FOnProgress = [this](TPortRunner& runner) {
            if (TStationPort* p = PortOf(runner); p && p->FPrinter && !p->FPrinter->FEnded) {
                Progress(runner);
                Redraw();
            }
        };
        set.FClearDisplay = [this] { FTable.Erase(); };
    }

    int Run() {
        WhenStopped(&FContext, [this] { Finish(); });
        for (const QString& port : FRequest.FPorts)
            Watch(port);
        if (FRequest.FPorts.isEmpty()) {
            QObject::connect(&FScan, &QTimer::timeout, &FContext, [this] { Scan(); });
            FScan.start(kScanMs);
            Scan();
        }
        Redraw();
        if (!Ended())
            FLoop.exec();
        FScan.stop();
        Redraw();
        FTable.Draw();
        const double seconds = Elapsed();
        Summary(FRequest, FTally, seconds, PerHour(seconds));
        return FTally.FFirst;
    }

    void StepStarted(TPrinterRun& run, const TJobReport& report) override {
        TStepOutput::StepStarted(run, report);
        Redraw();
    }

    void StepEnded(TPrinterRun& run, const TJobReport& report) override {
        TStepOutput::StepEnded(run, report);
        if (!report.FSkipped && report.FStatus != exitOk)
            FSet.PortNote(run.FRunner, FailureReason(report.FStatus, report.FRecord.FReason));
        if (report.FSkipped)
            Line(run.FRunner, QStringLiteral("printer %1 step %2 of %3 %4 skipped")
                                  .arg(run.FPrinter)
                                  .arg(report.FStep)
                                  .arg(report.FSteps)
                                  .arg(report.FRecord.FJob));
        else
            Line(run.FRunner, QStringLiteral("printer %1 step %2 of %3 %4 %5 in %6")
                                  .arg(run.FPrinter)
                                  .arg(report.FStep)
                                  .arg(report.FSteps)
                                  .arg(report.FRecord.FJob, ResultText(report.FStatus),
                                       Seconds(report.FRecord.FSeconds)));
        Redraw();
    }

    void PrinterEnded(TPrinterRun& run) override {
        FTally.Add(run.FStatus == exitOk, run.FStatus);
        if (FRequest.FJson)
            Emit(DoneEvent(run));
        Line(run.FRunner, QStringLiteral("printer %1 %2").arg(run.FPrinter).arg(Outcome(run)));
        Redraw();
    }

private:
    TStationPort* PortOf(const TPortRunner& runner) {
        for (const auto& p : FPorts)
            if (p->FRunner == &runner)
                return p.get();
        return nullptr;
    }

    void Watch(const QString& port) {
        auto p = std::make_unique<TStationPort>();
        p->FRunner = &FSet.AddPort(port);
        FPorts.push_back(std::move(p));
        if (FRequest.FJson)
            Emit(Event(event::Watch).Add(QStringLiteral("port"), port));
        Line(*FPorts.back()->FRunner, QStringLiteral("watching"));
        Poll(*FPorts.back());
    }

    // USB serial adapters present now that are not watched yet.
    void Scan() {
        if (Ending())
            return;
        QSet<QString> watched;
        for (const auto& p : FPorts)
            watched.insert(p->FRunner->FPort);
        for (const TPortInfo& info : AvailablePorts())
            if (info.FVendorId && !watched.contains(info.FDevice))
                Watch(info.FDevice);
        Redraw();
    }

    bool Ending() const {
        return StopSignal() != 0 || FFinishing || (FCount > 0 && FStarted >= FCount);
    }

    // The identification alone, at the station's rate, without a log: nothing else is sent to
    // a port until a printer has answered it.
    void Poll(TStationPort& p) {
        if (Ending()) {
            p.FState = p.FState == TPortState::Running ? p.FState : TPortState::Idle;
            CheckEnd();
            return;
        }
        const qint64 wait = p.FLastPoll + kPollMs - FClock.elapsed();
        if (wait > 0) {
            QTimer::singleShot(int(wait), &FContext, [this, &p] { Poll(p); });
            return;
        }
        p.FLastPoll = FClock.elapsed();
        TPortRunner& runner = *p.FRunner;
        runner.ClearResult();
        runner.SetLink(FRequest.FBaudRate, FRequest.FSettings.FPeerHost,
                       FRequest.FSettings.FPeerPort, QString(), false);
        p.FPolling = runner.Start(jobQuery, [this, &p](TPortRunner&) { Polled(p); });
        if (!p.FPolling)
            CheckEnd();
    }

    void Polled(TStationPort& p) {
        p.FPolling = false;
        const TPortRunner& runner = *p.FRunner;
        const bool answered = runner.FStatus == exitOk;
        if (p.FState == TPortState::Waiting) {
            p.FNotPrinter =
                runner.FStatus == exitWrongDevice ? IdText(runner.FDeviceId) : QString();
            if (answered && !Ending()) {
                StartPrinter(p);
                return;
            }
        } else if (p.FState == TPortState::Present) {
            // The port itself gone (the adapter pulled out) needs no second look.
            p.FMisses = answered ? 0 : runner.FStatus == exitOpen ? kMissesForGone : p.FMisses + 1;
            if (p.FMisses >= kMissesForGone) {
                const int printer = p.FPrinter ? p.FPrinter->FPrinter : 0;
                if (FRequest.FJson)
                    Emit(Event(event::Gone)
                             .Add(QStringLiteral("port"), runner.FPort)
                             .Add(QStringLiteral("printer"), printer));
                Line(runner,
                     QStringLiteral("printer %1 removed; waiting for the next").arg(printer));
                p.FState = TPortState::Waiting;
                p.FMisses = 0;
            }
        }
        Redraw();
        Poll(p);
    }

    void StartPrinter(TStationPort& p) {
        const int number = ++FStarted;
        p.FState = TPortState::Running;
        p.FPrinter = std::make_unique<TPrinterRun>(FSet, *p.FRunner, FRecipe.FSteps, true, number,
                                                   *this, [this, &p] { PrinterDone(p); });
        const QString id = IdText(p.FRunner->FDeviceId);
        if (FRequest.FJson)
            Emit(Event(event::Printer)
                     .Add(QStringLiteral("time"), LocalTimeText(QDateTime::currentDateTime()))
                     .Add(QStringLiteral("port"), p.FRunner->FPort)
                     .Add(QStringLiteral("printer"), number)
                     .Add(QStringLiteral("identification"), id));
        Line(*p.FRunner, QStringLiteral("printer %1 (%2) answered").arg(number).arg(id));
        p.FPrinter->Start();
    }

    void PrinterDone(TStationPort& p) {
        p.FState = TPortState::Present;
        p.FMisses = 0;
        Redraw();
        // Called from the end of the recipe's last job: the poll starts once that has returned.
        QTimer::singleShot(0, &FContext, [this, &p] { Poll(p); });
    }

    // The first stop signal, or --count reached: polls under way are cut short; recipes
    // under way end with their own results.
    void Finish() {
        FFinishing = true;
        CheckEnd();
    }

    bool Ended() const {
        if (!Ending())
            return false;
        for (const auto& p : FPorts)
            if (p->FPolling || p->FState == TPortState::Running)
                return false;
        return true;
    }

    void CheckEnd() {
        if (!Ending())
            return;
        for (const auto& p : FPorts)
            if (p->FPolling)
                p->FRunner->Worker().RequestCancel();
        if (Ended())
            FLoop.quit();
    }

    double Elapsed() const { return double(FClock.elapsed()) / 1000.0; }
    double PerHour(double seconds) const {
        return seconds > 0 ? double(FTally.FPrinters) * 3600.0 / seconds : 0;
    }

    QString Outcome(const TPrinterRun& run) const {
        if (run.FStatus != exitOk)
            return QStringLiteral("FAILED: ") + run.FReason;
        return QStringLiteral("OK%1 in %2")
            .arg(run.FSerial.isEmpty() ? QString() : QStringLiteral(" serial ") + run.FSerial,
                 Seconds(run.Seconds()));
    }

    // The port's line of the table.
    QString State(const TStationPort& p) const {
        const TPrinterRun* run = p.FPrinter.get();
        switch (p.FState) {
        case TPortState::Running: {
            if (!run || run->FStep < 0 || run->FStep >= run->Steps())
                return QStringLiteral("printer %1").arg(run ? run->FPrinter : 0);
            const TPortRunner& r = *p.FRunner;
            QString text = QStringLiteral("printer %1: step %2 of %3 %4")
                               .arg(run->FPrinter)
                               .arg(run->FStep + 1)
                               .arg(run->Steps())
                               .arg(run->Step(run->FStep).FJob);
            if (r.FTotal > 0)
                text += QStringLiteral(" %1%").arg(r.FDone * 100 / r.FTotal);
            return text;
        }
        case TPortState::Present:
            return QStringLiteral("printer %1 %2; remove it")
                .arg(run ? run->FPrinter : 0)
                .arg(run ? Outcome(*run) : QString());
        case TPortState::Idle:
            return QStringLiteral("done");
        case TPortState::Waiting:
            break;
        }
        return p.FNotPrinter.isEmpty()
                   ? QStringLiteral("waiting")
                   : QStringLiteral("waiting; %1 answers, not a printer of this series")
                         .arg(p.FNotPrinter);
    }

    void Redraw() {
        if (!FTable.Enabled())
            return;
        QStringList lines;
        qsizetype width = 0;
        for (const auto& p : FPorts)
            width = std::max(width, p->FRunner->FPort.size());
        for (const auto& p : FPorts)
            lines << p->FRunner->FPort.leftJustified(width + 2) + State(*p);
        const double seconds = Elapsed();
        lines << QStringLiteral("done %1, failed %2, %3 printers an hour")
                     .arg(FTally.FOk)
                     .arg(FTally.FPrinters - FTally.FOk)
                     .arg(PerHour(seconds), 0, 'f', 0);
        FTable.SetLines(lines);
    }

    // Not on a terminal and without --json: one line an event.
    void Line(const TPortRunner& runner, const QString& text) {
        if (FTable.Enabled() || FRequest.FJson || FRequest.FQuiet)
            return;
        Out(QStringLiteral("%1 %2: %3")
                .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), runner.FPort,
                     text));
    }

    const TRecipe& FRecipe;
    TLiveTable FTable;
    const int FCount; // 0: until a stop signal
    std::vector<std::unique_ptr<TStationPort>> FPorts;
    QElapsedTimer FClock;
    QEventLoop FLoop;
    QTimer FScan;
    int FStarted = 0; // printers whose recipe started
    TTally FTally;    // those whose recipe ended
    bool FFinishing = false;
    // Timers and the stop signal reach the station through it; it goes first.
    QObject FContext;
};

void TakeOptions(TCliRequest& r, const TIniFile*) {
    r.FStation = true;
    if (r.FOptions.contains(kCount) && Count(r) < 1)
        Usage(QStringLiteral("--count %1: give the number of printers, 1 or more.")
                  .arg(Quoted(r.Option(kCount))));
}

int Station(const TCliRequest& r) {
    const TRecipe recipe = LoadRecipe(r.FArgs.at(0), r);
    TJobSet set(r, {}, false);
    TStation station(r, recipe, set);
    return station.Run();
}

} // namespace

TCliCommand StationCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("station");
    c.FHelp = {{QStringLiteral("station RECIPE"),
                QStringLiteral("a production station: on each --port (or every USB serial\n"
                               "port, also those plugged in later) wait for a printer to\n"
                               "answer, run the recipe on it, then wait for it to be removed;\n"
                               "until SIGINT or SIGTERM. On a terminal a table of the ports")}};
    c.FMinArgs = c.FMaxArgs = 1;
    c.FPorts = TPortUse::Optional;
    c.FOptions = {{{kCount},
                   QStringLiteral("N"),
                   QStringLiteral("end after N printers in all (their recipes run to the end)")}};
    c.FTakeOptions = TakeOptions;
    c.FRun = Station;
    return c;
}
