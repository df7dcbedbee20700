// Why a job failed, as the technician sees it: the ERROR box's second line, the status bar and
// the last line of debug.log, against the simulated printer and ports that cannot be opened.
#include "PrinterSim.h"
#include "UiTestRig.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray LastLogLine(const TfrmMain& w) {
    QList<QByteArray> lines = ReadFile(w.FAppPath + "debug.log").split('\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines.isEmpty() ? QByteArray() : lines.last().chopped(1); // without its CR
}

} // namespace

class TestReasons : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TPrinterSim> FSim;

    QString Path(const QString& name) const { return FDir->filePath(name); }

private slots:
    void initTestCase() { InstallCaptureSeams(); }

    void init() {
        Captured().Clear();
        FDir = std::make_unique<QTemporaryDir>();
        FSim = std::make_unique<TPrinterSim>();
        QString error;
        QVERIFY2(FSim->StartPty(&error), qPrintable(error));
        QVERIFY(WriteFile(Path("font.bin"), QByteArray(300, 'f')));
    }

    void cleanup() {
        FSim.reset();
        FDir.reset();
    }

    void eachReasonReachesBoxStatusBarAndLog_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("reason");
        // %1 is the simulated printer's port.
        QTest::newRow("no such port")
            << "port:/dev/nuv-no-such-port"
            << "ircomm"
            << "Cannot open the port /dev/nuv-no-such-port: there is no such port.";
        QTest::newRow("busy") << "busy"
                              << "ircomm"
                              << "Cannot open the port %1: it is busy, held by another program.";
        QTest::newRow("no permission") << "permission"
                                       << "ircomm"
                                       << "Cannot open the port %1: permission denied.";
        QTest::newRow("no peer") << "port:TCP/IP"
                                 << "ircomm"
                                 << "The datagram link has no peer: type TCP/IP HOST:PORT";
        QTest::newRow("silent") << "silent"
                                << "ircomm"
                                << "No reply from the printer on %1 at 9600 bit/s after 3 tries.";
        QTest::newRow("wrong identification")
            << "id"
            << "ircomm"
            << "The device on %1 identified as \"PRN 9999\", not a printer";
        QTest::newRow("refused rate")
            << "rate"
            << "font"
            << "The printer on %1 did not accept the rate change to 115200 bit/s";
        QTest::newRow("refused mode") << "mode"
                                      << "font"
                                      << "The printer on %1 did not accept download mode";
    }

    void eachReasonReachesBoxStatusBarAndLog() {
        QFETCH(QString, setup);
        QFETCH(QString, button);
        QFETCH(QString, reason);
        QString port = FSim->SlavePath();
        TSimFaults faults;
        QProcess holder;
        QByteArray slave = QFile::encodeName(FSim->SlavePath());
        const bool root = ::geteuid() == 0;
        if (setup.startsWith("port:")) {
            port = setup.mid(5);
        } else if (setup == "busy") {
            // Another program holds the port: a lock on the device itself.
            holder.start("flock", {"-n", FSim->SlavePath(), "-c", "echo held; exec sleep 30"});
            QVERIFY(holder.waitForReadyRead(5000));
            QCOMPARE(holder.readAll().trimmed(), QByteArray("held"));
        } else if (setup == "permission") {
            if (root)
                QSKIP("root may open any device");
            QVERIFY(::chmod(slave.constData(), 0) == 0);
        } else if (setup == "silent") {
            faults.FSilent = true;
        } else if (setup == "id") {
            FSim->SetIdentification("PRN 9999");
        } else if (setup == "rate") {
            faults.FNoRateSwitchReply = true;
        } else if (setup == "mode") {
            faults.FSilent = true;
            faults.FFilter = [](const TSimFrame& f) { return f.FCommand == cmdSelectMode; };
        }
        FSim->SetFaults(faults);

        TfrmMain w(FDir->path());
        Captured().Clear();
        w.ComboPort->setEditText(port);
        if (button == "font")
            w.btFontClick();
        else
            w.btIrCommClick();
        if (setup == "permission")
            ::chmod(slave.constData(), 0600);
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished(5000);
        }

        const QString expected = reason.contains("%1") ? reason.arg(port) : reason;
        QCOMPARE(Captured().FMessages.size(), 1);
        const TShownMessage box = Captured().FMessages.first();
        QCOMPARE(box.FText, QString("ERROR"));
        QVERIFY2(box.FInformative.startsWith(expected), qPrintable(box.FInformative));
        QCOMPARE(box.FInformative, w.FComm->FErrorText);
        QCOMPARE(w.StatusPanelText(1), box.FInformative);
        QCOMPARE(LastLogLine(w).left(6 + box.FInformative.toLocal8Bit().size()),
                 "ERROR " + box.FInformative.toLocal8Bit());
        QVERIFY(LastLogLine(w).endsWith(' ')); // time stamp
        w.FormDestroy();
    }

    void typedPeerReachesThePrinterAndIsKept() {
        TPrinterSim udp;
        QVERIFY(udp.StartUdp());
        TfrmMain w(FDir->path());
        Captured().Clear();
        const QString peer = QStringLiteral("127.0.0.1:%1").arg(udp.UdpPort());
        w.ComboPort->setEditText("TCP/IP " + peer);
        w.btIrCommClick();
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QCOMPARE(udp.LastBlock(cmdSetIrRate), QByteArray::fromHex("00002580"));
        QVERIFY(ReadFile(Path("debug.log")).startsWith("OPEN TCP/IP " + peer.toLatin1() + " "));

        // The short form, without "TCP/IP", works too.
        w.ComboPort->setEditText(peer);
        w.btIrCommClick();
        QCOMPARE(Captured().Texts(), (QStringList{"OK", "OK"}));
        w.FormDestroy();
        const QByteArray config = ReadFile(Path("config.ini"));
        QVERIFY2(config.contains("[NETWORK]\r\nHOST=127.0.0.1\r\nPORT=" +
                                 QByteArray::number(udp.UdpPort())),
                 config.constData());
    }

    void fontWithoutFontBinSendsNothing() {
        QFile::remove(Path("font.bin"));
        TfrmMain w(FDir->path());
        Captured().Clear();
        w.ComboPort->setEditText(FSim->SlavePath());
        w.btFontClick();
        QCOMPARE(Captured().FMessages.size(), 1);
        QVERIFY(Captured().FMessages[0].FText.startsWith(
            "Cannot open file \"" + QDir::toNativeSeparators(Path("font.bin"))));
        QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::Critical);
        QVERIFY(Captured().FSounds.isEmpty());
        QVERIFY(!FSim->WaitForFrames(1, 300));
        w.FormDestroy();
    }

    // A transfer that breaks off after a known block: while the box is up, panel 0 and the bar
    // show what the printer acknowledged, the figure the box gives.
    void brokenTransferShowsWhatWasAcknowledged() {
        QVERIFY(WriteFile(Path("font.bin"), QByteArray(65536, 'f')));
        TSimFaults faults;
        faults.FStopAfterFrames = 3 + 17; // identification, rate, mode, then 17 blocks
        FSim->SetFaults(faults);
        TfrmMain w(FDir->path());
        w.ComboPort->setEditText(FSim->SlavePath());
        QString informative, panel;
        int bar = -1;
        w.FShowMessage = [&](const QString&, const QString&, QMessageBox::Icon,
                             const QString& text) {
            informative = text;
            panel = w.StatusPanelText(0);
            bar = w.ProgressBar1->isHidden() ? -1 : w.ProgressBar1->value();
        };
        w.btFontClick();
        QVERIFY2(informative.contains("the download stopped after 4352 of 65536 bytes."),
                 qPrintable(informative));
        QCOMPARE(panel, QString("Finished: 6.6%(17/256)"));
        QCOMPARE(bar, 66);
        QCOMPARE(w.ProgressBar1->format(), QString("%p%"));
        w.FormDestroy();
    }

    // A log that cannot be written is said, and does not change the result.
    void unwritableLogIsReported() {
        QVERIFY(QDir().mkpath(Path("debug.log")));
        TfrmMain w(FDir->path());
        Captured().Clear();
        w.ComboPort->setEditText(FSim->SlavePath());
        w.btIrCommClick();
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QVERIFY2(w.StatusPanelText(1).startsWith("debug.log was not written: Cannot create file"),
                 qPrintable(w.StatusPanelText(1)));
        w.FormDestroy();
    }

    // The progress bar and the speed during a real transfer; the status texts of the previous
    // job go when the next begins.
    void progressBarDuringTransfers() {
        QVERIFY(WriteFile(Path("font.bin"), QByteArray(2048, 'f')));
        TfrmMain w(FDir->path());
        Captured().Clear();
        w.ComboPort->setEditText(FSim->SlavePath());
        int64_t clock = 0;
        w.FNowNs = [&clock] { return clock += 400'000'000; };
        QList<int> values;
        QStringList formats;
        QObject::connect(w.ProgressBar1, &QProgressBar::valueChanged, &w, [&](int value) {
            values << value;
            formats << w.ProgressBar1->format();
        });
        w.btFontClick();
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QVERIFY(!values.isEmpty());
        QCOMPARE(values.last(), 1000);
        QVERIFY2(formats.last().contains(" B/s, 0:00 left") ||
                     formats.last().contains(" kB/s, 0:00 left"),
                 qPrintable(formats.join('|')));
        QVERIFY(w.ProgressBar1->isHidden());
        QCOMPARE(w.StatusPanelText(1), QString("DOWNLOAD font.bin"));

        w.btIrCommClick();
        QCOMPARE(w.StatusPanelText(1), QString());
        w.FormDestroy();
    }
};

QTEST_MAIN(TestReasons)
#include "test_reasons.moc"
