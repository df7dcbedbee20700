// Start-up and shutdown: the worker, "codepage.ini" and "config.ini".

#include "UniMain.h"

#include "CodePageList.h"
#include "FileError.h"
#include "FileNames.h"
#include "IniFile.h"
#include "TextToInt.h"
#include "ToolSettings.h"
#include "WidgetValues.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>

namespace {

// Selects the first item whose trimmed text is the rate.
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
    combo->setCurrentIndex(ShownPosition(position, combo->count()));
}

} // namespace

void TfrmMain::FormCreate() {
    FLogoFiles.clear();
    FComm = std::make_unique<TCommThread>(this);
    FComm->SetLogPath(FAppPath + filename::TrafficLog);
    PageControl1->setCurrentIndex(0);
    FLogoImage.clear();

    LoadCodePages();

    // A file that exists but cannot be read is reported, and then never overwritten at close
    // with values that were not read from it.
    const QString path = FAppPath + filename::Config;
    TIniFile ini;
    QString error;
    FConfigRead = ini.Load(path, &error);
    if (!FConfigRead)
        ShowError(FileErrorText("open", path, error));
    LoadSettings(ini);
}

void TfrmMain::LoadCodePages() {
    const QString path = FAppPath + filename::CodePages;
    QStringList entries;
    QString error;
    const bool read = LoadCodePageList(path, entries, &error);
    if (read && !entries.isEmpty()) {
        ComboCodePage->clear();
        ComboCodePage->addItems(entries);
    } else {
        // Keep the built-in list and go on, so that config.ini is still read in full and no
        // saved position is lost to an empty list.
        if (read)
            error = FileErrorText("read", path, QStringLiteral("The file is empty."));
        ShowError(error, QStringLiteral("The built-in code page list is used."));
    }
    SelectPosition(ComboCodePage, setting::CodePage.FDefault);
}

void TfrmMain::LoadSettings(const TIniFile& ini) {
    const TToolSettings s = ReadToolSettings(ini);
    if (!s.FCaption.isEmpty())
        setWindowTitle(s.FCaption);

    FLogoSize = s.FLogoSize;
    FLogoWidth = s.FLogoWidth;
    FLogoQuantity = s.FLogoQuantity;
    FLogoCommand = s.FLogoCommand;
    FLogoPara = s.FLogoPara;
    const QDir appDir(FAppPath);
    for (const QString& file : s.FLogoFiles) {
        FLogoFiles.append(file);
        ListLogo->addItem(QDir::toNativeSeparators(appDir.relativeFilePath(file)));
    }
    // Any failure is shown; start-up goes on with what was built.
    BuildLogoImage();
    UpdateActions();

    SelectRate(ComboSetBaudRate, ShownRate(setting::ParaBaudRate, s.FParaBaudRate));
    SelectPosition(ComboCodePage, s.FCodePage);
    SelectPosition(ComboDensity, s.FDensity);
    SelectPosition(ComboFont, s.FFont);
    SelectPosition(comboLineFeed, s.FLineFeed);
    edIdle->setText(QString::number(s.FIdle));
    edOff->setText(QString::number(s.FOff));
    edMaxFeed->setText(QString::number(s.FMaxFeed));
    edPage->setText(QString::number(s.FPage));

    edName->setText(s.FBtName);
    edPassword->setText(s.FBtPin);
    SelectRate(comboIrBaudRate, ShownRate(setting::IrBaudRate, s.FIrBaudRate));

    PageControl1->setTabVisible(PageControl1->indexOf(TabFactory), s.FFactory);
    if (s.FFactory) {
        edModalName->setText(s.FFactoryModel);
        edSerialNo->setText(s.FFactorySerial);
    }

    FPeerHost = s.FPeerHost;
    FPeerPort = s.FPeerPort;
    // The space line's length follows SIZE.
    SizeStatusPanels();
}

void TfrmMain::SaveSettings(TIniFile& ini, QStringList& failures) const {
    // A value that does not convert costs only its own key: that key keeps its old value.
    // failures holds the message and the field's name, in turn.
    const auto writeNumber = [&](const TIntSetting& key, const QString& text,
                                 const QWidget* field) {
        if (const auto value = TryTextToInt(text))
            WriteSetting(ini, key, *value);
        else
            failures << EConvertError(text).Message() << FieldName(field);
    };

    writeNumber(setting::ParaBaudRate, TrimCtl(ComboSetBaudRate->currentText()), ComboSetBaudRate);
    WriteSetting(ini, setting::CodePage, SelectedPosition(ComboCodePage));
    WriteSetting(ini, setting::Density, SelectedPosition(ComboDensity));
    WriteSetting(ini, setting::Font, SelectedPosition(ComboFont));
    WriteSetting(ini, setting::LineFeed, SelectedPosition(comboLineFeed));
    WriteSetting(ini, setting::Idle,
                 TryTextToInt(EditValueText(edIdle)).value_or(setting::Idle.FDefault));
    writeNumber(setting::Off, EditValueText(edOff), edOff);
    writeNumber(setting::MaxFeed, EditValueText(edMaxFeed), edMaxFeed);
    writeNumber(setting::PageLength, EditValueText(edPage), edPage);

    WriteSetting(ini, setting::BtName, edName->text());
    WriteSetting(ini, setting::BtPin, edPassword->text());

    writeNumber(setting::IrBaudRate, TrimCtl(comboIrBaudRate->currentText()), comboIrBaudRate);

    if (FactoryTabShown()) {
        WriteSetting(ini, setting::FactoryModel, edModalName->text());
        WriteSetting(ini, setting::FactorySerial, edSerialNo->text());
    }

    WriteSetting(ini, setting::PeerHost, FPeerHost);
    WriteSetting(ini, setting::PeerPort, FPeerPort);

    // LOGO is erased and written anew, which puts it at the end of the file; writing it last
    // keeps a file the program wrote itself unchanged by the next start and close.
    ini.EraseSection(secLogo);
    WriteSetting(ini, setting::LogoSize, FLogoSize);
    WriteSetting(ini, setting::LogoQuantity, FLogoQuantity);
    WriteSetting(ini, setting::LogoCommand, FLogoCommand);
    WriteSetting(ini, setting::LogoPara, FLogoPara);
    WriteSetting(ini, setting::LogoWidth, FLogoWidth);
    for (int i = 0; i < ListLogo->count() && i < FLogoFiles.size(); ++i)
        ini.WriteString(secLogo, setting::LogoFilePrefix + QString::number(i + 1), FLogoFiles[i]);
}

void TfrmMain::SaveConfig() {
    if (!FConfigRead)
        return;
    const QString path = FAppPath + filename::Config;
    // Start from the file as it is now, so that keys we do not know survive.
    TIniFile ini;
    QString error;
    if (!ini.Load(path, &error)) {
        ShowError(FileErrorText("open", path, error));
        return;
    }
    // A peer typed into PORT is kept for the next start.
    TakeTypedPeer();
    QStringList failures;
    SaveSettings(ini, failures);
    if (!failures.isEmpty()) {
        QStringList messages, fields;
        for (qsizetype i = 0; i + 1 < failures.size(); i += 2) {
            messages << failures[i];
            fields << failures[i + 1];
        }
        ShowError(messages.join(QLatin1Char('\n')),
                  QStringLiteral("Not saved: %1. config.ini keeps the values it had.")
                      .arg(fields.join(QStringLiteral(", "))));
    }
    if (!ini.Save(path, &error))
        ShowError(QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path)),
                  FFolderProblem.isEmpty() ? error : error + QStringLiteral("\n") + FFolderProblem);
}

void TfrmMain::FormDestroy() {
    if (FDestroyed)
        return;
    FDestroyed = true;
    SaveConfig();
    // Ends the worker's thread and waits for it.
    FComm.reset();
}
