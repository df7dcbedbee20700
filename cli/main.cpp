// nuvctl: the service tool's jobs from the command line, on one printer or several at once.

#include "Commands.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nuvctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    return RunCli(QCoreApplication::arguments());
}
