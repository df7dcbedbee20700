// The window, the real worker and the simulated printer together: what a technician does, and
// what the printer receives.
#include "HistoryLog.h"
#include "PrinterSim.h"
#include "UiTestRig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<THistoryRecord> History(const TfrmMain& w) {
    QList<THistoryRecord> records;
    if (!THistoryLog(w.FAppPath).Read(records))
        qWarning("history unreadable");
    return records;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallCaptureSeams(); }

    void init() {
        Captured().Clear();
        FDir = std::make_unique<QTemporaryDir>();
        FSim = std::make_unique<TPrinterSim>();
        QString error;
        QVERIFY2(FSim->StartPty(&error), qPrintable(error));
    }

    void cleanup() {
        FSim.reset();
        FDir.reset();
    }

    void parameterBlockReachesThePrinter() {
        TfrmMain w(FDir->path());
        Captured().Clear(); // no codepage.ini here: start-up said so
        w.ComboPort->setEditText(FSim->SlavePath());
        w.ComboSetBaudRate->setCurrentIndex(4); // "115200"
        w.ComboCodePage->setCurrentIndex(2);
        w.btSetClick();
        QCOMPARE(Captured().Texts(), QStringList{QStringLiteral("OK")});
        QCOMPARE(Captured().FSounds, QStringList{w.FAppPath + QStringLiteral("ok.wav")});
        QCOMPARE(FSim->LastBlock(0x60), Hex("00 01 C2 00 00 01 00 00 32 00 00 00 C8 00 C8 00"));
        w.FormDestroy();
    }

    // The job's line names the printer, its adapter, and what the worker counted.
    void setAppendsAHistoryLine() {
        TPortInfo adapter;
        adapter.FDevice = FSim->SlavePath();
        adapter.FVendorId = 0x0403;
        adapter.FProductId = 0x6001;
        adapter.FSerialNumber = QStringLiteral("A50285BI");
        TfrmMain w(FDir->path());
        Captured().Clear();
        Captured().FPorts = {adapter};
        w.ComboPort->setEditText(FSim->SlavePath());
        w.btSetClick();
        QCOMPARE(Captured().Texts(), QStringList{QStringLiteral("OK")});
        const QList<THistoryRecord> records = History(w);
        QCOMPARE(records.size(), 1);
        const THistoryRecord& r = records[0];
        QCOMPARE(r.FJob, historyjob::SetParams);
        QCOMPARE(r.FPort, FSim->SlavePath());
        QCOMPARE(r.FUsbId, QStringLiteral("0403:6001"));
        QCOMPARE(r.FUsbSerial, QStringLiteral("A50285BI"));
        QCOMPARE(r.FIdentification, QStringLiteral("PRN 6104"));
        QCOMPARE(r.FBytes, 16);
        QCOMPARE(r.FRetries, 0);
        QCOMPARE(r.FResult, historyresult::Ok);
        QVERIFY(r.FSeconds > 0 && r.FSeconds < 10);
        w.FormDestroy();
    }

    void interfaceBlocksReachThePrinter() {
        WriteFile(FDir->filePath(QStringLiteral("config.ini")), "[FACTORY]\r\nX=1\r\n");
        TfrmMain w(FDir->path());
        Captured().Clear(); // no codepage.ini here: start-up said so
        w.ComboPort->setEditText(FSim->SlavePath() + QStringLiteral("  "));

        w.comboIrBaudRate->setCurrentIndex(2); // " 38400"
        w.btIrCommClick();
        QCOMPARE(FSim->LastBlock(0x62), Hex("00 00 96 00"));

        w.btSetBlueToothClick();
        QCOMPARE(FSim->LastBlock(0x61), QByteArray("NUV\0"
                                                   "6305\0",
                                                   9));
        w.edName->clear();
        w.edPassword->clear();
        w.btSetBlueToothClick();
        QCOMPARE(FSim->LastBlock(0x61), QByteArray(2, '\0'));

        w.edModalName->setText(QStringLiteral("  NUV-II "));
        w.edSerialNo->setText(QStringLiteral(" 0  "));
        w.btFactoryClick();
        QCOMPARE(FSim->LastBlock(0x64), QByteArray("NUV-II\0"
                                                   "0",
                                                   8));

        QCOMPARE(Captured().Texts(), QStringList(4, QStringLiteral("OK")));
        w.FormDestroy();
    }

    void silentPrinterEndsInError() {
        TSimFaults faults;
        faults.FSilent = true;
        FSim->SetFaults(faults);
        TfrmMain w(FDir->path());
        Captured().Clear(); // no codepage.ini here: start-up said so
        w.ComboPort->setEditText(FSim->SlavePath());
        w.btIrCommClick();
        QCOMPARE(Captured().Texts(), QStringList{QStringLiteral("ERROR")});
        QCOMPARE(Captured().FSounds, QStringList{w.FAppPath + QStringLiteral("error.wav")});
        QCOMPARE(FSim->Frames().size(), 3); // the identification, three times
        const QList<THistoryRecord> records = History(w);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].FResult, historyresult::Failed);
        QCOMPARE(records[0].FRetries, 2);
        QCOMPARE(records[0].FIdentification, QString());
        QCOMPARE(records[0].FReason, w.LastFailure()->FInformative);
        w.FormDestroy();
    }

    void fontAndFirmwareDownloads() {
        QByteArray font(700, Qt::Uninitialized);
        for (int i = 0; i < font.size(); ++i)
            font[i] = static_cast<char>(i * 13);
        QVERIFY(WriteFile(FDir->filePath(QStringLiteral("font.bin")), font));
        const QByteArray image = SimFirmwareImage(1000);
        const QString imagePath = FDir->filePath(QStringLiteral("fw.bin"));
        QVERIFY(WriteFile(imagePath, image));

        TfrmMain w(FDir->path());
        Captured().Clear(); // no codepage.ini here: start-up said so
        w.ComboPort->setEditText(FSim->SlavePath());
        w.btFontClick();
        QCOMPARE(Captured().Texts(), QStringList{QStringLiteral("OK")});
        QCOMPARE(FSim->DownloadedFile(0x63), font);
        QCOMPARE(w.StatusPanelText(1), QStringLiteral("DOWNLOAD font.bin"));
        QCOMPARE(w.StatusPanelText(0), QStringLiteral("Finished: 100.0%(2/2)"));
        QCOMPARE(FSim->LinkRate(), 9600); // switched back after the download

        Captured().FNextFileName = imagePath;
        w.btUpdateClick();
        QCOMPARE(Captured().Texts(), (QStringList{QStringLiteral("OK"), QStringLiteral("OK")}));
        QVERIFY(FSim->ProgramEnded());
        QCOMPARE(FSim->ProgramImage(), image + QByteArray(24, '\xFF'));
        QCOMPARE(w.StatusPanelText(0), QStringLiteral("Finished: 100.0%(3/3)"));
        w.FormDestroy();
    }

    void datagramLinkFromTheSettings() {
        TPrinterSim udp;
        QVERIFY(udp.StartUdp());
        WriteFile(FDir->filePath(QStringLiteral("config.ini")),
                  QStringLiteral("[NETWORK]\r\nHOST=127.0.0.1\r\nPORT=%1\r\n")
                      .arg(udp.UdpPort())
                      .toLatin1());
        TfrmMain w(FDir->path());
        Captured().Clear(); // no codepage.ini here: start-up said so
        w.ComboPort->setEditText(QStringLiteral("TCP/IP"));
        w.btIrCommClick();
        QCOMPARE(Captured().Texts(), QStringList{QStringLiteral("OK")});
        QCOMPARE(udp.LastBlock(0x62), Hex("00 00 25 80"));
        // The history names the peer plain "TCP/IP" reached.
        QCOMPARE(History(w).constLast().FPort,
                 QStringLiteral("TCP/IP 127.0.0.1:%1").arg(udp.UdpPort()));
        w.FormDestroy();
        // The peer is kept for the next start.
        QVERIFY(ReadFile(FDir->filePath(QStringLiteral("config.ini"))).contains("HOST=127.0.0.1"));
    }

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TPrinterSim> FSim;
};

QTEST_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
