// Frames, the receiver and the handshake, against the simulated printer.
#include "EngineRig.h"

#include <atomic>
#include <memory>

namespace {
const QByteArray QueryFrame = Hex("03 FF 20 00 00 00 00 00 08 00 D4 18 44 45 56 49 43 45 3F 3F");
const QByteArray ParameterBlock = Hex("00 01 C2 00 00 01 00 00 32 00 00 00 C8 00 C8 00");

// True for the first `count` frames with this command that the printer sees.
std::function<bool(const TSimFrame&)> FirstOf(uint16_t command, int count) {
    auto seen = std::make_shared<std::atomic<int>>(0);
    return [=](const TSimFrame& f) { return f.FCommand == command && (*seen)++ < count; };
}
} // namespace

class TestProtocol : public QObject {
    Q_OBJECT

private slots:
    void exampleFramesOverBothLinks_data() {
        QTest::addColumn<bool>("udp");
        QTest::newRow("serial") << false;
        QTest::newRow("datagram") << true;
    }
    void exampleFramesOverBothLinks() {
        QFETCH(bool, udp);
        TEngineRig rig(udp);
        rig.SetCommand(cmdSetParameters, ParameterBlock);
        QCOMPARE(rig.Run(jobCommand), 0);
        QCOMPARE(rig.RawFrames(),
                 (QList<QByteArray>{QueryFrame,
                                    Hex("03 FF 60 00 00 00 00 00 10 00 8C F0") + ParameterBlock}));
        QCOMPARE(rig.FSim.LastBlock(cmdSetParameters), ParameterBlock);

        rig.FSim.ClearFrames();
        rig.SetCommand(cmdSetIrRate, Hex("00 00 25 80"));
        QCOMPARE(rig.Run(jobCommand), 0);
        QCOMPARE(rig.RawFrames().at(1), Hex("03 FF 62 00 00 00 00 00 04 00 9A A5 00 00 25 80"));

        rig.FSim.ClearFrames();
        rig.SetCommand(cmdSetBluetooth, QByteArray("abc"));
        QCOMPARE(rig.Run(jobCommand), 0);
        QCOMPARE(rig.RawFrames().at(1), Hex("03 FF 61 00 00 00 00 00 03 00 9E 60 61 62 63"));

        // A download at 9600 switches to 115200 and back; the datagram link never switches.
        rig.FSim.ClearFrames();
        QCOMPARE(rig.Run(jobDownload), 0);
        const QByteArray download = Hex("03 FF 2F 00 01 00 00 00 00 00 D2 00");
        if (udp)
            QCOMPARE(rig.RawFrames(), (QList<QByteArray>{QueryFrame, download}));
        else
            QCOMPARE(rig.RawFrames(),
                     (QList<QByteArray>{QueryFrame, Hex("03 FF 2B 00 00 C2 01 00 00 00 14 00"),
                                        download, Hex("03 FF 2B 00 80 25 00 00 00 00 72 00")}));
        // Both links log their close.
        QVERIFY(rig.LogLines().constLast().startsWith("CLOSE  "));

        rig.FSim.ClearFrames();
        QCOMPARE(rig.Run(jobProgram), 0);
        QCOMPARE(rig.RawFrames().mid(udp ? 1 : 2),
                 (QList<QByteArray>{Hex("03 FF 2F 00 00 00 00 00 00 00 D3 00"),
                                    Hex("03 FF 2F 00 FF FF FF FF 00 00 D3 00")}));
    }

    void commandJobLogLineByLine() {
        TEngineRig rig;
        rig.SetCommand(cmdSetParameters, ParameterBlock);
        QCOMPARE(rig.Run(jobCommand), 0);
        const QList<QByteArray> lines = rig.LogLines();
        const QString stamp = QStringLiteral(R"( \d\d-\d\d-\d\d \d\d:\d\d:\d\d \d\d\d $)");
        // Headings by pattern; dump lines by their hex part, each 79 wide with ';' in column 63.
        const QStringList patterns{
            "^OPEN " + QRegularExpression::escape(rig.FOrigin.FPortName) + stamp,
            "^Send 20 bytes" + stamp,
            "^    03 FF 20 00 00 00 00 00    08 00 D4 18 {20};",
            "^    44 45 56 49 43 45 3F 3F {35};DEVICE\\?\\? {8}$",
            "^Rec: 20 bytes" + stamp,
            "^    03 FE 20 00 00 00 00 00    08 00 D5 [0-9A-F]{2} {20};",
            "^    50 52 4E 20 36 31 30 34 {35};PRN 6104 {8}$",
            "^Send 28 bytes" + stamp,
            "^    03 FF 60 00 00 00 00 00    10 00 8C F0 {20};",
            "^    00 01 C2 00 00 01 00 00    32 00 00 00 C8 00 C8 00 {8};",
            "^Rec: 12 bytes" + stamp,
            "^    03 FE 60 00 00 00 00 00    00 00 9D 00 {20};",
            "^CLOSE " + stamp,
        };
        QCOMPARE(lines.size(), patterns.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QString line = QString::fromLatin1(lines.at(i));
            if (line.startsWith(QLatin1String("    "))) {
                QCOMPARE(line.size(), 79);
                QCOMPARE(line.at(62), QLatin1Char(';'));
            }
            QVERIFY2(QRegularExpression(patterns.at(i)).match(line).hasMatch(),
                     qPrintable(QStringLiteral("line %1: %2").arg(i).arg(line)));
        }
        // The identification goes out no earlier than 10 ms after the port opened.
        auto stampMs = [](const QByteArray& line) {
            const QDateTime t = QDateTime::fromString(QString::fromLatin1(line.right(22)).trimmed(),
                                                      QStringLiteral("yy-MM-dd hh:mm:ss zzz"));
            return t.toMSecsSinceEpoch();
        };
        QVERIFY(stampMs(lines.at(1)) - stampMs(lines.at(0)) >= 10);
    }

    void junkBeforeTheFrameAndReplyInPieces() {
        TEngineRig rig;
        TSimFaults faults;
        faults.FJunkBefore = Hex("55 03");
        faults.FSplitPieces = 3;
        faults.FSplitGapMs = 30;
        rig.FSim.SetFaults(faults);
        rig.SetCommand(cmdSetIrRate, Hex("00 00 96 00"));
        QCOMPARE(rig.Run(jobCommand), 0);
        QCOMPARE(rig.FSim.Frames().size(), 2); // each taken on the first try
        // All bytes read count; the junk and the header form the first dump.
        const QList<QByteArray> lines = rig.LogLines();
        const qsizetype rec = 4;
        QVERIFY2(lines.at(rec).startsWith("Rec: 22 bytes"), lines.at(rec).constData());
        QVERIFY(lines.at(rec + 1).startsWith("    55 03 03 FE 20 00 00 00    00 00 08 00 D5 "));
        QVERIFY(lines.at(rec + 2).startsWith("    50 52 4E 20 36 31 30 34 "));
    }

    void badChecksumsAreNeverAccepted_data() {
        QTest::addColumn<bool>("header");
        QTest::newRow("header") << true;
        QTest::newRow("data") << false;
    }
    void badChecksumsAreNeverAccepted() {
        QFETCH(bool, header);
        TEngineRig rig;
        TSimFaults faults;
        faults.FBadHeaderChecksum = header;
        faults.FBadDataChecksum = !header;
        faults.FReplyDataLength = 4;
        faults.FFilter = FirstOf(cmdSetBluetooth, 1);
        rig.FSim.SetFaults(faults);
        rig.SetCommand(cmdSetBluetooth, Hex("41 42 00 00"));
        QCOMPARE(rig.Run(jobCommand), 0);
        // The bad reply cost one try; the request went out again.
        QCOMPARE(rig.Commands(),
                 (QList<uint16_t>{cmdQueryDevice, cmdSetBluetooth, cmdSetBluetooth}));
    }

    void datagramSkipsChecksums() {
        TEngineRig rig(true);
        TSimFaults faults;
        faults.FBadHeaderChecksum = true;
        rig.FSim.SetFaults(faults);
        rig.SetCommand(cmdSetBluetooth, Hex("41 42 00 00"));
        QCOMPARE(rig.Run(jobCommand), 0);
        QCOMPARE(rig.FSim.Frames().size(), 2);
    }

    void identifications_data() {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("quoted"); // how a refused identification is quoted
        QTest::newRow("6104") << QByteArray("PRN 6104") << 0 << "";
        QTest::newRow("61XX") << QByteArray("PRN 61XX") << 0 << "";
        QTest::newRow("12 bytes") << QByteArray("PRN 6104abcd") << 0 << "";
        QTest::newRow("lower case") << QByteArray("prn 6104") << 5 << "\"prn 6104\"";
        QTest::newRow("eighth byte") << QByteArray("PRN 6105") << 5 << "\"PRN 6105\"";
        QTest::newRow("7 bytes") << QByteArray("PRN 610") << 5 << "\"PRN 610\",";
        QTest::newRow("empty") << QByteArray() << 5 << "\"\",";
    }
    void identifications() {
        QFETCH(QByteArray, id);
        QFETCH(int, code);
        QFETCH(QString, quoted);
        TEngineRig rig;
        rig.FSim.SetIdentification(id);
        rig.SetCommand(cmdSetIrRate, Hex("00 00 25 80"));
        QCOMPARE(rig.Run(jobCommand), code);
        QCOMPARE(rig.FSim.Frames().size(), code == 0 ? 2 : 1);
        QVERIFY2(rig.FWorker.FErrorText.contains(quoted), qPrintable(rig.FWorker.FErrorText));
    }

    void silentPrinter() {
        TEngineRig rig;
        TSimFaults faults;
        faults.FSilent = true;
        rig.FSim.SetFaults(faults);
        QCOMPARE(rig.Run(jobCommand), int(errNoReply));
        QCOMPARE(rig.RawFrames(), (QList<QByteArray>{QueryFrame, QueryFrame, QueryFrame}));
        const QList<TSimFrame> frames = rig.FSim.Frames();
        // Each try waits its full 200 ms before the next.
        QVERIFY(frames.at(2).FTimeMs - frames.at(0).FTimeMs >= 380);

        // Silent after the identification: three tries of 1000 ms, then code 3.
        faults.FFilter = [](const TSimFrame& f) { return f.FCommand != cmdQueryDevice; };
        rig.FSim.SetFaults(faults);
        rig.FSim.ClearFrames();
        rig.SetCommand(cmdSetIrRate, Hex("00 00 25 80"));
        QCOMPARE(rig.Run(jobCommand), int(errNoReply));
        const QList<TSimFrame> tries = rig.FSim.Frames();
        QCOMPARE(tries.size(), 4);
        QVERIFY(tries.at(2).FTimeMs - tries.at(1).FTimeMs >= 950);
        QVERIFY(tries.at(3).FTimeMs - tries.at(2).FTimeMs >= 950);
    }

    void rateSwitchWithoutReplyStopsTheJob() {
        TEngineRig rig;
        TSimFaults faults;
        faults.FNoRateSwitchReply = true;
        rig.FSim.SetFaults(faults);
        QCOMPARE(rig.Run(jobDownload), int(errNoReply));
        QCOMPARE(rig.Commands(), (QList<uint16_t>{cmdQueryDevice, cmdSetLinkRate}));
        const QList<QByteArray> log = rig.LogLines();
        QVERIFY(log.at(log.size() - 2).startsWith("CLOSE  "));
        QVERIFY(log.constLast().contains("did not accept the rate change to 115200 bit/s"));
    }

    void ignoredFirstTryIsSentAgain() {
        TEngineRig rig;
        TSimFaults faults;
        faults.FIgnoreFirstTries = 1;
        rig.FSim.SetFaults(faults);
        rig.SetCommand(cmdSetIrRate, Hex("00 00 25 80"));
        QCOMPARE(rig.Run(jobCommand), 0);
        QCOMPARE(rig.Commands(),
                 (QList<uint16_t>{cmdQueryDevice, cmdQueryDevice, cmdSetIrRate, cmdSetIrRate}));
    }

    // A datagram reason names the printer's place once (the serial ones are in the window's
    // tests).
    void datagramReasonNamesThePeerOnce() {
        TEngineRig rig(true);
        TSimFaults faults;
        faults.FSilent = true;
        faults.FFilter = [](const TSimFrame& f) { return f.FCommand == cmdSelectMode; };
        rig.FSim.SetFaults(faults);
        QCOMPARE(rig.Run(jobDownload), int(errDownloadMode));
        QVERIFY2(rig.FWorker.FErrorText.startsWith(
                     QStringLiteral("The printer at 127.0.0.1:%1 did not accept download mode")
                         .arg(rig.FSim.UdpPort())),
                 qPrintable(rig.FWorker.FErrorText));
    }

    void oversizedRepliesAreNotTaken() {
        // Reply data beyond the caller's room is never copied: 300 bytes for the rate switch,
        // which has room for 255.
        TEngineRig rig;
        TSimFaults faults;
        faults.FReplyDataLength = 300;
        faults.FFilter = [](const TSimFrame& f) { return f.FCommand == cmdSetLinkRate; };
        rig.FSim.SetFaults(faults);
        QCOMPARE(rig.Run(jobDownload), int(errNoReply));
        QCOMPARE(rig.Commands(), (QList<uint16_t>{cmdQueryDevice, cmdSetLinkRate}));

        // A datagram longer than the receive buffer is no reply either; the log counts it whole.
        TEngineRig udp(true);
        faults.FReplyDataLength = 2100;
        faults.FFilter = [](const TSimFrame& f) { return f.FCommand == cmdSelectMode; };
        udp.FSim.SetFaults(faults);
        QCOMPARE(udp.Run(jobDownload), int(errDownloadMode));
        int oversized = 0;
        for (const QByteArray& line : udp.LogLines())
            oversized += line.startsWith("Rec: 2112 bytes") ? 1 : 0;
        QCOMPARE(oversized, 3);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
