#include "RecipeRun.h"

#include "CliRequest.h"
#include "Events.h"
#include "ExitStatus.h"
#include "FailureText.h"
#include "PortJobs.h"
#include "PortStep.h"
#include "Report.h"
#include "StopSignals.h"

namespace {

// At most five progress events a second for each port.
constexpr qint64 kProgressEventMs = 200;

} // namespace

TStepOutput::TStepOutput(const TCliRequest& r, TJobSet& set) : FRequest(r), FSet(set) {
    FClock.start();
    FSet.FOnProgress = [this](TPortRunner& runner) { Progress(runner); };
}

TStepOutput::~TStepOutput() {
    FSet.FOnProgress = nullptr;
}

void TStepOutput::StepStarted(TPrinterRun& run, const TJobReport& report) {
    FStarts.insert(&run.FRunner, report);
    if (FRequest.FJson)
        Emit(StartEvent(report));
}

void TStepOutput::StepEnded(TPrinterRun& run, const TJobReport& report) {
    if (report.FStarted && !report.FSkipped)
        AppendHistory(FRequest, report,
                      [this, &run](const QString& text) { FSet.PortNote(run.FRunner, text); });
    if (FRequest.FJson)
        Emit(EndEvent(report));
}

void TStepOutput::Progress(const TPortRunner& runner) {
    if (!FRequest.FJson || runner.FTotal <= 0 || !runner.Running())
        return;
    const qint64 now = FClock.elapsed();
    const auto last = FLastProgress.constFind(&runner);
    if (last != FLastProgress.constEnd() && now - *last < kProgressEventMs)
        return;
    FLastProgress.insert(&runner, now);
    TJsonLine line = Event(event::Progress);
    line.Add(QStringLiteral("port"), runner.FPort)
        .Add(QStringLiteral("bytes"), qint64(runner.FDone))
        .Add(QStringLiteral("total"), qint64(runner.FTotal));
    const TJobReport start = FStarts.value(&runner);
    if (start.FStep > 0)
        line.Add(QStringLiteral("step"), start.FStep);
    if (start.FPrinter > 0)
        line.Add(QStringLiteral("printer"), start.FPrinter);
    Emit(line);
}

TPrinterRun::TPrinterRun(TJobSet& set, TPortRunner& runner, const TSteps& steps, bool recipe,
                         int printer, TStepOutput& output, std::function<void()> finished)
    : FRunner(runner), FPrinter(printer), FSet(set), FSteps(steps), FRecipe(recipe),
      FOutput(output), FFinished(std::move(finished)) {}

void TPrinterRun::Start() {
    FTimer.start();
    Next();
}

void TPrinterRun::Next() {
    ++FStep;
    if (FStep >= Steps()) {
        End();
        return;
    }
    const TPortStep& step = Step(FStep);
    FCurrent = StepStart(FRunner.FPort, step);
    if (FRecipe) {
        FCurrent.FStep = FStep + 1;
        FCurrent.FSteps = Steps();
    }
    FCurrent.FPrinter = FPrinter;
    FOutput.StepStarted(*this, FCurrent);
    if (FSteps[size_t(FStep)]->Start(FSet, FRunner, [this] { StepDone(); }))
        return;
    // A stop signal came before the step could start: nothing was sent for it.
    FRunner.ClearResult();
    FRunner.FStatus = StopStatus() != 0 ? StopStatus() : exitInternal;
    FRunner.FMessage =
        QStringLiteral("Stopped by %1 before it started.").arg(SignalName(StopSignal()));
    StepDone();
}

void TPrinterRun::StepDone() {
    JobEnded(FCurrent, FRunner);
    if (!FCurrent.FDeviceId.isEmpty())
        FDeviceId = FCurrent.FDeviceId;
    if (!FCurrent.FRecord.FSerial.isEmpty())
        FSerial = FCurrent.FRecord.FSerial;
    FOutput.StepEnded(*this, FCurrent);
    if (FCurrent.FStatus == exitOk) {
        Next();
        return;
    }
    FStatus = FCurrent.FStatus;
    FReason = FailureReason(FStatus, FCurrent.FRecord.FReason);
    FFailedStep = FStep;
    for (int i = FStep + 1; i < Steps(); ++i) {
        TJobReport skipped = StepStart(FRunner.FPort, Step(i));
        skipped.FStep = i + 1;
        skipped.FSteps = Steps();
        skipped.FPrinter = FPrinter;
        skipped.FSkipped = true;
        skipped.FStatus = FStatus;
        skipped.FRecord.FReason =
            QStringLiteral("Skipped: step %1 (%2) failed.").arg(FStep + 1).arg(Step(FStep).FJob);
        FOutput.StepEnded(*this, skipped);
    }
    End();
}

void TPrinterRun::End() {
    FEnded = true;
    FSeconds = double(FTimer.nsecsElapsed()) / 1e9;
    FOutput.PrinterEnded(*this);
    if (FFinished)
        FFinished();
}

TJsonLine DoneEvent(const TPrinterRun& run) {
    TJsonLine line = Event(event::Done);
    line.Add(QStringLiteral("port"), run.FRunner.FPort)
        .Add(QStringLiteral("identification"),
             run.FDeviceId.isEmpty() ? QString() : IdentificationText(run.FDeviceId))
        .Add(QStringLiteral("status"), run.FStatus)
        .Add(QStringLiteral("result"), ResultWord(run.FStatus))
        .Add(QStringLiteral("reason"), run.FReason)
        .AddSeconds(QStringLiteral("seconds"), run.Seconds())
        .Add(QStringLiteral("serial"), run.FSerial)
        .Add(QStringLiteral("steps"), run.Steps())
        .Add(QStringLiteral("failed_step"), run.FFailedStep + 1);
    if (run.FPrinter > 0)
        line.Add(QStringLiteral("printer"), run.FPrinter);
    return line;
}

namespace {

// nuvctl run: a line for each step as it ends; a single command: its result lines at the end.
class TRunOutput : public TStepOutput {
public:
    TRunOutput(const TCliRequest& r, TJobSet& set, bool recipe)
        : TStepOutput(r, set), FRecipe(recipe) {}

    void StepEnded(TPrinterRun& run, const TJobReport& report) override {
        TStepOutput::StepEnded(run, report);
        if (!FRecipe)
            return;
        if (!FRequest.FJson && !FRequest.FQuiet)
            Out(QStringLiteral("%1\t%2/%3 %4\t%5\t%6\t%7")
                    .arg(report.FPort)
                    .arg(report.FStep)
                    .arg(report.FSteps)
                    .arg(report.FRecord.FJob,
                         report.FSkipped ? QStringLiteral("-") : IdText(report.FDeviceId),
                         report.FSkipped ? QStringLiteral("skipped")
                                         : ResultText(report.FStatus) +
                                               (run.FRunner.FNote.isEmpty()
                                                    ? QString()
                                                    : QStringLiteral(", ") + run.FRunner.FNote),
                         report.FSkipped ? QStringLiteral("-") : Seconds(report.FRecord.FSeconds)));
        if (!report.FSkipped && report.FStatus != exitOk)
            FSet.PortNote(run.FRunner, FailureReason(report.FStatus, report.FRecord.FReason));
    }

    void PrinterEnded(TPrinterRun& run) override {
        if (!FRecipe || !FRequest.FJson)
            return;
        Emit(DoneEvent(run));
    }

private:
    bool FRecipe;
};

} // namespace

int RunSteps(const TCliRequest& r, const TSteps& steps, bool recipe) {
    bool transfer = false;
    bool data = false;
    for (const auto& s : steps) {
        transfer = transfer || s->FTransferBytes > 0;
        data = data || s->FData;
    }
    TJobSet set(r, r.FPorts, transfer);
    TRunOutput output(r, set, recipe);
    std::vector<std::unique_ptr<TPrinterRun>> runs;
    for (const auto& pr : set.Runners())
        runs.push_back(std::make_unique<TPrinterRun>(set, *pr, steps, recipe, 0, output));
    for (const auto& run : runs)
        run->Start();
    set.Wait();
    if (!recipe)
        return Report(r, set, data);
    TTally tally;
    for (const auto& run : runs)
        tally.Add(run->FStatus == exitOk && run->FEnded, run->FStatus);
    if (runs.size() > 1)
        Summary(r, tally, set.Seconds());
    return tally.FFirst;
}
