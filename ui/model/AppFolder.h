#pragma once

// The folder that holds config.ini, codepage.ini, debug.log, logo.bin, font.bin and the sounds.
//
// A program folder the user may write (a build tree, an unpacked archive) keeps them next to the
// executable, and so does one that holds a writable config.ini (an administrator's set-up; the
// file is then rewritten in place). An installed program's folder is neither, so the user's own
// data folder is used instead, and the installed codepage.ini and sounds are copied into it
// where they are missing.

#include <QString>
#include <QStringList>
#include <functional>

struct TAppFolderEnv {
    // Whether this process may write the file or folder; empty: ask the system.
    std::function<bool(const QString& path)> FIsWritable;
    // Empty: UserAppFolder().
    QString FUserFolder;
    // Where the installed copies of SeedFileNames() are looked for, first match wins; empty:
    // InstalledDataFolders() for the executable's folder.
    QStringList FSeedFolders;
};

// The package's name, which is also the name of its data folders.
QString AppPackageName();

// The per-user folder, e.g. ~/.local/share/nuv-printer-tool.
QString UserAppFolder();

// The package's data folder next to the executable's prefix (bin/../share/<package>), then those
// in the system's data locations.
QStringList InstalledDataFolders(const QString& exeDir);

// What a new per-user folder is given from the installed data folder.
QStringList SeedFileNames();

// The folder to use, without a trailing separator. When it is the per-user folder, it has been
// created and every missing seed file copied in; files already there are never replaced. When
// the per-user folder cannot be created, the executable's folder is returned, so that the
// failures show where they always did.
QString ResolveAppFolder(const QString& exeDir, const TAppFolderEnv& env = {});
