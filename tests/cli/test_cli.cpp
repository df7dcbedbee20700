// nuvctl as a script runs it: the real program against simulated printers on pseudo-terminals
// and UDP, compared with what the window's packers and converters give.
#include "CommandBlocks.h"
#include "Files.h"
#include "LogoImage.h"
#include "PrinterCommands.h"
#include "PrinterSim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr uint16_t kParams = 0x60, kBluetooth = 0x61, kIrComm = 0x62, kFont = 0x63, kFactory = 0x64,
                   kLogo = 0x2D, kModeSelect = 0x2F, kProgramBlock = 0x2E;

struct TRun {
    int FStatus = -1; // -1: did not end in time
    QString FOut;
    QString FErr;
};

// The history and the other files of the files folder, kept apart from the build tree's.
QString FilesFolder() {
    static QTemporaryDir folder;
    return folder.path();
}

std::unique_ptr<QProcess> StartCli(const QStringList& args, const QString& dir = {}) {
    auto p = std::make_unique<QProcess>();
    if (!dir.isEmpty())
        p->setWorkingDirectory(dir);
    p->start(QStringLiteral(NUVCTL_PROGRAM),
             args.contains("--files") ? args : QStringList{"--files", FilesFolder()} + args);
    return p;
}

TRun Finish(const std::unique_ptr<QProcess>& p, int timeoutMs = 20000) {
    TRun run;
    if (!p->waitForFinished(timeoutMs)) {
        p->kill();
        p->waitForFinished(2000);
    } else if (p->exitStatus() == QProcess::NormalExit) {
        run.FStatus = p->exitCode();
    }
    run.FOut = QString::fromLocal8Bit(p->readAllStandardOutput());
    run.FErr = QString::fromLocal8Bit(p->readAllStandardError());
    return run;
}

TRun Cli(const QStringList& args, const QString& dir = {}) {
    return Finish(StartCli(args, dir));
}

QByteArray ParamBlock(const TParameterValues& v) {
    QByteArray b(ParameterBlockLength, '\0');
    PackParameterBlock(reinterpret_cast<uint8_t*>(b.data()), v);
    return b;
}

QByteArray TextPair(const QByteArray& a, const QByteArray& b, bool trailingZero) {
    QByteArray out(MaxCommandData, '\0');
    out.truncate(
        PackTextPair(reinterpret_cast<uint8_t*>(out.data()), MaxCommandData, a, b, trailingZero));
    return out;
}

// Simulated printers on pseudo-terminals, one per port.
struct TPrinters {
    std::vector<std::unique_ptr<TPrinterSim>> FSims;
    QStringList FPaths;

    explicit TPrinters(int count) {
        for (int i = 0; i < count; ++i) {
            FSims.push_back(std::make_unique<TPrinterSim>());
            QString error;
            if (!FSims.back()->StartPty(&error))
                qFatal("pty: %s", qPrintable(error));
            FPaths << FSims.back()->SlavePath();
        }
    }
    TPrinterSim& operator[](int i) { return *FSims[size_t(i)]; }
    QString Ports() const { return FPaths.join(QLatin1Char(',')); }
};

QList<uint16_t> Commands(const TPrinterSim& sim) {
    QList<uint16_t> codes;
    for (const TSimFrame& f : sim.Frames())
        codes << f.FCommand;
    return codes;
}

// Replaces "@" by the simulated printer's port, "@udp" by its datagram address and "{name}" by
// a file in dir.
QStringList Expand(QStringList args, TPrinterSim& sim, const QTemporaryDir& dir) {
    for (QString& a : args) {
        if (a == QLatin1String("@"))
            a = sim.SlavePath();
        else if (a == QLatin1String("@udp"))
            a = QStringLiteral("TCP/IP 127.0.0.1:%1").arg(sim.UdpPort());
        else if (a.startsWith(QLatin1Char('{')) && a.endsWith(QLatin1Char('}')))
            a = dir.filePath(a.mid(1, a.size() - 2));
    }
    return args;
}

QString SaveBitmap(const QString& path, int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((x * 7 + y * 3 + seed) % 5 == 0)
                image.setPixel(x, y, qRgb(200, 50, 10)); // blue below 128: a dot
    if (!image.save(path, "BMP"))
        qFatal("cannot save %s", qPrintable(path));
    return path;
}

// The serial numbers the printers were given, from their factory blocks.
QList<int> Serials(TPrinters& printers) {
    QList<int> serials;
    for (const auto& sim : printers.FSims) {
        const QByteArray block = sim->LastBlock(kFactory);
        if (!block.isEmpty())
            serials << block.mid(block.indexOf('\0') + 1).toInt();
    }
    std::sort(serials.begin(), serials.end());
    return serials;
}

// "SERIAL EVENT" of each journal line.
QStringList JournalEvents(const QString& counter) {
    QStringList events;
    for (const QString& line :
         QString::fromUtf8(ReadFile(counter + ".journal")).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        events << (fields.size() == 5 ? fields[1] + ' ' + fields[2] : "bad line: " + line);
    }
    return events;
}

// Sends the signal to the process as the printer takes the first frame of that command (with
// that argument, -1: any): the printer holds it before it answers. Returns when it was sent
// (SimNowMs(), 0 until then).
std::shared_ptr<std::atomic<int64_t>> SignalAtFrame(TPrinterSim& sim, QProcess& process, int signal,
                                                    uint16_t command, int64_t argument = -1) {
    auto sentAt = std::make_shared<std::atomic<int64_t>>(0);
    if (!process.waitForStarted(5000) || process.processId() <= 0)
        qFatal("nuvctl did not start");
    const pid_t pid = pid_t(process.processId());
    const QString match =
        QStringLiteral(" cmd %1 arg %2")
            .arg(command, 2, 16, QLatin1Char('0'))
            .arg(argument < 0 ? QString()
                              : QStringLiteral("%1").arg(argument, 8, 16, QLatin1Char('0')));
    sim.SetLogCallback([=](const QString& line) {
        int64_t none = 0;
        if (line.contains(match) && sentAt->compare_exchange_strong(none, SimNowMs())) {
            ::kill(pid, signal);
        }
    });
    return sentAt;
}

// Every file under dir with its contents; folders and links as such.
QMap<QString, QByteArray> Snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files.insert(info.filePath(), info.isSymLink() ? "-> " + info.symLinkTarget().toUtf8()
                                      : info.isDir()   ? QByteArray("<folder>")
                                                       : ReadFile(info.filePath()));
    }
    return files;
}

// A running nuvctl's --json events, read as they come.
class TEvents {
public:
    explicit TEvents(QProcess& process) : FProcess(process) {}
    QList<QJsonObject> FAll;

    // The first event from `from` on that matches; an empty object after timeoutMs.
    QJsonObject WaitFor(const std::function<bool(const QJsonObject&)>& match, int timeoutMs,
                        qsizetype* from = nullptr) {
        QElapsedTimer timer;
        timer.start();
        qsizetype i = from ? *from : 0;
        for (;;) {
            for (; i < FAll.size(); ++i)
                if (match(FAll[i])) {
                    if (from)
                        *from = i + 1;
                    return FAll[i];
                }
            const qint64 left = timeoutMs - timer.elapsed();
            if (left <= 0 || FProcess.state() == QProcess::NotRunning)
                return {};
            FProcess.waitForReadyRead(int(std::min<qint64>(left, 100)));
            Take(FProcess.readAllStandardOutput());
        }
    }
    // What is left once the process has ended.
    void Take(const QByteArray& bytes) {
        FPartial += bytes;
        qsizetype end;
        while ((end = FPartial.indexOf('\n')) >= 0) {
            FAll.append(Parse(FPartial.left(end)));
            FPartial.remove(0, end + 1);
        }
    }
    // Every stdout line is one JSON object with an event; a line that is not gets one that
    // says so, and fails the tests that look at it.
    static QJsonObject Parse(const QByteArray& line) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (!doc.isObject() || !doc.object().contains("event"))
            return {{"event", "not an event"}, {"line", QString::fromUtf8(line)}};
        return doc.object();
    }

private:
    QProcess& FProcess;
    QByteArray FPartial;
};

std::function<bool(const QJsonObject&)> IsEvent(const QString& name, const QString& port = {}) {
    return [=](const QJsonObject& o) {
        return o["event"].toString() == name && (port.isEmpty() || o["port"].toString() == port);
    };
}

QList<QJsonObject> JsonLines(const QString& text) {
    QList<QJsonObject> lines;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
        lines << TEvents::Parse(line.toUtf8());
    return lines;
}

QList<QJsonObject> HistoryLines(const QString& folder) {
    QList<QJsonObject> lines;
    for (const QByteArray& line : ReadFile(folder + "/history.jsonl").split('\n'))
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    return lines;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    // Every command block is byte for byte what the window's packers make of the same values.
    void commandBlocksAreTheWindows_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("block");

        QTest::newRow("params, the window's defaults")
            << QStringList{"set-params"} << QByteArray() << int(kParams)
            << ParamBlock(TParameterValues());
        QTest::newRow("params, the worked example")
            << QStringList{"set-params", "--rate", "115200", "--codepage", "2"} << QByteArray()
            << int(kParams) << Hex("0001C20000010000320000 00C800C800");
        QTest::newRow("params, config overridden by options")
            << QStringList{"set-params", "--config",      "{config.ini}", "--off",
                           "7",          "--page-length", " 9999"}
            << QByteArray("[PARA]\nBAUDRATE=38400\nCODEPAGE=0\nDENSITY=2\nFONT=3\nLINEFEED=1\n"
                          "IDLE TIME=120\nOFF TIME=5\nMAX FEED=$64\nPAGE LENGTH=0x1F4\n")
            << int(kParams) << ParamBlock({38400, 0, 2, 3, 1, 120, 7, 100, 9999});
        // Values the window's lists do not hold: its first rate, and nothing selected.
        QTest::newRow("params, config outside the lists")
            << QStringList{"set-params", "--config", "{config.ini}"}
            << QByteArray("[PARA]\nBAUDRATE=14400\nCODEPAGE=51\nDENSITY=3\nFONT=-1\n")
            << int(kParams) << Hex("00002580FEFFFF00 3200 0000 C800 C800");
        QTest::newRow("bluetooth") << QStringList{"set-bluetooth", "NUV", "6305"} << QByteArray()
                                   << int(kBluetooth) << TextPair("NUV", "6305", true);
        QTest::newRow("bluetooth, empty pin") << QStringList{"set-bluetooth", "AB", ""}
                                              << QByteArray() << int(kBluetooth) << Hex("41420000");
        QTest::newRow("ircomm") << QStringList{"set-ircomm", " 38400"} << QByteArray()
                                << int(kIrComm) << Hex("00009600");
        QTest::newRow("ircomm, hexadecimal") << QStringList{"set-ircomm", "$2580"} << QByteArray()
                                             << int(kIrComm) << Hex("00002580");
        QTest::newRow("factory, trimmed")
            << QStringList{"set-factory", "  NUV-II ", " 0 "} << QByteArray() << int(kFactory)
            << QByteArray("NUV-II\0"
                          "0",
                          8);
        QTest::newRow("over udp") << QStringList{"set-ircomm", "115200", "--port", "@udp"}
                                  << QByteArray() << int(kIrComm) << Hex("0001C200");
        QTest::newRow("over udp, peer from config")
            << QStringList{"set-ircomm", "19200", "--port", "TCP/IP", "--config", "{config.ini}"}
            << QByteArray("[NETWORK]\nHOST=127.0.0.1\nPORT=@udpport\n") << int(kIrComm)
            << Hex("00004B00");
    }
    void commandBlocksAreTheWindows() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, config);
        QFETCH(int, command);
        QFETCH(QByteArray, block);
        QTemporaryDir dir;
        TPrinterSim sim;
        QVERIFY(sim.StartPty());
        QVERIFY(sim.StartUdp());
        config.replace("@udpport", QByteArray::number(sim.UdpPort()));
        QVERIFY(config.isEmpty() || WriteFile(dir.filePath("config.ini"), config));
        if (!args.contains("--port"))
            args << "--port"
                 << "@";
        const TRun run = Cli(Expand(args, sim, dir));
        QVERIFY2(run.FStatus == 0, qPrintable(run.FErr));
        QCOMPARE(Commands(sim), (QList<uint16_t>{0x20, uint16_t(command)}));
        QCOMPARE(sim.Frames().constLast().FRaw, SimBuildFrame(0xFF, command, 0, block));
        QVERIFY(run.FOut.startsWith(Expand({"@"}, sim, dir).first() + "\tPRN 6104\tOK\t") ||
                run.FOut.startsWith("TCP/IP"));
        // Plain "TCP/IP" is recorded with the peer it reached, as the window records it.
        if (args.contains("TCP/IP"))
            QCOMPARE(HistoryLines(FilesFolder()).constLast()["port"].toString(),
                     QStringLiteral("TCP/IP 127.0.0.1:%1").arg(sim.UdpPort()));
    }

    // Transfers deliver exactly the window's image: firmware, font and logo.
    void transfersDeliverTheImage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("command");
        QTest::newRow("program") << QStringList{"program", "{fw.bin}"} << int(kProgramBlock);
        QTest::newRow("font, default name") << QStringList{"font"} << int(kFont);
        QTest::newRow("logo, config's command and base")
            << QStringList{"logo", "download", "{a.bmp}", "{b.bmp}", "--config", "{config.ini}"}
            << int(kLogo);
    }
    void transfersDeliverTheImage() {
        QFETCH(QStringList, args);
        QFETCH(int, command);
        QTemporaryDir dir;
        const QByteArray firmware = SimFirmwareImage(1000);
        QByteArray font(300, Qt::Uninitialized);
        for (int i = 0; i < font.size(); ++i)
            font[i] = char(i * 3);
        QVERIFY(WriteFile(dir.filePath("fw.bin"), firmware));
        QVERIFY(WriteFile(dir.filePath("font.bin"), font));
        QVERIFY(WriteFile(dir.filePath("config.ini"), "[LOGO]\nCOMMAND=0x2D\nPARA=4096\n"));
        const QStringList pictures = {SaveBitmap(dir.filePath("a.bmp"), 100, 20, 1),
                                      SaveBitmap(dir.filePath("b.bmp"), 1, 1, 0)};
        TPrinterSim sim;
        QVERIFY(sim.StartPty());
        const TRun run = Cli(Expand(args << "--port"
                                         << "@",
                                    sim, dir),
                             dir.path());
        QVERIFY2(run.FStatus == 0, qPrintable(run.FErr));
        if (command == kProgramBlock) {
            QCOMPARE(sim.ProgramImage(), firmware + QByteArray(24, '\xFF'));
            QVERIFY(sim.ProgramEnded());
        } else if (command == kFont) {
            QCOMPARE(sim.DownloadedFile(kFont), font);
        } else {
            QCOMPARE(sim.DownloadedFile(kLogo), BuildLogoImage(pictures, 65536, 384).FImage);
            QCOMPARE(sim.DownloadBase(kLogo), 4096u);
        }
    }

    // Each failure has its status and one sentence on stderr; refused input sends nothing.
    void failuresHaveTheirStatus() {
        struct TCase {
            const char* FName;
            QStringList FArgs;
            QString FFault;
            int FStatus;
            QString FMessage;
            bool FNothingSent;
        };
        const QList<TCase> cases = {
            {"no such port, in nuvctl's words",
             {"query", "--port", "/dev/nuv-no-such-port"},
             "",
             4,
             "there is no such port. Check the name given with --port; a USB adapter appears in "
             "list-ports",
             true},
            {"no datagram peer", {"query", "--port", "TCP/IP"}, "", 4, "--config FILE", true},
            {"datagram port out of range",
             {"query", "--port", "TCP/IP 127.0.0.1:99999"},
             "",
             2,
             "the port number 99999 is out of range 1..65535",
             true},
            {"option without its value", {"query", "--port"}, "", 2, "after '--port'.", true},
            {"negative rate",
             {"set-ircomm", "-1", "--port", "@"},
             "",
             2,
             "RATE \"-1\": the rate must be a positive number",
             true},
            {"number of 10,000 digits",
             {"set-ircomm", QString(10000, '9'), "--port", "@"},
             "",
             2,
             "'99999999999999999999999999999999...' is not a valid integer value",
             true},
            {"firmware that is a device",
             {"program", "/dev/zero", "--port", "@"},
             "",
             3,
             "It is not a regular file.",
             true},
            {"silent printer",
             {"query", "--port", "@"},
             "silent",
             5,
             "No reply from the printer on",
             false},
            {"wrong identification",
             {"query", "--port", "@"},
             "wrong id",
             6,
             "identified as \"PRN 9999\"",
             false},
            {"refused rate switch",
             {"font", "{font.bin}", "--port", "@"},
             "no rate reply",
             7,
             "did not accept the rate change",
             false},
            {"refused mode",
             {"program", "{fw.bin}", "--port", "@"},
             "no mode reply",
             8,
             "did not accept programming mode",
             false},
            {"bad number",
             {"set-params", "--idle", "12a", "--port", "@"},
             "",
             2,
             "'12a' is not a valid integer value",
             true},
            {"rate with a trailing blank",
             {"set-ircomm", "9600 ", "--port", "@"},
             "",
             2,
             "'9600 ' is not a valid integer value",
             true},
            {"rate not positive",
             {"query", "--baud", "0", "--port", "@"},
             "",
             2,
             "must be a positive number",
             true},
            {"position past the list",
             {"set-params", "--density", "3", "--port", "@"},
             "",
             2,
             "positions 0 to 2",
             true},
            {"no port", {"query"}, "", 2, "needs --port", true},
            {"unknown command", {"print", "--port", "@"}, "", 2, "Unknown command", true},
            {"option of another command",
             {"query", "--rate", "9600", "--port", "@"},
             "",
             2,
             "not an option of query",
             true},
            {"invalid firmware",
             {"program", "{bad.bin}", "--port", "@"},
             "",
             3,
             "Invalid file",
             true},
            {"missing font", {"font", "--port", "@"}, "", 3, "font.bin", true},
            {"missing config",
             {"query", "--config", "{none.ini}", "--port", "@"},
             "",
             3,
             "none.ini",
             true},
        };
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("empty");
        QVERIFY(WriteFile(dir.filePath("fw.bin"), SimFirmwareImage(512)));
        QByteArray bad = SimFirmwareImage(512);
        bad[300] = char(bad[300] ^ 1);
        QVERIFY(WriteFile(dir.filePath("bad.bin"), bad));
        QVERIFY(WriteFile(dir.filePath("font.bin"), QByteArray(10, 'f')));

        // All at once: most of them wait out the printer's time-outs.
        std::vector<std::unique_ptr<TPrinterSim>> sims;
        std::vector<std::unique_ptr<QProcess>> processes;
        for (const TCase& c : cases) {
            sims.push_back(std::make_unique<TPrinterSim>());
            TPrinterSim& sim = *sims.back();
            QVERIFY(sim.StartPty());
            TSimFaults faults;
            faults.FSilent = c.FFault == "silent";
            faults.FNoRateSwitchReply = c.FFault == "no rate reply";
            if (c.FFault == "no mode reply") {
                faults.FSilent = true;
                faults.FFilter = [](const TSimFrame& f) { return f.FCommand == kModeSelect; };
            }
            sim.SetFaults(faults);
            if (c.FFault == "wrong id")
                sim.SetIdentification("PRN 9999");
            processes.push_back(StartCli(Expand(c.FArgs, sim, dir), dir.filePath("empty")));
        }
        for (qsizetype i = 0; i < cases.size(); ++i) {
            const TCase& c = cases[i];
            const TRun run = Finish(processes[size_t(i)]);
            const QByteArray what = QByteArray(c.FName) + ": " + run.FErr.toLocal8Bit();
            QVERIFY2(run.FStatus == c.FStatus, what.constData());
            QVERIFY2(run.FErr.contains(c.FMessage), what.constData());
            // One sentence: the cause (and for usage errors the pointer to --help).
            QVERIFY2(run.FErr.count(QLatin1Char('\n')) == (c.FStatus == 2 ? 2 : 1),
                     what.constData());
            QVERIFY2(!run.FErr.contains(QRegularExpression("[^.]\\.\\.(\\s|$)")), what.constData());
            QVERIFY2(sims[size_t(i)]->Frames().isEmpty() == c.FNothingSent, c.FName);
        }
    }

    // All ports run at once, each printer gets its whole image, and a silent one fails alone.
    void severalPortsAtOnce_data() {
        QTest::addColumn<int>("ports");
        QTest::addColumn<int>("silent");
        QTest::newRow("two") << 2 << -1;
        QTest::newRow("eight, one silent") << 8 << 5;
    }
    void severalPortsAtOnce() {
        QFETCH(int, ports);
        QFETCH(int, silent);
        QTemporaryDir dir;
        const QByteArray firmware = SimFirmwareImage(16 * 256);
        QVERIFY(WriteFile(dir.filePath("fw.bin"), firmware));
        TPrinters printers(ports);
        for (int i = 0; i < ports; ++i) {
            TSimFaults faults;
            faults.FDelayMs = 10; // long enough for the transfers to overlap
            faults.FSilent = i == silent;
            printers[i].SetFaults(faults);
        }
        const TRun run = Cli({"program", dir.filePath("fw.bin"), "--port", printers.FPaths.first(),
                              "--port", printers.FPaths.mid(1).join(',')});
        QCOMPARE(run.FStatus, silent < 0 ? 0 : 5);

        const QStringList lines = run.FOut.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), ports + 1);
        int64_t lastStart = 0;
        int64_t firstEnd = INT64_MAX;
        for (int i = 0; i < ports; ++i) {
            QVERIFY2(lines[i].startsWith(printers.FPaths[i] + '\t'), qPrintable(lines[i]));
            if (i == silent) {
                QVERIFY2(lines[i].contains("\t-\tno reply (exit 5)\t"), qPrintable(lines[i]));
                QVERIFY(printers[i].ProgramImage().isEmpty());
                continue;
            }
            QVERIFY2(lines[i].contains("\tPRN 6104\tOK\t"), qPrintable(lines[i]));
            QCOMPARE(printers[i].ProgramImage(), firmware);
            QVERIFY(printers[i].ProgramEnded());
            QList<int64_t> times;
            for (const TSimFrame& f : printers[i].Frames())
                if (f.FCommand == kProgramBlock)
                    times << f.FTimeMs;
            lastStart = std::max(lastStart, times.first());
            firstEnd = std::min(firstEnd, times.last());
        }
        QVERIFY2(lastStart < firstEnd, "the transfers ran one after another");
        const int failed = silent < 0 ? 0 : 1;
        QVERIFY2(lines.last().startsWith(QStringLiteral("%1 of %2 printers OK, %3 failed")
                                             .arg(ports - failed)
                                             .arg(ports)
                                             .arg(failed)),
                 qPrintable(lines.last()));
        QCOMPARE(run.FErr.count('\n'), failed);
        // With several ports each sentence says whose it is.
        if (failed)
            QVERIFY2(run.FErr.startsWith("nuvctl: " + printers.FPaths[silent] + ": No reply"),
                     qPrintable(run.FErr));
    }

    // A printer that may hold its number uses it up; one that was sent nothing gives it back;
    // runs in parallel never share a number.
    void serialNumbersFromTheCounter() {
        QTemporaryDir dir;
        const QString counter = dir.filePath("serial.txt");
        const QString record = dir.filePath("record.csv");
        QVERIFY(WriteFile(counter, "1000\n"));
        TPrinters line(3);
        TSimFaults silentToFactory;
        silentToFactory.FSilent = true;
        silentToFactory.FFilter = [](const TSimFrame& f) { return f.FCommand == kFactory; };
        line[0].SetFaults(silentToFactory);
        TSimFaults silent;
        silent.FSilent = true;
        line[1].SetFaults(silent);
        TRun run = Cli({"set-factory", "NUV-II", "--serial-file", counter, "--record", record,
                        "--port", line.Ports()});
        QCOMPARE(run.FStatus, 5);
        QCOMPARE(line[0].Frames().constLast().FData, TextPair("NUV-II", "1000", false));
        QCOMPARE(Serials(line), QList<int>{1001});
        QCOMPARE(line[2].LastBlock(kFactory), TextPair("NUV-II", "1001", false));
        QCOMPARE(ReadFile(counter), QByteArray("1002\n"));
        QCOMPARE(JournalEvents(counter),
                 (QStringList{"1000 reserved", "1000 sent, not confirmed", "1001 reserved",
                              "1001 returned", "1001 reserved", "1001 used"}));
        QStringList rows = QString::fromUtf8(ReadFile(record)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0], "time,port,identification,model,serial,result");
        QVERIFY2(rows[1].endsWith(line.FPaths[0] + ",PRN 6104,NUV-II,1000,\"sent, not confirmed\""),
                 qPrintable(rows[1]));
        QVERIFY2(rows[2].endsWith(line.FPaths[1] + ",,NUV-II,,no reply (exit 5)"),
                 qPrintable(rows[2]));
        QVERIFY2(rows[3].endsWith(line.FPaths[2] + ",PRN 6104,NUV-II,1001,OK"),
                 qPrintable(rows[3]));
        QVERIFY2(run.FErr.startsWith("nuvctl: " + line.FPaths[0] + ": ") &&
                     run.FErr.contains("Serial 1000 may be in that printer"),
                 qPrintable(run.FErr));

        // Two runs of two printers each, at the same time.
        TPrinters a(2), b(2);
        const auto first = StartCli({"set-factory", "NUV-II", "--serial-file", counter, "--record",
                                     record, "--port", a.Ports()});
        const auto second = StartCli({"set-factory", "NUV-II", "--serial-file", counter, "--record",
                                      record, "--port", b.Ports()});
        const TRun one = Finish(first);
        const TRun two = Finish(second);
        QVERIFY2(one.FStatus == 0 && two.FStatus == 0, qPrintable(one.FErr + two.FErr));
        QList<int> all = Serials(a) + Serials(b);
        std::sort(all.begin(), all.end());
        QCOMPARE(all, (QList<int>{1002, 1003, 1004, 1005}));
        QCOMPARE(ReadFile(counter), QByteArray("1006\n"));
        rows = QString::fromUtf8(ReadFile(record)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 8);
    }

    // A stop while a printer stores its number waits for its answer; a kill then leaves the
    // number reserved, and the next run passes it over and says so once.
    void stopAndKillWhileNumbering() {
        QTemporaryDir dir;
        const QString counter = dir.filePath("serial.txt");
        QVERIFY(WriteFile(counter, "500\n"));
        const QStringList args = {"set-factory", "NUV-II",   "--serial-file",
                                  counter,       "--record", dir.filePath("record.csv"),
                                  "--port"};
        TSimFaults slowFactory;
        slowFactory.FDelayMs = 300;
        slowFactory.FFilter = [](const TSimFrame& f) { return f.FCommand == kFactory; };

        TPrinters stopped(1);
        stopped[0].SetFaults(slowFactory);
        auto p = StartCli(args + QStringList{stopped.Ports()});
        SignalAtFrame(stopped[0], *p, SIGINT, kFactory);
        TRun run = Finish(p);
        QCOMPARE(run.FStatus, 130);
        QVERIFY2(run.FOut.startsWith(stopped.FPaths[0] + "\tPRN 6104\tOK, serial 500\t"),
                 qPrintable(run.FOut));
        QCOMPARE(Serials(stopped), QList<int>{500});

        TPrinters killed(1);
        killed[0].SetFaults(slowFactory);
        p = StartCli(args + QStringList{killed.Ports()});
        SignalAtFrame(killed[0], *p, SIGKILL, kFactory);
        run = Finish(p);
        QCOMPARE(run.FStatus, -1);
        QCOMPARE(Serials(killed), QList<int>{501});
        QCOMPARE(ReadFile(counter), QByteArray("502\n"));

        // A power cut while the outcome was written leaves part of a line: it does not count.
        QFile journal(counter + ".journal");
        QVERIFY(journal.open(QIODevice::Append) && journal.write("2026-12-09T10:00:00\t501\tus"));
        journal.close();
        TPrinters next(1);
        run = Cli(args + QStringList{next.Ports()});
        QCOMPARE(run.FStatus, 0);
        QCOMPARE(Serials(next), QList<int>{502});
        QVERIFY2(run.FErr.startsWith("nuvctl: serial 501 was reserved by an earlier run that did "
                                     "not finish (" +
                                     killed.FPaths[0] + ", "),
                 qPrintable(run.FErr));
        QVERIFY(run.FErr.endsWith("); it is not reused.\n"));
        QCOMPARE(ReadFile(counter), QByteArray("503\n"));
        QCOMPARE(JournalEvents(counter),
                 (QStringList{"500 reserved", "500 used", "501 reserved",
                              "bad line: 2026-12-09T10:00:00\t501\tus", "501 not finished",
                              "502 reserved", "502 used"}));
        // Said once: the next run finds the story told.
        TPrinters later(1);
        run = Cli(args + QStringList{later.Ports()});
        QCOMPARE(run.FErr, QString());
        QCOMPARE(Serials(later), QList<int>{503});
    }

    // Three runs number printers at once while one of them is killed at a random frame, again
    // and again: no number reaches two printers, and the journal accounts for each.
    void killedRunsNeverShareANumber() {
        QTemporaryDir dir;
        const QString counter = dir.filePath("serial.txt");
        QVERIFY(WriteFile(counter, "1\n"));
        std::mt19937 random(13);
        QHash<int, QString> holder; // serial -> the printer that received it
        QElapsedTimer time;
        time.start();
        int rounds = 0;
        for (; rounds < 3 || (rounds < 8 && time.elapsed() < 3000); ++rounds) {
            std::vector<std::unique_ptr<TPrinters>> runs;
            std::vector<std::unique_ptr<QProcess>> processes;
            for (int i = 0; i < 3; ++i) {
                runs.push_back(std::make_unique<TPrinters>(2));
                TSimFaults faults;
                faults.FDelayMs = 20;
                for (int k = 0; k < 2; ++k)
                    (*runs.back())[k].SetFaults(faults);
                processes.push_back(StartCli({"set-factory", "NUV", "--serial-file", counter,
                                              "--port", runs.back()->Ports()}));
            }
            // Each printer of the victim sees two frames: identification and factory block.
            const int killAt = std::uniform_int_distribution<int>(1, 4)(random);
            auto seen = std::make_shared<std::atomic<int>>(0);
            QVERIFY(processes[0]->waitForStarted(5000));
            const pid_t victim = pid_t(processes[0]->processId());
            QVERIFY(victim > 0);
            for (int k = 0; k < 2; ++k)
                (*runs[0])[k].SetLogCallback([seen, killAt, victim](const QString&) {
                    if (++*seen == killAt)
                        ::kill(victim, SIGKILL);
                });
            for (int i = 0; i < 3; ++i) {
                const TRun run = Finish(processes[size_t(i)]);
                QVERIFY2(i == 0 || run.FStatus == 0, qPrintable(run.FErr));
            }
            for (const auto& printers : runs)
                for (int k = 0; k < 2; ++k)
                    for (const TSimFrame& f : (*printers)[k].Frames()) {
                        if (f.FCommand != kFactory)
                            continue;
                        const int serial = f.FData.mid(f.FData.indexOf('\0') + 1).toInt();
                        const QString who = (*printers)[k].SlavePath() + QString::number(rounds);
                        QVERIFY2(holder.value(serial, who) == who,
                                 qPrintable(QStringLiteral("serial %1 twice").arg(serial)));
                        holder.insert(serial, who);
                    }
        }
        const QStringList events = JournalEvents(counter);
        const QList<int> serials = holder.keys();
        for (const int serial : serials)
            QVERIFY(events.contains(QStringLiteral("%1 reserved").arg(serial)));
        const QByteArray next = ReadFile(counter);
        QVERIFY2(next.endsWith('\n') &&
                     next.trimmed().toInt() > *std::max_element(serials.begin(), serials.end()),
                 next.constData());
    }

    // Each check that needs no printer refuses before one is touched, and leaves every file
    // as it was.
    void refusalsTouchNothing_data() {
        QTest::addColumn<QStringList>("files"); // "name/" a folder, "name=text", "name->target"
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");

        const QStringList counter = {"set-factory",  "NUV",    "--serial-file",
                                     "{serial.txt}", "--port", "@"};
        QTest::newRow("lock file cannot be opened")
            << QStringList{"serial.txt.lock/"} << counter << 3 << "serial.txt.lock";
        QTest::newRow("journal cannot be opened")
            << QStringList{"serial.txt.journal/"} << counter << 3 << "serial.txt.journal";
        QTest::newRow("counter of 18 nines") << QStringList{"serial.txt=999999999999999999\n"}
                                             << counter << 3 << "would not fit in 18 digits";
        QTest::newRow("record is a folder")
            << QStringList{"rec/"}
            << QStringList{"set-factory", "NUV", "7", "--record", "{rec}", "--port", "@"} << 3
            << "It is a folder";
        QTest::newRow("log is a folder")
            << QStringList{"log/"} << QStringList{"query", "--log", "{log}", "--port", "@"} << 3
            << "It is a folder";
        QTest::newRow("log in a folder that takes no files")
            << QStringList{} << QStringList{"query", "--log", "/sys/nuvctl.log", "--port", "@"} << 3
            << "Cannot create files in folder \"/sys\"";
        QTest::newRow("output is a picture, through a link")
            << QStringList{"out.bmp->a.bmp"}
            << QStringList{"logo", "build", "{a.bmp}", "-o", "{out.bmp}"} << 2
            << "the build would overwrite it";
        QTest::newRow("config with NUL bytes")
            << QStringList{QStringLiteral("bad.ini=[PARA]\nIDLE TIME=1\n") + QChar(0)}
            << QStringList{"query", "--config", "{bad.ini}", "--port", "@"} << 3 << "NUL bytes";
        QTest::newRow("config without a section")
            << QStringList{"plain.ini=IDLE TIME=1\n"}
            << QStringList{"query", "--config", "{plain.ini}", "--port", "@"} << 3 << "no section";
        QTest::newRow("set-params config without [PARA]")
            << QStringList{"logo.ini=[LOGO]\nSIZE=100\n"}
            << QStringList{"set-params", "--config", "{logo.ini}", "--port", "@"} << 3
            << "no [PARA] section";
        QTest::newRow("a link and its device")
            << QStringList{} << QStringList{"query", "--port", "@", "--port", "@link"} << 2
            << "name the same device";
        QTest::newRow("COM1 and its device")
            << QStringList{} << QStringList{"query", "--port", "@", "--port", "COM1,/dev/ttyS0"}
            << 2 << "\"COM1\" and \"/dev/ttyS0\" name the same device";
        QTest::newRow("one serial on two ports")
            << QStringList{}
            << QStringList{"set-factory", "NUV", "7", "--port", "@", "--port", "COM9"} << 2
            << "would give every printer the same number";
        QTest::newRow("empty model")
            << QStringList{} << QStringList{"set-factory", " ", "7", "--port", "@"} << 2
            << "MODEL is empty";
        QTest::newRow("empty serial")
            << QStringList{} << QStringList{"set-factory", "NUV", "", "--port", "@"} << 2
            << "SERIAL is empty";
    }
    void refusalsTouchNothing() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("serial.txt"), "100\n"));
        SaveBitmap(dir.filePath("a.bmp"), 8, 8, 0);
        for (const QString& f : files) {
            if (f.endsWith('/'))
                QVERIFY(QDir(dir.path()).mkdir(f.chopped(1)));
            else if (f.contains("->"))
                QVERIFY(QFile::link(dir.filePath(f.section("->", 1)),
                                    dir.filePath(f.section("->", 0, 0))));
            else
                QVERIFY(WriteFile(dir.filePath(f.section('=', 0, 0)), f.section('=', 1).toUtf8()));
        }
        TPrinterSim sim;
        QVERIFY(sim.StartPty());
        QVERIFY(sim.LinkPath(dir.filePath("link")));
        for (QString& a : args)
            a.replace("@link", dir.filePath("link"));
        const QMap<QString, QByteArray> before = Snapshot(dir.path());
        const TRun run = Cli(Expand(args, sim, dir));
        QVERIFY2(run.FStatus == status, qPrintable(run.FErr));
        QVERIFY2(run.FErr.startsWith("nuvctl: ") && run.FErr.contains(message),
                 qPrintable(run.FErr));
        QCOMPARE(run.FErr.count('\n'), status == 2 ? 2 : 1);
        QVERIFY(sim.Frames().isEmpty());
        QCOMPARE(Snapshot(dir.path()), before);
    }

    // A stop during transfers on two ports: each ends after its current block, with its result
    // line, its reason on stderr and its log, well within two seconds.
    void stopDuringTransfers() {
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("fw.bin"), SimFirmwareImage(64 * 1024)));
        TPrinters printers(2);
        TSimFaults paced;
        paced.FPacingBaud = -1; // as a line at the rate set: the transfer takes seconds
        printers[0].SetFaults(paced);
        printers[1].SetFaults(paced);
        auto p = StartCli({"program", dir.filePath("fw.bin"), "--port", printers.Ports(), "--log",
                           dir.filePath("t.log"), "-v"});
        const auto sentAt = SignalAtFrame(printers[0], *p, SIGINT, kProgramBlock, 8 * 256);
        const TRun run = Finish(p);
        const int64_t stopMs = SimNowMs() - sentAt->load();
        QVERIFY2(sentAt->load() > 0 && stopMs < 2000, qPrintable(QString::number(stopMs)));
        QCOMPARE(run.FStatus, 130);
        const QStringList lines = run.FOut.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        for (int i = 0; i < 2; ++i) {
            const QString& port = printers.FPaths[i];
            QVERIFY2(lines[i].startsWith(port + "\tPRN 6104\tcancelled (exit 130)\t"),
                     qPrintable(lines[i]));
            QVERIFY2(printers[i].ProgramImage().size() < 64 * 1024, qPrintable(port));
            const QString log = dir.filePath("t-" + port.mid(5).replace('/', '_') + ".log");
            QVERIFY2(ReadFile(log).contains("ERROR Cancelled after "), qPrintable(log));
            QVERIFY(
                run.FErr.contains(QRegularExpression("nuvctl: " + QRegularExpression::escape(port) +
                                                     ": Cancelled after \\d+ of 65536 bytes")));
            QVERIFY(run.FErr.contains("nuvctl: " + port + ": 0x2e offset 0: 256 bytes, 1 try\n"));
        }
        for (const QString& line : run.FErr.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(line.startsWith("nuvctl: SIGINT: ") ||
                         line.startsWith("nuvctl: " + printers.FPaths[0] + ": ") ||
                         line.startsWith("nuvctl: " + printers.FPaths[1] + ": "),
                     qPrintable(line));
    }

    // The built file is the window's logo.bin, each picture's size the printed one, margins
    // included; LOGO settings come from --config.
    void logoBuildIsTheWindowsImage() {
        QTemporaryDir dir;
        const QStringList pictures = {SaveBitmap(dir.filePath("wide.bmp"), 100, 20, 2),
                                      SaveBitmap(dir.filePath("dot.bmp"), 1, 1, 0)};
        const QString out = dir.filePath("logo.bin");
        TRun run = Cli({"logo", "build", "wide.bmp", "dot.bmp", "-o", out}, dir.path());
        QVERIFY2(run.FStatus == 0, qPrintable(run.FErr));
        const QByteArray image = BuildLogoImage(pictures, 65536, 384).FImage;
        QCOMPARE(ReadFile(out), image);
        QCOMPARE(run.FOut.split('\n', Qt::SkipEmptyParts),
                 (QStringList{LogoSpaceText(image.size(), 65536),
                              "wide.bmp\t104x24 dots\t316 bytes", "dot.bmp\t8x8 dots\t12 bytes"}));

        // Every picture that fails is named; the existing output stays as it was.
        QVERIFY(WriteFile(dir.filePath("config.ini"), "[LOGO]\nWIDTH=64\n"));
        SaveBitmap(dir.filePath("wider.bmp"), 65, 1, 0);
        run = Cli({"logo", "build", "wide.bmp", "dot.bmp", "wider.bmp", "missing.bmp", "-o", out,
                   "--config", dir.filePath("config.ini")},
                  dir.path());
        QCOMPARE(run.FStatus, 3);
        const QStringList lines = run.FErr.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].contains("wide.bmp\" refused") && lines[0].contains("64 dots"),
                 qPrintable(run.FErr));
        QVERIFY2(lines[1].contains("wider.bmp\" refused"), qPrintable(run.FErr));
        QVERIFY2(lines[2].contains("missing.bmp\". No such file."), qPrintable(run.FErr));
        QCOMPARE(ReadFile(out), image);
    }

    // A printer listening at 38400 is found there; the rates before it go unheard.
    void findReportsPortAndRate() {
        TPrinterSim sim;
        QVERIFY(sim.StartPty());
        sim.SetListenRate(38400);
        const TRun run = Cli({"find", "--port", sim.SlavePath()});
        QVERIFY2(run.FStatus == 0, qPrintable(run.FErr));
        QVERIFY2(run.FOut.startsWith(sim.SlavePath() + "\tPRN 6104\t38400\tprinter found\t"),
                 qPrintable(run.FOut));
        QCOMPARE(sim.Frames().size(), 1);
    }

    void helpVersionAndLinks() {
        const TRun help = Cli({"--help"});
        QCOMPARE(help.FStatus, 0);
        QVERIFY(help.FOut.contains("stray characters"));
        for (const char* status : {"  3  file missing", "  5  no reply", "  9  job failed"})
            QVERIFY2(help.FOut.contains(status), status);
        QCOMPARE(Cli({"--version"}).FOut, QStringLiteral("nuvctl " PROJECT_VERSION "\n"));
        const TRun ports = Cli({"list-ports"});
        QCOMPARE(ports.FStatus, 0);
        for (const QString& line : ports.FOut.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(line.count('\t') == 3 && line.startsWith('/'), qPrintable(line));

        const QString ldd = QStandardPaths::findExecutable("ldd");
        if (ldd.isEmpty())
            QSKIP("no ldd");
        QProcess p;
        p.start(ldd, {NUVCTL_PROGRAM});
        QVERIFY(p.waitForFinished(10000));
        const QByteArray libs = p.readAllStandardOutput();
        QVERIFY(libs.contains("libQt6Core"));
        QVERIFY(!libs.contains("Widgets"));
    }

    // The bar is drawn on a terminal only.
    void progressBarOnlyOnATerminal() {
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("fw.bin"), SimFirmwareImage(4096)));
        TPrinterSim sim;
        QVERIFY(sim.StartPty());
        const QStringList args = {"program", dir.filePath("fw.bin"), "--port", sim.SlavePath()};
        const TRun piped = Cli(args);
        QCOMPARE(piped.FStatus, 0);
        QCOMPARE(piped.FErr, QString());

        const QString script = QStandardPaths::findExecutable("script");
        if (script.isEmpty())
            QSKIP("no script(1) to give the program a terminal");
        QStringList quoted;
        for (const QString& a : QStringList{NUVCTL_PROGRAM} + args)
            quoted << "'" + a + "'";
        QProcess p;
        p.start(script, {"-qec", quoted.join(' '), "/dev/null"});
        QVERIFY(p.waitForFinished(20000));
        const QByteArray tty = p.readAllStandardOutput();
        QVERIFY2(tty.contains("4.0 KiB / 4.0 KiB") && tty.contains(" left"), tty.constData());
    }

    // Printers plugged in one after another on three ports, and a fourth on the first port once
    // the first printer is removed: each starts as it answers, gets the whole image and a
    // number of its own, and each job leaves its history line.
    void stationTakesPrintersAsTheyCome() {
        QTemporaryDir dir;
        const QByteArray firmware = SimFirmwareImage(8 * 256);
        QVERIFY(WriteFile(dir.filePath("fw.bin"), firmware));
        QVERIFY(WriteFile(dir.filePath("serial.txt"), "100\n"));
        QVERIFY(WriteFile(dir.filePath("recipe.ini"),
                          "[RECIPE]\n1=program fw.bin\n"
                          "2=set-factory NUV-II --serial-file serial.txt\n"));
        QVERIFY(QDir(dir.path()).mkdir("files"));
        const QString files = dir.filePath("files");
        const QStringList links = {dir.filePath("p0"), dir.filePath("p1"), dir.filePath("p2")};
        auto p = StartCli({"--files", files, "station", dir.filePath("recipe.ini"), "--port",
                           links.join(','), "--count", "4", "--json"});
        TEvents events(*p);
        QVERIFY(!events.WaitFor(IsEvent("watch", links[2]), 5000).isEmpty());

        QElapsedTimer clock;
        clock.start();
        std::vector<std::unique_ptr<TPrinterSim>> sims; // in the order they are plugged in
        QStringList plugged;                            // the port of each
        const auto plugIn = [&](const QString& link) {
            sims.push_back(std::make_unique<TPrinterSim>());
            plugged << link;
            return sims.back()->StartPty() && sims.back()->LinkPath(link);
        };
        for (int i = 0; i < 3; ++i) {
            if (const qint64 due = i * 1000 - clock.elapsed(); due > 0)
                QTest::qWait(int(due));
            QVERIFY(plugIn(links[i]));
        }
        QVERIFY(!events.WaitFor(IsEvent("done", links[0]), 10000).isEmpty());
        sims[0]->Stop();
        QVERIFY(!events.WaitFor(IsEvent("gone", links[0]), 10000).isEmpty());
        QVERIFY(plugIn(links[0]));
        const TRun run = Finish(p);
        events.Take(run.FOut.toUtf8());
        QVERIFY2(run.FStatus == 0, qPrintable(run.FErr));
        QCOMPARE(run.FErr, QString());

        // Numbers go out as printers reach that step, which a slow machine may reorder: each
        // printer has the number its own "done" event reports, and together they run on.
        QHash<QString, QList<int>> reported; // port -> serials of its "done" events, in order
        for (const QJsonObject& e : events.FAll)
            if (IsEvent("done")(e))
                reported[e["port"].toString()] << e["serial"].toString().toInt();
        QList<int> serials;
        for (size_t i = 0; i < sims.size(); ++i) {
            const TPrinterSim& sim = *sims[i];
            QCOMPARE(sim.ProgramImage(), firmware);
            QVERIFY(sim.ProgramEnded());
            const QByteArray block = sim.LastBlock(kFactory);
            const int serial = block.mid(block.indexOf('\0') + 1).toInt();
            QVERIFY(!reported[plugged[int(i)]].isEmpty());
            QCOMPARE(serial, reported[plugged[int(i)]].takeFirst());
            serials << serial;
            // From the printer's first answer to the first block of its firmware.
            const QList<TSimFrame> frames = sim.Frames();
            const int64_t answered = SimFirstFrameMs(frames, SimCmd::QueryDevice);
            const int64_t firstBlock = SimFirstFrameMs(frames, SimCmd::WriteProgram);
            QVERIFY2(answered >= 0 && firstBlock - answered < 1000,
                     qPrintable(QStringLiteral("printer %1 waited %2 ms")
                                    .arg(i + 1)
                                    .arg(firstBlock - answered)));
        }
        std::sort(serials.begin(), serials.end());
        QCOMPARE(serials, (QList<int>{100, 101, 102, 103}));
        const QJsonObject summary = events.WaitFor(IsEvent("summary"), 0);
        QCOMPARE(summary["printers"].toInt(), 4);
        QCOMPARE(summary["ok"].toInt(), 4);
        const QList<QJsonObject> history = HistoryLines(files);
        QCOMPARE(history.size(), 8);
        QStringList jobs;
        for (const QJsonObject& h : history) {
            QCOMPARE(h["result"].toString(), QString("ok"));
            jobs << h["job"].toString() + ' ' + h["serial"].toString();
        }
        jobs.sort();
        QCOMPARE(jobs,
                 (QStringList{"program ", "program ", "program ", "program ", "set-factory 100",
                              "set-factory 101", "set-factory 102", "set-factory 103"}));
        QCOMPARE(ReadFile(dir.filePath("serial.txt")), QByteArray("104\n"));
    }

    // run: each port through the steps on its own, files found beside the recipe whatever the
    // current folder; a failed step skips the rest of that printer's recipe only.
    void runRecipeOnEachPort() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("line"));
        const QByteArray firmware = SimFirmwareImage(4 * 256);
        const QByteArray font(300, 'f');
        QVERIFY(WriteFile(dir.filePath("line/fw.bin"), firmware));
        QVERIFY(WriteFile(dir.filePath("line/my font.bin"), font));
        QVERIFY(
            WriteFile(dir.filePath("line/recipe.ini"),
                      "[RECIPE]\n1=font \"my font.bin\"\n2=program fw.bin\n3=set-ircomm 9600\n"));
        TPrinters printers(2);
        TSimFaults noMode;
        noMode.FSilent = true;
        noMode.FFilter = [](const TSimFrame& f) {
            return f.FCommand == kModeSelect && f.FArgument == modeProgram;
        };
        printers[1].SetFaults(noMode);
        const QString& p0 = printers.FPaths[0];
        const QString& p1 = printers.FPaths[1];
        TRun run =
            Cli({"--files", dir.path(), "run", "line/recipe.ini", "--port", printers.Ports()},
                dir.path());
        QCOMPARE(run.FStatus, 8);
        QStringList lines = run.FOut.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 7);
        QVERIFY2(lines.last().startsWith("1 of 2 printers OK, 1 failed (exit 8); "),
                 qPrintable(lines.last()));
        lines.removeLast();
        for (QString& line : lines)
            line = line.section('\t', 0, 3); // without the times
        // Sorted on both sides: which pty name sorts first depends on what else is open.
        lines.sort();
        QStringList expected{p0 + "\t1/3 font\tPRN 6104\tOK",
                             p0 + "\t2/3 program\tPRN 6104\tOK",
                             p0 + "\t3/3 set-ircomm\tPRN 6104\tOK",
                             p1 + "\t1/3 font\tPRN 6104\tOK",
                             p1 + "\t2/3 program\tPRN 6104\tmode refused (exit 8)",
                             p1 + "\t3/3 set-ircomm\t-\tskipped"};
        expected.sort();
        QCOMPARE(lines, expected);
        QVERIFY2(run.FErr.startsWith("nuvctl: " + p1 + ": The printer") &&
                     run.FErr.count('\n') == 1,
                 qPrintable(run.FErr));
        QCOMPARE(printers[0].DownloadedFile(kFont), font);
        QCOMPARE(printers[0].ProgramImage(), firmware);
        QCOMPARE(printers[1].DownloadedFile(kFont), font);
        QVERIFY(!Commands(printers[1]).contains(kIrComm));
        QCOMPARE(HistoryLines(dir.path()).size(), 5);

        run = Cli({"--files", dir.path(), "run", dir.filePath("line/recipe.ini"), "--port", p1,
                   "--json"});
        QCOMPARE(run.FStatus, 8);
        const QList<QJsonObject> events = JsonLines(run.FOut);
        QCOMPARE(events.last()["event"].toString(), QString("done"));
        QCOMPARE(events.last()["failed_step"].toInt(), 2);
        QCOMPARE(events.last()["status"].toInt(), 8);
        const QJsonObject skipped = events[events.size() - 2];
        QCOMPARE(skipped["result"].toString(), QString("skipped"));
        QCOMPARE(skipped["step"].toInt(), 3);
    }

    // A printer whose firmware step fails in a station is reported and never numbered: the
    // counter is not even reserved for it.
    void stationFailedPrinterTakesNoNumber() {
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("fw.bin"), SimFirmwareImage(256)));
        QVERIFY(WriteFile(dir.filePath("serial.txt"), "7\n"));
        QVERIFY(WriteFile(dir.filePath("r.ini"), "[RECIPE]\n1=program fw.bin\n"
                                                 "2=set-factory NUV --serial-file serial.txt\n"));
        TPrinterSim sim;
        QVERIFY(sim.StartPty());
        TSimFaults noMode;
        noMode.FSilent = true;
        noMode.FFilter = [](const TSimFrame& f) { return f.FCommand == kModeSelect; };
        sim.SetFaults(noMode);
        const TRun run = Cli({"--files", dir.path(), "station", dir.filePath("r.ini"), "--port",
                              sim.SlavePath(), "--count", "1"});
        QCOMPARE(run.FStatus, 8);
        const QStringList lines = run.FOut.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 6 && lines[3].endsWith("set-factory skipped") &&
                     lines[4].contains(": printer 1 FAILED: The printer") &&
                     lines[5].startsWith("0 of 1 printers OK, 1 failed (exit 8)"),
                 qPrintable(run.FOut));
        QVERIFY(!Commands(sim).contains(kFactory));
        QCOMPARE(ReadFile(dir.filePath("serial.txt")), QByteArray("7\n"));
        QVERIFY(!QFile::exists(dir.filePath("serial.txt.journal")));
        const QList<QJsonObject> history = HistoryLines(dir.path());
        QCOMPARE(history.size(), 1);
        QCOMPARE(history[0]["result"].toString(), QString("failed"));
    }

    // The first SIGINT ends a station that waits for printers at once, with its summary.
    void stationStopsOnSignal() {
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("r.ini"), "[RECIPE]\n1=query\n"));
        auto p =
            StartCli({"station", dir.filePath("r.ini"), "--port", dir.filePath("none"), "--json"});
        TEvents events(*p);
        QVERIFY(!events.WaitFor(IsEvent("watch"), 5000).isEmpty());
        QElapsedTimer timer;
        timer.start();
        ::kill(pid_t(p->processId()), SIGINT);
        const TRun run = Finish(p, 5000);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(run.FStatus, 130);
        events.Take(run.FOut.toUtf8());
        const QJsonObject summary = events.WaitFor(IsEvent("summary"), 0);
        QCOMPARE(summary["printers"].toInt(), 0);
    }

    // A recipe with a line that would fail is refused as a whole before any printer is sent
    // anything, naming the line.
    void badRecipeSendsNothing_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("recipe");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing firmware")
            << "run" << QByteArray("1=set-ircomm 9600\n2=program missing.bin\n") << 3
            << "line 2 (\"program missing.bin\"): Cannot open file";
        QTest::newRow("a run's option")
            << "station" << QByteArray("1=set-ircomm 9600 --port COM1\n") << 2
            << "line 1 (\"set-ircomm 9600 --port COM1\"): --port";
        QTest::newRow("one serial for every printer")
            << "station" << QByteArray("1=set-factory NUV 7\n") << 2
            << "in a station would give every printer the same number";
        QTest::newRow("a step left out")
            << "run" << QByteArray("1=set-ircomm 9600\n3=query\n") << 3 << "step 2 is missing";
        QTest::newRow("no printer command")
            << "run" << QByteArray("1=logo build a.bmp -o out.bin\n") << 2
            << "logo build cannot be a recipe's step";
        QTest::newRow("quote left open")
            << "run" << QByteArray("1=font 'my font.bin\n") << 2 << "The quote ' is not closed.";
        QTest::newRow("bad value")
            << "station" << QByteArray("1=set-params --density 9\n") << 2 << "positions 0 to 2";
        QTest::newRow("no steps") << "run" << QByteArray("; nothing yet\n") << 3 << "has no steps";
    }
    void badRecipeSendsNothing() {
        QFETCH(QString, command);
        QFETCH(QByteArray, recipe);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("r.ini"), "[RECIPE]\n" + recipe));
        TPrinterSim sim;
        QVERIFY(sim.StartPty());
        const TRun run = Cli({command, dir.filePath("r.ini"), "--port", sim.SlavePath()});
        QVERIFY2(run.FStatus == status, qPrintable(run.FErr));
        QVERIFY2(run.FErr.contains(message), qPrintable(run.FErr));
        QCOMPARE(run.FOut, QString());
        QVERIFY(sim.Frames().isEmpty());
    }

    // --json: nothing but events on stdout, with every field, for a success and a failure.
    void jsonEvents() {
        QTemporaryDir dir;
        const QByteArray firmware = SimFirmwareImage(32 * 256);
        QVERIFY(WriteFile(dir.filePath("fw.bin"), firmware));
        TPrinters printers(2);
        TSimFaults silent;
        silent.FSilent = true;
        printers[1].SetFaults(silent);
        const TRun run =
            Cli({"program", dir.filePath("fw.bin"), "--json", "--port", printers.Ports()});
        QCOMPARE(run.FStatus, 5);
        QVERIFY2(run.FErr.contains(printers.FPaths[1] + ": No reply"), qPrintable(run.FErr));
        QMap<QString, QJsonObject> ends;
        QStringList names;
        for (const QJsonObject& o : JsonLines(run.FOut)) {
            names << o["event"].toString();
            if (o["event"] == "end")
                ends.insert(o["port"].toString(), o);
            if (o["event"] == "start")
                QVERIFY(!o["time"].toString().isEmpty() && o["job"] == "program");
            if (o["event"] == "progress")
                QVERIFY(o["port"] == printers.FPaths[0] &&
                        o["bytes"].toInt() <= o["total"].toInt());
        }
        names.removeAll("progress");
        QCOMPARE(names, (QStringList{"start", "start", "end", "end", "summary"}));
        const QStringList fields = {"event",  "port",    "identification", "job",
                                    "status", "result",  "reason",         "seconds",
                                    "bytes",  "retries", "serial",         "sha256"};
        for (const QJsonObject& end : ends)
            QCOMPARE(end.keys().size(), fields.size());
        const QJsonObject ok = ends.value(printers.FPaths[0]);
        for (const QString& field : fields)
            QVERIFY2(ok.contains(field), qPrintable(field));
        QCOMPARE(ok["identification"].toString(), QString("PRN 6104"));
        QCOMPARE(ok["status"].toInt(), 0);
        QCOMPARE(ok["result"].toString(), QString("ok"));
        QCOMPARE(ok["bytes"].toInt(), firmware.size());
        QCOMPARE(ok["sha256"].toString().toLatin1(),
                 QCryptographicHash::hash(firmware, QCryptographicHash::Sha256).toHex());
        const QJsonObject failed = ends.value(printers.FPaths[1]);
        for (const QString& field : fields)
            QVERIFY2(failed.contains(field), qPrintable(field));
        QCOMPARE(failed["status"].toInt(), 5);
        QCOMPARE(failed["result"].toString(), QString("failed"));
        QVERIFY(failed["reason"].toString().startsWith("No reply from the printer"));
        QCOMPARE(failed["bytes"].toInt(), 0);
        const QJsonObject summary = JsonLines(run.FOut).constLast();
        QCOMPARE(summary["printers"].toInt(), 2);
        QCOMPARE(summary["ok"].toInt(), 1);
        QCOMPARE(summary["status"].toInt(), 5);

        // A refusal is an event too; data commands give theirs as events.
        const TRun refused = Cli({"query", "--json", "--port", "TCP/IP 127.0.0.1:99999"});
        QCOMPARE(refused.FStatus, 2);
        const QList<QJsonObject> error = JsonLines(refused.FOut);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error[0]["event"].toString(), QString("error"));
        QVERIFY(error[0]["reason"].toString().contains("out of range"));
        for (const QJsonObject& o : JsonLines(Cli({"list-ports", "--json"}).FOut))
            QVERIFY(o["event"] == "port" && o.contains("access"));
    }

    // history shows what the jobs left in the files folder; support-bundle packs it. A history
    // that cannot be written leaves the job's result as it was.
    void historyAndSupportBundle() {
        QTemporaryDir dir;
        const QString files = dir.filePath("files");
        QVERIFY(QDir(dir.path()).mkdir("files"));
        TPrinters printers(2);
        TSimFaults silent;
        silent.FSilent = true;
        printers[1].SetFaults(silent);
        QCOMPARE(
            Cli({"--files", files, "set-ircomm", "9600", "--port", printers.FPaths[0]}).FStatus, 0);
        QCOMPARE(Cli({"--files", files, "query", "--port", printers.FPaths[1]}).FStatus, 5);

        const auto rows = [&](const QStringList& args) {
            const TRun run = Cli(QStringList{"--files", files, "history"} + args);
            return run.FStatus == 0 ? run.FOut.split('\n', Qt::SkipEmptyParts).mid(1)
                                    : QStringList{"exit " + QString::number(run.FStatus)};
        };
        QCOMPARE(rows({}).size(), 2);
        const QStringList failed = rows({"--failed"});
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0].contains("query") && failed[0].contains("No reply"),
                 qPrintable(failed[0]));
        QCOMPARE(rows({"--port", printers.FPaths[0]}).size(), 1);
        QCOMPARE(rows({"--since", QDate::currentDate().addDays(1).toString(Qt::ISODate)}).size(),
                 0);
        QCOMPARE(rows({"--since", "yesterday"}), QStringList{"exit 2"});
        const QList<QJsonObject> lines =
            JsonLines(Cli({"--files", files, "history", "--json"}).FOut);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0]["event"].toString(), QString("history"));
        QCOMPARE(lines[0]["job"].toString(), QString("set-ircomm"));
        QCOMPARE(lines[0]["program"].toString(), QString("nuvctl"));

        const QString bundle = dir.filePath("b.tar.gz");
        TRun run = Cli({"--files", files, "support-bundle", "-o", bundle});
        QVERIFY2(run.FStatus == 0, qPrintable(run.FErr));
        QVERIFY(ReadFile(bundle).startsWith("\x1f\x8b"));
        if (const QString tar = QStandardPaths::findExecutable("tar"); !tar.isEmpty()) {
            QProcess list;
            list.start(tar, {"-tzf", bundle});
            QVERIFY(list.waitForFinished(5000));
            const QByteArray names = list.readAllStandardOutput();
            QVERIFY2(names.contains("/history.jsonl\n") && names.contains("/system.txt"),
                     names.constData());
        }
        QCOMPARE(Cli({"--files", dir.filePath("none"), "history"}).FStatus, 3);

        QVERIFY(QFile::remove(files + "/history.jsonl"));
        QVERIFY(QDir(files).mkdir("history.jsonl"));
        run = Cli({"--files", files, "set-ircomm", "9600", "--port", printers.FPaths[0]});
        QCOMPARE(run.FStatus, 0);
        QVERIFY2(run.FErr.startsWith("nuvctl: history.jsonl was not written: "),
                 qPrintable(run.FErr));
    }

    // A record whose last line a power cut left unfinished takes the next printer's line on a
    // line of its own. A printer that took its number keeps it in the record even when the
    // journal cannot be written afterwards.
    void recordAfterTroubles() {
        QTemporaryDir dir;
        const QString record = dir.filePath("record.csv");
        const QByteArray cut = "2026-12-09T10:00:00.000+01:00,/dev/ttyX,PRN 6104,NUV";
        QVERIFY(WriteFile(record, "time,port,identification,model,serial,result\n" + cut));
        TPrinters one(1);
        TRun run = Cli({"set-factory", "NUV-II", "7", "--record", record, "--port", one.Ports()});
        QVERIFY2(run.FStatus == 0, qPrintable(run.FErr));
        QStringList rows = QString::fromUtf8(ReadFile(record)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1], QString::fromUtf8(cut));
        QVERIFY2(rows[2].endsWith(one.FPaths[0] + ",PRN 6104,NUV-II,7,OK"), qPrintable(rows[2]));

        // The journal turns into a folder while the printer stores its number.
        const QString counter = dir.filePath("serial.txt");
        QVERIFY(WriteFile(counter, "40\n"));
        TPrinters two(1);
        TSimFaults slowFactory;
        slowFactory.FDelayMs = 300;
        slowFactory.FFilter = [](const TSimFrame& f) { return f.FCommand == kFactory; };
        two[0].SetFaults(slowFactory);
        auto swapped = std::make_shared<std::atomic<int>>(0); // 1: done, -1: failed
        two[0].SetLogCallback([journal = counter + ".journal", swapped](const QString& line) {
            if (line.contains(" cmd 64 arg") && swapped->load() == 0)
                swapped->store(
                    QFile::rename(journal, journal + ".old") && QDir().mkdir(journal) ? 1 : -1);
        });
        run = Cli({"set-factory", "NUV-II", "--serial-file", counter, "--record", record, "--port",
                   two.Ports()});
        QCOMPARE(run.FStatus, 3);
        QCOMPARE(swapped->load(), 1);
        QCOMPARE(Serials(two), QList<int>{40});
        QVERIFY2(
            run.FOut.startsWith(two.FPaths[0] + "\tPRN 6104\tfile error (exit 3), serial 40\t"),
            qPrintable(run.FOut));
        rows = QString::fromUtf8(ReadFile(record)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 4);
        QVERIFY2(rows[3].endsWith(two.FPaths[0] + ",PRN 6104,NUV-II,40,file error (exit 3)"),
                 qPrintable(rows[3]));
    }

    // A name meant as a datagram peer that makes none is refused with what is wrong with it;
    // one that is no peer's shape is a serial port's name.
    void peerNameRefusals_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("no port number") << "TCP/IP printer.local" << 2 << "give the peer as";
        QTest::newRow("port not a number")
            << "TCP/IP 10.0.0.2:91x0" << 2 << "the port number \"91x0\" is not a number";
        QTest::newRow("port zero") << "10.0.0.2:0" << 2 << "the port number 0 is out of range";
        QTest::newRow("blank in the host")
            << "TCP/IP my printer:9100" << 2 << "\"my printer\" is not a host name or address";
        QTest::newRow("brackets without an IPv6 address")
            << "TCP/IP [fe80]:9100" << 2 << "\"[fe80]\" is not a host name or address";
        QTest::newRow("a serial port's name") << "/dev/nuv-none:0" << 4 << "nuv-none";
    }
    void peerNameRefusals() {
        QFETCH(QString, port);
        QFETCH(int, status);
        QFETCH(QString, message);
        const TRun run = Cli({"query", "--port", port});
        QCOMPARE(run.FStatus, status);
        QVERIFY2(run.FErr.contains(message), qPrintable(run.FErr));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
