// font [FILE]: the UPDATE page's FONT.

#include "Commands.h"

#include "CliHistory.h"
#include "CliRequest.h"
#include "CliText.h"
#include "CommThread.h"
#include "FileNames.h"
#include "PortStep.h"

#include <QDir>
#include <QFileInfo>

namespace {

std::unique_ptr<TPortStep> Font(const TCliRequest& r) {
    // Without a name: font.bin here (a recipe's folder for its line), else the one in the
    // files folder, as the window downloads it.
    QString path = r.FArgs.value(0);
    if (path.isEmpty()) {
        path = r.FilePath(filename::Font);
        if (!QFileInfo(path).isFile()) {
            const QString shared = QDir(FilesFolder(r)).filePath(filename::Font);
            if (QFileInfo(shared).isFile())
                path = shared;
        }
    }
    // Read once: the bytes checked and recorded are the ones every printer gets.
    const QByteArray font = ReadWholeFile(path);
    auto step =
        DownloadStep(r, FontDownload(QFileInfo(path).absoluteFilePath(), font), font.size());
    step->FFiles = {HistoryFileEntry(path, font)};
    step->FSha256 = step->FFiles.first().FSha256;
    return step;
}

} // namespace

TCliCommand FontCommand() {
    TCliCommand c;
    c.FName = historyjob::Font;
    c.FHelp = {{QStringLiteral("font [FILE]"),
                QStringLiteral("download the font file (default: font.bin here, else the\none "
                               "in the tool's files folder)")}};
    c.FMinArgs = 0;
    c.FMaxArgs = 1;
    c.FFileArgs = true;
    c.FPrepare = Font;
    return c;
}
