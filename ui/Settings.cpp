// Start-up and shutdown: the worker, "codepage.ini" and "config.ini".

#include "UniMain.h"

#include "FileError.h"
#include "IniFile.h"
#include "TextToInt.h"
#include "WidgetValues.h"
#include "settings/CodePageList.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>

namespace {

constexpr int MaxLogoFiles = 100;

const QString secApp = QStringLiteral("APP");
const QString secLogo = QStringLiteral("LOGO");
const QString secPara = QStringLiteral("PARA");
const QString secBlueTooth = QStringLiteral("BLUE TOOTH");
const QString secIrComm = QStringLiteral("IRCOMM");
const QString secFactory = QStringLiteral("FACTORY");
const QString secNetwork = QStringLiteral("NETWORK");

// Selects the first item whose trimmed text is the rate; leaves the selection alone otherwise.
void SelectRate(QComboBox* combo, int32_t rate) {
    const QString text = QString::number(rate);
    for (int i = 0; i < combo->count(); ++i) {
        if (TrimCtl(combo->itemText(i)) == text) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

void SelectPosition(QComboBox* combo, int32_t position) {
    combo->setCurrentIndex(position >= 0 && position < combo->count() ? position : -1);
}

} // namespace

void TfrmMain::FormCreate() {
    FLogoFiles.clear();
    FComm = std::make_unique<TCommThread>(this);
    FComm->SetLogPath(FAppPath + QStringLiteral("debug.log"));
    PageControl1->setCurrentIndex(0);
    FLogoImage.clear();

    LoadCodePages();

    // A file that exists but cannot be read is reported, and then never overwritten at close
    // with values that were not read from it.
    const QString path = FAppPath + QStringLiteral("config.ini");
    TIniFile ini;
    QString error;
    FConfigRead = ini.Load(path, &error);
    if (!FConfigRead)
        ShowError(FileErrorText("open", path, error));
    LoadSettings(ini);
}

void TfrmMain::LoadCodePages() {
    const QString path = FAppPath + QStringLiteral("codepage.ini");
    QStringList entries;
    QString error;
    if (LoadCodePageList(path, entries, &error)) {
        ComboCodePage->clear();
        ComboCodePage->addItems(entries);
    } else {
        // Keep the built-in list and go on, so that config.ini is still read in full.
        ShowError(error);
    }
    SelectPosition(ComboCodePage, 1);
}

void TfrmMain::LoadLogoList(const TIniFile& ini) {
    const QDir appDir(FAppPath);
    for (int n = 1; n <= MaxLogoFiles; ++n) {
        const QString file = ini.ReadString(secLogo, QStringLiteral("FILE%1").arg(n), QString());
        if (file.isEmpty() || !QFileInfo(file).isFile())
            break;
        FLogoFiles.append(file);
        ListLogo->addItem(QDir::toNativeSeparators(appDir.relativeFilePath(file)));
    }
}

void TfrmMain::LoadSettings(const TIniFile& ini) {
    const QString caption = ini.ReadString(secApp, QStringLiteral("CAPTION"), QString());
    if (!caption.isEmpty())
        setWindowTitle(caption);

    FLogoSize = ini.ReadInteger(secLogo, QStringLiteral("SIZE"), 65536);
    FLogoWidth = ini.ReadInteger(secLogo, QStringLiteral("WIDTH"), 384);
    FLogoQuantity = ini.ReadInteger(secLogo, QStringLiteral("QUANTITY"), 8);
    FLogoCommand = ini.ReadInteger(secLogo, QStringLiteral("COMMAND"), 45);
    FLogoPara = ini.ReadInteger(secLogo, QStringLiteral("PARA"), 0);
    LoadLogoList(ini);
    // Any failure is shown; start-up goes on with what was built.
    BuildLogoImage();
    UpdateActions();

    SelectRate(ComboSetBaudRate, ini.ReadInteger(secPara, QStringLiteral("BAUDRATE"), 9600));
    SelectPosition(ComboCodePage, ini.ReadInteger(secPara, QStringLiteral("CODEPAGE"), 1));
    SelectPosition(ComboDensity, ini.ReadInteger(secPara, QStringLiteral("DENSITY"), 1));
    SelectPosition(ComboFont, ini.ReadInteger(secPara, QStringLiteral("FONT"), 0));
    SelectPosition(comboLineFeed, ini.ReadInteger(secPara, QStringLiteral("LINEFEED"), 0));
    edIdle->setText(QString::number(ini.ReadInteger(secPara, QStringLiteral("IDLE TIME"), 50)));
    edOff->setText(QString::number(ini.ReadInteger(secPara, QStringLiteral("OFF TIME"), 0)));
    edMaxFeed->setText(QString::number(ini.ReadInteger(secPara, QStringLiteral("MAX FEED"), 200)));
    edPage->setText(QString::number(ini.ReadInteger(secPara, QStringLiteral("PAGE LENGTH"), 200)));

    edName->setText(
        ini.ReadString(secBlueTooth, QStringLiteral("DEVICE NAME"), QStringLiteral("NUV")));
    edPassword->setText(
        ini.ReadString(secBlueTooth, QStringLiteral("PIN"), QStringLiteral("6305")));

    SelectRate(comboIrBaudRate, ini.ReadInteger(secIrComm, QStringLiteral("BAUDRATE"), 9600));

    const bool factory = ini.SectionHasKeys(secFactory);
    PageControl1->setTabVisible(PageControl1->indexOf(TabFactory), factory);
    if (factory) {
        edModalName->setText(
            ini.ReadString(secFactory, QStringLiteral("DEVICE NAME"), QStringLiteral("NUV-II")));
        edSerialNo->setText(
            ini.ReadString(secFactory, QStringLiteral("SERIAL NO"), QStringLiteral("0")));
    }

    FPeerHost = ini.ReadString(secNetwork, QStringLiteral("HOST"), QString());
    const int32_t port = ini.ReadInteger(secNetwork, QStringLiteral("PORT"), 0);
    FPeerPort = port >= 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0;
}

void TfrmMain::SaveSettings(TIniFile& ini, QStringList& failures) const {
    // A value that does not convert costs only its own key: that key keeps its old value.
    const auto writeNumber = [&](const QString& section, const QString& key, const QString& text) {
        if (const auto value = TryTextToInt(text))
            ini.WriteInteger(section, key, *value);
        else
            failures.append(EConvertError(text).Message());
    };

    writeNumber(secPara, QStringLiteral("BAUDRATE"), TrimCtl(ComboSetBaudRate->currentText()));
    ini.WriteInteger(secPara, QStringLiteral("CODEPAGE"), SelectedPosition(ComboCodePage));
    ini.WriteInteger(secPara, QStringLiteral("DENSITY"), SelectedPosition(ComboDensity));
    ini.WriteInteger(secPara, QStringLiteral("FONT"), SelectedPosition(ComboFont));
    ini.WriteInteger(secPara, QStringLiteral("LINEFEED"), SelectedPosition(comboLineFeed));
    ini.WriteInteger(secPara, QStringLiteral("IDLE TIME"),
                     TryTextToInt(EditValueText(edIdle)).value_or(50));
    writeNumber(secPara, QStringLiteral("OFF TIME"), EditValueText(edOff));
    writeNumber(secPara, QStringLiteral("MAX FEED"), EditValueText(edMaxFeed));
    writeNumber(secPara, QStringLiteral("PAGE LENGTH"), EditValueText(edPage));

    ini.WriteString(secBlueTooth, QStringLiteral("DEVICE NAME"), edName->text());
    ini.WriteString(secBlueTooth, QStringLiteral("PIN"), edPassword->text());

    writeNumber(secIrComm, QStringLiteral("BAUDRATE"), TrimCtl(comboIrBaudRate->currentText()));

    if (FactoryTabShown()) {
        ini.WriteString(secFactory, QStringLiteral("DEVICE NAME"), edModalName->text());
        ini.WriteString(secFactory, QStringLiteral("SERIAL NO"), edSerialNo->text());
    }

    ini.WriteString(secNetwork, QStringLiteral("HOST"), FPeerHost);
    ini.WriteInteger(secNetwork, QStringLiteral("PORT"), FPeerPort);

    // LOGO is erased and written anew, which puts it at the end of the file; writing it last
    // keeps a file the program wrote itself unchanged by the next start and close.
    ini.EraseSection(secLogo);
    ini.WriteInteger(secLogo, QStringLiteral("SIZE"), FLogoSize);
    ini.WriteInteger(secLogo, QStringLiteral("QUANTITY"), FLogoQuantity);
    ini.WriteInteger(secLogo, QStringLiteral("COMMAND"), FLogoCommand);
    ini.WriteInteger(secLogo, QStringLiteral("PARA"), FLogoPara);
    ini.WriteInteger(secLogo, QStringLiteral("WIDTH"), FLogoWidth);
    for (int i = 0; i < ListLogo->count() && i < FLogoFiles.size(); ++i)
        ini.WriteString(secLogo, QStringLiteral("FILE%1").arg(i + 1), FLogoFiles[i]);
}

void TfrmMain::SaveConfig() {
    if (!FConfigRead)
        return;
    const QString path = FAppPath + QStringLiteral("config.ini");
    // Start from the file as it is now, so that keys we do not know survive.
    TIniFile ini;
    QString error;
    if (!ini.Load(path, &error)) {
        ShowError(FileErrorText("open", path, error));
        return;
    }
    QStringList failures;
    SaveSettings(ini, failures);
    if (!failures.isEmpty())
        ShowError(failures.join(QLatin1Char('\n')));
    if (!ini.Save(path, &error))
        ShowError(QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path)));
}

void TfrmMain::FormDestroy() {
    if (FDestroyed)
        return;
    FDestroyed = true;
    SaveConfig();
    // Ends the worker's thread and waits for it.
    FComm.reset();
}
