#pragma once

// The commands of nuvctl, one table entry each: what --help says of it, the arguments and
// options it takes, and the functions that check and run it. A command lives in its own file
// under commands/ and is listed once in CliCommands().

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

struct TCliRequest;
class TIniFile;
class TPortStep;

struct TCliOption {
    QStringList FNames;      // "o", "output": one letter for -o, the long name last
    QString FValueName;      // as --help shows it; empty: a switch
    QString FHelp;           // lines after the first continue it
    bool FRequired = false;  // the command refuses to run without it
    bool FFileName = false;  // names a file nuvctl writes: an empty value is refused
    bool FReadsFile = false; // names a file nuvctl reads

    // A recipe line's value is taken relative to the recipe's folder.
    bool IsPath() const { return FFileName || FReadsFile; }

    QString Name() const { return FNames.constLast(); }
    // "-o FILE", "--serial-file FILE".
    QString Spelling() const;
    // A name as typed: "-v" for one letter, else "--verbose".
    static QString Dashed(const QString& name);
};

enum class TPortUse {
    None,     // talks to no printer: --port, --baud and --log do not apply
    Needed,   // needs --port
    Optional, // without --port it finds its own ports
    Filter,   // talks to no printer; --port picks among what it shows
};

struct TCliCommand {
    QString FName; // one word, or two ("logo build")
    // For --help: each form of the command with what it does.
    struct THelp {
        QString FUsage;
        QString FText; // lines after the first continue it
    };
    QList<THelp> FHelp;
    int FMinArgs = 0;
    int FMaxArgs = 0; // -1: any number
    TPortUse FPorts = TPortUse::Needed;
    QList<TCliOption> FOptions;
    QString FOptionsTitle;  // --help's heading of its options; empty: "NAME options:"
    bool FFileArgs = false; // its arguments name files (a recipe's are relative to its folder)

    // Adjusts the argument count to the options given; may refuse the command line.
    void (*FArgCount)(const TCliRequest& r, int& minArgs, int& maxArgs) = nullptr;
    // Converts its options once --config is read (config: null without one); may refuse.
    void (*FTakeOptions)(TCliRequest& r, const TIniFile* config) = nullptr;
    // What it can check before any printer is touched; throws ECliError.
    void (*FCheck)(const TCliRequest& r) = nullptr;
    // A command for printers: reads and converts everything it sends, once, for every port it
    // runs on; ECliError when it cannot. Such a command may be a recipe's step.
    std::unique_ptr<TPortStep> (*FPrepare)(const TCliRequest& r) = nullptr;
    // Runs any other command and returns the exit status.
    int (*FRun)(const TCliRequest& r) = nullptr;
};

// Every command, in the order --help lists them.
const QList<TCliCommand>& CliCommands();
const TCliCommand* FindCliCommand(const QString& name);
