#include "AppFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

bool SystemSaysWritable(const QString& path) {
    // Asks access(2), so read-only mounts and ACLs count, and root may write almost anything.
    return QFileInfo(path).isWritable();
}

// The copy is made under a temporary name and renamed, so a file that exists is whole; and an
// existing file is never replaced, even when another instance seeds at the same moment.
void Seed(const QDir& target, const QStringList& sources) {
    for (const QString& name : SeedFileNames()) {
        const QString to = target.filePath(name);
        if (QFileInfo::exists(to))
            continue;
        for (const QString& folder : sources) {
            const QString from = QDir(folder).filePath(name);
            if (!QFileInfo(from).isFile())
                continue;
            // Installed files are read-only for the user; the copy is the user's to edit.
            if (QFile::copy(from, to))
                QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther);
            break;
        }
    }
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

QStringList SeedFileNames() {
    return {QStringLiteral("codepage.ini"), QStringLiteral("ok.wav"), QStringLiteral("error.wav")};
}

QString ResolveAppFolder(const QString& exeDir, const TAppFolderEnv& env) {
    const auto writable = env.FIsWritable ? env.FIsWritable : SystemSaysWritable;
    const QString programFolder = QDir::cleanPath(exeDir);
    const QString config = QDir(programFolder).filePath(QStringLiteral("config.ini"));
    if (writable(programFolder) || (QFileInfo(config).isFile() && writable(config)))
        return programFolder;

    const QString userFolder =
        QDir::cleanPath(env.FUserFolder.isEmpty() ? UserAppFolder() : env.FUserFolder);
    if (!QDir().mkpath(userFolder))
        return programFolder;
    Seed(QDir(userFolder),
         env.FSeedFolders.isEmpty() ? InstalledDataFolders(programFolder) : env.FSeedFolders);
    return userFolder;
}
