// program FIRMWARE: the UPDATE page's PROGRAM.

#include "Commands.h"

#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "FirmwareImage.h"
#include "PortStep.h"

#include <QDir>

namespace {

std::unique_ptr<TPortStep> Program(const TCliRequest& r) {
    const QString& path = r.FArgs.at(0);
    const QByteArray image = ReadWholeFile(path);
    if (const QString problem = FirmwareImageProblem(image); !problem.isEmpty())
        throw ECliError(exitFile, QStringLiteral("Invalid file \"%1\". %2 Nothing was sent.")
                                      .arg(QDir::toNativeSeparators(path), problem));
    auto step = std::make_unique<TPortStep>(r, jobProgram, [image](TCommThread& w) {
        w.FStream.SetData(image);
        w.FStream.SetPosition(0);
    });
    step->FTransferBytes = image.size();
    step->FFiles = {HistoryFileEntry(path, image)};
    step->FSha256 = step->FFiles.first().FSha256;
    return step;
}

} // namespace

TCliCommand ProgramCommand() {
    TCliCommand c;
    c.FName = historyjob::Program;
    c.FHelp = {{QStringLiteral("program FIRMWARE"),
                QStringLiteral("check a firmware image, then program it")}};
    c.FMinArgs = c.FMaxArgs = 1;
    c.FFileArgs = true;
    c.FPrepare = Program;
    return c;
}
