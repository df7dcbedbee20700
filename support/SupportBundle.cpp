#include "SupportBundle.h"

#include "FileError.h"
#include "FileNames.h"
#include "HistoryLog.h"
#include "TarGzWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSysInfo>
#include <QtGlobal>

QString SupportBundleName(const QDateTime& time) {
    return QStringLiteral("nuv-support-") + time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QStringList SupportFileNames() {
    return {filename::Config, filename::TrafficLog, THistoryLog::OldFileName, THistoryLog::FileName,
            filename::CodePages};
}

QString SupportInfoText(const TSupportInfo& info, const QStringList& notes) {
    QStringList lines;
    lines << QStringLiteral("%1 %2").arg(info.FProgram, info.FVersion)
          << QStringLiteral("Made: %1").arg(info.FTime.toString(Qt::ISODate))
          << QStringLiteral("Qt: %1 (built with %2)")
                 .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR))
          << QStringLiteral("System: %1; kernel %2 %3; %4")
                 .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                      QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture())
          << QStringLiteral("Files folder: %1").arg(QDir::toNativeSeparators(info.FFilesFolder))
          << QString() << QStringLiteral("Serial ports present:");
    if (info.FPorts.isEmpty())
        lines << QStringLiteral("  none");
    for (const TPortInfo& port : info.FPorts) {
        QStringList about;
        for (const QString& part : {port.FDescription, port.FManufacturer})
            if (!part.isEmpty())
                about << part;
        if (const QString usb = UsbIdText(port); !usb.isEmpty())
            about << QStringLiteral("USB %1").arg(usb);
        if (!port.FSerialNumber.isEmpty())
            about << QStringLiteral("serial number %1").arg(port.FSerialNumber);
        lines << QStringLiteral("  %1%2").arg(
            port.FDevice, about.isEmpty() ? QString() : QStringLiteral(": ") + about.join(u", "));
    }
    if (!notes.isEmpty())
        lines << QString() << notes;
    return lines.join(u'\n') + u'\n';
}

bool WriteSupportBundle(const QString& path, const TSupportInfo& info, QString* error) {
    const auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    const QDateTime time = info.FTime.isValid() ? info.FTime : QDateTime::currentDateTime();
    const QString folder = SupportBundleName(time) + u'/';

    // Read first: each file as it is at one moment, whatever other programs append meanwhile.
    struct TEntry {
        QString FName;
        QByteArray FData;
        QDateTime FModified;
    };
    QList<TEntry> entries;
    QStringList notes;
    const auto take = [&](const QString& name, const QByteArray& data, const QDateTime& modified,
                          const QString& why) {
        if (why.isEmpty())
            entries.append({name, data, modified});
        else
            notes << QStringLiteral("%1 was left out: %2").arg(name, why);
    };
    // The history's two files together, so that a rotation meanwhile loses no line.
    const QList<THistoryLog::TFile> history = THistoryLog(info.FFilesFolder).ReadFiles();
    const QDir dir(info.FFilesFolder);
    for (const QString& name : SupportFileNames()) {
        if (name == THistoryLog::OldFileName || name == THistoryLog::FileName) {
            for (const THistoryLog::TFile& file : history)
                if (file.FName == name)
                    take(name, file.FData, file.FModified, file.FError);
            continue;
        }
        QFile file(dir.filePath(name));
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly)) {
            take(name, {}, {}, file.errorString());
            continue;
        }
        const QByteArray data = file.readAll();
        take(name, data, QFileInfo(file).lastModified(),
             file.error() == QFileDevice::NoError ? QString() : file.errorString());
    }
    TSupportInfo stamped = info;
    stamped.FTime = time;
    entries.append({SupportInfoFileName, SupportInfoText(stamped, notes).toUtf8(), time});

    // The archive is written beside its place and renamed into it once complete.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return fail(FileErrorText("create", path, out.errorString()));
    TTarGzWriter tar(out);
    bool ok = tar.AddFolder(folder, time);
    for (const TEntry& e : entries)
        ok = ok && tar.AddFile(folder + e.FName, e.FData, e.FModified);
    ok = ok && tar.Finish();
    if (!ok)
        return fail(FileErrorText("write", path, tar.ErrorString()));
    if (!out.commit())
        return fail(FileErrorText("write", path, out.errorString()));
    return true;
}
