#pragma once

// A recipe: the steps each printer goes through, one nuvctl command line each, in an INI file:
//   [RECIPE]
//   1=program firmware.bin
//   2=set-factory NUV-II --serial-file serial.txt --record serials.csv
// Lines run in the order of their numbers, which go 1, 2, 3, ... without a gap. Words are
// split as a shell splits them; relative file names are the recipe folder's.

#include "RecipeRun.h"

#include <QString>
#include <QStringList>
#include <optional>

struct TCliRequest;

struct TRecipe {
    QString FPath;
    QStringList FLines; // as written, by step
    TSteps FSteps;
};

// Reads the recipe and makes every step ready: each line parsed, checked and its files read
// as its command does before any printer is touched (run: the run's request, whose ports,
// rate, config and log the lines share). ECliError naming the line when one is refused.
TRecipe LoadRecipe(const QString& path, const TCliRequest& run);

// The words of a line as a shell splits them, without expanding anything: blanks separate
// words, '...' keeps what it holds as it is, "..." too but for \" \\ \$ and \` (the character
// after the backslash), and a backslash outside quotes keeps the next character. nullopt,
// with why, for a quote left open.
std::optional<QStringList> ShellWords(const QString& line, QString* why = nullptr);
