// nuvctl's run: the command line read, everything checked that needs no printer, the command
// run, and every failure turned into one sentence and an exit status.

#include "RunCli.h"

#include "CliCommand.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "HelpText.h"
#include "Preflight.h"
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
        Out(QStringLiteral("nuvctl %1").arg(QStringLiteral(PROJECT_VERSION)));
        return exitOk;
    }
    CheckBeforePrinters(r);
    const TCliCommand* command = FindCliCommand(r.FCommand);
    if (!command || !command->FRun)
        throw ECliError(exitInternal,
                        QStringLiteral("command %1 has no implementation").arg(r.FCommand));
    return command->FRun(r);
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
        return StopStatus() != 0 ? StopStatus() : e.FStatus;
    } catch (const std::exception& e) {
        Err(QStringLiteral("internal error: %1").arg(QString::fromLocal8Bit(e.what())));
        return exitInternal;
    }
}
