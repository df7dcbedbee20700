// printer-sim: a simulated receipt printer on a pseudo-terminal or a UDP port, for working on
// the service tool without hardware.

#include "PrinterSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <ctime>

namespace {

void Print(FILE* to, const QString& line) {
    const QByteArray b = line.toLocal8Bit();
    std::fprintf(to, "%s\n", b.constData());
    std::fflush(to);
}

bool ToInt(const QString& text, int min, int max, int* value) {
    bool ok = false;
    const int v = text.toInt(&ok, 0);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

bool ToHex(const QString& text, QByteArray* bytes) {
    QString digits = text;
    digits.remove(QLatin1Char(' ')).remove(QLatin1Char(':'));
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    if (digits.size() % 2 != 0)
        return false;
    for (QChar c : digits)
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c))
            return false;
    *bytes = QByteArray::fromHex(digits.toLatin1());
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    // Block the stop signals before any thread starts so that only sigtimedwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("printer-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated receipt printer for the NUV service tool.\n"
                       "Answers request frames on a pseudo-terminal (default) or on UDP at "
                       "127.0.0.1, and keeps what it is sent.\n"
                       "Prints the slave path (\"pty: PATH\") or the port (\"udp: "
                       "127.0.0.1:PORT\") and runs until SIGINT or SIGTERM."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption optPty(QStringLiteral("pty"),
                                    QStringLiteral("Listen on a pseudo-terminal (default)."));
    const QCommandLineOption optUdp(QStringLiteral("udp"),
                                    QStringLiteral("Listen on UDP 127.0.0.1:PORT (0 = any)."),
                                    QStringLiteral("PORT"));
    const QCommandLineOption optLink(QStringLiteral("link"),
                                     QStringLiteral("Symlink PATH to the pty slave, e.g. "
                                                    "/tmp/ttyPRN0."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption optId(QStringLiteral("id"),
                                   QStringLiteral("Identification to report (default "
                                                  "\"PRN 6104\"); any length."),
                                   QStringLiteral("TEXT"));
    const QCommandLineOption optIdHex(QStringLiteral("id-hex"),
                                      QStringLiteral("Identification as hex bytes."),
                                      QStringLiteral("HEX"));
    const QCommandLineOption optOut(
        QStringLiteral("out"),
        QStringLiteral("Write received blocks and images into DIR when they change and on "
                       "exit."),
        QStringLiteral("DIR"));
    const QCommandLineOption optSilent(QStringLiteral("silent"), QStringLiteral("Answer nothing."));
    const QCommandLineOption optBadHeader(QStringLiteral("bad-header"),
                                          QStringLiteral("Replies carry a wrong header "
                                                         "checksum."));
    const QCommandLineOption optBadData(QStringLiteral("bad-data"),
                                        QStringLiteral("Replies carry data with a wrong "
                                                       "checksum."));
    const QCommandLineOption optJunk(QStringLiteral("junk"),
                                     QStringLiteral("Send these bytes before each reply, e.g. "
                                                    "5503."),
                                     QStringLiteral("HEX"));
    const QCommandLineOption optSplit(QStringLiteral("split"),
                                      QStringLiteral("Send each reply in N pieces."),
                                      QStringLiteral("N"));
    const QCommandLineOption optSplitGap(QStringLiteral("split-gap"),
                                         QStringLiteral("Gap between the pieces, in ms."),
                                         QStringLiteral("MS"));
    const QCommandLineOption optDelay(
        QStringLiteral("delay"), QStringLiteral("Delay every reply by MS."), QStringLiteral("MS"));
    const QCommandLineOption optIgnore(QStringLiteral("ignore-first"),
                                       QStringLiteral("Ignore the first K receptions of each "
                                                      "distinct frame."),
                                       QStringLiteral("K"));
    const QCommandLineOption optStop(QStringLiteral("stop-after"),
                                     QStringLiteral("Stop answering after N answered frames."),
                                     QStringLiteral("N"));
    const QCommandLineOption optNoRate(QStringLiteral("no-rate-reply"),
                                       QStringLiteral("Do not answer the link-rate switch."));
    const QCommandLineOption optPace(
        QStringLiteral("pace"),
        QStringLiteral("Pace requests and replies like a line at BAUD (10 bits a byte); "
                       "\"line\" = at the rate the tool set on the port."),
        QStringLiteral("BAUD"));
    const QCommandLineOption optListen(
        QStringLiteral("listen"),
        QStringLiteral("Listen at BAUD on the pseudo-terminal: requests the tool sends at another "
                       "rate go unheard; a rate switch moves the printer to the new rate."),
        QStringLiteral("BAUD"));
    const QCommandLineOption optReplyData(QStringLiteral("reply-data"),
                                          QStringLiteral("Ordinary replies carry N data "
                                                         "bytes."),
                                          QStringLiteral("N"));
    const QCommandLineOption optOnly(
        QStringLiteral("only"),
        QStringLiteral("Give --silent, --delay, --ignore-first, --junk, --split and the checksum "
                       "faults only to frames of command CODE (e.g. 0x64, the factory block)."),
        QStringLiteral("CODE"));
    const QCommandLineOption optVerbose(QStringLiteral("verbose"),
                                        QStringLiteral("Print one line per request frame."));
    parser.addOptions({optPty,       optUdp,       optLink,    optId,     optIdHex, optOut,
                       optSilent,    optBadHeader, optBadData, optJunk,   optSplit, optSplitGap,
                       optDelay,     optIgnore,    optStop,    optNoRate, optPace,  optListen,
                       optReplyData, optOnly,      optVerbose});
    parser.process(app);

    auto fail = [](const QString& text) {
        Print(stderr, QStringLiteral("printer-sim: %1").arg(text));
        return 2;
    };
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments()[0]));

    TSimFaults faults;
    faults.FSilent = parser.isSet(optSilent);
    faults.FBadHeaderChecksum = parser.isSet(optBadHeader);
    faults.FBadDataChecksum = parser.isSet(optBadData);
    faults.FNoRateSwitchReply = parser.isSet(optNoRate);
    if (parser.isSet(optJunk) && !ToHex(parser.value(optJunk), &faults.FJunkBefore))
        return fail(QStringLiteral("--junk wants hex bytes"));
    struct TIntOption {
        const QCommandLineOption* FOption;
        int* FValue;
        int FMin;
        int FMax;
    };
    const TIntOption ints[] = {{&optSplit, &faults.FSplitPieces, 0, 65535},
                               {&optSplitGap, &faults.FSplitGapMs, 0, 3600000},
                               {&optDelay, &faults.FDelayMs, 0, 3600000},
                               {&optIgnore, &faults.FIgnoreFirstTries, 0, 1000000},
                               {&optStop, &faults.FStopAfterFrames, -1, 2147483647},
                               {&optReplyData, &faults.FReplyDataLength, 0, 65535}};
    for (const TIntOption& o : ints)
        if (parser.isSet(*o.FOption) && !ToInt(parser.value(*o.FOption), o.FMin, o.FMax, o.FValue))
            return fail(QStringLiteral("--%1 wants a number from %2 to %3")
                            .arg(o.FOption->names().constFirst())
                            .arg(o.FMin)
                            .arg(o.FMax));
    if (parser.isSet(optPace)) {
        if (parser.value(optPace) == QLatin1String("line"))
            faults.FPacingBaud = -1;
        else if (!ToInt(parser.value(optPace), 1, 100000000, &faults.FPacingBaud))
            return fail(QStringLiteral("--pace wants a rate or \"line\""));
    }

    if (parser.isSet(optOnly)) {
        int code = 0;
        if (!ToInt(parser.value(optOnly), 0, 0xFFFF, &code))
            return fail(QStringLiteral("--only wants a command code from 0 to 0xFFFF"));
        faults.FFilter = [code](const TSimFrame& f) { return f.FCommand == code; };
    }

    int listen = 0;
    if (parser.isSet(optListen) && !ToInt(parser.value(optListen), 1, 100000000, &listen))
        return fail(QStringLiteral("--listen wants a rate"));

    TPrinterSim sim;
    sim.SetListenRate(listen);
    if (parser.isSet(optIdHex)) {
        QByteArray id;
        if (!ToHex(parser.value(optIdHex), &id))
            return fail(QStringLiteral("--id-hex wants hex bytes"));
        sim.SetIdentification(id);
    } else if (parser.isSet(optId)) {
        sim.SetIdentification(parser.value(optId).toLocal8Bit());
    }
    sim.SetFaults(faults);
    if (parser.isSet(optVerbose))
        sim.SetLogCallback([](const QString& line) { Print(stdout, line); });

    const bool useUdp = parser.isSet(optUdp);
    const bool usePty = parser.isSet(optPty) || !useUdp;
    QString error;
    if (usePty) {
        if (!sim.StartPty(&error)) {
            Print(stderr, QStringLiteral("printer-sim: %1").arg(error));
            return 1;
        }
        Print(stdout, QStringLiteral("pty: %1").arg(sim.SlavePath()));
        if (parser.isSet(optLink)) {
            if (!sim.LinkPath(parser.value(optLink), &error)) {
                Print(stderr, QStringLiteral("printer-sim: %1").arg(error));
                return 1;
            }
            Print(stdout, QStringLiteral("link: %1").arg(parser.value(optLink)));
        }
    } else if (parser.isSet(optLink)) {
        return fail(QStringLiteral("--link needs the pseudo-terminal"));
    }
    if (useUdp) {
        int port = 0;
        if (!ToInt(parser.value(optUdp), 0, 65535, &port))
            return fail(QStringLiteral("--udp wants a port from 0 to 65535"));
        if (!sim.StartUdp(uint16_t(port), &error)) {
            Print(stderr, QStringLiteral("printer-sim: %1").arg(error));
            return 1;
        }
        Print(stdout, QStringLiteral("udp: 127.0.0.1:%1").arg(sim.UdpPort()));
    }

    const QString outDir = parser.value(optOut);
    uint64_t written = 0;
    auto writeOut = [&] {
        if (outDir.isEmpty() || sim.ChangeCount() == written)
            return true;
        written = sim.ChangeCount();
        QString err;
        if (sim.WriteOutput(outDir, &err))
            return true;
        Print(stderr, QStringLiteral("printer-sim: %1").arg(err));
        return false;
    };

    int result = 0;
    for (;;) {
        const timespec tick{0, 250 * 1000 * 1000};
        const int sig = sigtimedwait(&stopSignals, nullptr, &tick);
        if (sig == SIGINT || sig == SIGTERM)
            break;
        writeOut();
    }
    sim.Stop();
    if (!writeOut())
        result = 1;
    return result;
}
