// nuvctl: the service tool's jobs from the command line, on one printer or several at once.

#include "RunCli.h"
#include "StopSignals.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    // Before any thread exists, so that a signal during start-up already stops cleanly.
    CatchStopSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nuvctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    return RunCli(QCoreApplication::arguments());
}
