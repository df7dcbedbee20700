#include "AppFolder.h"
#include "FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

bool SystemSaysWritable(const QString& path) {
    // Asks access(2), so read-only mounts and ACLs count, and root may write almost anything.
    return QFileInfo(path).isWritable();
}

QStringList ReadMarker(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// Each copy is made under a temporary name and renamed, so a file that exists is whole, and an
// existing file is never replaced, even when another instance seeds at the same moment. A name
// goes into the marker once its file is there, so it is never given twice.
void Seed(const QDir& target, const QStringList& sources) {
    const QString markerPath = target.filePath(SeedMarkerName());
    QStringList given = ReadMarker(markerPath);
    const qsizetype before = given.size();
    for (const QString& name : SeedFileNames()) {
        if (given.contains(name))
            continue;
        const QString to = target.filePath(name);
        for (const QString& folder : sources) {
            if (QFileInfo::exists(to))
                break;
            const QString from = QDir(folder).filePath(name);
            if (!QFileInfo(from).isFile())
                continue;
            // Installed files are read-only for the user; the copy is the user's to edit.
            if (QFile::copy(from, to))
                QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther);
            break;
        }
        if (QFileInfo::exists(to))
            given << name;
    }
    if (given.size() == before)
        return;
    // A marker that cannot be written costs only a seed file given again.
    QSaveFile marker(markerPath);
    const QByteArray lines = (given.join(u'\n') + u'\n').toUtf8();
    if (marker.open(QIODevice::WriteOnly) && marker.write(lines) == lines.size())
        marker.commit();
}

} // namespace

QString AppPackageName() {
    return QStringLiteral(NUV_PACKAGE_NAME);
}

QString UserAppFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(AppPackageName());
}

QStringList InstalledDataFolders(const QString& exeDir) {
    QStringList folders{QDir::cleanPath(
        QDir(exeDir).filePath(QStringLiteral(NUV_BIN_TO_DATA "/") + AppPackageName()))};
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        if (data == userData)
            continue;
        const QString folder = QDir::cleanPath(QDir(data).filePath(AppPackageName()));
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

bool IsInstalledProgram(const QString& exeDir) {
    return QFileInfo(InstalledDataFolders(exeDir).constFirst()).isDir();
}

QStringList SeedFileNames() {
    return {filename::CodePages, filename::OkSound, filename::ErrorSound};
}

QString SeedMarkerName() {
    return QStringLiteral(".seeded");
}

TAppFolder ChooseAppFolder(const QString& exeDir, const TAppFolderEnv& env) {
    const auto writable = env.FIsWritable ? env.FIsWritable : SystemSaysWritable;
    const QString programFolder = QDir::cleanPath(exeDir);
    const bool installed = IsInstalledProgram(programFolder);
    const QString config = QDir(programFolder).filePath(filename::Config);
    // Root may write an installed program's folder too; nothing of a user's belongs there.
    if (!installed && (writable(programFolder) || (QFileInfo(config).isFile() && writable(config))))
        return {programFolder, {}};

    const QString userFolder =
        QDir::cleanPath(env.FUserFolder.isEmpty() ? UserAppFolder() : env.FUserFolder);
    if (QDir().mkpath(userFolder) && writable(userFolder)) {
        Seed(QDir(userFolder), env.FSeedFolders.isEmpty() ? QStringList{programFolder} +
                                                                InstalledDataFolders(programFolder)
                                                          : env.FSeedFolders);
        return {userFolder, {}};
    }

    // Nothing can be kept; read what there is.
    TAppFolder chosen;
    chosen.FPath = QFileInfo(userFolder).isDir() ? userFolder
                   : installed                   ? InstalledDataFolders(programFolder).constFirst()
                                                 : programFolder;
    const QString user = QDir::toNativeSeparators(userFolder);
    const QString program = QDir::toNativeSeparators(programFolder);
    chosen.FProblem =
        installed
            ? QStringLiteral("Settings and logs cannot be kept: the per-user folder %1 cannot be "
                             "created or written, and an installed program keeps nothing beside "
                             "itself in %2.")
                  .arg(user, program)
            : QStringLiteral("Settings and logs cannot be kept: neither the program's folder %1 "
                             "nor the per-user folder %2 may be written.")
                  .arg(program, user);
    return chosen;
}
