#include "HelpText.h"

#include "CliCommand.h"
#include "CommandLine.h"

#include <QStringList>

namespace {

// Where the descriptions begin; a longer name stands on a line of its own.
constexpr qsizetype kTextColumn = 29;

// "  NAME    text", continuation lines of text under its first.
QString Entry(const QString& name, const QString& text) {
    const QString indent(kTextColumn, QLatin1Char(' '));
    QString head = QStringLiteral("  ") + name;
    if (head.size() + 2 > kTextColumn)
        head += QLatin1Char('\n') + indent;
    else
        head = head.leftJustified(kTextColumn);
    return head + QString(text).replace(QLatin1Char('\n'), QLatin1Char('\n') + indent) +
           QLatin1Char('\n');
}

QString OptionEntry(const TCliOption& o) {
    QStringList spellings;
    for (const QString& name : o.FNames)
        spellings << TCliOption::Dashed(name);
    QString name = spellings.join(QStringLiteral(", "));
    if (!o.FValueName.isEmpty())
        name += QLatin1Char(' ') + o.FValueName;
    return Entry(name, o.FHelp);
}

} // namespace

QString HelpText() {
    QString text = QStringLiteral(
        "Usage: nuvctl [OPTIONS] COMMAND [ARGUMENTS]\n"
        "\n"
        "Command-line companion of the NUV service tool for production lines: runs one job on "
        "one\n"
        "printer, or on several printers at once (one --port each, or a comma list).\n"
        "\n"
        "Commands:\n");
    for (const TCliCommand& c : CliCommands())
        for (const TCliCommand::THelp& h : c.FHelp)
            text += Entry(h.FUsage, h.FText);

    text += QStringLiteral("\nGlobal options:\n");
    for (const TCliOption& o : GlobalOptions())
        text += OptionEntry(o);

    for (const TCliCommand& c : CliCommands()) {
        if (c.FOptions.isEmpty())
            continue;
        text +=
            QLatin1Char('\n') +
            (c.FOptionsTitle.isEmpty() ? c.FName + QStringLiteral(" options:") : c.FOptionsTitle) +
            QLatin1Char('\n');
        for (const TCliOption& o : c.FOptions)
            text += OptionEntry(o);
    }

    text += QStringLiteral(
        R"(
Numbers are decimal, or hexadecimal after "$" ($2580).

Output: one result line per port, fields separated by tabs: port, identification, result,
time (find: port, identification, rate, result, time; run: port, step, identification,
result, time, as each step ends); with several ports a summary line. On a terminal,
transfers show a progress bar on stderr, and a station a table of its ports. --json: JSON
Lines on stdout instead, one event an object (start, progress, end, done, summary, ...).
Every job on a printer appends a line to history.jsonl in the files folder.

A recipe is an INI file: section [RECIPE], lines 1=COMMAND, 2=COMMAND, ... each a command
for a printer without --port, words split as a shell splits them, file names relative to the
recipe's folder. Every line is checked before any printer is touched.

Every check that needs no printer (files to be written, ports named twice, the counter)
is made before the first printer is touched; a refusal sends nothing and changes no file.

SIGINT, SIGTERM or SIGHUP: no new printer or block is started, each job ends after its
current block (a factory block's answer is waited for), result lines, logs, the journal and
the record are written, and nuvctl exits 130, 143 or 129. A second signal ends it at once.

Exit status (with several ports: 0 only if every port succeeded, else the status of the
first port that failed, in the order given):
  0  success
  1  unexpected internal error
  2  bad argument
  3  file missing or invalid (also the serial counter file)
  4  port could not be opened (no such port, busy, permission, no datagram peer, peer
     unreachable)
  5  no reply from the printer
  6  wrong device: it does not identify as a printer of this series
  7  rate change refused
  8  programming or download mode refused
  9  job failed (a transfer block went unanswered, or another failure)
  129, 130, 143  stopped by SIGHUP, SIGINT or SIGTERM
find without --port succeeds when a printer answered on any port.
)");
    return text;
}
