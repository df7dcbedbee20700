// nuvctl's run: the command line read, everything checked that needs no printer, the command
// run, and every failure turned into one sentence and an exit status.

#include "RunCli.h"

#include "CliCommand.h"
#include "CommandLine.h"
#include "Events.h"
#include "ExitStatus.h"
#include "HelpText.h"
#include "PortStep.h"
#include "Preflight.h"
#include "RecipeRun.h"
#include "Report.h"
#include "StopSignals.h"

#include <cstdio>

namespace {

int Run(const TCliRequest& r) {
    if (r.FCommand == QLatin1String("help")) {
        std::fputs(HelpText().toLocal8Bit().constData(), stdout);
        return exitOk;
    }
    if (r.FCommand == QLatin1String("version")) {
        if (r.FJson)
            Emit(Event(event::Version)
                     .Add(QStringLiteral("program"), QStringLiteral("nuvctl"))
                     .Add(QStringLiteral("version"), QStringLiteral(PROJECT_VERSION)));
        else
            Out(QStringLiteral("nuvctl %1").arg(QStringLiteral(PROJECT_VERSION)));
        return exitOk;
    }
    CheckBeforePrinters(r);
    const TCliCommand* command = FindCliCommand(r.FCommand);
    if (command && command->FPrepare) {
        TSteps steps;
        steps.push_back(command->FPrepare(r));
        return RunSteps(r, steps, false);
    }
    if (!command || !command->FRun)
        throw ECliError(exitInternal,
                        QStringLiteral("command %1 has no implementation").arg(r.FCommand));
    return command->FRun(r);
}

// With --json a refusal is an event too, so that a program reading stdout learns why.
bool JsonWanted(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--json"));
}

void EmitError(const QStringList& arguments, int status, const QString& reason) {
    if (JsonWanted(arguments))
        Emit(Event(event::Error)
                 .Add(QStringLiteral("status"), status)
                 .Add(QStringLiteral("reason"), reason));
}

} // namespace

int RunCli(const QStringList& arguments) {
    try {
        const int status = Run(ParseCommandLine(arguments));
        // Jobs stopped by a signal end with their own results; the process reports the signal.
        return StopStatus() != 0 ? StopStatus() : status;
    } catch (const ECliError& e) {
        Err(e.Message());
        if (e.FStatus == exitUsage)
            Err(QStringLiteral("See nuvctl --help."));
        const int status = StopStatus() != 0 ? StopStatus() : e.FStatus;
        EmitError(arguments, status, e.Message());
        return status;
    } catch (const std::exception& e) {
        const QString text =
            QStringLiteral("internal error: %1").arg(QString::fromLocal8Bit(e.what()));
        Err(text);
        EmitError(arguments, exitInternal, text);
        return exitInternal;
    }
}
