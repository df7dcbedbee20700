// Firmware programming and file download against the simulated printer.
#include "EngineRig.h"

#include <QMutex>
#include <QSet>

namespace {

QByteArray Pattern(int size, int seed = 7) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return bytes;
}

QList<TSimFrame> FramesOf(const TPrinterSim& sim, uint16_t command) {
    QList<TSimFrame> out;
    for (const TSimFrame& f : sim.Frames())
        if (f.FCommand == command)
            out.append(f);
    return out;
}

// True the first time each argument of the command is seen: that try gets the fault.
std::function<bool(const TSimFrame&)> FirstTryOf(uint16_t command) {
    auto seen = std::make_shared<QSet<uint32_t>>();
    auto mutex = std::make_shared<QMutex>();
    return [=](const TSimFrame& f) {
        QMutexLocker lock(mutex.get());
        if (f.FCommand != command || seen->contains(f.FArgument))
            return false;
        seen->insert(f.FArgument);
        return true;
    };
}

} // namespace

class TestJobs : public QObject {
    Q_OBJECT

private slots:
    void programBlocksAndFiller() {
        TEngineRig rig;
        const QByteArray image = Pattern(257);
        rig.FWorker.FStream.SetData(image);
        QCOMPARE(rig.Run(jobProgram), 0);
        const QList<TSimFrame> blocks = FramesOf(rig.FSim, cmdWriteProgram);
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(blocks.at(0).FArgument, 0u);
        QCOMPARE(blocks.at(0).FData, image.left(256));
        QCOMPARE(blocks.at(1).FArgument, 256u);
        QCOMPARE(blocks.at(1).FData, image.mid(256) + QByteArray(255, '\xFF'));
        QVERIFY(rig.FSim.ProgramEnded());
        QCOMPARE(rig.FSim.LinkRate(), 115200);
        QCOMPARE(rig.FReceiver.FProgress.constLast(), (QPair<int, int>{257, 257}));
        // No rate restore after programming.
        QCOMPARE(rig.Commands().constLast(), cmdSelectMode);
    }

    // The printer gets 6 ms after the rate switch and 30 ms after the mode selection before the
    // next request starts to arrive.
    void handshakeWaits_data() {
        QTest::addColumn<int>("job");
        QTest::addColumn<uint>("mode");
        QTest::newRow("program") << int(jobProgram) << uint(modeProgram);
        QTest::newRow("download") << int(jobDownload) << uint(modeDownload);
    }
    void handshakeWaits() {
        QFETCH(int, job);
        QFETCH(uint, mode);
        TEngineRig rig;
        rig.FWorker.FStream.SetData(Pattern(256));
        rig.SetDownload(QStringLiteral("font.bin"), Pattern(256));
        QCOMPARE(rig.Run(static_cast<uint8_t>(job)), 0);

        const QList<TSimFrame> frames = rig.FSim.Frames();
        const auto after = [&](uint16_t command, uint32_t argument) -> const TSimFrame* {
            for (qsizetype i = 0; i + 1 < frames.size(); ++i) {
                if (frames[i].FCommand == command && frames[i].FArgument == argument)
                    return &frames[i + 1];
            }
            return nullptr;
        };
        const TSimFrame* afterSwitch = after(cmdSetLinkRate, 115200);
        const TSimFrame* afterMode = after(cmdSelectMode, mode);
        QVERIFY(afterSwitch && afterMode);
        QCOMPARE(afterSwitch->FCommand, cmdSelectMode);
        QVERIFY2(afterSwitch->FTurnaroundUs >= 6000,
                 qPrintable(QString::number(afterSwitch->FTurnaroundUs)));
        QCOMPARE(afterMode->FCommand, job == jobProgram ? cmdWriteProgram : cmdWriteFont);
        QVERIFY2(afterMode->FTurnaroundUs >= 30000,
                 qPrintable(QString::number(afterMode->FTurnaroundUs)));
    }

    void programWholeBlocksAndBoundaryFrame() {
        TEngineRig rig;
        const QByteArray image = Pattern(4096 + 512);
        rig.FWorker.FStream.SetData(image);
        QCOMPARE(rig.Run(jobProgram), 0);
        const QList<TSimFrame> blocks = FramesOf(rig.FSim, cmdWriteProgram);
        QCOMPARE(blocks.size(), 18);
        QCOMPARE(rig.FSim.ProgramImage(), image); // no filler anywhere
        QVERIFY(blocks.at(16).FRaw.startsWith(Hex("03 FF 2E 00 00 10 00 00 00 01 C3")));
        QCOMPARE(blocks.at(16).FRaw.size(), 12 + 256);
    }

    void emptyImageSendsOnlyTheEnd() {
        TEngineRig rig;
        rig.FWorker.FStream.SetData(QByteArray());
        QCOMPARE(rig.Run(jobProgram), 0);
        QCOMPARE(rig.Commands(),
                 (QList<uint16_t>{cmdQueryDevice, cmdSetLinkRate, cmdSelectMode, cmdSelectMode}));
        QCOMPARE(rig.FSim.Frames().constLast().FArgument, modeProgramEnd);
    }

    void noRateSwitchAt115200() {
        TEngineRig rig;
        rig.FOrigin.FBaudRate = 115200;
        rig.FWorker.FStream.SetData(Pattern(10));
        QCOMPARE(rig.Run(jobProgram), 0);
        QVERIFY(!rig.Commands().contains(cmdSetLinkRate));
        rig.FSim.ClearFrames();
        QCOMPARE(rig.Run(jobDownload), 0);
        QVERIFY(!rig.Commands().contains(cmdSetLinkRate));
    }

    void boundaryBlocksWaitLonger_data() {
        QTest::addColumn<bool>("download");
        QTest::newRow("program") << false;
        QTest::newRow("download") << true;
    }
    void boundaryBlocksWaitLonger() {
        // A reply 900 ms late is in time for a block on a 4096-byte boundary (1200 or 1800 ms a
        // try) but not for any other block (600 ms), which is then sent again.
        QFETCH(bool, download);
        TEngineRig rig;
        const uint16_t command = download ? cmdWriteFont : cmdWriteProgram;
        TSimFaults faults;
        faults.FDelayMs = 900;
        faults.FFilter = FirstTryOf(command);
        rig.FSim.SetFaults(faults);
        const QByteArray bytes = Pattern(512);
        if (download) {
            rig.SetDownload(QStringLiteral("f.bin"), bytes, QStringLiteral("$63"),
                            QStringLiteral("$1000"));
        } else {
            rig.FWorker.FStream.SetData(bytes);
        }
        QCOMPARE(rig.Run(download ? jobDownload : jobProgram), 0);
        QList<uint32_t> addresses;
        for (const TSimFrame& f : FramesOf(rig.FSim, command))
            addresses.append(f.FArgument);
        const uint32_t first = download ? 0x1000 : 0;
        QCOMPARE(addresses, (QList<uint32_t>{first, first + 256, first + 256}));
    }

    void silentBlockStopsTheJob() {
        TEngineRig rig;
        TSimFaults faults;
        faults.FSilent = true;
        faults.FFilter = [](const TSimFrame& f) {
            return f.FCommand == cmdWriteProgram && f.FArgument == 256;
        };
        rig.FSim.SetFaults(faults);
        rig.FWorker.FStream.SetData(Pattern(768));
        QCOMPARE(rig.Run(jobProgram), int(errNoReply));
        QList<uint32_t> addresses;
        for (const TSimFrame& f : rig.FSim.Frames())
            addresses.append(f.FArgument);
        // Block 256 three times, then nothing: no further block, no end command.
        QCOMPARE(addresses.mid(3), (QList<uint32_t>{0, 256, 256, 256}));
        QVERIFY(!rig.FSim.ProgramEnded());
        const QList<QByteArray> log = rig.LogLines();
        QVERIFY(log.at(log.size() - 2).startsWith("CLOSE  "));
        QVERIFY(log.constLast().startsWith("ERROR No reply to the firmware block at offset 256 "));
    }

    // A transfer that breaks off after a known block: the reason, the last progress and the
    // step all say what the printer acknowledged. A datagram printer that goes away (its system
    // refuses the datagrams) fails the transfer as a serial one does.
    void brokenTransferShowsWhatWasAcknowledged_data() {
        QTest::addColumn<bool>("download");
        QTest::addColumn<bool>("udp");
        QTest::newRow("program, serial") << false << false;
        QTest::newRow("download, serial") << true << false;
        QTest::newRow("download, datagram refused") << true << true;
    }
    void brokenTransferShowsWhatWasAcknowledged() {
        QFETCH(bool, download);
        QFETCH(bool, udp);
        TEngineRig rig(udp);
        rig.FOrigin.FBaudRate = 115200; // no rate switch: the blocks follow the mode at once
        constexpr int Blocks = 5;
        constexpr int Total = 4096;
        TSimFaults faults;
        faults.FStopAfterFrames = 2 + Blocks; // identification, mode, then the blocks
        // Gone with its last answer, before the tool can send the next block: every try of
        // that block is refused, however slowly either side runs.
        faults.FGoneAfterStop = udp;
        rig.FSim.SetFaults(faults);
        if (download) {
            rig.SetDownload(QStringLiteral("f.bin"), Pattern(Total));
        } else {
            rig.FWorker.FStream.SetData(Pattern(Total));
        }
        rig.FWorker.PostJob(download ? jobDownload : jobProgram, &rig.FReceiver);
        QVERIFY(rig.FWorker.FDoneEvent.WaitFor(30000));
        QCoreApplication::sendPostedEvents(&rig.FReceiver);

        const QString& reason = rig.FWorker.FErrorText;
        QCOMPARE(int(rig.FWorker.FErrorCode), int(errNoReply));
        QCOMPARE(rig.FWorker.FErrorStep, TFailStep::Transfer);
        QVERIFY2(reason.contains(
                     QStringLiteral(" stopped after %1 of %2 bytes.").arg(Blocks * 256).arg(Total)),
                 qPrintable(reason));
        QCOMPARE(rig.FReceiver.FProgress.constLast(), (QPair<int, int>{Blocks * 256, Total}));
        QCOMPARE(reason.contains("refused the datagrams"), udp);
        const QList<QByteArray> log = rig.LogLines();
        QVERIFY(log.at(log.size() - 2).startsWith("CLOSE  "));

        // The refusal belongs to that job: the next one failing elsewhere does not blame it.
        rig.FOrigin.FPortName = rig.FDir.filePath(QStringLiteral("gone"));
        QCOMPARE(rig.Run(jobQuery), int(errOpenFailed));
        QVERIFY2(!rig.FWorker.FErrorText.contains("refused the datagrams"),
                 qPrintable(rig.FWorker.FErrorText));
    }

    void unansweredEndIsAnError() {
        TEngineRig rig;
        TSimFaults faults;
        faults.FSilent = true;
        faults.FFilter = [](const TSimFrame& f) { return f.FArgument == modeProgramEnd; };
        rig.FSim.SetFaults(faults);
        rig.FWorker.FStream.SetData(Pattern(256));
        QCOMPARE(rig.Run(jobProgram), int(errNoReply));
        QCOMPARE(FramesOf(rig.FSim, cmdSelectMode).size(), 2); // mode, then one end try
    }

    void downloadAddressesAndFrames() {
        TEngineRig rig;
        const QByteArray file = Pattern(300);
        const QString path = WriteFile(rig.FDir, QStringLiteral("font.bin"), file);
        rig.FWorker.FFileNames = {path, path};
        rig.FWorker.FFileLabels = {QStringLiteral("font.bin"), QStringLiteral("second")};
        rig.FWorker.FFileCommands = {QStringLiteral("$63"), QStringLiteral("45")};
        rig.FWorker.FFileBases = {QStringLiteral("4096"), QStringLiteral("$0F80")};
        QCOMPARE(rig.Run(jobDownload), 0);

        const QList<TSimFrame> font = FramesOf(rig.FSim, cmdWriteFont);
        QCOMPARE(font.size(), 2);
        QVERIFY(font.at(0).FRaw.startsWith(Hex("03 FF 63 00 00 10 00 00 00 01 8E")));
        QVERIFY(font.at(1).FRaw.startsWith(Hex("03 FF 63 00 00 11 00 00 2C 00 A2")));
        QCOMPARE(font.at(1).FData.size(), 44); // no filler in downloads
        QCOMPARE(rig.FSim.DownloadedFile(cmdWriteFont), file);

        const QList<TSimFrame> logo = FramesOf(rig.FSim, cmdWriteLogo);
        QCOMPARE(logo.size(), 2);
        QCOMPARE(logo.at(0).FArgument, 0x0F80u);
        QCOMPARE(logo.at(1).FArgument, 0x1080u);
        QCOMPARE(rig.FSim.DownloadedFile(cmdWriteLogo), file);

        // Status per file, progress restarting per file, then the rate back to 9600.
        QCOMPARE(rig.FReceiver.FStatus, (QStringList{QStringLiteral("DOWNLOAD font.bin"),
                                                     QStringLiteral("DOWNLOAD second")}));
        QVERIFY(rig.FReceiver.FProgress.contains(QPair<int, int>{300, 300}));
        QCOMPARE(rig.FSim.Frames().constLast().FCommand, cmdSetLinkRate);
        QCOMPARE(rig.FSim.LinkRate(), 9600);
    }

    void downloadSkipsAndEmptyFiles() {
        TEngineRig rig;
        const QString present = WriteFile(rig.FDir, QStringLiteral("a.bin"), Pattern(100));
        const QString empty = WriteFile(rig.FDir, QStringLiteral("empty.bin"), QByteArray());
        rig.FWorker.FFileNames = {present, rig.FDir.filePath(QStringLiteral("missing.bin")), empty};
        rig.FWorker.FFileLabels = {QStringLiteral("-"), QStringLiteral("missing"),
                                   QStringLiteral("empty.bin")};
        rig.FWorker.FFileCommands = {QStringLiteral("$63"), QStringLiteral("$63"),
                                     QStringLiteral("$63")};
        rig.FWorker.FFileBases = {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
        QCOMPARE(rig.Run(jobDownload), 0);
        QCOMPARE(rig.Commands(),
                 (QList<uint16_t>{cmdQueryDevice, cmdSetLinkRate, cmdSelectMode, cmdSetLinkRate}));
        QCOMPARE(rig.FReceiver.FStatus, QStringList{QStringLiteral("DOWNLOAD empty.bin")});
    }

    // Bytes given with the file are what goes; the path is not read, nor needed.
    void downloadSendsGivenBytes() {
        TEngineRig rig;
        const QByteArray font = Pattern(300);
        rig.FWorker.SetDownload(
            FontDownload(rig.FDir.filePath(QStringLiteral("absent.bin")), font));
        QCOMPARE(rig.Run(jobDownload), 0);
        QCOMPARE(rig.FSim.DownloadedFile(cmdWriteFont), font);
    }

    void badEntryFailsTheJob() {
        TEngineRig rig;
        rig.SetDownload(QStringLiteral("a.bin"), Pattern(10), QStringLiteral("$6G"));
        QCOMPARE(rig.Run(jobDownload), int(errJobFailed));
        QVERIFY(rig.LogLines().constLast().startsWith("ERROR '$6G' is not a valid integer value"));
    }

    // A cancel request stops a job at its next step or block; a frame already sent gets its
    // reply first. The request is made as the printer takes the frame, before it answers.
    void cancelStopsBetweenSteps_data() {
        QTest::addColumn<int>("job");
        QTest::addColumn<QString>("at"); // "cmd XX arg XXXXXXXX" of the frame, or "before post"
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("sent");

        QTest::newRow("command, at identification")
            << int(jobCommand) << "cmd 20 arg 00000000" << int(errCancelled)
            << "Cancelled before the factory block was sent." << 1 << false;
        QTest::newRow("command, its block already sent")
            << int(jobCommand) << "cmd 64 arg 00000000" << 0 << QString() << 2 << true;
        QTest::newRow("program, at the rate switch")
            << int(jobProgram) << "cmd 2b arg 0001c200" << int(errCancelled)
            << "Cancelled before programming mode was selected." << 2 << false;
        QTest::newRow("program, at the third block")
            << int(jobProgram) << "cmd 2e arg 00000200" << int(errCancelled)
            << "Cancelled after 768 of 1024 bytes;" << 6 << false;
        QTest::newRow("download, at the mode")
            << int(jobDownload) << "cmd 2f arg 00000001" << int(errCancelled)
            << "Cancelled after 0 of 300 bytes of font.bin." << 3 << false;
        QTest::newRow("a new job starts afresh")
            << int(jobCommand) << "before post" << 0 << QString() << 2 << true;
    }
    void cancelStopsBetweenSteps() {
        QFETCH(int, job);
        QFETCH(QString, at);
        QFETCH(int, code);
        QFETCH(QString, reason);
        QFETCH(int, frames);
        QFETCH(bool, sent);
        TEngineRig rig;
        rig.SetCommand(cmdSetFactoryInfo, QByteArray("NUV\0001000", 8));
        rig.FWorker.FStream.SetData(Pattern(1024));
        rig.SetDownload(QStringLiteral("font.bin"), Pattern(300));
        TCommThread* worker = &rig.FWorker;
        if (at == QLatin1String("before post"))
            worker->RequestCancel();
        else
            rig.FSim.SetLogCallback([worker, at](const QString& line) {
                if (line.contains(at))
                    worker->RequestCancel();
            });
        QCOMPARE(rig.Run(uint8_t(job)), code);
        QCOMPARE(rig.FSim.Frames().size(), frames);
        QCOMPARE(rig.FWorker.FCommandSent, sent);
        if (code != 0) {
            QCOMPARE(rig.FWorker.FErrorStep, TFailStep::Cancelled);
            QVERIFY2(rig.FWorker.FErrorText.startsWith(reason), qPrintable(rig.FWorker.FErrorText));
            QVERIFY(rig.LogLines().constLast().startsWith("ERROR Cancelled"));
        }
    }

    // The query job identifies and nothing more; without a log path no file is written.
    void queryOnlyIdentifies() {
        TEngineRig rig;
        rig.FSim.SetIdentification("PRN 61XX");
        rig.FWorker.SetLogPath(QString());
        QCOMPARE(rig.Run(jobQuery), 0);
        QCOMPARE(rig.Commands(), QList<uint16_t>{cmdQueryDevice});
        QCOMPARE(rig.FWorker.FDeviceId, QByteArray("PRN 61XX"));
        QVERIFY(rig.FWorker.FLogError.isEmpty());
        QVERIFY(QDir(rig.FDir.path()).isEmpty());

        rig.FSim.SetIdentification("PRN\x01"
                                   "6104");
        QCOMPARE(rig.Run(jobQuery), int(errWrongDevice));
        QCOMPARE(rig.FWorker.FErrorStep, TFailStep::WrongDevice);
        QVERIFY2(rig.FWorker.FErrorText.contains(QStringLiteral("\"PRN\\x016104\"")),
                 qPrintable(rig.FWorker.FErrorText));
    }
    // What a job's record counts: frames sent again over the whole job, and the data bytes the
    // printer answered outside the handshake; each job starts from nothing.
    void retriesAndBytesCounted_data() {
        QTest::addColumn<int>("job");
        QTest::addColumn<bool>("identifyTwice");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<int>("retries");
        QTest::addColumn<int>("bytes");
        QTest::newRow("program, whole blocks") << int(jobProgram) << false << false << 0 << 512;
        QTest::newRow("identification tried twice") << int(jobProgram) << true << false << 1 << 512;
        QTest::newRow("download, the file's bytes")
            << int(jobDownload) << false << false << 0 << 300;
        QTest::newRow("command block") << int(jobCommand) << false << false << 0 << 16;
        QTest::newRow("no reply at all") << int(jobCommand) << false << true << 2 << 0;
    }
    void retriesAndBytesCounted() {
        QFETCH(int, job);
        QFETCH(bool, identifyTwice);
        QFETCH(bool, silent);
        QFETCH(int, retries);
        QFETCH(int, bytes);
        TEngineRig rig;
        TSimFaults faults;
        faults.FSilent = silent;
        if (identifyTwice) {
            faults.FIgnoreFirstTries = 1;
            faults.FFilter = FirstTryOf(cmdQueryDevice);
        }
        rig.FSim.SetFaults(faults);
        rig.FWorker.FStream.SetData(Pattern(257));
        rig.SetDownload(QStringLiteral("f.bin"), Pattern(300));
        rig.SetCommand(cmdSetParameters, Pattern(16));
        QCOMPARE(rig.Run(static_cast<uint8_t>(job)), silent ? int(errNoReply) : 0);
        QCOMPARE(rig.FWorker.FRetries, retries);
        QCOMPARE(rig.FWorker.FBytesAcknowledged, int64_t(bytes));

        rig.FSim.SetFaults(TSimFaults());
        QCOMPARE(rig.Run(jobQuery), 0);
        QCOMPARE(rig.FWorker.FRetries, 0);
        QCOMPARE(rig.FWorker.FBytesAcknowledged, int64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestJobs)
#include "test_jobs.moc"
