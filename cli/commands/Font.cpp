// font [FILE]: the UPDATE page's FONT.

#include "Commands.h"

#include "AppFolder.h"
#include "CliRequest.h"
#include "CliText.h"
#include "Report.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

int Font(const TCliRequest& r) {
    // Without a name: font.bin here, else the one in the tool's files folder, as the window
    // downloads it.
    QString path = r.FArgs.value(0);
    if (path.isEmpty()) {
        path = QStringLiteral("font.bin");
        const QString shared = QDir(ResolveAppFolder(QCoreApplication::applicationDirPath()))
                                   .filePath(QStringLiteral("font.bin"));
        if (!QFileInfo(path).isFile() && QFileInfo(shared).isFile())
            path = shared;
    }
    // The job would skip a missing file and report success; that must not pass here.
    const int64_t size = ReadWholeFile(path).size();
    return RunDownload(r, FontDownload(QFileInfo(path).absoluteFilePath()), size);
}

} // namespace

TCliCommand FontCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("font");
    c.FHelp = {{QStringLiteral("font [FILE]"),
                QStringLiteral("download the font file (default: font.bin here, else the\none "
                               "in the tool's files folder)")}};
    c.FMinArgs = 0;
    c.FMaxArgs = 1;
    c.FRun = Font;
    return c;
}
