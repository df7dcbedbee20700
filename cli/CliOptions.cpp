#include "CliOptions.h"

#include "CodePageList.h"
#include "ExitStatus.h"
#include "FileError.h"
#include "IniFile.h"
#include "PortName.h"
#include "TextToInt.h"
#include "ToolSettings.h"
#include "UniUart.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <optional>

namespace {

// The window's drop-downs: rates, and the number of entries of the fixed lists.
const QList<int32_t> kWindowRates = {9600, 19200, 38400, 57600, 115200};
constexpr int kDensities = 3;
constexpr int kFonts = 4;
constexpr int kLineEnds = 2;
// The PARA page's edits take up to four digits.
constexpr int32_t kMaxEditValue = 9999;

[[noreturn]] void Usage(const QString& text) {
    throw ECliError(exitUsage, text);
}

int32_t Convert(const QString& text) {
    if (const auto value = TryTextToInt(text))
        return *value;
    Usage(EConvertError(Shortened(text)).Message());
}

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
                takingValues.insert(
                    (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
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

struct TCommandInfo {
    QString FName;
    int FMinArgs;
    int FMaxArgs; // -1: any number
    bool FPort;   // talks to printers
    QStringList FOptions;
};

const QStringList kParamOptions = {
    QStringLiteral("rate"), QStringLiteral("codepage"), QStringLiteral("density"),
    QStringLiteral("font"), QStringLiteral("linefeed"), QStringLiteral("idle"),
    QStringLiteral("off"),  QStringLiteral("max-feed"), QStringLiteral("page-length")};

const QList<TCommandInfo>& Commands() {
    static const QList<TCommandInfo> commands = {
        {QStringLiteral("list-ports"), 0, 0, false, {}},
        {QStringLiteral("query"), 0, 0, true, {}},
        {QStringLiteral("find"), 0, 0, true, {}},
        {QStringLiteral("set-params"), 0, 0, true, kParamOptions},
        {QStringLiteral("set-bluetooth"), 2, 2, true, {}},
        {QStringLiteral("set-ircomm"), 1, 1, true, {}},
        {QStringLiteral("set-factory"),
         1,
         2,
         true,
         {QStringLiteral("serial-file"), QStringLiteral("record")}},
        {QStringLiteral("program"), 1, 1, true, {}},
        {QStringLiteral("font"), 0, 1, true, {}},
        {QStringLiteral("logo build"), 1, -1, false, {QStringLiteral("output")}},
        {QStringLiteral("logo download"), 1, -1, true, {}},
    };
    return commands;
}

// Config values the window would show as they are; anything else it shows as its first item
// (rates) or as nothing selected (positions).
TParameterValues ParamsFromSettings(const TToolSettings& s, qsizetype codePages,
                                    const QString& configPath) {
    auto position = [](int32_t value, qsizetype count) {
        return value >= 0 && value < count ? int(value) : -1;
    };
    TParameterValues v;
    v.FBaudRate = kWindowRates.contains(s.FParaBaudRate) ? s.FParaBaudRate : kWindowRates.first();
    v.FCodePage = position(s.FCodePage, codePages);
    v.FDensity = position(s.FDensity, kDensities);
    v.FFont = position(s.FFont, kFonts);
    v.FLineFeed = position(s.FLineFeed, kLineEnds);
    const struct {
        const char* FKey;
        int32_t FValue;
        int32_t* FTarget;
    } edits[] = {{"IDLE TIME", s.FIdle, &v.FIdle},
                 {"OFF TIME", s.FOff, &v.FOff},
                 {"MAX FEED", s.FMaxFeed, &v.FMaxFeed},
                 {"PAGE LENGTH", s.FPage, &v.FPage}};
    for (const auto& e : edits) {
        if (e.FValue < 0 || e.FValue > kMaxEditValue)
            throw ECliError(exitFile,
                            QStringLiteral("[PARA] %1=%2 in %3 is outside 0 to %4; correct it or "
                                           "give the value as an option.")
                                .arg(QLatin1String(e.FKey))
                                .arg(e.FValue)
                                .arg(QDir::toNativeSeparators(configPath))
                                .arg(kMaxEditValue));
        *e.FTarget = e.FValue;
    }
    return v;
}

// The code-page list that positions index: the window reads "codepage.ini" from the folder
// that holds its "config.ini".
QStringList CodePages(const QString& configPath) {
    QStringList pages = BuiltInCodePages();
    if (configPath.isEmpty())
        return pages;
    const QString path =
        QFileInfo(configPath).absoluteDir().filePath(QStringLiteral("codepage.ini"));
    QString error;
    if (QFileInfo::exists(path) && !LoadCodePageList(path, pages, &error))
        throw ECliError(exitFile, error);
    return pages;
}

void ReadConfig(TCliRequest& r) {
    const QString& path = r.FConfigPath;
    if (const QString why = NotRegularFile(path); !why.isEmpty())
        throw ECliError(exitFile, FileErrorText("open", path, why));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ECliError(exitFile, FileErrorText("open", path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ECliError(exitFile, FileErrorText("read", path, file.errorString()));
    TIniFile ini;
    ini.LoadFromBytes(bytes);
    // Defaults read from a file that is not one would pass for the settings it was meant to be.
    if (bytes.contains('\0') || ini.SectionNames().isEmpty())
        throw ECliError(exitFile, QStringLiteral("\"%1\" is not a settings file: %2.")
                                      .arg(QDir::toNativeSeparators(path),
                                           bytes.contains('\0')
                                               ? QStringLiteral("it holds NUL bytes")
                                               : QStringLiteral("it has no section at all")));
    if (r.FCommand == QLatin1String("set-params") && !ini.SectionHasKeys(secPara))
        throw ECliError(exitFile,
                        QStringLiteral("\"%1\" has no [PARA] section for set-params to take its "
                                       "values from.")
                            .arg(QDir::toNativeSeparators(path)));
    r.FSettings = ReadToolSettings(ini);
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

} // namespace

const QList<int32_t>& FindRates() {
    static const QList<int32_t> rates = {9600, 115200, 19200, 38400, 57600};
    return rates;
}

QString Shortened(const QString& text) {
    constexpr qsizetype kLongest = 40;
    return text.size() <= kLongest ? text : text.left(32) + QStringLiteral("...");
}

QString Quoted(const QString& text) {
    const QString quoted = QLatin1Char('"') + Shortened(text) + QLatin1Char('"');
    return Shortened(text) == text
               ? quoted
               : QStringLiteral("%1 (%2 characters)").arg(quoted).arg(text.size());
}

QString NotRegularFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("No such file.");
    if (info.isDir())
        return QStringLiteral("It is a folder, not a file.");
    if (!info.isFile())
        return QStringLiteral("It is not a regular file.");
    return {};
}

QString PortFileTag(const QString& port) {
    QString tag = port;
    if (tag.startsWith(QLatin1String("/dev/")))
        tag = tag.mid(5);
    tag.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    while (tag.startsWith(QLatin1Char('_')))
        tag.remove(0, 1);
    return tag;
}

QString HelpText() {
    return QStringLiteral(
        R"(Usage: nuvctl [OPTIONS] COMMAND [ARGUMENTS]

Command-line companion of the NUV service tool for production lines: runs one job on one
printer, or on several printers at once (one --port each, or a comma list).

Commands:
  list-ports                 serial ports present: device, description, USB vendor:product
                             id, and whether you may open it
  query                      open the port, identify the printer, print the identification
  find                       on every serial port present (or each --port), try the
                             identification at 9600, 115200, 19200, 38400 and 57600 bit/s
                             and print where a printer answers and at which rate. A printer
                             that listens at another rate may print a few stray characters.
  set-params                 write the operating parameters (options below)
  set-bluetooth NAME PIN     write the Bluetooth device name and PIN
  set-ircomm RATE            write the IrCOMM rate
  set-factory MODEL SERIAL   write the model name and serial number (on one port)
  set-factory MODEL --serial-file FILE
                             take the serial number from a counter file: the next number
                             as decimal text. Each number is reserved before its printer
                             is sent anything (the counter moved on, FILE.journal told);
                             it is given back only when the printer was sent nothing, and
                             never goes to two printers. FILE.lock beside it keeps parallel
                             runs apart. With several ports the printers are numbered one
                             after another.
  program FIRMWARE           check a firmware image, then program it
  font [FILE]                download the font file (default: font.bin here, else the
                             one in the tool's files folder)
  logo build PICTURE... -o FILE
                             convert Windows bitmaps into the printer's logo image (no
                             printer): prints the space line and each picture's size
  logo download PICTURE...   convert the pictures and download the logo image

Global options:
  --port NAME[,NAME...]      the printer's port; may be given several times. COMn,
                             a device path, a name under /dev, "TCP/IP" (the peer in
                             --config's [NETWORK] HOST and PORT) or "TCP/IP HOST:PORT"
  --baud RATE                the rate the printer listens at (default 9600)
  --config FILE              take page values, LOGO settings and the datagram peer from a
                             config.ini
  --log FILE                 write the job's traffic log there; with several ports one file
                             each, the port's name added (FILE-ttyUSB0.log)
  -q, --quiet                print only data and errors: no result lines, no progress
  -v, --verbose              also show each frame sent (command, offset or argument, bytes,
                             tries) and the download steps
  -h, --help                 this text
  --version                  the program's version

set-params options (the window's defaults; --config values replace them, options replace
both):
  --rate RATE                the printer's serial rate (9600)
  --codepage POSITION        position in the code-page list, 0 and 1 are codes 254 and 255,
                             n >= 2 is code n-2 (1)
  --density N                0 LOW, 1 NORMAL, 2 DARK (1)
  --font N                   0 A 12x24, 1 B 9x24, 2 C 9x17, 3 D 8x16 (0)
  --linefeed N               0 LF, 1 CR (0)
  --idle SECONDS             idle time, 0 to 9999 (50)
  --off SECONDS              power-off time, 0 to 9999 (0)
  --max-feed MM              maximum paper feed, 0 to 9999 (200)
  --page-length MM           page length, 0 to 9999 (200)

set-factory options:
  --serial-file FILE         the serial number counter (see above)
  --record FILE              append one CSV line per printer: time, port, identification,
                             model, serial, result

logo build options:
  -o, --output FILE          where to write the logo image

Numbers are decimal, or hexadecimal after "$" ($2580).

Output: one result line per port, fields separated by tabs: port, identification, result,
time (find: port, identification, rate, result, time); with several ports a summary line.
On a terminal, transfers show a progress bar on stderr.

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
}

TCliRequest ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption optPort(QStringLiteral("port"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption optBaud(QStringLiteral("baud"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption optConfig(QStringLiteral("config"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption optLog(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption optQuiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption optVerbose(
        QStringList{QStringLiteral("v"), QStringLiteral("verbose")});
    const QCommandLineOption optHelp(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption optVersion(QStringLiteral("version"));
    const QCommandLineOption optOutput(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                       QString(), QStringLiteral("FILE"));
    const QCommandLineOption optSerialFile(QStringLiteral("serial-file"), QString(),
                                           QStringLiteral("FILE"));
    const QCommandLineOption optRecord(QStringLiteral("record"), QString(), QStringLiteral("FILE"));
    QList<QCommandLineOption> paramOptions;
    for (const QString& name : kParamOptions)
        paramOptions.append(QCommandLineOption(name, QString(), QStringLiteral("VALUE")));

    QList<QCommandLineOption> allOptions = {optPort,   optBaud,       optConfig, optLog,
                                            optQuiet,  optVerbose,    optHelp,   optVersion,
                                            optOutput, optSerialFile, optRecord};
    allOptions += paramOptions;
    parser.addOptions(allOptions);
    if (!parser.parse(ProtectNegativeNumbers(arguments, allOptions)))
        Usage(EndSentence(parser.errorText()));

    TCliRequest r;
    if (parser.isSet(optHelp)) {
        r.FCommand = QStringLiteral("help");
        return r;
    }
    if (parser.isSet(optVersion)) {
        r.FCommand = QStringLiteral("version");
        return r;
    }

    QStringList positional = RestoreNegativeNumbers(parser.positionalArguments());
    if (positional.isEmpty())
        Usage(QStringLiteral("No command given."));
    QString command = positional.takeFirst();
    if (command == QLatin1String("logo")) {
        if (positional.isEmpty() || (positional.first() != QLatin1String("build") &&
                                     positional.first() != QLatin1String("download")))
            Usage(QStringLiteral("logo wants build or download."));
        command += QLatin1Char(' ') + positional.takeFirst();
    }
    const TCommandInfo* info = nullptr;
    for (const TCommandInfo& c : Commands())
        if (c.FName == command)
            info = &c;
    if (!info)
        Usage(QStringLiteral("Unknown command %1.").arg(Quoted(command)));
    r.FCommand = command;
    r.FArgs = positional;

    // Options of other commands, or printer options for a command without a printer, are
    // mistakes worth pointing out rather than ignoring.
    QList<QPair<const QCommandLineOption*, QString>> specific = {
        {&optOutput, QStringLiteral("output")},
        {&optSerialFile, QStringLiteral("serial-file")},
        {&optRecord, QStringLiteral("record")}};
    for (qsizetype i = 0; i < paramOptions.size(); ++i)
        specific.append({&paramOptions[i], kParamOptions[i]});
    for (const auto& [option, name] : specific)
        if (parser.isSet(*option) && !info->FOptions.contains(name))
            Usage(QStringLiteral("--%1 is not an option of %2.").arg(name, command));
    if (!info->FPort) {
        for (const QCommandLineOption* option : {&optPort, &optBaud, &optLog})
            if (parser.isSet(*option))
                Usage(QStringLiteral("%1 talks to no printer: --%2 does not apply.")
                          .arg(command, option->names().constFirst()));
    }

    const qsizetype argc = r.FArgs.size();
    int minArgs = info->FMinArgs;
    int maxArgs = info->FMaxArgs;
    if (command == QLatin1String("set-factory")) {
        if (parser.isSet(optSerialFile) && argc == 2)
            Usage(QStringLiteral("With --serial-file, set-factory takes MODEL only: the serial "
                                 "number comes from the file."));
        if (!parser.isSet(optSerialFile))
            minArgs = 2;
        else
            maxArgs = 1;
    }
    if (argc < minArgs || (maxArgs >= 0 && argc > maxArgs)) {
        const QString count = maxArgs < 0 ? QStringLiteral("at least %1").arg(minArgs)
                              : minArgs == maxArgs
                                  ? QString::number(minArgs)
                                  : QStringLiteral("%1 to %2").arg(minArgs).arg(maxArgs);
        const bool one = (maxArgs < 0 || minArgs == maxArgs) && minArgs == 1;
        Usage(QStringLiteral("%1 takes %2 argument%3, not %4.")
                  .arg(command, count, one ? QString() : QStringLiteral("s"))
                  .arg(argc));
    }

    r.FQuiet = parser.isSet(optQuiet);
    r.FVerbose = parser.isSet(optVerbose);
    if (r.FQuiet && r.FVerbose)
        Usage(QStringLiteral("-q and -v exclude each other."));
    r.FPorts = SplitPorts(parser.values(optPort));
    if (info->FPort && r.FPorts.isEmpty() && command != QLatin1String("find"))
        Usage(QStringLiteral("%1 needs --port.").arg(command));
    if (parser.isSet(optBaud))
        r.FBaudRate = PositiveRate(QStringLiteral("--baud"), TrimCtl(parser.value(optBaud)));
    r.FLogPath = parser.value(optLog);
    r.FSerialFile = parser.value(optSerialFile);
    r.FRecordFile = parser.value(optRecord);
    r.FOutput = parser.value(optOutput);
    if (command == QLatin1String("logo build") && r.FOutput.isEmpty())
        Usage(QStringLiteral("logo build needs -o FILE."));
    for (const auto* option : {&optLog, &optSerialFile, &optRecord, &optOutput})
        if (parser.isSet(*option) && parser.value(*option).isEmpty())
            Usage(QStringLiteral("--%1 wants a file name.").arg(option->names().constLast()));

    if (parser.isSet(optConfig)) {
        r.FConfigPath = parser.value(optConfig);
        ReadConfig(r);
    }

    if (command == QLatin1String("set-params")) {
        const QStringList pages = CodePages(r.FConfigPath);
        r.FParams = ParamsFromSettings(r.FSettings, pages.size(), r.FConfigPath);
        auto value = [&](const QString& name) -> std::optional<QString> {
            const QCommandLineOption& o = paramOptions[kParamOptions.indexOf(name)];
            if (!parser.isSet(o))
                return std::nullopt;
            return parser.value(o);
        };
        // The rate converts as typed, the edits trimmed, as on the PARA page.
        if (const auto text = value(QStringLiteral("rate")))
            r.FParams.FBaudRate = PositiveRate(QStringLiteral("--rate"), *text);
        const struct {
            const char* FName;
            int32_t FLimit;
            int* FTarget;
        } positions[] = {{"codepage", int32_t(pages.size()) - 1, &r.FParams.FCodePage},
                         {"density", kDensities - 1, &r.FParams.FDensity},
                         {"font", kFonts - 1, &r.FParams.FFont},
                         {"linefeed", kLineEnds - 1, &r.FParams.FLineFeed}};
        for (const auto& p : positions) {
            const QString name = QLatin1String(p.FName);
            if (const auto text = value(name)) {
                const int32_t v = Convert(TrimCtl(*text));
                if (v < 0 || v > p.FLimit)
                    Usage(QStringLiteral("--%1 %2: the list has positions 0 to %3.")
                              .arg(name, Quoted(*text))
                              .arg(p.FLimit));
                *p.FTarget = v;
            }
        }
        const struct {
            const char* FName;
            int32_t* FTarget;
        } edits[] = {{"idle", &r.FParams.FIdle},
                     {"off", &r.FParams.FOff},
                     {"max-feed", &r.FParams.FMaxFeed},
                     {"page-length", &r.FParams.FPage}};
        for (const auto& e : edits) {
            const QString name = QLatin1String(e.FName);
            if (const auto text = value(name)) {
                const int32_t v = Convert(TrimCtl(*text));
                if (v < 0 || v > kMaxEditValue)
                    Usage(QStringLiteral("--%1 %2: the value must be 0 to %3.")
                              .arg(name, Quoted(*text))
                              .arg(kMaxEditValue));
                *e.FTarget = v;
            }
        }
    }
    return r;
}

int32_t PositiveRate(const QString& name, const QString& text) {
    const int32_t rate = Convert(text);
    if (rate <= 0)
        Usage(QStringLiteral("%1 %2: the rate must be a positive number.").arg(name, Quoted(text)));
    return rate;
}
