// The SET pages' command blocks, the "+" button, progress display, job reporting and the
// one-job-at-a-time rule.

#include "HistoryLog.h"
#include "UiTestRig.h"

#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSoundEffect>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

namespace {

// A short, valid 8-bit mono WAV file.
QByteArray TinyWav() {
    QByteArray data(800, char(0x80));
    QByteArray wav = "RIFF";
    auto le = [](uint32_t v, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out += char(v >> (8 * i));
        return out;
    };
    auto le32 = [&](uint32_t v) { return le(v, 4); };
    auto le16 = [&](uint32_t v) { return le(v, 2); };
    wav += le32(36 + data.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(8000) +
           le32(8000) + le16(1) + le16(8) + "data" + le32(data.size()) + data;
    return wav;
}

} // namespace

class TestPages : public QObject, public TFakeJobWindow {
    Q_OBJECT

private slots:
    void initTestCase() { InstallCaptureSeams(); }

    void init() { QVERIFY(OpenWindow()); }

    void cleanup() { FWindow.reset(); }

    void parameterBlock() {
        W().ComboSetBaudRate->setCurrentIndex(4);
        W().ComboCodePage->setCurrentIndex(2);
        W().ComboPort->setEditText(" COM3 ");
        W().ComboBaud->setEditText(" 19200 ");
        W().btSet->click();
        QCOMPARE(FJobs.FCodes, QList<uint8_t>{jobCommand});
        QCOMPARE(FJobs.FBlock, Hex("0001C200"
                                   "00010000"
                                   "32000000"
                                   "C800C800"));
        QCOMPARE(FJobs.FCmdCode, 0x60u);
        QCOMPARE(FJobs.FCmdArg, 0u);
        QCOMPARE(FJobs.FCmdLength, 16);
        // The SET pages trim the port name.
        QCOMPARE(FJobs.FPortName, QString("COM3"));
        QCOMPARE(FJobs.FBaudRate, 19200);
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
    }

    void parameterBlockFields() {
        // Code-page codes at the list's edges; nothing selected; the 16-bit fields' range.
        const struct {
            int position;
            uint8_t code;
        } pages[] = {{0, 0xFE}, {1, 0xFF}, {3, 1}, {50, 48}, {-1, 0xFE}};
        for (const auto& p : pages) {
            W().ComboCodePage->setCurrentIndex(p.position);
            W().btSetClick();
            QCOMPARE(uint8_t(FJobs.FBlock[4]), p.code);
        }
        W().ComboDensity->setCurrentIndex(-1);
        W().ComboFont->setCurrentIndex(3);
        W().comboLineFeed->setCurrentIndex(1);
        W().edIdle->setText("7");
        W().edOff->setText("1000");
        W().edMaxFeed->setText("0");
        W().edPage->setText("9999");
        W().ComboSetBaudRate->setEditText("  9600"); // leading blanks convert
        W().btSetClick();
        QCOMPARE(FJobs.FBlock, Hex("00002580"
                                   "FEFF0301"
                                   "0700E803"
                                   "00000F27"));
    }

    // A value that does not convert, or a rate that is not positive, posts nothing; the box
    // names the field, whose page comes up with the field focused.
    void badValuesPostNothingAndNameTheField() {
        using TSet = std::function<void()>;
        const struct {
            TSet set;
            void (TfrmMain::*handler)();
            QString text;
            QString field;
            std::function<QWidget*()> focus;
        } rows[] = {
            {[&] { W().ComboSetBaudRate->setEditText("9600 "); }, &TfrmMain::btSetClick,
             "'9600 ' is not a valid integer value", "BAUD RATE on the PARA page",
             [&] { return W().ComboSetBaudRate; }},
            {[&] { W().edOff->clear(); }, &TfrmMain::btSetClick, "'' is not a valid integer value",
             "OFF TIME on the PARA page", [&] { return W().edOff; }},
            {[&] { W().comboIrBaudRate->setEditText("fast"); }, &TfrmMain::btIrCommClick,
             "'fast' is not a valid integer value", "BAUD RATE on the IrCOMM page",
             [&] { return W().comboIrBaudRate; }},
            // The top bar's rate is checked before anything is posted.
            {[&] { W().ComboBaud->setEditText("x9600"); }, &TfrmMain::btSetBlueToothClick,
             "'x9600' is not a valid integer value", "BAUD RATE in the top bar",
             [&] { return W().ComboBaud; }},
            {[&] { W().ComboBaud->setEditText("x9600"); }, &TfrmMain::btFactoryClick,
             "'x9600' is not a valid integer value", "BAUD RATE in the top bar",
             [&] { return W().ComboBaud; }},
            // Rates that convert but are no rates.
            {[&] { W().ComboSetBaudRate->setEditText("-9600"); }, &TfrmMain::btSetClick,
             "BAUD RATE on the PARA page must be a positive number of bits per second, not -9600.",
             "BAUD RATE on the PARA page", [&] { return W().ComboSetBaudRate; }},
            {[&] { W().ComboBaud->setEditText(" 0"); }, &TfrmMain::btFontClick,
             "BAUD RATE in the top bar must be a positive number of bits per second, not 0.",
             "BAUD RATE in the top bar", [&] { return W().ComboBaud; }},
            {[&] { W().comboIrBaudRate->setEditText("$FFFFFFFF"); }, &TfrmMain::btIrCommClick,
             "BAUD RATE on the IrCOMM page must be a positive number of bits per second, not -1.",
             "BAUD RATE on the IrCOMM page", [&] { return W().comboIrBaudRate; }},
        };
        for (const auto& r : rows) {
            FWindow.reset();
            QVERIFY(OpenWindow());
            W().show();
            W().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&W()));
            W().PageControl1->setCurrentIndex(1);
            r.set();
            (W().*r.handler)();
            QCOMPARE(FJobs.FCodes.size(), 0);
            QCOMPARE(Captured().Texts(), QStringList{r.text});
            QCOMPARE(Captured().FMessages[0].FInformative, r.field);
            QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::Critical);
            QVERIFY(Captured().FSounds.isEmpty());
            QCOMPARE(W().focusWidget(), r.focus());
        }
    }

    void whatTheUserSeesIsWhatIsSent() {
        // A blank fill inside a masked value is not dropped: "1 34" is not 134.
        W().edIdle->setText("1234");
        W().edIdle->setCursorPosition(2);
        QTest::keyClick(W().edIdle, Qt::Key_Backspace);
        QCOMPARE(W().edIdle->displayText(), QString("1 34"));
        W().btSetClick();
        QCOMPARE(FJobs.FCodes.size(), 0);
        QCOMPARE(Captured().Texts(), QStringList{"'1 34' is not a valid integer value"});

        // Text typed over a selection names the entry it spells, or none.
        W().edIdle->setText("50");
        W().ComboDensity->setEditText("zz");
        W().ComboFont->setEditText("D  8x16");
        W().btSetClick();
        QCOMPARE(uint8_t(FJobs.FBlock[5]), uint8_t(0xFF));
        QCOMPARE(uint8_t(FJobs.FBlock[6]), uint8_t(3));
    }

    void irCommBlock() {
        W().comboIrBaudRate->setCurrentIndex(2);
        W().btIrCommClick();
        QCOMPARE(FJobs.FBlock, Hex("00009600"));
        QCOMPARE(FJobs.FCmdCode, 0x62u);
        QCOMPARE(FJobs.FCmdLength, 4);
    }

    void bluetoothBlock() {
        W().btSetBlueToothClick();
        QCOMPARE(FJobs.FBlock, QByteArray("NUV\0"
                                          "6305\0",
                                          9));
        QCOMPARE(FJobs.FCmdCode, 0x61u);
        QCOMPARE(FJobs.FCmdLength, 9);

        W().edName->clear();
        W().edPassword->clear();
        W().btSetBlueToothClick();
        QCOMPARE(FJobs.FBlock, Hex("0000"));

        // As typed: blanks stay, one byte per character.
        W().edName->setText(QString(" Caf") + QChar(0xE9) + " ");
        W().edPassword->setText("1");
        W().btSetBlueToothClick();
        QCOMPARE(FJobs.FBlock, QByteArray(" Caf\xE9 \0"
                                          "1\0",
                                          9));
    }

    void factoryBlock() {
        W().edModalName->setText("  NUV-II ");
        W().edSerialNo->setText(" 0  ");
        W().btFactoryClick();
        QCOMPARE(FJobs.FBlock, QByteArray("NUV-II\0"
                                          "0",
                                          8));
        QCOMPARE(FJobs.FCmdCode, 0x64u);
        QCOMPARE(FJobs.FCmdLength, 8);
    }

    // Blocks longer than 1012 bytes are refused before anything is written or sent.
    void overlongTextsAreRefused() {
        std::fill(std::begin(W().FComm->FCmdData), std::end(W().FComm->FCmdData), uint8_t(0xA5));
        W().edName->setText(QString(1000, 'n'));
        W().edPassword->setText(QString(11, 'p')); // 1000 + 11 + 2 = 1013
        W().btSetBlueToothClick();
        W().edModalName->setText(QString(1000, 'm'));
        W().edSerialNo->setText(QString(12, 's')); // 1000 + 1 + 12 = 1013
        W().btFactoryClick();
        QCOMPARE(FJobs.FCodes.size(), 0);
        QCOMPARE(Captured().FMessages.size(), 2);
        QVERIFY(Captured().Texts()[0].contains("1012"));
        QVERIFY(Captured().Texts()[1].contains("1012"));
        for (uint8_t b : W().FComm->FCmdData)
            QCOMPARE(b, uint8_t(0xA5));

        // Exactly 1012 bytes go.
        W().edPassword->setText(QString(10, 'p'));
        W().btSetBlueToothClick();
        QCOMPARE(FJobs.FCmdLength, 1012);
        W().edSerialNo->setText(QString(11, 's'));
        W().btFactoryClick();
        QCOMPARE(FJobs.FCmdLength, 1012);
        QCOMPARE(FJobs.FCodes.size(), 2);
    }

    void serialNumberCountsUp() {
        const struct {
            const char* before;
            const char* after;
        } cases[] = {{"0099", "100"},
                     {" 12 ", "13"},
                     {"-1", "0"},
                     {"$1F", "32"},
                     {"-10", "-9"},
                     {"9223372036854775806", "9223372036854775807"},
                     {"9223372036854775807", "9223372036854775807"}, // no room: unchanged
                     {"A12", "A12"},
                     {"12A", "12A"},
                     {"", ""}};
        for (const auto& c : cases) {
            W().edSerialNo->setText(c.before);
            W().btInc->click();
            QCOMPARE(W().edSerialNo->text(), QString(c.after));
        }
        QVERIFY(Captured().FMessages.isEmpty());
        QVERIFY(FJobs.FCodes.isEmpty());
    }

    void progressLine() {
        W().WMProgress(300, 1000);
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 30.0%(1/3)"));
        W().WMProgress(1024, 65536);
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 1.5%(4/256)"));
        W().WMProgress(65536 + 464, 65536);
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 100.0%(257/256)"));
        W().WMProgress(5, 0);
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 100.0%(257/256)"));
        W().WMProgress(INT32_MAX - 1, INT32_MAX);
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 99.9%(8388607/8388607)"));

        // As the worker delivers them.
        QCoreApplication::postEvent(&W(), new TProgressEvent(512, 1024));
        QCoreApplication::postEvent(&W(), new TStatusTextEvent("DOWNLOAD font.bin"));
        QCoreApplication::processEvents();
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 50.0%(2/4)"));
        QCOMPARE(W().StatusPanelText(1), QString("DOWNLOAD font.bin"));
    }

    void jobResultIsReported() {
        const QString title = TfrmMain::AppTitle();
        QCOMPARE(title, QString("test_pages"));
        for (uint8_t result : {0, 1, 5}) {
            Captured().Clear();
            FJobs.FResult = result;
            W().btIrCommClick();
            const bool ok = result == 0;
            QCOMPARE(Captured().FSounds, QStringList{W().FAppPath + (ok ? "ok.wav" : "error.wav")});
            QCOMPARE(Captured().FMessages.size(), 1);
            QCOMPARE(Captured().FMessages[0].FText, QString(ok ? "OK" : "ERROR"));
            QCOMPARE(Captured().FMessages[0].FTitle, title);
            QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::NoIcon);
        }
    }

    // A reason too long for status panel 1 is cut with "…" where it no longer fits, and stays
    // whole in the panel's text and tooltip; a click on the panel shows it again in its box,
    // with the time of the failure.
    void longReasonIsCutAndShownAgain() {
        W().show();
        QVERIFY(QTest::qWaitForWindowExposed(&W()));
        TStatusPanel* panel = W().StatusPanel(1);
        const QString reason =
            "Cannot open the port /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0: "
            "there is no such port. Check the name in PORT.";
        FJobs.FResult = errOpenFailed;
        FJobs.FReason = reason;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        W().btIrCommClick();
        QCOMPARE(panel->text(), reason);
        QCOMPARE(panel->toolTip(), reason);
        QVERIFY(W().testAttribute(Qt::WA_AlwaysShowToolTips)); // without the window's focus too
        const QString shown = panel->ShownText();
        QVERIFY2(shown.endsWith(QChar(0x2026)) && reason.startsWith(shown.chopped(1)),
                 qPrintable(shown));
        QVERIFY(shown.size() > 20);
        QVERIFY(panel->fontMetrics().horizontalAdvance(shown) <= panel->contentsRect().width());

        Captured().Clear();
        QTest::mouseClick(panel, Qt::LeftButton);
        QCOMPARE(Captured().FMessages.size(), 1);
        const TShownMessage again = Captured().FMessages.first();
        QCOMPARE(again.FText, QString("ERROR"));
        QVERIFY(again.FInformative.startsWith(reason + "\n\nFailed at "));
        const QDateTime at =
            QDateTime::fromString(again.FInformative.right(20).chopped(1), "yyyy-MM-dd HH:mm:ss");
        QVERIFY2(at >= before && at <= QDateTime::currentDateTime(),
                 qPrintable(again.FInformative));
        QVERIFY(Captured().FSounds.isEmpty());

        // A short reason shows whole; after a success there is nothing to show again.
        FJobs.FReason = "No reply.";
        W().btIrCommClick();
        QCOMPARE(panel->ShownText(), QString("No reply."));
        FJobs.FResult = 0;
        W().btIrCommClick();
        QCOMPARE(panel->text(), QString());
        Captured().Clear();
        QTest::mouseClick(panel, Qt::LeftButton);
        QVERIFY(Captured().FMessages.isEmpty());
    }

    // Each job start, and each refusal before a job, replaces what the panels say about the
    // last job; the space line is not about a job and stays.
    void panelsTellOnlyTheLastJob() {
        FJobs.FDuring = [&] { W().WMProgress(256, 256); };
        W().btFontClick(); // refused: no font.bin
        QVERIFY(WriteFile(W().FAppPath + "font.bin", "font"));
        W().btFontClick();
        QCOMPARE(W().StatusPanelText(0), QString("Finished: 100.0%(1/1)"));
        FJobs.FDuring = nullptr;
        FJobs.FResult = errNoReply;
        FJobs.FReason = "No reply from the printer.";
        W().btSetClick();
        QCOMPARE(W().StatusPanelText(0), QString());
        QCOMPARE(W().StatusPanelText(1), QString("No reply from the printer."));

        // A refusal: the panel says why, and a click shows that box again.
        W().ComboBaud->setEditText("fast");
        W().btSetClick();
        QCOMPARE(FJobs.FCodes.size(), 2);
        QCOMPARE(W().StatusPanelText(1),
                 QString("'fast' is not a valid integer value: BAUD RATE in the top bar"));
        QCOMPARE(W().LastFailure()->FIcon, QMessageBox::Critical);

        QImage dot(1, 1, QImage::Format_RGB32);
        dot.fill(Qt::black);
        const QString picture = SaveBitmap(W().FAppPath + "a.bmp", dot);
        W().FOpenPictureName = [&] { return picture; };
        W().actAddLogoExecute(); // the space line, which stays
        const QString space = W().StatusPanelText(0);
        QVERIFY(space.startsWith("SPACE: "));
        QVERIFY(QFile::remove(W().FAppPath + "font.bin"));
        W().ComboBaud->setEditText("9600");
        W().btFontClick();
        QCOMPARE(W().StatusPanelText(0), space);
        QVERIFY2(W().StatusPanelText(1).startsWith("Cannot open file \"" +
                                                   QDir::toNativeSeparators(W().FAppPath)),
                 qPrintable(W().StatusPanelText(1)));
    }

    // Every job of the window leaves one line in the history, after its result is known.
    void jobsLeaveHistoryLines_data() {
        QTest::addColumn<QString>("job");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("withFile");
        QTest::newRow("PARA") << historyjob::SetParams << 0 << "" << false;
        QTest::newRow("BLUE TOOTH") << historyjob::SetBluetooth << 0 << "" << false;
        QTest::newRow("IrCOMM failing") << historyjob::SetIrComm << 3 << "" << false;
        QTest::newRow("Factory") << historyjob::SetFactory << 0 << "1042" << false;
        QTest::newRow("FONT") << historyjob::Font << 0 << "" << true;
    }
    void jobsLeaveHistoryLines() {
        QFETCH(QString, job);
        QFETCH(int, result);
        QFETCH(QString, serial);
        QFETCH(bool, withFile);
        const QByteArray font = "font bytes";
        QVERIFY(WriteFile(W().FAppPath + "font.bin", font));
        W().edSerialNo->setText(" 1042 ");
        W().ComboPort->setEditText("COM3");
        FJobs.FResult = static_cast<uint8_t>(result);
        FJobs.FReason = "No reply from the printer.";
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        const QMap<QString, QPushButton*> buttons{{historyjob::SetParams, W().btSet},
                                                  {historyjob::SetBluetooth, W().btSetBlueTooth},
                                                  {historyjob::SetIrComm, W().btIrComm},
                                                  {historyjob::SetFactory, W().btFactory},
                                                  {historyjob::Font, W().btFont}};
        buttons[job]->click();
        QCOMPARE(Captured().Texts(), QStringList{result ? "ERROR" : "OK"});

        QList<THistoryRecord> records;
        QVERIFY(THistoryLog(W().FAppPath).Read(records));
        QCOMPARE(records.size(), 1);
        const THistoryRecord& r = records[0];
        QCOMPARE(r.FJob, job);
        QCOMPARE(r.FProgram, QString("NUV_II_Tool"));
        QCOMPARE(r.FVersion, TfrmMain::ProgramVersion());
        QCOMPARE(r.FPort, QString("COM3"));
        QVERIFY(r.FTime >= before && r.FTime <= QDateTime::currentDateTime());
        QCOMPARE(r.FResult, result ? historyresult::Failed : historyresult::Ok);
        QCOMPARE(r.FReason, result ? FJobs.FReason : QString());
        QCOMPARE(r.FSerial, serial);
        const QList<THistoryFile> files =
            withFile
                ? QList<THistoryFile>{{QFileInfo(W().FAppPath + "font.bin").absoluteFilePath(),
                                       font.size(),
                                       QCryptographicHash::hash(font, QCryptographicHash::Sha256)
                                           .toHex()}}
                : QList<THistoryFile>{};
        QCOMPARE(r.FFiles, files);
    }

    // A history that cannot be written leaves the job's result as it was; panel 1 says so.
    void unwritableHistoryIsSaidNotFatal() {
        QVERIFY(QDir(W().FAppPath).mkdir(THistoryLog::FileName));
        W().btIrCommClick();
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QCOMPARE(Captured().FSounds, QStringList{W().FAppPath + "ok.wav"});
        const QString note = "history.jsonl was not written: Cannot open file";
        QVERIFY2(W().StatusPanelText(1).startsWith(note), qPrintable(W().StatusPanelText(1)));

        Captured().Clear();
        FJobs.FResult = 3;
        FJobs.FReason = "No reply.";
        W().btIrCommClick();
        QCOMPARE(Captured().Texts(), QStringList{"ERROR"});
        QVERIFY2(W().StatusPanelText(1).startsWith("No reply. (" + note),
                 qPrintable(W().StatusPanelText(1)));
    }

    // Ctrl+Shift+B or the status bar's context menu: a bundle where the technician says.
    void supportBundleFromTheWindow() {
        QAction* action = W().actSupportBundle;
        QCOMPARE(action->objectName(), QString("actSupportBundle"));
        QCOMPARE(action->shortcut(), QKeySequence("Ctrl+Shift+B"));
        QVERIFY(W().actions().contains(action));
        QVERIFY(W().StatusBar1->actions().contains(action));
        QCOMPARE(W().StatusBar1->contextMenuPolicy(), Qt::ActionsContextMenu);

        QVERIFY(WriteFile(W().FAppPath + "config.ini", "[PARA]\r\n"));
        QTemporaryDir out;
        Captured().FNextFileName = out.filePath("for support"); // the suffix is added
        action->trigger();
        QCOMPARE(Captured().FDialogs, 1);
        QVERIFY2(Captured().FSuggestedName.contains(
                     QRegularExpression("/nuv-support-\\d{8}-\\d{6}\\.tar\\.gz$")),
                 qPrintable(Captured().FSuggestedName));
        const QString bundle = out.filePath("for support.tar.gz");
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QVERIFY(Captured().FMessages[0].FInformative.contains(bundle));
        QVERIFY(QFileInfo(bundle).size() > 0); // its content: test_support

        // Cancelled: nothing written, nothing said. The key, wherever the focus is.
        Captured().Clear();
        W().show();
        QVERIFY(QTest::qWaitForWindowActive(&W()));
        W().edIdle->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_B,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(Captured().FDialogs, 1);
        QVERIFY(Captured().FMessages.isEmpty());

        Captured().FNextFileName = out.filePath("missing/b.tar.gz");
        action->trigger();
        QCOMPARE(Captured().Texts(), QStringList{"The support bundle was not saved."});
        QVERIFY(Captured().FMessages[0].FInformative.contains("missing"));
    }

    // A second job can never be posted while one runs.
    void jobButtonsAreOffDuringAJob() {
        QList<QPushButton*> buttons = {W().btSet,     W().btSetBlueTooth, W().btIrComm,
                                       W().btFactory, W().btUpdate,       W().btFont,
                                       W().btLOGO};
        bool checked = false;
        FJobs.FDuring = [&] {
            QVERIFY(W().JobRunning());
            for (QPushButton* b : buttons)
                QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
            W().btSetClick();
            W().btSetBlueToothClick();
            W().btIrCommClick();
            W().btFactoryClick();
            W().btUpdateClick();
            W().btFontClick();
            QVERIFY(!W().actSupportBundle->isEnabled());
            checked = true;
        };
        W().btSetClick();
        QVERIFY(checked);
        QCOMPARE(FJobs.FCodes.size(), 1);
        QCOMPARE(Captured().FDialogs, 0);
        QVERIFY(!W().JobRunning());
        for (QPushButton* b : buttons)
            QVERIFY(b->isEnabled());
        QVERIFY(W().actSupportBundle->isEnabled());
    }

    // Enter presses the focused button as Space does; the button's Alt letter presses it too.
    void keyboardPressesButtons() {
        W().show();
        W().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&W()));
        W().btSet->setFocus();
        QTest::keyClick(W().btSet, Qt::Key_Return);
        QTest::keyClick(W().btSet, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(W().btSet, Qt::Key_Space);
        QCOMPARE(FJobs.FCodes, (QList<uint8_t>{jobCommand, jobCommand, jobCommand}));
        // The focus stayed on the button through the jobs.
        QCOMPARE(W().focusWidget(), W().btSet);
        // A shortcut presses its button visibly: the click follows a moment later.
        QTest::keyClick(W().focusWidget(), Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(FJobs.FCodes.size(), 4, 5000);
        // A button of a page not shown does not answer its letter.
        QTest::keyClick(W().focusWidget(), Qt::Key_P, Qt::AltModifier);
        QCOMPARE(Captured().FDialogs, 0);
    }

    // The DELETE key on the logo list removes the selected entry, as the DELETE action does.
    // (A shown window: kept out of the ThreadSanitizer tests, whose Qt paints on threads.)
    void deleteKeyRemovesTheSelectedLogo() {
        QImage dot(1, 1, QImage::Format_RGB32);
        dot.fill(Qt::black);
        const QString a = SaveBitmap(W().FAppPath + "a.bmp", dot);
        const QString b = SaveBitmap(W().FAppPath + "b.bmp", dot);
        QStringList chosen = {a, b};
        W().FOpenPictureName = [&chosen] { return chosen.takeFirst(); };
        W().actAddLogoExecute();
        W().actAddLogoExecute();
        W().show();
        W().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&W()));
        W().PageControl1->setCurrentWidget(W().TabSheet3);
        W().ListLogo->setFocus();
        W().ListLogo->setCurrentRow(0);
        QTest::keyClick(W().ListLogo, Qt::Key_Delete);
        QCOMPARE(W().FLogoFiles, QStringList{b});
        QCOMPARE(W().StatusPanelText(0), QString("SPACE: 0,015 Used, 65,521 Free"));
    }

    // Closing during a job takes effect once the job has ended and been reported.
    void closeDuringAJobWaitsForIt() {
        W().show();
        QVERIFY(QTest::qWaitForWindowExposed(&W()));
        const QString config = W().FAppPath + "config.ini";
        FJobs.FDuring = [&] {
            W().close();
            QVERIFY(W().isVisible());
            QVERIFY(!QFile::exists(config));
            QCOMPARE(W().StatusPanelText(1), QString("Closing after the current job..."));
            // The worker's status texts no longer replace it.
            QCoreApplication::sendEvent(&W(), new TStatusTextEvent("DOWNLOAD font.bin"));
            QCOMPARE(W().StatusPanelText(1), QString("Closing after the current job..."));
        };
        W().btFactoryClick();
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QVERIFY(!W().isVisible());
        QVERIFY(QFile::exists(config));
        QVERIFY(!W().FComm);
        // The window no longer takes jobs.
        FJobs.FDuring = nullptr;
        W().btSetClick();
        QCOMPARE(FJobs.FCodes.size(), 1);
    }

    // The real worker: a port that cannot be opened ends the job in "ERROR".
    void failingJobOnTheWorker() {
        FWindow.reset();
        FWindow = std::make_unique<TfrmMain>(FDir->path());
        Captured().Clear();
        W().ComboPort->setEditText(FDir->path() + "/no-such-port");
        W().btIrCommClick();
        QCOMPARE(Captured().Texts(), QStringList{"ERROR"});
        QCOMPARE(Captured().FSounds, QStringList{W().FAppPath + "error.wav"});
        QVERIFY(QFile::exists(W().FAppPath + "debug.log"));
    }

    // The real sound player never holds up the result box, with or without a sound file.
    void soundNeverDelaysTheMessage() {
        const TPlaySoundFn capture = TfrmMain::FDefaultSeams.FPlaySound;
        TfrmMain::FDefaultSeams.FPlaySound = nullptr;
        FWindow.reset();
        FWindow = std::make_unique<TfrmMain>(FDir->path());
        TfrmMain::FDefaultSeams.FPlaySound = capture;
        FJobs.Attach(W());
        QVERIFY(WriteFile(W().FAppPath + "ok.wav", TinyWav()));
        Captured().Clear();
        QElapsedTimer timer;
        timer.start();
        W().btIrCommClick();                     // ok.wav present
        QVERIFY(W().findChild<QSoundEffect*>()); // the real player was used
        FJobs.FResult = 1;
        W().btIrCommClick(); // error.wav missing
        W().btIrCommClick();
        QVERIFY2(timer.elapsed() < 3000, QByteArray::number(timer.elapsed()));
        QCOMPARE(Captured().Texts(), QStringList({"OK", "ERROR", "ERROR"}));
    }
};

QTEST_MAIN(TestPages)
#include "test_pages.moc"
