#pragma once

// The folder that holds config.ini, codepage.ini, debug.log, logo.bin, font.bin and the sounds.
//
// An installed program (its data folder bin/../share/<package> exists) keeps them in the user's
// own data folder, whoever runs it, root included. A build tree or an unpacked folder keeps them
// next to the executable when it may write there, or when it may write a config.ini that lies
// there (an administrator's set-up; the file is then rewritten in place); otherwise it too uses
// the user's folder. The user's folder is given, once, what it lacks of the executable's own
// codepage.ini and sounds or of the installed copies.

#include <QString>
#include <QStringList>
#include <functional>

struct TAppFolderEnv {
    // Whether this process may write the file or folder; empty: ask the system.
    std::function<bool(const QString& path)> FIsWritable;
    // Empty: UserAppFolder().
    QString FUserFolder;
    // Where the copies of SeedFileNames() are looked for, first match wins; empty: the
    // executable's folder, then InstalledDataFolders().
    QStringList FSeedFolders;
};

// The folder chosen, and why settings and logs cannot be kept there (empty when they can).
struct TAppFolder {
    QString FPath; // without a trailing separator
    QString FProblem;
};

// The package's name, which is also the name of its data folders.
QString AppPackageName();

// The per-user folder, e.g. ~/.local/share/nuv-printer-tool.
QString UserAppFolder();

// The package's data folder next to the executable's prefix (bin/../share/<package>), then those
// in the system's data locations.
QStringList InstalledDataFolders(const QString& exeDir);

// Whether the executable is an installed program: its data folder lies beside its bin/.
bool IsInstalledProgram(const QString& exeDir);

// What a new per-user folder is given.
QStringList SeedFileNames();
// The file in the per-user folder that lists the seed files already given, one a line: a seed
// file the user deleted is not given again.
QString SeedMarkerName();

// The folder to use. When it is the per-user folder, it has been created and each seed file it
// was never given copied in; files already there are never replaced. When nothing can be
// written, the folder returned is the one that holds what there is to read (the per-user folder
// if it exists, else the installed data folder or the executable's), and FProblem says why
// nothing can be kept, naming both folders.
TAppFolder ChooseAppFolder(const QString& exeDir, const TAppFolderEnv& env = {});
