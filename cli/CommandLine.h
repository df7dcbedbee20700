#pragma once

// nuvctl's command line: global options, the command, its arguments and its own options.

#include "CliCommand.h"
#include "CliRequest.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// The options every command takes, in the order --help lists them.
const QList<TCliOption>& GlobalOptions();

// A line of a recipe, read as a command line of its own: a command for printers, without the
// options that belong to the run (--port, --files, --json, -q, -v); relative file names are
// the recipe folder's, and --baud, --config and --log are the run's unless the line gives its
// own.
struct TRecipeLine {
    QString FFolder;
    const TCliRequest* FRun = nullptr;
};

// Throws ECliError: exitUsage for a bad command line, exitFile for a --config (or its
// codepage.ini) that cannot be read or holds a value the window could not show.
TCliRequest ParseCommandLine(const QStringList& arguments, const TRecipeLine* line = nullptr);

// A rate given as `name` (an option or argument): converted by the text-to-integer rule and
// positive, else ECliError with exitUsage.
int32_t PositiveRate(const QString& name, const QString& text);
// A number given as `name`: converted by the text-to-integer rule, else ECliError with
// exitUsage.
int32_t NumberArgument(const QString& text);
