// logo build and logo download: the NVRAM page's image, without or with a printer.

#include "Commands.h"

#include "CliRequest.h"
#include "CliText.h"
#include "Events.h"
#include "ExitStatus.h"
#include "FileError.h"
#include "LogoImage.h"
#include "PortStep.h"
#include "Preflight.h"
#include "Report.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <sys/stat.h>

namespace {

const QString kOutput = QStringLiteral("output");

// Converts the pictures with the LOGO settings; a failure names every picture that fails.
QByteArray BuildLogo(const TCliRequest& r) {
    QStringList files = r.FArgs;
    if (files.size() > MaxLogoEntries)
        Usage(QStringLiteral("At most %1 pictures fit in one logo image, not %2.")
                  .arg(MaxLogoEntries)
                  .arg(files.size()));
    for (QString& f : files)
        f = QFileInfo(f).absoluteFilePath();
    const TToolSettings& s = r.FSettings;
    TLogoConverter converter;
    const TLogoBuild build = BuildLogoImage(files, s.FLogoSize, s.FLogoWidth, &converter);
    if (build.FOk)
        return build.FImage;
    // Each picture alone, with the whole logo memory as its room.
    QStringList reasons;
    int64_t total = LogoImageHeadBytes;
    for (const QString& file : files) {
        if (const QString why = NotRegularFile(file); !why.isEmpty()) {
            reasons << FileErrorText("open", file, why);
            continue;
        }
        const TLogoRecord record =
            converter.Convert(file, s.FLogoWidth, s.FLogoSize - LogoImageHeadBytes);
        if (record.FOk)
            total += record.FRecord.size();
        else if (record.FDecodeError)
            reasons << QStringLiteral("\"%1\": %2")
                           .arg(QDir::toNativeSeparators(file), record.FMessage);
        else
            reasons << QStringLiteral("\"%1\" refused (%2): a picture must be 1 to %3 dots "
                                      "wide, and the image must fit in %4 bytes (LOGO WIDTH and "
                                      "SIZE).")
                           .arg(QDir::toNativeSeparators(file), record.FMessage)
                           .arg(s.FLogoWidth)
                           .arg(s.FLogoSize);
    }
    if (reasons.isEmpty())
        reasons << QStringLiteral("The pictures take %1 bytes together, more than the %2 bytes of "
                                  "the logo memory (LOGO SIZE); leave some out.")
                       .arg(total)
                       .arg(s.FLogoSize);
    throw ECliError(exitFile, reasons.join(QLatin1Char('\n')));
}

void Save(const QString& path, const QByteArray& image) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(image) != image.size() || !out.commit())
        throw ECliError(exitFile, FileErrorText("create", path, out.errorString()));
}

// The space line, then each picture with the size the printer prints it in (the record's,
// as the NVRAM page's preview shows it) and its bytes.
int LogoBuild(const TCliRequest& r) {
    const QByteArray image = BuildLogo(r);
    Save(r.Option(kOutput), image);
    const auto records = LogoImageRecords(image);
    if (!records || records->size() != r.FArgs.size())
        throw ECliError(exitInternal, QStringLiteral("the logo image built is not whole"));
    if (r.FJson) {
        Emit(Event(event::Logo)
                 .Add(QStringLiteral("path"), QFileInfo(r.Option(kOutput)).absoluteFilePath())
                 .Add(QStringLiteral("bytes"), qint64(image.size()))
                 .Add(QStringLiteral("size"), r.FSettings.FLogoSize)
                 .Add(QStringLiteral("sha256"),
                      QString::fromLatin1(HistoryFileEntry(r.Option(kOutput), image).FSha256)));
        for (qsizetype i = 0; i < records->size(); ++i)
            Emit(Event(event::Picture)
                     .Add(QStringLiteral("path"), QFileInfo(r.FArgs[i]).absoluteFilePath())
                     .Add(QStringLiteral("width"), records->at(i).Width())
                     .Add(QStringLiteral("height"), records->at(i).Height())
                     .Add(QStringLiteral("bytes"), qint64(records->at(i).Size())));
        return exitOk;
    }
    Out(LogoSpaceText(image.size(), r.FSettings.FLogoSize));
    for (qsizetype i = 0; i < records->size(); ++i)
        Out(QStringLiteral("%1\t%2x%3 dots\t%4 bytes")
                .arg(QDir::toNativeSeparators(r.FArgs[i]))
                .arg(records->at(i).Width())
                .arg(records->at(i).Height())
                .arg(records->at(i).Size()));
    return exitOk;
}

std::unique_ptr<TPortStep> PrepareLogoDownload(const TCliRequest& r) {
    const QByteArray image = BuildLogo(r);
    if (r.FVerbose)
        Err(LogoSpaceText(image.size(), r.FSettings.FLogoSize));
    auto step = DownloadStep(
        r, LogoDownload(QString(), r.FSettings.FLogoCommand, r.FSettings.FLogoPara, image),
        image.size());
    step->FSha256 = HistoryFileEntry(QString(), image).FSha256;
    for (const QString& picture : r.FArgs)
        if (const auto entry = HistoryFileEntry(picture))
            step->FFiles.append(*entry);
    return step;
}

bool SameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void CheckOutput(const TCliRequest& r) {
    const QString output = r.Option(kOutput);
    for (const QString& picture : r.FArgs)
        if (SameFile(picture, output))
            Usage(QStringLiteral("-o %1 is the picture %2: the build would overwrite it.")
                      .arg(Quoted(output), Quoted(picture)));
    CheckOutputFile(output);
}

} // namespace

TCliCommand LogoBuildCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("logo build");
    c.FHelp = {{QStringLiteral("logo build PICTURE... -o FILE"),
                QStringLiteral("convert Windows bitmaps into the printer's logo image (no\n"
                               "printer): prints the space line and each picture's size")}};
    c.FMinArgs = 1;
    c.FMaxArgs = -1;
    c.FPorts = TPortUse::None;
    c.FOptions = {{{QStringLiteral("o"), kOutput},
                   QStringLiteral("FILE"),
                   QStringLiteral("where to write the logo image"),
                   true,
                   true}};
    c.FCheck = CheckOutput;
    c.FRun = LogoBuild;
    return c;
}

TCliCommand LogoDownloadCommand() {
    TCliCommand c;
    c.FName = historyjob::LogoDownload;
    c.FHelp = {{QStringLiteral("logo download PICTURE..."),
                QStringLiteral("convert the pictures and download the logo image")}};
    c.FMinArgs = 1;
    c.FMaxArgs = -1;
    c.FFileArgs = true;
    c.FPrepare = PrepareLogoDownload;
    return c;
}
