#include "CommandLine.h"

#include "CliText.h"
#include "ExitStatus.h"
#include "IniFile.h"
#include "TextToInt.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace {

// Options that only a printer job uses.
const QStringList kPrinterOptions = {QStringLiteral("port"), QStringLiteral("baud"),
                                     QStringLiteral("log")};
// Options of the run as a whole, which a recipe line cannot give.
const QStringList kRunOptions = {QStringLiteral("port"),    QStringLiteral("files"),
                                 QStringLiteral("json"),    QStringLiteral("quiet"),
                                 QStringLiteral("verbose"), QStringLiteral("help"),
                                 QStringLiteral("version")};

QString EndSentence(const QString& text) {
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

// A negative number among the arguments ("set-ircomm -1") would be taken for short options;
// marked, it stays an argument, and the command's own check explains what is wrong with it.
const QChar kNegativeMark(0xFDD0);

QStringList ProtectNegativeNumbers(QStringList arguments,
                                   const QList<QCommandLineOption>& options) {
    static const QRegularExpression number(QStringLiteral("^-[0-9$]"));
    QSet<QString> takingValues;
    for (const QCommandLineOption& o : options)
        if (!o.valueName().isEmpty())
            for (const QString& name : o.names())
                takingValues.insert(TCliOption::Dashed(name));
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--"))
            break;
        if (number.match(arguments[i]).hasMatch() && !takingValues.contains(arguments[i - 1]))
            arguments[i].prepend(kNegativeMark);
    }
    return arguments;
}

QStringList RestoreNegativeNumbers(QStringList arguments) {
    for (QString& a : arguments)
        if (a.startsWith(kNegativeMark))
            a.remove(0, 1);
    return arguments;
}

// Reads --config into the request; returns the file for the command's own options.
TIniFile ReadConfig(TCliRequest& r) {
    const QString& path = r.FConfigPath;
    TIniFile ini;
    ini.LoadFromBytes(ReadSettingsFile(path));
    // Defaults read from a file that is not one would pass for the settings it was meant to be.
    if (ini.SectionNames().isEmpty())
        throw ECliError(exitFile,
                        QStringLiteral("\"%1\" is not a settings file: it has no section at all.")
                            .arg(QDir::toNativeSeparators(path)));
    r.FSettings = ReadToolSettings(ini);
    return ini;
}

QStringList SplitPorts(const QStringList& values) {
    QStringList ports;
    for (const QString& value : values) {
        for (const QString& part : value.split(QLatin1Char(','))) {
            const QString port = TrimCtl(part);
            if (port.isEmpty())
                Usage(QStringLiteral("--port %1: empty port name.").arg(Quoted(value)));
            ports.append(port);
        }
    }
    return ports;
}

// The command named by the first words; two-word commands ("logo build") take the second.
const TCliCommand& TakeCommand(QStringList& positional) {
    if (positional.isEmpty())
        Usage(QStringLiteral("No command given."));
    const QString first = positional.takeFirst();
    QStringList seconds;
    for (const TCliCommand& c : CliCommands())
        if (c.FName.startsWith(first + QLatin1Char(' ')))
            seconds << c.FName.section(QLatin1Char(' '), 1);
    QString name = first;
    if (!seconds.isEmpty()) {
        if (positional.isEmpty() || !seconds.contains(positional.first()))
            Usage(QStringLiteral("%1 wants %2.").arg(first, seconds.join(QStringLiteral(" or "))));
        name += QLatin1Char(' ') + positional.takeFirst();
    }
    const TCliCommand* command = FindCliCommand(name);
    if (!command)
        Usage(QStringLiteral("Unknown command %1.").arg(Quoted(name)));
    return *command;
}

void CheckArgumentCount(const TCliCommand& command, const TCliRequest& r) {
    int minArgs = command.FMinArgs;
    int maxArgs = command.FMaxArgs;
    if (command.FArgCount)
        command.FArgCount(r, minArgs, maxArgs);
    const qsizetype argc = r.FArgs.size();
    if (argc >= minArgs && (maxArgs < 0 || argc <= maxArgs))
        return;
    const QString count = maxArgs < 0 ? QStringLiteral("at least %1").arg(minArgs)
                          : minArgs == maxArgs
                              ? QString::number(minArgs)
                              : QStringLiteral("%1 to %2").arg(minArgs).arg(maxArgs);
    const bool one = (maxArgs < 0 || minArgs == maxArgs) && minArgs == 1;
    Usage(QStringLiteral("%1 takes %2 argument%3, not %4.")
              .arg(command.FName, count, one ? QString() : QStringLiteral("s"))
              .arg(argc));
}

} // namespace

const QList<TCliOption>& GlobalOptions() {
    static const QList<TCliOption> options = {
        {{QStringLiteral("port")},
         QStringLiteral("NAME[,NAME...]"),
         QStringLiteral("the printer's port; may be given several times. COMn,\n"
                        "a device path, a name under /dev, \"TCP/IP\" (the peer in\n"
                        "--config's [NETWORK] HOST and PORT) or \"TCP/IP HOST:PORT\"")},
        {{QStringLiteral("baud")},
         QStringLiteral("RATE"),
         QStringLiteral("the rate the printer listens at (default %1)").arg(DeliveredRate)},
        {{QStringLiteral("config")},
         QStringLiteral("FILE"),
         QStringLiteral("take page values, LOGO settings and the datagram peer from a\n"
                        "config.ini"),
         false,
         false,
         true},
        {{QStringLiteral("log")},
         QStringLiteral("FILE"),
         QStringLiteral("write the job's traffic log there; with several ports one file\n"
                        "each, the port's name added (FILE-ttyUSB0.log)"),
         false,
         true},
        {{QStringLiteral("files")},
         QStringLiteral("DIR"),
         QStringLiteral("the files folder: history.jsonl, the support bundle's files and\n"
                        "font.bin's fallback (default: the window's files folder)"),
         false,
         false,
         true},
        {{QStringLiteral("json")},
         QString(),
         QStringLiteral("print events as JSON Lines on stdout, one object each, and\n"
                        "nothing else there (see README)")},
        {{QStringLiteral("q"), QStringLiteral("quiet")},
         QString(),
         QStringLiteral("print only data and errors: no result lines, no progress")},
        {{QStringLiteral("v"), QStringLiteral("verbose")},
         QString(),
         QStringLiteral("also show each frame sent (command, offset or argument, bytes,\n"
                        "tries) and the download steps")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QString(), QStringLiteral("this text")},
        {{QStringLiteral("version")}, QString(), QStringLiteral("the program's version")},
    };
    return options;
}

TCliRequest ParseCommandLine(const QStringList& arguments, const TRecipeLine* line) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    // Every option of every command is known to the parser, so that one given to the wrong
    // command is pointed out rather than taken for an unknown one.
    QList<TCliOption> own;
    QSet<QString> seen;
    for (const TCliCommand& c : CliCommands())
        for (const TCliOption& o : c.FOptions)
            if (!seen.contains(o.Name())) {
                seen.insert(o.Name());
                own.append(o);
            }
    const QList<TCliOption>& commandOptions = own;
    QList<QCommandLineOption> all;
    for (const QList<TCliOption>* list : {&GlobalOptions(), &commandOptions})
        for (const TCliOption& o : *list)
            all.append(QCommandLineOption(o.FNames, QString(), o.FValueName));
    parser.addOptions(all);
    if (!parser.parse(ProtectNegativeNumbers(arguments, all)))
        Usage(EndSentence(parser.errorText()));

    TCliRequest r;
    if (line) {
        for (const QString& name : kRunOptions)
            if (parser.isSet(name))
                Usage(QStringLiteral("--%1 belongs to the run, not to a recipe line.")
                          .arg(name == QLatin1String("quiet")     ? QStringLiteral("quiet (-q)")
                               : name == QLatin1String("verbose") ? QStringLiteral("verbose (-v)")
                                                                  : name));
        r.FBaseFolder = line->FFolder;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        r.FCommand = QStringLiteral("help");
        return r;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        r.FCommand = QStringLiteral("version");
        r.FJson = parser.isSet(QStringLiteral("json"));
        return r;
    }

    QStringList positional = RestoreNegativeNumbers(parser.positionalArguments());
    const TCliCommand& command = TakeCommand(positional);
    r.FCommand = command.FName;
    r.FArgs = positional;
    if (line && !command.FPrepare)
        Usage(QStringLiteral("%1 cannot be a recipe's step: only commands that run on a printer "
                             "can.")
                  .arg(command.FName));
    if (command.FFileArgs)
        for (QString& a : r.FArgs)
            a = r.FilePath(a);

    // Options of other commands, or printer options for a command without a printer, are
    // mistakes worth pointing out rather than ignoring.
    for (const TCliOption& o : own) {
        if (!parser.isSet(o.Name()))
            continue;
        bool mine = false;
        for (const TCliOption& c : command.FOptions)
            mine = mine || c.Name() == o.Name();
        if (!mine)
            Usage(QStringLiteral("--%1 is not an option of %2.").arg(o.Name(), command.FName));
        const QString value = parser.value(o.Name());
        r.FOptions.insert(o.Name(), o.IsPath() && !value.isEmpty() ? r.FilePath(value) : value);
    }
    if (command.FPorts == TPortUse::None || command.FPorts == TPortUse::Filter)
        for (const QString& name : kPrinterOptions)
            if (parser.isSet(name) &&
                !(command.FPorts == TPortUse::Filter && name == QLatin1String("port")))
                Usage(QStringLiteral("%1 talks to no printer: --%2 does not apply.")
                          .arg(command.FName, name));

    CheckArgumentCount(command, r);

    if (line) {
        const TCliRequest& run = *line->FRun;
        r.FQuiet = run.FQuiet;
        r.FVerbose = run.FVerbose;
        r.FJson = run.FJson;
        r.FFilesFolder = run.FFilesFolder;
        r.FStation = run.FStation;
        r.FPorts = run.FPorts;
        r.FBaudRate = run.FBaudRate;
        r.FLogPath = run.FLogPath;
    } else {
        r.FQuiet = parser.isSet(QStringLiteral("quiet"));
        r.FVerbose = parser.isSet(QStringLiteral("verbose"));
        r.FJson = parser.isSet(QStringLiteral("json"));
        if (r.FQuiet && r.FVerbose)
            Usage(QStringLiteral("-q and -v exclude each other."));
        r.FPorts = SplitPorts(parser.values(QStringLiteral("port")));
        if (command.FPorts == TPortUse::Needed && r.FPorts.isEmpty())
            Usage(QStringLiteral("%1 needs --port.").arg(command.FName));
        if (parser.isSet(QStringLiteral("files"))) {
            r.FFilesFolder = parser.value(QStringLiteral("files"));
            if (!QFileInfo(r.FFilesFolder).isDir())
                throw ECliError(exitFile, QStringLiteral("--files %1: there is no such folder.")
                                              .arg(Quoted(r.FFilesFolder)));
        }
    }
    if (parser.isSet(QStringLiteral("baud")))
        r.FBaudRate =
            PositiveRate(QStringLiteral("--baud"), TrimCtl(parser.value(QStringLiteral("baud"))));
    if (parser.isSet(QStringLiteral("log")))
        r.FLogPath = r.FilePath(parser.value(QStringLiteral("log")));
    for (const TCliOption& o : command.FOptions)
        if (o.FRequired && r.Option(o.Name()).isEmpty())
            Usage(QStringLiteral("%1 needs %2.").arg(command.FName, o.Spelling()));
    for (const QList<TCliOption>* list : {&GlobalOptions(), &command.FOptions})
        for (const TCliOption& o : *list)
            if (o.FFileName && parser.isSet(o.Name()) && parser.value(o.Name()).isEmpty())
                Usage(QStringLiteral("--%1 wants a file name.").arg(o.Name()));

    std::optional<TIniFile> config;
    if (parser.isSet(QStringLiteral("config")))
        r.FConfigPath = r.FilePath(parser.value(QStringLiteral("config")));
    else if (line)
        r.FConfigPath = line->FRun->FConfigPath;
    if (!r.FConfigPath.isEmpty())
        config = ReadConfig(r);
    if (command.FTakeOptions)
        command.FTakeOptions(r, config ? &*config : nullptr);
    return r;
}

QString TCliRequest::FilePath(const QString& name) const {
    if (FBaseFolder.isEmpty() || name.isEmpty() || QDir::isAbsolutePath(name))
        return name;
    return QDir::cleanPath(QDir(FBaseFolder).filePath(name));
}

int32_t NumberArgument(const QString& text) {
    if (const auto value = TryTextToInt(text))
        return *value;
    Usage(EConvertError(Shortened(text)).Message());
}

int32_t PositiveRate(const QString& name, const QString& text) {
    const TRateValue rate = ConvertRate(text);
    if (rate.FProblem == TRateProblem::NotNumber)
        Usage(EConvertError(Shortened(text)).Message());
    if (rate.FProblem == TRateProblem::NotPositive)
        Usage(QStringLiteral("%1 %2: the rate must be a positive number.").arg(name, Quoted(text)));
    return rate.FValue;
}
