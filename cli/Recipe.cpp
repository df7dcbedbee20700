#include "Recipe.h"

#include "CliCommand.h"
#include "CliRequest.h"
#include "CliText.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "FileError.h"
#include "IniFile.h"
#include "PortStep.h"
#include "Preflight.h"

#include <QDir>
#include <QFileInfo>
#include <map>

namespace {

const QString kSection = QStringLiteral("RECIPE");

} // namespace

std::optional<QStringList> ShellWords(const QString& line, QString* why) {
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote; // the open quote, or null
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quote == u'\'') {
            if (c == u'\'')
                quote = QChar();
            else
                word += c;
        } else if (quote == u'"') {
            if (c == u'"') {
                quote = QChar();
            } else if (c == u'\\' && i + 1 < line.size() &&
                       QStringLiteral("\"\\$`").contains(line[i + 1])) {
                word += line[++i];
            } else {
                word += c;
            }
        } else if (c == u'\'' || c == u'"') {
            quote = c;
            inWord = true;
        } else if (c == u'\\') {
            if (i + 1 < line.size())
                word += line[++i];
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (!quote.isNull()) {
        if (why)
            *why = QStringLiteral("the quote %1 is not closed").arg(quote);
        return std::nullopt;
    }
    if (inWord)
        words << word;
    return words;
}

TRecipe LoadRecipe(const QString& path, const TCliRequest& run) {
    TRecipe recipe;
    recipe.FPath = path;
    const QString shown = QDir::toNativeSeparators(path);
    TIniFile ini;
    ini.LoadFromBytes(ReadSettingsFile(path, QStringLiteral("Recipe ")));
    std::map<int, QString> lines;
    for (const QString& key : ini.KeyNames(kSection)) {
        bool number = false;
        const int n = key.trimmed().toInt(&number);
        if (!number || n < 1 || key.trimmed().startsWith(u'+'))
            throw ECliError(exitFile, QStringLiteral("Recipe \"%1\": %2 is not a step's number; "
                                                     "[%3] holds lines 1=, 2=, ... only.")
                                          .arg(shown, Quoted(key), kSection));
        if (lines.count(n))
            throw ECliError(
                exitFile,
                QStringLiteral("Recipe \"%1\": step %2 is given twice.").arg(shown).arg(n));
        lines[n] = ini.ReadString(kSection, key, QString());
    }
    if (lines.empty())
        throw ECliError(exitFile, QStringLiteral("Recipe \"%1\" has no steps: it needs a [%2] "
                                                 "section with lines 1=COMMAND, 2=COMMAND, ...")
                                      .arg(shown, kSection));
    const TRecipeLine context{QFileInfo(path).absolutePath(), &run};
    int expected = 1;
    for (const auto& [n, text] : lines) {
        const QString where =
            QStringLiteral("Recipe \"%1\" line %2 (%3): ").arg(shown).arg(n).arg(Quoted(text));
        // A missing number is a step left out by mistake as often as not.
        if (n != expected)
            throw ECliError(exitFile, where + QStringLiteral("step %1 is missing before it; "
                                                             "number the lines 1, 2, 3, ...")
                                                  .arg(expected));
        ++expected;
        try {
            QString why;
            const auto words = ShellWords(text, &why);
            if (!words)
                Usage(why[0].toUpper() + why.mid(1) + u'.');
            if (words->isEmpty())
                Usage(QStringLiteral("The line names no command."));
            const TCliRequest step =
                ParseCommandLine(QStringList{QStringLiteral("nuvctl")} + *words, &context);
            CheckBeforePrinters(step);
            recipe.FSteps.push_back(FindCliCommand(step.FCommand)->FPrepare(step));
            recipe.FLines << text;
        } catch (const ECliError& e) {
            throw ECliError(e.FStatus, where + e.Message());
        }
    }
    return recipe;
}
