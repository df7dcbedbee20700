#pragma once

// What the command line asks for: the command, its arguments and options, checked and
// converted the way the window converts what is typed into it.

#include "CommandBlocks.h"
#include "ToolSettings.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>

struct TCliRequest {
    QString FCommand;  // "query", "logo build", ...; "help" or "version"
    QStringList FArgs; // the command's own arguments
    QStringList FPorts;
    int32_t FBaudRate = DeliveredRate;
    QString FConfigPath;
    TToolSettings FSettings; // the defaults, or read from --config
    QString FLogPath;
    bool FQuiet = false;
    bool FVerbose = false;
    bool FJson = false;   // events as JSON Lines on stdout
    QString FFilesFolder; // --files; empty: the files folder rule
    // Relative file names are taken from here: a recipe line's are the recipe's folder's. Empty:
    // the current folder.
    QString FBaseFolder;
    // The command runs on one printer after another as they are plugged in.
    bool FStation = false;
    // The command's own options that were given, by their long names, as given.
    QHash<QString, QString> FOptions;
    TParameterValues FParams; // set-params

    QString Option(const QString& name) const { return FOptions.value(name); }
    // name taken from FBaseFolder when it is relative.
    QString FilePath(const QString& name) const;
};
