#pragma once

// One printer through a recipe's steps on its port, driven on the main thread by the end of
// each step: a failed step ends that printer's recipe and the rest are skipped. A single
// command is a recipe of one step.

#include "CliHistory.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

struct TCliRequest;
class TJobSet;
class TPortRunner;
class TPortStep;
class TPrinterRun;

using TSteps = std::vector<std::unique_ptr<TPortStep>>;

// What a run or a station makes of each moment of a printer's recipe.
class TStepOutput {
public:
    TStepOutput(const TCliRequest& r, TJobSet& set);
    virtual ~TStepOutput();
    // A step starts; the start event.
    virtual void StepStarted(TPrinterRun& run, const TJobReport& report);
    // A step ended, or was skipped: the history line of a job that started, the end event.
    virtual void StepEnded(TPrinterRun& run, const TJobReport& report);
    virtual void PrinterEnded(TPrinterRun& run) = 0;
    // A transfer's progress: a progress event at most every kProgressEventMs a port, naming
    // the step and printer as the start event did.
    void Progress(const TPortRunner& runner);

protected:
    const TCliRequest& FRequest;
    TJobSet& FSet;

private:
    QHash<const TPortRunner*, qint64> FLastProgress;
    QHash<const TPortRunner*, TJobReport> FStarts; // the step under way on each port
    QElapsedTimer FClock;
};

class TPrinterRun {
public:
    // printer: a station's count, from 1; 0 elsewhere. recipe: the events and lines name the
    // step. finished runs once the recipe has ended on this printer.
    TPrinterRun(TJobSet& set, TPortRunner& runner, const TSteps& steps, bool recipe, int printer,
                TStepOutput& output, std::function<void()> finished = {});
    void Start();

    TPortRunner& FRunner;
    const int FPrinter;
    int FStep = -1;      // the step under way, from 0
    bool FEnded = false; // the recipe has ended on this printer
    int FStatus = 0;     // the failed step's exit status; 0 when all went well
    QString FReason;
    int FFailedStep = -1;
    QByteArray FDeviceId; // what it last identified as
    QString FSerial;      // the serial number it was given
    QElapsedTimer FTimer;
    double Seconds() const { return FSeconds; }
    int Steps() const { return int(FSteps.size()); }
    const TPortStep& Step(int index) const { return *FSteps[size_t(index)]; }

private:
    void Next();
    void StepDone();
    void End();

    TJobSet& FSet;
    const TSteps& FSteps;
    bool FRecipe;
    TStepOutput& FOutput;
    std::function<void()> FFinished;
    TJobReport FCurrent;
    double FSeconds = 0;
};

// {"event":"done",...}: the recipe has ended on that printer.
TJsonLine DoneEvent(const TPrinterRun& run);

// Runs the steps on every --port at once, each port through them on its own. recipe: report
// each step (nuvctl run); otherwise the single command's result lines. Returns the exit
// status: 0 when every port succeeded, else the first failed port's, in the order given.
int RunSteps(const TCliRequest& r, const TSteps& steps, bool recipe);
