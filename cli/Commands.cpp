// The commands of nuvctl: each packs its job the way the window's page does, runs it on every
// port at once and reports per port.

#include "Commands.h"

#include "AppFolder.h"

#include "CliOptions.h"
#include "CommandBlocks.h"
#include "ExitStatus.h"
#include "FailureText.h"
#include "FileError.h"
#include "FirmwareImage.h"
#include "LogoImage.h"
#include "PortJobs.h"
#include "PortList.h"
#include "PortName.h"
#include "Preflight.h"
#include "SerialCounter.h"
#include "StopSignals.h"
#include "TextToInt.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

namespace {

// How long a run waits for another run's hold on the serial counter.
constexpr int kLockTimeoutMs = 60000;

void Out(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void Err(const QString& text) {
    for (const QString& line : text.split(QLatin1Char('\n')))
        std::fprintf(stderr, "nuvctl: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString IdText(const QByteArray& id) {
    return id.isEmpty() ? QStringLiteral("-") : IdentificationText(id);
}

QString Seconds(double s) {
    return QString::asprintf("%.2f s", s);
}

QString ResultText(int status) {
    return status == exitOk ? StatusWord(status)
                            : QStringLiteral("%1 (exit %2)").arg(StatusWord(status)).arg(status);
}

QString Hex(const uint8_t* data, int32_t length) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(data), length).toHex(' ').toUpper());
}

// Texts go to the printer byte for byte in a single-byte character set.
QByteArray SingleByte(const QString& what, const QString& text) {
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            throw ECliError(exitUsage, QStringLiteral("%1 \"%2\" holds characters outside "
                                                      "Latin-1, which the printer cannot take.")
                                           .arg(what, text));
    return text.toLatin1();
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    if (const QString why = NotRegularFile(path); !why.isEmpty())
        throw ECliError(exitFile, FileErrorText("open", path, why));
    if (!file.open(QIODevice::ReadOnly))
        throw ECliError(exitFile, FileErrorText("open", path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ECliError(exitFile, FileErrorText("read", path, file.errorString()));
    return bytes;
}

// Result lines (unless quiet and not data), one sentence per failure on stderr, and with
// several ports a summary. Returns the status of the first port that failed.
int Report(const TCliRequest& r, TJobSet& set, bool data = false) {
    int first = exitOk;
    int ok = 0;
    const auto& runners = set.Runners();
    for (const auto& pr : runners) {
        const bool success = pr->FStarted && pr->FStatus == exitOk;
        QString result = pr->FStarted ? ResultText(pr->FStatus) : QStringLiteral("not started");
        if (!pr->FNote.isEmpty())
            result += QStringLiteral(", ") + pr->FNote;
        if (data || !r.FQuiet)
            Out(QStringLiteral("%1\t%2\t%3\t%4")
                    .arg(pr->FPort, IdText(pr->FDeviceId), result, Seconds(pr->FSeconds)));
        if (success)
            ++ok;
        else if (first == exitOk)
            first = pr->FStatus != exitOk ? pr->FStatus : exitInternal;
    }
    for (const auto& pr : runners)
        if (pr->FStarted && pr->FStatus != exitOk)
            set.PortNote(*pr, pr->FMessage.isEmpty() ? StatusWord(pr->FStatus) : pr->FMessage);
    if (runners.size() > 1 && !r.FQuiet)
        Out(QStringLiteral("%1 of %2 printers OK, %3 failed%4; %5")
                .arg(ok)
                .arg(runners.size())
                .arg(qsizetype(runners.size()) - ok)
                .arg(first == exitOk ? QString() : QStringLiteral(" (exit %1)").arg(first))
                .arg(Seconds(set.Seconds())));
    return first;
}

// The same job on every port at once. fill sets the worker's inputs; bytes is the transfer's
// size per port (0: no transfer, no progress bar).
int RunOnAllPorts(const TCliRequest& r, uint8_t job, const std::function<void(TCommThread&)>& fill,
                  int64_t bytes = 0, bool data = false) {
    TJobSet set(r, r.FPorts, bytes > 0);
    for (const auto& pr : set.Runners()) {
        fill(pr->Worker());
        pr->FTotal = bytes;
        if (!pr->Start(job))
            break;
    }
    set.Wait();
    return Report(r, set, data);
}

int RunCommand(const TCliRequest& r, uint16_t code, const uint8_t* block, int32_t length) {
    if (r.FVerbose)
        Err(QStringLiteral("command 0x%1, %2 bytes: %3")
                .arg(code, 2, 16, QLatin1Char('0'))
                .arg(length)
                .arg(Hex(block, length)));
    return RunOnAllPorts(r, jobCommand, [&](TCommThread& w) {
        std::memcpy(w.FCmdData, block, size_t(length));
        w.FCmdLength = length;
        w.FCmdCode = code;
        w.FCmdArg = 0;
    });
}

// One download entry as the window's pages build it.
int RunDownload(const TCliRequest& r, const QString& file, const QString& label,
                const QString& command, const QString& base, int64_t bytes) {
    return RunOnAllPorts(
        r, jobDownload,
        [&](TCommThread& w) {
            w.FFileNames = QStringList{file};
            w.FFileLabels = QStringList{label};
            w.FFileCommands = QStringList{command};
            w.FFileBases = QStringList{base};
        },
        bytes);
}

int ListPorts(const TCliRequest& r) {
    const QList<TPortInfo> ports = AvailablePorts();
    if (ports.isEmpty() && !r.FQuiet)
        Err(QStringLiteral("no serial port is present."));
    for (const TPortInfo& p : ports) {
        QString why;
        const bool may = MayOpenPort(p.FDevice, &why);
        const QString ids = p.FVendorId && p.FProductId
                                ? QStringLiteral("%1:%2")
                                      .arg(*p.FVendorId, 4, 16, QLatin1Char('0'))
                                      .arg(*p.FProductId, 4, 16, QLatin1Char('0'))
                                : QStringLiteral("-");
        Out(QStringLiteral("%1\t%2\t%3\t%4")
                .arg(p.FDevice, p.FDescription.isEmpty() ? QStringLiteral("-") : p.FDescription,
                     ids, may ? QStringLiteral("may open") : QStringLiteral("no access: ") + why));
    }
    return exitOk;
}

int Find(const TCliRequest& r) {
    const bool scan = r.FPorts.isEmpty();
    QStringList ports = r.FPorts;
    QStringList refused;
    if (scan) {
        for (const TPortInfo& p : AvailablePorts()) {
            QString why;
            if (MayOpenPort(p.FDevice, &why))
                ports.append(p.FDevice);
            else
                refused.append(QStringLiteral("%1\t-\t-\tno access: %2\t-").arg(p.FDevice, why));
        }
        if (ports.isEmpty() && refused.isEmpty())
            throw ECliError(exitOpen, QStringLiteral("No serial port is present: plug in the "
                                                     "printer's adapter, or name one with "
                                                     "--port."));
    }
    TJobSet set(r, ports, false);
    const auto& runners = set.Runners();
    std::vector<int> tried(runners.size(), 0);
    std::vector<int32_t> found(runners.size(), 0);
    auto ratesOf = [&](size_t i) {
        // A datagram link has no rate to look for.
        return IsDatagramPortName(runners[i]->FPort) ? QList<int32_t>{r.FBaudRate} : FindRates();
    };
    std::function<void(size_t)> tryNext = [&](size_t i) {
        TPortRunner& pr = *runners[i];
        const int32_t rate = ratesOf(i).at(tried[i]);
        if (StopSignal() != 0) {
            pr.FStatus = StopStatus();
            pr.FMessage = QStringLiteral("Stopped before %1 bit/s was tried.").arg(rate);
            return;
        }
        pr.SetRate(rate);
        if (r.FVerbose)
            set.Note(QStringLiteral("%1: trying %2 bit/s").arg(pr.FPort).arg(rate));
        pr.Start(jobQuery, [&, i, rate](TPortRunner& done) {
            if (done.FStatus == exitNoReply && ++tried[i] < ratesOf(i).size())
                tryNext(i);
            else if (done.FStatus == exitOk || done.FStatus == exitWrongDevice)
                found[i] = rate;
        });
    };
    for (size_t i = 0; i < runners.size(); ++i)
        tryNext(i);
    set.Wait();

    int first = exitOk;
    int printers = 0;
    int opened = 0;
    for (size_t i = 0; i < runners.size(); ++i) {
        TPortRunner& pr = *runners[i];
        const bool datagram = IsDatagramPortName(pr.FPort);
        QString result = QStringLiteral("printer found");
        if (pr.FStatus == exitWrongDevice)
            result = QStringLiteral("not a printer of this series (exit 6)");
        else if (pr.FStatus == exitNoReply)
            result = QStringLiteral("no printer answered (exit 5)");
        else if (pr.FStatus != exitOk)
            result = ResultText(pr.FStatus);
        if (pr.FStatus == exitNoReply && !datagram)
            pr.FMessage = QStringLiteral("No printer answered on %1 at 9600, 115200, 19200, "
                                         "38400 or 57600 bit/s. Check the cable and the "
                                         "printer's power.")
                              .arg(pr.FPort);
        if (pr.FStatus == exitOk)
            ++printers;
        if (pr.FStatus != exitOpen)
            ++opened;
        if (pr.FStatus != exitOk && first == exitOk)
            first = pr.FStatus;
        if (pr.FStatus == exitOk || !r.FQuiet)
            Out(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                    .arg(pr.FPort, IdText(pr.FDeviceId),
                         found[i] == 0 || datagram ? QStringLiteral("-")
                                                   : QString::number(found[i]),
                         result, Seconds(pr.FSeconds)));
        // Scanning, ports without a printer are what is expected; only -v explains them.
        if (pr.FStatus != exitOk && (!scan || r.FVerbose))
            set.PortNote(pr, pr.FMessage);
    }
    if (!r.FQuiet)
        for (const QString& line : refused)
            Out(line);
    if (!scan)
        return first;
    if (printers > 0)
        return exitOk;
    Err(QStringLiteral("No printer answered on any serial port (%1 present).")
            .arg(ports.size() + refused.size()));
    return opened > 0 ? exitNoReply : exitOpen;
}

int SetParams(const TCliRequest& r) {
    uint8_t block[ParameterBlockLength];
    PackParameterBlock(block, r.FParams);
    return RunCommand(r, cmdSetParameters, block, ParameterBlockLength);
}

int SetBluetooth(const TCliRequest& r) {
    const QByteArray name = SingleByte(QStringLiteral("NAME"), r.FArgs.at(0));
    const QByteArray pin = SingleByte(QStringLiteral("PIN"), r.FArgs.at(1));
    uint8_t block[MaxCommandData];
    const int32_t length = PackTextPair(block, MaxCommandData, name, pin, true);
    if (length < 0)
        throw ECliError(exitUsage, QStringLiteral("NAME and PIN are too long: together they "
                                                  "take %1 bytes, the printer accepts at most "
                                                  "%2.")
                                       .arg(name.size() + pin.size() + 2)
                                       .arg(MaxCommandData));
    return RunCommand(r, cmdSetBluetooth, block, length);
}

int SetIrComm(const TCliRequest& r) {
    const int32_t rate = PositiveRate(QStringLiteral("RATE"), r.FArgs.at(0));
    uint8_t block[IrRateBlockLength];
    PutBigEndian32(block, static_cast<uint32_t>(rate));
    return RunCommand(r, cmdSetIrRate, block, IrRateBlockLength);
}

// A file error after the printer's outcome: the printer's own failure stays the result.
void FileTrouble(TJobSet& set, TPortRunner& pr, const ECliError& e) {
    if (pr.FStatus == exitOk) {
        pr.FStatus = e.FStatus;
        pr.FMessage = e.Message();
    } else {
        set.PortNote(pr, e.Message());
    }
}

// The record's line for a factory job; the serial is left out when the printer did not get it.
void AppendRecord(const TCliRequest& r, TJobSet& set, TPortRunner& pr, const QString& model,
                  const QString& serial, bool sentNotConfirmed) {
    if (r.FRecordFile.isEmpty())
        return;
    const bool took = pr.FStatus == exitOk || sentNotConfirmed;
    try {
        AppendCsvRecord(
            r.FRecordFile,
            {QStringLiteral("time"), QStringLiteral("port"), QStringLiteral("identification"),
             QStringLiteral("model"), QStringLiteral("serial"), QStringLiteral("result")},
            {JournalTime(), pr.FPort, pr.FDeviceId.isEmpty() ? QString() : IdText(pr.FDeviceId),
             model, took ? serial : QString(),
             sentNotConfirmed ? journal::SentNotConfirmed : ResultText(pr.FStatus)},
            kLockTimeoutMs);
    } catch (const ECliError& e) {
        FileTrouble(set, pr, e);
    }
}

// A factory block that went out unanswered: the printer may hold the number.
bool SentNotConfirmed(TPortRunner& pr, const QString& serial) {
    if (pr.FStatus == exitOk || !pr.FCommandSent)
        return false;
    pr.FNote = QStringLiteral("serial %1 %2").arg(serial, journal::SentNotConfirmed);
    pr.FMessage += QStringLiteral(" Serial %1 may be in that printer: check it before giving "
                                  "%1 to another printer by hand.")
                       .arg(serial);
    return true;
}

QByteArray FactoryModel(const TCliRequest& r, qsizetype serialLength) {
    const QByteArray model = SingleByte(QStringLiteral("MODEL"), TrimCtl(r.FArgs.at(0)));
    if (model.size() + 1 + serialLength > MaxCommandData)
        throw ECliError(exitUsage, QStringLiteral("MODEL and SERIAL are too long: together they "
                                                  "take %1 bytes, the printer accepts at most "
                                                  "%2.")
                                       .arg(model.size() + 1 + serialLength)
                                       .arg(MaxCommandData));
    return model;
}

int SetFactory(const TCliRequest& r) {
    const QByteArray serial = SingleByte(QStringLiteral("SERIAL"), TrimCtl(r.FArgs.at(1)));
    const QByteArray model = FactoryModel(r, serial.size());
    uint8_t block[MaxCommandData];
    const int32_t length = PackTextPair(block, MaxCommandData, model, serial, false);
    if (r.FVerbose)
        Err(QStringLiteral("command 0x64, %1 bytes: %2").arg(length).arg(Hex(block, length)));
    TJobSet set(r, r.FPorts, false);
    for (const auto& pr : set.Runners()) {
        TCommThread& w = pr->Worker();
        std::memcpy(w.FCmdData, block, size_t(length));
        w.FCmdLength = length;
        w.FCmdCode = cmdSetFactoryInfo;
        w.FCmdArg = 0;
        pr->Start(jobCommand, [&](TPortRunner& done) {
            const QString text = QString::fromLatin1(serial);
            AppendRecord(r, set, done, QString::fromLatin1(model), text,
                         SentNotConfirmed(done, text));
        });
    }
    set.Wait();
    return Report(r, set);
}

// Printers are numbered one after another. Each number is reserved (journalled, the counter
// moved on) before its printer is sent anything, and stays locked until the printer's outcome:
// used, given back when nothing was sent, or spent when the printer may hold it.
int SetFactoryFromCounter(const TCliRequest& r) {
    const QByteArray model = FactoryModel(r, 18);
    TJobSet set(r, r.FPorts, false);
    const auto& runners = set.Runners();
    TSerialCounter counter(r.FSerialFile);
    size_t next = 0;
    std::function<void()> startNext = [&] {
        if (next >= runners.size() || StopSignal() != 0)
            return;
        TPortRunner& pr = *runners[next++];
        int64_t serial = 0;
        try {
            serial = counter.Reserve(pr.FPort, kLockTimeoutMs,
                                     [&](const QString& line) { set.Note(line); });
        } catch (const ECliError& e) {
            pr.FStarted = true;
            pr.FStatus = StopStatus() != 0 ? StopStatus() : e.FStatus;
            pr.FMessage = e.Message();
            return; // the rest stay unstarted
        }
        const QByteArray text = QByteArray::number(qlonglong(serial));
        TCommThread& w = pr.Worker();
        w.FCmdLength = PackTextPair(w.FCmdData, MaxCommandData, model, text, false);
        w.FCmdCode = cmdSetFactoryInfo;
        w.FCmdArg = 0;
        if (r.FVerbose)
            set.PortNote(pr, QStringLiteral("serial %1, command 0x64, %2 bytes: %3")
                                 .arg(QString::fromLatin1(text))
                                 .arg(w.FCmdLength)
                                 .arg(Hex(w.FCmdData, w.FCmdLength)));
        const bool started = pr.Start(jobCommand, [&, text](TPortRunner& done) {
            const QString serialText = QString::fromLatin1(text);
            const bool spent = SentNotConfirmed(done, serialText);
            try {
                if (done.FStatus == exitOk) {
                    done.FNote = QStringLiteral("serial ") + serialText;
                    counter.Used();
                } else if (spent) {
                    counter.SentNotConfirmed();
                } else {
                    counter.Return();
                }
            } catch (const ECliError& e) {
                FileTrouble(set, done, e);
            }
            AppendRecord(r, set, done, QString::fromLatin1(model), serialText, spent);
            startNext();
        });
        if (!started) {
            // Stopped between the reservation and the start: nothing was sent.
            try {
                counter.Return();
            } catch (const ECliError& e) {
                set.PortNote(pr, e.Message());
            }
        }
    };
    startNext();
    set.Wait();
    for (const auto& pr : runners)
        if (!pr->FStarted)
            pr->FStatus = StopStatus() != 0 ? StopStatus() : exitFile;
    return Report(r, set);
}

int Program(const TCliRequest& r) {
    const QString& path = r.FArgs.at(0);
    const QByteArray image = ReadWholeFile(path);
    if (!CheckFirmwareImage(image))
        throw ECliError(exitFile, QStringLiteral("Invalid file: \"%1\" is not a firmware image "
                                                 "(its length field or its checksum is wrong); "
                                                 "nothing was sent.")
                                      .arg(QDir::toNativeSeparators(path)));
    return RunOnAllPorts(
        r, jobProgram,
        [&](TCommThread& w) {
            w.FStream.SetData(image);
            w.FStream.SetPosition(0);
        },
        image.size());
}

int Font(const TCliRequest& r) {
    // Without a name: font.bin here, else the one in the tool's files folder, as the window
    // downloads it.
    QString path = r.FArgs.value(0);
    if (path.isEmpty()) {
        path = QStringLiteral("font.bin");
        const QString shared = QDir(ResolveAppFolder(QCoreApplication::applicationDirPath()))
                                   .filePath(QStringLiteral("font.bin"));
        if (!QFileInfo(path).isFile() && QFileInfo(shared).isFile())
            path = shared;
    }
    // The job would skip a missing file and report success; that must not pass here.
    const int64_t size = ReadWholeFile(path).size();
    return RunDownload(r, QFileInfo(path).absoluteFilePath(), QStringLiteral("font.bin"),
                       QStringLiteral("$63"), QStringLiteral("0"), size);
}

// Converts the pictures with the LOGO settings; a failure names every picture that fails.
QByteArray BuildLogo(const TCliRequest& r, QStringList& files) {
    if (files.size() > MaxLogoEntries)
        throw ECliError(exitUsage, QStringLiteral("At most %1 pictures fit in one logo image, "
                                                  "not %2.")
                                       .arg(MaxLogoEntries)
                                       .arg(files.size()));
    for (QString& f : files)
        f = QFileInfo(f).absoluteFilePath();
    const TToolSettings& s = r.FSettings;
    TLogoConverter converter;
    const TLogoBuild build = BuildLogoImage(files, s.FLogoSize, s.FLogoWidth, &converter);
    if (build.FOk)
        return build.FImage;
    // Each picture alone, with the whole logo memory as its room.
    constexpr int64_t kHeader = 3;
    QStringList reasons;
    int64_t total = kHeader;
    for (const QString& file : files) {
        if (const QString why = NotRegularFile(file); !why.isEmpty()) {
            reasons << FileErrorText("open", file, why);
            continue;
        }
        const TLogoRecord record = converter.Convert(file, s.FLogoWidth, s.FLogoSize - kHeader);
        if (record.FOk)
            total += record.FRecord.size();
        else if (record.FDecodeError)
            reasons << QStringLiteral("\"%1\": %2")
                           .arg(QDir::toNativeSeparators(file), record.FMessage);
        else
            reasons << QStringLiteral("\"%1\" refused (%2): a picture must be 1 to %3 dots "
                                      "wide, and the image must fit in %4 bytes (LOGO WIDTH and "
                                      "SIZE).")
                           .arg(QDir::toNativeSeparators(file), record.FMessage)
                           .arg(s.FLogoWidth)
                           .arg(s.FLogoSize);
    }
    if (reasons.isEmpty())
        reasons << QStringLiteral("The pictures take %1 bytes together, more than the %2 bytes of "
                                  "the logo memory (LOGO SIZE); leave some out.")
                       .arg(total)
                       .arg(s.FLogoSize);
    throw ECliError(exitFile, reasons.join(QLatin1Char('\n')));
}

int LogoBuild(const TCliRequest& r) {
    QStringList files = r.FArgs;
    const QByteArray image = BuildLogo(r, files);
    QSaveFile out(r.FOutput);
    if (!out.open(QIODevice::WriteOnly) || out.write(image) != image.size() || !out.commit())
        throw ECliError(exitFile, FileErrorText("create", r.FOutput, out.errorString()));
    Out(LogoSpaceText(image.size(), r.FSettings.FLogoSize));
    qsizetype at = 3;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(image.constData() + at);
        const int64_t record = 4 + int64_t(p[0] | p[1] << 8) * int64_t(p[2] | p[3] << 8) * 8;
        at += qsizetype(record);
        QImageReader reader(files[i], "bmp");
        const QSize dots = reader.size();
        Out(QStringLiteral("%1\t%2x%3 dots\t%4 bytes")
                .arg(QDir::toNativeSeparators(r.FArgs[i]))
                .arg(dots.width())
                .arg(dots.height())
                .arg(record));
    }
    return exitOk;
}

int LogoDownload(const TCliRequest& r) {
    QStringList files = r.FArgs;
    const QByteArray image = BuildLogo(r, files);
    if (r.FVerbose)
        Err(LogoSpaceText(image.size(), r.FSettings.FLogoSize));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("logo.bin"));
    QSaveFile out(path);
    if (!dir.isValid() || !out.open(QIODevice::WriteOnly) || out.write(image) != image.size() ||
        !out.commit())
        throw ECliError(exitFile, FileErrorText("create", path, out.errorString()));
    return RunDownload(r, path, QStringLiteral("logo.bin"),
                       QString::number(r.FSettings.FLogoCommand),
                       QString::number(r.FSettings.FLogoPara), image.size());
}

int Run(const TCliRequest& r) {
    const QString& c = r.FCommand;
    if (c == QLatin1String("help")) {
        std::fputs(HelpText().toLocal8Bit().constData(), stdout);
        return exitOk;
    }
    if (c == QLatin1String("version")) {
        Out(QStringLiteral("nuvctl %1").arg(QStringLiteral(PROJECT_VERSION)));
        return exitOk;
    }
    CheckBeforePrinters(r);
    if (c == QLatin1String("list-ports"))
        return ListPorts(r);
    if (c == QLatin1String("query"))
        return RunOnAllPorts(
            r, jobQuery, [](TCommThread&) {}, 0, true);
    if (c == QLatin1String("find"))
        return Find(r);
    if (c == QLatin1String("set-params"))
        return SetParams(r);
    if (c == QLatin1String("set-bluetooth"))
        return SetBluetooth(r);
    if (c == QLatin1String("set-ircomm"))
        return SetIrComm(r);
    if (c == QLatin1String("set-factory"))
        return r.FSerialFile.isEmpty() ? SetFactory(r) : SetFactoryFromCounter(r);
    if (c == QLatin1String("program"))
        return Program(r);
    if (c == QLatin1String("font"))
        return Font(r);
    if (c == QLatin1String("logo build"))
        return LogoBuild(r);
    if (c == QLatin1String("logo download"))
        return LogoDownload(r);
    throw ECliError(exitInternal, QStringLiteral("command %1 has no implementation").arg(c));
}

} // namespace

int RunCli(const QStringList& arguments) {
    try {
        const int status = Run(ParseCommandLine(arguments));
        // Jobs stopped by a signal end with their own results; the process reports the signal.
        return StopStatus() != 0 ? StopStatus() : status;
    } catch (const ECliError& e) {
        Err(e.Message());
        if (e.FStatus == exitUsage)
            Err(QStringLiteral("See nuvctl --help."));
        return StopStatus() != 0 ? StopStatus() : e.FStatus;
    } catch (const std::exception& e) {
        Err(QStringLiteral("internal error: %1").arg(QString::fromLocal8Bit(e.what())));
        return exitInternal;
    }
}
