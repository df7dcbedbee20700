// Start-up and shutdown of the main window: controls, defaults, "codepage.ini", "config.ini".

#include "IniFile.h"
#include "LogoImage.h"
#include "Permissions.h"
#include "UiTestRig.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <sys/stat.h>

namespace {

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

const QStringList Rates = {"  9600", " 19200", " 38400", " 57600", "115200"};

// The label whose buddy is the control.
QString LabelOf(const TfrmMain& w, const QWidget* control) {
    for (const QLabel* label : w.findChildren<QLabel*>())
        if (label->buddy() == control)
            return label->text();
    return "<none>";
}

ino_t Inode(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

TIniFile LoadIni(const QString& path) {
    TIniFile ini;
    ini.Load(path);
    return ini;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FDir;
    QString FPath; // with trailing slash

    QString Config() const { return FPath + "config.ini"; }
    void WriteConfig(const QByteArray& text) { QVERIFY(WriteFile(Config(), text)); }
    // A picture that exists and converts, for logo entries.
    QString MakeFile(const QString& relative) {
        QImage picture(1, 1, QImage::Format_RGB888);
        picture.fill(Qt::white);
        return SaveBitmap(FPath + relative, picture);
    }

private slots:
    void initTestCase() { InstallCaptureSeams(); }

    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FPath = FDir->path() + "/";
        // Most tests have the list file; the ones about it remove it.
        QVERIFY(WriteFile(FPath + "codepage.ini", "FIRST\r\nSECOND\r\nTHIRD\r\nFOURTH"));
        Captured().Clear();
    }

    // Captions as shown, each with an Alt shortcut that no other button of its page uses.
    void buttonCaptionsAndShortcuts() {
        TfrmMain w(FDir->path());
        const struct {
            QAbstractButton* button;
            const char* caption;
            const char* shortcut;
        } rows[] = {{w.btSet, "SET", "Alt+S"},           {w.btUpdate, "PROGRAM", "Alt+P"},
                    {w.btFont, "FONT", "Alt+F"},         {w.btAddLogo, "ADD", "Alt+A"},
                    {w.btDeleteLogo, "DELETE", "Alt+D"}, {w.btLOGO, "DOWNLOAD", "Alt+O"},
                    {w.btSetBlueTooth, "SET", "Alt+S"},  {w.btIrComm, "SET", "Alt+S"},
                    {w.btFactory, "SET", "Alt+S"},       {w.btInc, "+", ""}};
        for (const auto& r : rows) {
            QCOMPARE(QString(r.button->text()).remove('&'), QString(r.caption));
            QCOMPARE(QKeySequence::mnemonic(r.button->text()).toString(), QString(r.shortcut));
        }
        for (QWidget* page :
             {w.TabSheet1, w.TabSheet2, w.TabSheet3, w.TabSheet4, w.TabSheet5, w.TabFactory}) {
            QStringList letters;
            for (const QAbstractButton* b : page->findChildren<QAbstractButton*>()) {
                const QString key = QKeySequence::mnemonic(b->text()).toString();
                QVERIFY2(key.isEmpty() || !letters.contains(key), qPrintable(key));
                letters << key;
            }
        }
    }

    // COM1 to COM9, TCP/IP, then the ports present, described; the list follows what is
    // plugged in each time it opens, and choosing a port puts just its device into PORT.
    void portListFollowsThePortsPresent() {
        TPortInfo usb;
        usb.FDevice = "/dev/ttyUSB0";
        usb.FDescription = "FT232R USB UART";
        TPortInfo bare;
        bare.FDevice = "/dev/ttyACM3";
        const QList<TPortItem> items = PortListItems({usb, bare});
        QStringList texts, names;
        for (const TPortItem& item : items) {
            texts << item.FText;
            names << item.FPortName;
        }
        const QStringList com = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                 "COM6", "COM7", "COM8", "COM9", "TCP/IP"};
        QCOMPARE(texts, com + QStringList({"/dev/ttyUSB0 (FT232R USB UART)", "/dev/ttyACM3"}));
        QCOMPARE(names, com + QStringList({"/dev/ttyUSB0", "/dev/ttyACM3"}));

        TfrmMain w(FPath);
        w.show();
        QCOMPARE(w.ComboPort->count(), 10);
        w.ComboPort->setEditText("typed");
        Captured().FPorts = {usb}; // plugged in after start
        w.ComboPort->showPopup();
        w.ComboPort->hidePopup();
        QCOMPARE(w.ComboPort->count(), 11);
        QCOMPARE(w.ComboPort->itemText(10), QString("/dev/ttyUSB0 (FT232R USB UART)"));
        QCOMPARE(w.ComboPort->currentText(), QString("typed"));
        w.ComboPort->setCurrentIndex(10);
        emit w.ComboPort->activated(10);
        QCOMPARE(w.ComboPort->currentText(), QString("/dev/ttyUSB0"));
        Captured().FPorts = {}; // and unplugged again
        w.ComboPort->showPopup();
        w.ComboPort->hidePopup();
        QCOMPARE(w.ComboPort->count(), 10);
        QCOMPARE(w.ComboPort->currentText(), QString("/dev/ttyUSB0"));
        w.FormDestroy();
    }

    // Panel 0 shows the longest space line SIZE can give and a full progress line whole, and
    // the panels fit the window.
    void statusTextsFit_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("default") << 65536;
        QTest::newRow("largest") << 2147483647;
        QTest::newRow("small") << 100;
    }

    void statusTextsFit() {
        QFETCH(int, size);
        WriteConfig(QStringLiteral("[LOGO]\r\nSIZE=%1\r\n").arg(size).toLatin1());
        TfrmMain w(FPath);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QLabel* panel = w.StatusPanel(0);
        const QFontMetrics metrics(panel->font());
        const QStringList texts = w.StatusPanel0Texts();
        QVERIFY(texts.contains(LogoSpaceText(3, size)));
        for (const QString& text : texts)
            QVERIFY2(metrics.horizontalAdvance(text) <= panel->contentsRect().width(),
                     qPrintable(text));
        // The progress bar and some of panel 1 still fit beside it.
        QVERIFY(panel->width() + w.ProgressBar1->width() + 50 <= w.width());
        w.FormDestroy();
    }

    void startsWithDefaultsWithoutConfig() {
        TfrmMain w(FDir->path()); // no trailing slash: the window adds it
        QCOMPARE(w.FAppPath, FPath);
        QVERIFY(Captured().FMessages.isEmpty());
        QCOMPARE(w.windowTitle(), QString("NUV SERIES PRINTER TOOL"));
        QCOMPARE(w.size(), QSize(536, 322));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(!(w.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(QFontInfo(w.font()).fixedPitch());
        QCOMPARE(w.font().pixelSize(), 12);
        QCOMPARE(w.Panel1->font().pixelSize(), 16);

        // Pages in order; Factory hidden.
        const QStringList pages = {"TabSheet1", "TabSheet2", "TabSheet3",
                                   "TabSheet4", "TabSheet5", "TabFactory"};
        const QStringList captions = {"PARA", "UPDATE", "NVRAM", "BLUE TOOTH", "IrCOMM", "Factory"};
        QCOMPARE(w.PageControl1->count(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(w.PageControl1->widget(i)->objectName(), pages[i]);
            QCOMPARE(w.PageControl1->tabText(i), captions[i]);
        }
        QCOMPARE(w.PageControl1->currentIndex(), 0);
        QVERIFY(!w.FactoryTabShown());

        // Top bar.
        QCOMPARE(Items(w.ComboPort), QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6",
                                                  "COM7", "COM8", "COM9", "TCP/IP"}));
        QCOMPARE(w.ComboPort->currentIndex(), -1);
        QCOMPARE(w.ComboPort->currentText(), QString("COM1"));
        QCOMPARE(Items(w.ComboBaud), Rates);
        QCOMPARE(w.ComboBaud->currentIndex(), 0);
        QCOMPARE(LabelOf(w, w.ComboPort), QString("PORT:"));
        QCOMPARE(LabelOf(w, w.ComboBaud), QString("BAUD RATE:"));

        // PARA.
        QCOMPARE(Items(w.ComboSetBaudRate), Rates);
        QCOMPARE(w.ComboSetBaudRate->currentIndex(), 0);
        QCOMPARE(Items(w.ComboCodePage), QStringList({"FIRST", "SECOND", "THIRD", "FOURTH"}));
        QCOMPARE(w.ComboCodePage->currentIndex(), 1);
        QCOMPARE(w.ComboCodePage->width(), 300);
        QCOMPARE(Items(w.ComboDensity), QStringList({"LOW", "NORMAL", "DARK"}));
        QCOMPARE(w.ComboDensity->currentIndex(), 1);
        QCOMPARE(Items(w.ComboFont), QStringList({"A 12x24", "B  9x24", "C  9x17", "D  8x16"}));
        QCOMPARE(w.ComboFont->currentIndex(), 0);
        QCOMPARE(Items(w.comboLineFeed), QStringList({"LF(0x0A)", "CR(0x0D)"}));
        QCOMPARE(w.comboLineFeed->currentIndex(), 0);
        for (QComboBox* c : w.findChildren<QComboBox*>()) {
            QVERIFY2(c->isEditable(), qPrintable(c->objectName()));
            QCOMPARE(c->insertPolicy(), QComboBox::NoInsert);
        }
        const struct {
            QLineEdit* edit;
            const char* label;
            const char* text;
        } edits[] = {{w.edIdle, "IDLE TIME:", "50"},
                     {w.edOff, "OFF TIME:", "0"},
                     {w.edMaxFeed, "MAX FEED:", "200"},
                     {w.edPage, "PAGE LEN:", "200"}};
        for (const auto& e : edits) {
            // Qt reports "0000; " without its default blank fill.
            QCOMPARE(e.edit->inputMask(), QString("0000"));
            QCOMPARE(e.edit->maxLength(), 4);
            QCOMPARE(e.edit->text(), QString(e.text));
            QCOMPARE(LabelOf(w, e.edit), QString(e.label));
        }
        QCOMPARE(LabelOf(w, w.ComboCodePage), QString("CODE PAGE:"));
        QCOMPARE(LabelOf(w, w.comboLineFeed), QString("LINE:"));

        // The other pages.
        QCOMPARE(w.btAddLogo->defaultAction(), w.actAddLogo);
        QCOMPARE(w.ListLogo->count(), 0);
        QCOMPARE(LabelOf(w, w.ListLogo), QString("LOGO:"));
        QCOMPARE(w.PopupMenu1->actions().size(), 3);
        QCOMPARE(w.PopupMenu1->actions()[0], w.actAddLogo);
        QVERIFY(w.PopupMenu1->actions()[1]->isSeparator());
        QCOMPARE(w.PopupMenu1->actions()[2], w.actDelete);
        QCOMPARE(w.edName->text(), QString("NUV"));
        QCOMPARE(w.edPassword->text(), QString("6305"));
        QCOMPARE(w.edPassword->echoMode(), QLineEdit::Normal);
        QCOMPARE(LabelOf(w, w.edName), QString("DEVICE NAME:"));
        QCOMPARE(LabelOf(w, w.edPassword), QString("PIN:"));
        QCOMPARE(Items(w.comboIrBaudRate), Rates);
        QCOMPARE(w.comboIrBaudRate->currentIndex(), 0);
        QCOMPARE(w.btInc->text(), QString("+"));
        QCOMPARE(LabelOf(w, w.edModalName), QString("MODAL NAME:"));
        QCOMPARE(LabelOf(w, w.edSerialNo), QString("SERIAL NO:"));

        QCOMPARE(w.StatusPanelText(0), QString());
        QCOMPARE(w.StatusPanelText(1), "Files: " + QDir::cleanPath(FPath));
        QCOMPARE(w.FLogoSize, 65536);
        QCOMPARE(w.FLogoWidth, 384);
        QCOMPARE(w.FLogoQuantity, 8);
        QCOMPARE(w.FLogoCommand, 45);
        QCOMPARE(w.FLogoPara, 0);
        QCOMPARE(w.FPeerHost, QString());
        QCOMPARE(w.FPeerPort, uint16_t(0));
        QVERIFY(w.FComm);
        QCOMPARE(w.FComm->LogPath(), FPath + "debug.log");
    }

    void closeWritesDefaultsOnce() {
        auto w = std::make_unique<TfrmMain>(FPath);
        w->FormDestroy();
        QVERIFY(!w->FComm);
        const TIniFile ini = LoadIni(Config());
        QCOMPARE(ini.ReadString("PARA", "BAUDRATE", "?"), QString("9600"));
        QCOMPARE(ini.ReadString("PARA", "CODEPAGE", "?"), QString("1"));
        QCOMPARE(ini.ReadString("PARA", "DENSITY", "?"), QString("1"));
        QCOMPARE(ini.ReadString("PARA", "FONT", "?"), QString("0"));
        QCOMPARE(ini.ReadString("PARA", "LINEFEED", "?"), QString("0"));
        QCOMPARE(ini.ReadString("PARA", "IDLE TIME", "?"), QString("50"));
        QCOMPARE(ini.ReadString("PARA", "OFF TIME", "?"), QString("0"));
        QCOMPARE(ini.ReadString("PARA", "MAX FEED", "?"), QString("200"));
        QCOMPARE(ini.ReadString("PARA", "PAGE LENGTH", "?"), QString("200"));
        QCOMPARE(ini.ReadString("BLUE TOOTH", "DEVICE NAME", "?"), QString("NUV"));
        QCOMPARE(ini.ReadString("BLUE TOOTH", "PIN", "?"), QString("6305"));
        QCOMPARE(ini.ReadString("IRCOMM", "BAUDRATE", "?"), QString("9600"));
        QCOMPARE(ini.ReadString("LOGO", "SIZE", "?"), QString("65536"));
        QCOMPARE(ini.ReadString("LOGO", "COMMAND", "?"), QString("45"));
        QVERIFY(!ini.SectionHasKeys("FACTORY"));
        QVERIFY(!ini.HasValue("APP", "CAPTION"));

        // Later calls, and the destructor, write nothing more.
        QVERIFY(QFile::remove(Config()));
        w->FormDestroy();
        w.reset();
        QVERIFY(!QFile::exists(Config()));
        QVERIFY(Captured().FMessages.isEmpty());
    }

    void codePageFileReplacesTheList() {
        QVERIFY(WriteFile(FPath + "codepage.ini", "A\r\nB\n\nC\rD"));
        TfrmMain w(FPath);
        QCOMPARE(Items(w.ComboCodePage), QStringList({"A", "B", "", "C", "D"}));
        QCOMPARE(w.ComboCodePage->currentIndex(), 1);
    }

    // Without "codepage.ini" the built-in list stays, the error names the file, and
    // "config.ini" is still read in full.
    void missingCodePageFileKeepsBuiltInList() {
        QVERIFY(QFile::remove(FPath + "codepage.ini"));
        WriteConfig("[PARA]\r\nCODEPAGE=2\r\nDENSITY=2\r\n[FACTORY]\r\nSERIAL NO=77\r\n");
        TfrmMain w(FPath);
        QCOMPARE(Captured().FMessages.size(), 1);
        QVERIFY(Captured().FMessages[0].FText.contains(FPath + "codepage.ini"));
        QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::Critical);
        QCOMPARE(w.ComboCodePage->count(), 51);
        QCOMPARE(w.ComboCodePage->currentText(), QString("CP437 [U.S.A., Standard Europe]"));
        QCOMPARE(w.ComboDensity->currentIndex(), 2);
        QVERIFY(w.FactoryTabShown());
        QCOMPARE(w.edSerialNo->text(), QString("77"));
    }

    // An empty list file is reported like a missing one; the saved position survives.
    void emptyCodePageFileKeepsTheSavedPosition() {
        QVERIFY(WriteFile(FPath + "codepage.ini", ""));
        WriteConfig("[PARA]\r\nCODEPAGE=7\r\n");
        {
            TfrmMain w(FPath);
            QCOMPARE(Captured().FMessages.size(), 1);
            QVERIFY(Captured().FMessages[0].FText.contains(FPath + "codepage.ini"));
            QCOMPARE(w.ComboCodePage->count(), 51);
            QCOMPARE(w.ComboCodePage->currentIndex(), 7);
        }
        QCOMPARE(LoadIni(Config()).ReadInteger("PARA", "CODEPAGE", -5), 7);
    }

    void settingsAreRead() {
        const QString logo = MakeFile("logo1.bmp");
        WriteConfig("[app]\r\ncaption=Service\r\n"
                    "[Logo]\r\nSize=abc\r\nWIDTH=0x100\r\nQUANTITY=$0A\r\nCOMMAND=0x2D\r\n"
                    "PARA=4096\r\nFILE1=" +
                    logo.toUtf8() +
                    "\r\n"
                    "[para]\r\nbaudrate=115200\r\nCODEPAGE=3\r\nDENSITY=2\r\nFONT=3\r\n"
                    "LINEFEED=1\r\nIDLE TIME=12\r\nOFF TIME=5\r\nMAX FEED=100\r\n"
                    "PAGE LENGTH=9999\r\n"
                    "[BLUE TOOTH]\r\nDEVICE NAME=Shop 1\r\nPIN=0000\r\n"
                    "[IRCOMM]\r\nBAUDRATE=38400\r\n"
                    "[FACTORY]\r\nDEVICE NAME=NUV-X\r\nSERIAL NO=0042\r\n"
                    "[NETWORK]\r\nHOST=127.0.0.1\r\nPORT=9100\r\n");
        TfrmMain w(FPath);
        QVERIFY(Captured().FMessages.isEmpty());
        QCOMPARE(w.windowTitle(), QString("Service"));
        QCOMPARE(w.FLogoSize, 65536); // bad value: default
        QCOMPARE(w.FLogoWidth, 256);
        QCOMPARE(w.FLogoQuantity, 10);
        QCOMPARE(w.FLogoCommand, 45);
        QCOMPARE(w.FLogoPara, 4096);
        QCOMPARE(w.FLogoFiles, QStringList({logo}));
        QCOMPARE(w.ComboSetBaudRate->currentText(), QString("115200"));
        QCOMPARE(w.ComboCodePage->currentText(), QString("FOURTH"));
        QCOMPARE(w.ComboDensity->currentIndex(), 2);
        QCOMPARE(w.ComboFont->currentIndex(), 3);
        QCOMPARE(w.comboLineFeed->currentIndex(), 1);
        QCOMPARE(w.edIdle->text(), QString("12"));
        QCOMPARE(w.edOff->text(), QString("5"));
        QCOMPARE(w.edMaxFeed->text(), QString("100"));
        QCOMPARE(w.edPage->text(), QString("9999"));
        QCOMPARE(w.edName->text(), QString("Shop 1"));
        QCOMPARE(w.edPassword->text(), QString("0000"));
        QCOMPARE(w.comboIrBaudRate->currentText(), QString(" 38400"));
        QVERIFY(w.FactoryTabShown());
        QCOMPARE(w.edModalName->text(), QString("NUV-X"));
        QCOMPARE(w.edSerialNo->text(), QString("0042"));
        QCOMPARE(w.FPeerHost, QString("127.0.0.1"));
        QCOMPARE(w.FPeerPort, uint16_t(9100));
        // The top bar is never restored.
        QCOMPARE(w.ComboPort->currentText(), QString("COM1"));
        QCOMPARE(w.ComboBaud->currentIndex(), 0);
    }

    void selectionsByValueAndPosition() {
        WriteConfig("[PARA]\r\nBAUDRATE=14400\r\nCODEPAGE=4\r\nDENSITY=-1\r\nFONT=$2\r\n"
                    "[IRCOMM]\r\nBAUDRATE=$E100\r\n[APP]\r\nCAPTION=\r\n");
        {
            TfrmMain w(FPath);
            QCOMPARE(w.windowTitle(), QString("NUV SERIES PRINTER TOOL"));
            QCOMPARE(w.ComboSetBaudRate->currentIndex(), 0); // 14400 is not in the list
            QCOMPARE(w.ComboCodePage->currentIndex(), -1);   // one past the end
            QCOMPARE(w.ComboDensity->currentIndex(), -1);
            QCOMPARE(w.ComboFont->currentIndex(), 2);
            QCOMPARE(w.comboIrBaudRate->currentText(), QString(" 57600"));
        }
        // Nothing selected is written back as -1; the rate as the item's number.
        const TIniFile ini = LoadIni(Config());
        QCOMPARE(ini.ReadString("PARA", "CODEPAGE", "?"), QString("-1"));
        QCOMPARE(ini.ReadString("PARA", "DENSITY", "?"), QString("-1"));
        QCOMPARE(ini.ReadString("PARA", "FONT", "?"), QString("2"));
        QCOMPARE(ini.ReadString("PARA", "BAUDRATE", "?"), QString("9600"));
        QCOMPARE(ini.ReadString("IRCOMM", "BAUDRATE", "?"), QString("57600"));
        QCOMPARE(ini.ReadString("APP", "CAPTION", "?"), QString()); // left as it was
    }

    void factoryTabNeedsAKey() {
        WriteConfig("[FACTORY]\r\nOTHER=1\r\n");
        {
            TfrmMain w(FPath);
            QVERIFY(w.FactoryTabShown());
            QCOMPARE(w.edModalName->text(), QString("NUV-II"));
            QCOMPARE(w.edSerialNo->text(), QString("0"));
            w.edSerialNo->setText(" 12 ");
        }
        // As typed: quoted, so that the blanks read back.
        QVERIFY(ReadFile(Config()).contains("SERIAL NO=\" 12 \"\r\n"));
        TIniFile ini = LoadIni(Config());
        QCOMPARE(ini.ReadString("FACTORY", "SERIAL NO", "?"), QString(" 12 "));
        QCOMPARE(ini.ReadString("FACTORY", "OTHER", "?"), QString("1"));

        // A bare header, or no section at all, hides the tab and gets no keys.
        for (const QByteArray& text : {QByteArray("[FACTORY]\r\n[PARA]\r\nFONT=1\r\n"),
                                       QByteArray("[PARA]\r\nFONT=1\r\n")}) {
            WriteConfig(text);
            {
                TfrmMain w(FPath);
                QVERIFY(!w.FactoryTabShown());
            }
            QVERIFY(!LoadIni(Config()).SectionHasKeys("FACTORY"));
        }
    }

    void logoListStopsAtMissingFile() {
        const QString first = MakeFile("logos/a.bmp");
        QTemporaryDir other;
        const QString outside = other.path() + "/b.bmp";
        QVERIFY(WriteFile(outside, "x"));
        WriteConfig("[LOGO]\r\nSIZE=1000\r\nFILE1=" + first.toUtf8() +
                    "\r\nFILE2=" + outside.toUtf8() + "\r\nFILE3=" + FPath.toUtf8() +
                    "gone.bmp\r\nFILE4=" + first.toUtf8() + "\r\nEXTRA=1\r\n");
        {
            TfrmMain w(FPath);
            QCOMPARE(w.FLogoFiles, QStringList({first, outside}));
            QCOMPARE(w.ListLogo->count(), 2);
            QCOMPARE(w.ListLogo->item(0)->text(), QString("logos/a.bmp"));
            QCOMPARE(w.ListLogo->item(1)->text(), QDir(FPath).relativeFilePath(outside));
            QVERIFY(w.ListLogo->item(1)->text().startsWith("../"));
        }
        const TIniFile ini = LoadIni(Config());
        QCOMPARE(ini.ReadString("LOGO", "FILE1", "?"), first);
        QCOMPARE(ini.ReadString("LOGO", "FILE2", "?"), outside);
        QVERIFY(!ini.HasValue("LOGO", "FILE3"));
        QVERIFY(!ini.HasValue("LOGO", "FILE4"));
        QVERIFY(!ini.HasValue("LOGO", "EXTRA")); // the section is rewritten as a whole
        QCOMPARE(ini.ReadString("LOGO", "SIZE", "?"), QString("1000"));
        QCOMPARE(ini.ReadString("LOGO", "WIDTH", "?"), QString("384"));
    }

    void logoListHoldsAtMost100() {
        const QString file = MakeFile("l.bmp");
        QByteArray text = "[LOGO]\r\n";
        for (int n = 1; n <= 120; ++n)
            text += "FILE" + QByteArray::number(n) + "=" + file.toUtf8() + "\r\n";
        WriteConfig(text);
        {
            TfrmMain w(FPath);
            QCOMPARE(w.FLogoFiles.size(), 100);
            QCOMPARE(w.ListLogo->count(), 100);
        }
        const TIniFile ini = LoadIni(Config());
        QVERIFY(ini.HasValue("LOGO", "FILE100"));
        QVERIFY(!ini.HasValue("LOGO", "FILE101"));
    }

    void roundTripKeepsTheFile() {
        const QString logo = MakeFile("a.bmp");
        WriteConfig("; service settings\r\n[APP]\r\nCAPTION=Bench\r\n[PARA]\r\nBAUDRATE=38400\r\n"
                    "CODEPAGE=2\r\nCUSTOM=keep me\r\nIDLE TIME=0\r\n[MINE]\r\nA=1, 2\r\n"
                    "[LOGO]\r\nFILE1=" +
                    logo.toUtf8() + "\r\n[FACTORY]\r\nDEVICE NAME= spaced \r\n");
        { TfrmMain w(FPath); }
        const QByteArray first = ReadFile(Config());
        QVERIFY(first.startsWith("; service settings\r\n"));
        QVERIFY(first.contains("CUSTOM=keep me\r\n"));
        QVERIFY(first.contains("[MINE]\r\nA=1, 2\r\n"));
        const TIniFile ini = LoadIni(Config());
        QCOMPARE(ini.ReadString("PARA", "BAUDRATE", "?"), QString("38400"));
        QCOMPARE(ini.ReadString("PARA", "IDLE TIME", "?"), QString("0"));
        QCOMPARE(ini.ReadString("LOGO", "FILE1", "?"), logo);
        // A second start and close changes nothing.
        { TfrmMain w(FPath); }
        QCOMPARE(ReadFile(Config()), first);
        QVERIFY(Captured().FMessages.isEmpty());
    }

    // A file in the system's 8-bit code page comes back byte for byte, comments and unknown
    // keys included; a UTF-8 file and its byte-order mark likewise.
    void encodingsRoundTrip_data() {
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("Latin-1") << QByteArray() << QByteArray("caf\xE9 cr\xE8me \xA9 d\xE9j\xE0");
        QTest::newRow("UTF-8 with mark")
            << QByteArray("\xEF\xBB\xBF") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC");
        QTest::newRow("two marks") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF") << QByteArray("x");
    }

    void encodingsRoundTrip() {
        QFETCH(QByteArray, prefix);
        QFETCH(QByteArray, text);
        // A file with every key the window writes, as the window writes it, and more.
        { TfrmMain w(FPath); }
        QByteArray file = ReadFile(Config());
        QVERIFY(file.startsWith("[PARA]\r\n"));
        file.replace("CODEPAGE=1\r\n", "CODEPAGE=3\r\nNOTE=" + text + "\r\n");
        file.replace("[LOGO]", "; " + text + "\r\n[MINE]\r\nK=" + text + "\r\n\r\n[LOGO]");
        file = prefix + "; " + text + "\r\n" + file;
        WriteConfig(file);
        {
            TfrmMain w(FPath);
            QCOMPARE(w.ComboCodePage->currentIndex(), 3);
        }
        QCOMPARE(ReadFile(Config()), file);
        QVERIFY(Captured().FMessages.isEmpty());
    }

    // Values with blanks or quotes around them come back as typed; quoted values read bare.
    void quotedValuesRoundTrip() {
        WriteConfig("[BLUE TOOTH]\r\nDEVICE NAME=\"My Printer\"\r\nPIN='0000'\r\n");
        {
            TfrmMain w(FPath);
            QCOMPARE(w.edName->text(), QString("My Printer"));
            QCOMPARE(w.edPassword->text(), QString("0000"));
            w.edName->setText("  Shop 1 ");
            w.edPassword->setText("\"7\"");
        }
        QVERIFY(ReadFile(Config()).contains("DEVICE NAME=\"  Shop 1 \"\r\n"));
        TfrmMain w(FPath);
        QCOMPARE(w.edName->text(), QString("  Shop 1 "));
        QCOMPARE(w.edPassword->text(), QString("\"7\""));
    }

    // A folder that takes no new file, with a config.ini that may be written: the settings are
    // saved in that file, rewritten where it lies.
    void lockedFolderWithWritableConfigSaves() {
        WriteConfig("[BLUE TOOTH]\r\nDEVICE NAME=old\r\n");
        const ino_t inode = Inode(Config());
        QVERIFY(QFile::setPermissions(Config(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadOther |
                                                    QFileDevice::WriteOther));
        QVERIFY(QFile::setPermissions(FDir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                        QFileDevice::ReadOther |
                                                        QFileDevice::ExeOther));
        {
            TfrmMain w(FPath);
            w.edName->setText("new");
            if (!WithPermissionChecks([&] { w.FormDestroy(); }))
                QSKIP("cannot drop root's file privileges here");
        }
        QFile::setPermissions(FDir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner);
        QVERIFY2(Captured().FMessages.isEmpty(), qPrintable(Captured().Texts().join('|')));
        QCOMPARE(LoadIni(Config()).ReadString("BLUE TOOTH", "DEVICE NAME", "?"), QString("new"));
        QCOMPARE(Inode(Config()), inode);
    }

    // At close a value that does not convert is reported and keeps its old value in the file;
    // every other key is saved.
    void badValueAtCloseCostsOnlyItsKey() {
        WriteConfig("[PARA]\r\nBAUDRATE=19200\r\nOFF TIME=7\r\nMAX FEED=150\r\nIDLE TIME=30\r\n"
                    "[IRCOMM]\r\nBAUDRATE=38400\r\n");
        {
            TfrmMain w(FPath);
            w.ComboSetBaudRate->setEditText("fast");
            w.edOff->clear();
            w.edIdle->clear();
            w.edMaxFeed->setText("120");
            w.edName->setText(" Bar ");
            w.comboIrBaudRate->setCurrentIndex(4);
        }
        QCOMPARE(Captured().FMessages.size(), 1);
        const QString text = Captured().FMessages[0].FText;
        QVERIFY2(text.contains("'fast' is not a valid integer value"), qPrintable(text));
        QVERIFY2(text.contains("'' is not a valid integer value"), qPrintable(text));
        const TIniFile ini = LoadIni(Config());
        QCOMPARE(ini.ReadString("PARA", "BAUDRATE", "?"), QString("19200"));
        QCOMPARE(ini.ReadString("PARA", "OFF TIME", "?"), QString("7"));
        QCOMPARE(ini.ReadString("PARA", "IDLE TIME", "?"), QString("50"));
        QCOMPARE(ini.ReadString("PARA", "MAX FEED", "?"), QString("120"));
        QCOMPARE(ini.ReadString("BLUE TOOTH", "DEVICE NAME", "?"), QString(" Bar "));
        QCOMPARE(ini.ReadString("IRCOMM", "BAUDRATE", "?"), QString("115200"));
    }

    void unwritableConfigIsReported() {
        // A folder path that runs through a file cannot take any file, even for root.
        QVERIFY(WriteFile(FPath + "blocker", "x"));
        const QString appPath = FPath + "blocker/";
        { TfrmMain w(appPath); }
        QCOMPARE(Captured().Texts().last(),
                 QString("Unable to write to %1config.ini").arg(appPath));
        QCOMPARE(Captured().FMessages.last().FIcon, QMessageBox::Critical);
    }

    // A folder where nothing can be kept is said at start, in the status bar; a close asked
    // for by a signal then fails to save without waiting on a box.
    void nothingKeptIsSaidAndNoBoxWaits() {
        QVERIFY(WriteFile(FPath + "blocker", "x"));
        const QString problem = "Settings and logs cannot be kept: neither the program's folder "
                                "/opt/nuv nor the per-user folder /home/x may be written.";
        TfrmMain::FDefaultSeams.FAppFolder = [&] { return TAppFolder{FPath + "blocker", problem}; };
        {
            TfrmMain w;
            TfrmMain::FDefaultSeams.FAppFolder = nullptr;
            QCOMPARE(w.FAppPath, FPath + "blocker/");
            QCOMPARE(w.StatusPanelText(1), problem);
            w.SendMessagesToStderr();
            QVERIFY(w.close());
        }
        // codepage.ini is missing there: said at start; the failed save afterwards is not.
        QCOMPARE(Captured().FMessages.size(), 1);
        QVERIFY(Captured().FMessages[0].FText.contains("codepage.ini"));
    }

    // PORT shows the start of a long name when it does not have the focus, and the whole
    // name as its tooltip.
    void portShowsTheStartOfItsName() {
        TfrmMain w(FPath);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QLineEdit* edit = w.ComboPort->lineEdit();
        w.ComboBaud->setFocus();
        for (const QString name :
             {"TCP/IP 198.51.100.7:9100",
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}) {
            w.ComboPort->setEditText(name);
            QCOMPARE(edit->cursorPosition(), 0);
            QVERIFY(edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() <
                    edit->width() / 4);
            QCOMPARE(w.ComboPort->toolTip(), name);
        }
        // Typing keeps its place; leaving the box shows the start again.
        w.ComboPort->setFocus();
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, "9");
        QCOMPARE(edit->cursorPosition(), edit->text().size());
        QCOMPARE(w.ComboPort->toolTip(), edit->text());
        w.ComboBaud->setFocus();
        QCOMPARE(edit->cursorPosition(), 0);
        w.FormDestroy();
    }

    // The message box keeps a path on one line where its width allows, and what is copied from
    // it is the text as given.
    void messageBoxKeepsPathsWhole() {
        const QString path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        const QString reason = "Cannot open the port ttyUSB7 (" + path +
                               "): permission denied. Ask the administrator for a udev rule.";
        std::unique_ptr<QMessageBox> box =
            TfrmMain::NewMessageBox(nullptr, "NUV_II_Tool", "ERROR", QMessageBox::NoIcon, reason);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        auto* label = box->findChild<QLabel*>("qt_msgbox_informativelabel");
        QVERIFY(label);
        QCOMPARE(label->text().remove(QChar(0x2060)), reason);
        // Qt breaks a line only where the text allows it: the label is as wide as the path.
        QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(path),
                 qPrintable(QString::number(label->width())));
        QVERIFY(label->width() < 1000);
        // Words without a "/" keep their break opportunities.
        QCOMPARE(TfrmMain::KeepPathsWhole("a-b c/d-e"), QString("a-b c/\u2060d-\u2060e"));
#ifndef QT_NO_CLIPBOARD
        QTest::keySequence(box.get(), QKeySequence::Copy);
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(copied, "ERROR\n\n" + reason);
#endif
    }

    // A "config.ini" that exists but cannot be read is reported and never overwritten with
    // values that were not read from it.
    void unreadableConfigIsLeftAlone() {
        QVERIFY(QDir().mkpath(Config()));
        {
            TfrmMain w(FPath);
            QCOMPARE(Captured().FMessages.size(), 1);
            QVERIFY(Captured().FMessages[0].FText.contains(Config()));
        }
        QCOMPARE(Captured().FMessages.size(), 1);
        QVERIFY(QFileInfo(Config()).isDir());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
