// support-bundle -o FILE: what support asks for in one .tar.gz, as the window saves it.

#include "Commands.h"

#include "CliHistory.h"
#include "CliRequest.h"
#include "Events.h"
#include "ExitStatus.h"
#include "PortList.h"
#include "Preflight.h"
#include "Report.h"
#include "SupportBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString kOutput = QStringLiteral("output");

int SupportBundle(const TCliRequest& r) {
    const QString path = r.Option(kOutput);
    const TSupportInfo info{FilesFolder(r), QCoreApplication::applicationName(),
                            QCoreApplication::applicationVersion(), AvailablePorts(),
                            QDateTime::currentDateTime()};
    QString error;
    if (!WriteSupportBundle(path, info, &error))
        throw ECliError(exitFile, error);
    const QString written = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (r.FJson)
        Emit(Event(event::Bundle)
                 .Add(QStringLiteral("path"), written)
                 .Add(QStringLiteral("bytes"), QFileInfo(path).size()));
    else if (!r.FQuiet)
        Out(written);
    return exitOk;
}

} // namespace

TCliCommand SupportBundleCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("support-bundle");
    c.FHelp = {{QStringLiteral("support-bundle -o FILE.tar.gz"),
                QStringLiteral("save config.ini, debug.log, the history and codepage.ini of\n"
                               "the files folder and a description of this program and\n"
                               "machine in one archive for support")}};
    c.FPorts = TPortUse::None;
    c.FOptions = {{{QStringLiteral("o"), kOutput},
                   QStringLiteral("FILE"),
                   QStringLiteral("where to write the archive"),
                   true,
                   true}};
    c.FCheck = [](const TCliRequest& r) { CheckOutputFile(r.Option(kOutput)); };
    c.FRun = SupportBundle;
    return c;
}
