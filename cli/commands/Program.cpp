// program FIRMWARE: the UPDATE page's PROGRAM.

#include "Commands.h"

#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "FirmwareImage.h"
#include "Report.h"

#include <QDir>

namespace {

int Program(const TCliRequest& r) {
    const QString& path = r.FArgs.at(0);
    const QByteArray image = ReadWholeFile(path);
    if (const QString problem = FirmwareImageProblem(image); !problem.isEmpty())
        throw ECliError(exitFile, QStringLiteral("Invalid file \"%1\". %2 Nothing was sent.")
                                      .arg(QDir::toNativeSeparators(path), problem));
    return RunOnAllPorts(
        r, jobProgram,
        [&](TCommThread& w) {
            w.FStream.SetData(image);
            w.FStream.SetPosition(0);
        },
        image.size());
}

} // namespace

TCliCommand ProgramCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("program");
    c.FHelp = {{QStringLiteral("program FIRMWARE"),
                QStringLiteral("check a firmware image, then program it")}};
    c.FMinArgs = c.FMaxArgs = 1;
    c.FRun = Program;
    return c;
}
