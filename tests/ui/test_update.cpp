// UPDATE page: the firmware image check, PROGRAM and FONT.

#include "FirmwareImage.h"
#include "UiTestRig.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

void PutLe32(QByteArray& b, int offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[offset + i] = char(v >> (8 * i));
}

uint32_t WordSum(const QByteArray& b) {
    uint32_t sum = 0;
    for (int i = 0; i + 4 <= b.size(); i += 4)
        sum += uint32_t(uint8_t(b[i])) | uint32_t(uint8_t(b[i + 1])) << 8 |
               uint32_t(uint8_t(b[i + 2])) << 16 | uint32_t(uint8_t(b[i + 3])) << 24;
    return sum;
}

// An image of `size` bytes with `lengthField` at offset 4 and varied content, whose complete
// words sum to 0 (the word at offset 8 balances it).
QByteArray MakeImage(int size, uint32_t lengthField) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i * 37 + 11);
    PutLe32(b, 4, lengthField);
    PutLe32(b, 8, 0);
    PutLe32(b, 8, 0u - WordSum(b));
    return b;
}

} // namespace

class TestUpdate : public QObject, public TFakeJobWindow {
    Q_OBJECT

    QString Path(const QString& name) const { return FDir->path() + "/" + name; }

private slots:
    void initTestCase() { InstallCaptureSeams(); }

    void init() {
        QVERIFY(OpenWindow());
        QDir::setCurrent(QDir::tempPath());
    }

    void cleanup() { FWindow.reset(); }

    void imageCheck() {
        QVERIFY(CheckFirmwareImage(MakeImage(256, 256)));
        const QByteArray image = MakeImage(1000, 1000);
        QVERIFY(CheckFirmwareImage(image));
        for (int i = 0; i < image.size(); ++i) {
            QByteArray changed = image;
            changed[i] = char(changed[i] ^ 0x10);
            QVERIFY2(!CheckFirmwareImage(changed), qPrintable(QString::number(i)));
        }
        // One to three bytes after the last complete word do not count.
        QByteArray odd = MakeImage(1003, 1003);
        QVERIFY(CheckFirmwareImage(odd));
        odd[1000] = '\x7F';
        odd[1002] = '\xFF';
        QVERIFY(CheckFirmwareImage(odd));
        // The length field must be the file's length, even when the sum is 0.
        QVERIFY(!CheckFirmwareImage(MakeImage(1000, 1001)));
        QVERIFY(!CheckFirmwareImage(MakeImage(1000, 999)));
        QVERIFY(!CheckFirmwareImage(MakeImage(255, 255)));
        QVERIFY(!CheckFirmwareImage(QByteArray()));
    }

    void programSendsAValidImage() {
        const QByteArray image = MakeImage(1000, 1000);
        QVERIFY(WriteFile(Path("fw.bin"), image));
        Captured().FNextFileName = Path("fw.bin");
        W().ComboPort->setEditText("TCP/IP "); // as typed, blank included
        W().ComboBaud->setCurrentIndex(4);
        W().btUpdate->click();
        QCOMPARE(Captured().FDialogs, 1);
        QCOMPARE(FJobs.FCodes, QList<uint8_t>{jobProgram});
        QCOMPARE(FJobs.FStream, image);
        QCOMPARE(FJobs.FStreamPosition, 0);
        QCOMPARE(FJobs.FPortName, QString("TCP/IP "));
        QCOMPARE(FJobs.FBaudRate, 115200);
        QCOMPARE(QFileInfo(QDir::currentPath() + "/").absoluteFilePath(),
                 QFileInfo(W().FAppPath).absoluteFilePath());
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QCOMPARE(Captured().FSounds, QStringList{W().FAppPath + "ok.wav"});
    }

    void programRefusesAnInvalidImage() {
        QVERIFY(WriteFile(Path("bad.bin"), MakeImage(1000, 1001)));
        Captured().FNextFileName = Path("bad.bin");
        W().btUpdateClick();
        QVERIFY(FJobs.FCodes.isEmpty());
        QCOMPARE(Captured().FMessages.size(), 1);
        QCOMPARE(Captured().FMessages[0].FText, QString("Invalid file"));
        QCOMPARE(Captured().FMessages[0].FTitle, QString("NUV-II Print Tool"));
        QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::Critical);
        QVERIFY(Captured().FSounds.isEmpty());
        QCOMPARE(W().FComm->FStream.Size(), 1000); // the chosen file stays loaded
    }

    void programDoesNothingWithoutAFile() {
        for (const QString& name : {QString(), Path("missing.bin"), FDir->path()}) {
            Captured().FNextFileName = name;
            W().btUpdateClick();
        }
        QCOMPARE(Captured().FDialogs, 3);
        QVERIFY(FJobs.FCodes.isEmpty());
        QVERIFY(Captured().FMessages.isEmpty());
    }

    void programReportsAnUnreadableFile() {
        // Exists and opens, but every read fails.
        const QString path = "/proc/self/mem";
        if (!QFileInfo(path).isFile())
            QSKIP("needs /proc/self/mem");
        Captured().FNextFileName = path;
        W().btUpdateClick();
        QVERIFY(FJobs.FCodes.isEmpty());
        QCOMPARE(Captured().FMessages.size(), 1);
        QVERIFY2(Captured().Texts()[0].contains(path), qPrintable(Captured().Texts()[0]));
        QVERIFY(Captured().FSounds.isEmpty());
    }

    void programChecksTheRateBeforeTheDialog() {
        W().ComboBaud->setEditText("96OO");
        W().btUpdateClick();
        QCOMPARE(Captured().FDialogs, 0);
        QCOMPARE(Captured().Texts(), QStringList{"'96OO' is not a valid integer value"});
        W().btFontClick();
        QVERIFY(FJobs.FCodes.isEmpty());
    }

    void fontDownloadsFontBin() {
        QVERIFY(WriteFile(W().FAppPath + "font.bin", "font"));
        W().ComboPort->setEditText(" COM2");
        W().FComm->FFileNames = QStringList{"old1", "old2"};
        // What the worker shows during the download.
        FJobs.FDuring = [&] {
            QCoreApplication::postEvent(&W(), new TStatusTextEvent("DOWNLOAD font.bin"));
            QCoreApplication::postEvent(&W(), new TProgressEvent(768, 1024));
        };
        FJobs.FResult = errDownloadMode;
        W().btFont->click();
        QCOMPARE(FJobs.FCodes, QList<uint8_t>{jobDownload});
        QCOMPARE(FJobs.FFiles,
                 QList<QStringList>({{W().FAppPath + "font.bin"}, {"font.bin"}, {"$63"}, {"0"}}));
        QCOMPARE(FJobs.FPortName, QString(" COM2"));
        QCOMPARE(FJobs.FBaudRate, 9600);
        QCOMPARE(QFileInfo(QDir::currentPath() + "/").absoluteFilePath(),
                 QFileInfo(W().FAppPath).absoluteFilePath());
        QCOMPARE(Captured().FDialogs, 0);
        QCOMPARE(Captured().Texts(), QStringList{"ERROR"});
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 75.0%(3/4)"));
        QCOMPARE(W().StatusPanelText(1), QString("DOWNLOAD font.bin"));
    }
};

QTEST_MAIN(TestUpdate)
#include "test_update.moc"
