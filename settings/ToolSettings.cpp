#include "ToolSettings.h"

#include <QFileInfo>

const QList<const TIntSetting*>& setting::IntSettings() {
    static const QList<const TIntSetting*> all = {
        &LogoSize,     &LogoWidth, &LogoQuantity, &LogoCommand, &LogoPara,
        &ParaBaudRate, &CodePage,  &Density,      &Font,        &LineFeed,
        &Idle,         &Off,       &MaxFeed,      &PageLength,  &IrBaudRate};
    return all;
}

const QList<const TTextSetting*>& setting::TextSettings() {
    static const QList<const TTextSetting*> all = {&Caption,      &BtName,        &BtPin,
                                                   &FactoryModel, &FactorySerial, &PeerHost};
    return all;
}

TToolSettings::TToolSettings() {
    for (const TIntSetting* s : setting::IntSettings())
        this->*(s->FField) = s->FDefault;
    for (const TTextSetting* s : setting::TextSettings())
        this->*(s->FField) = s->FDefault;
    FPeerPort = static_cast<uint16_t>(setting::PeerPort.FDefault);
}

TToolSettings ReadToolSettings(const TIniFile& ini) {
    TToolSettings s;
    for (const TIntSetting* k : setting::IntSettings())
        s.*(k->FField) = ini.ReadInteger(k->FSection, k->FKey, k->FDefault);
    for (const TTextSetting* k : setting::TextSettings())
        s.*(k->FField) = ini.ReadString(k->FSection, k->FKey, k->FDefault);

    for (int n = 1; n <= MaxLogoFiles; ++n) {
        const QString file =
            ini.ReadString(secLogo, setting::LogoFilePrefix + QString::number(n), QString());
        if (file.isEmpty() || !QFileInfo(file).isFile())
            break;
        s.FLogoFiles.append(file);
    }
    s.FFactory = ini.SectionHasKeys(secFactory);

    const TIntSetting& port = setting::PeerPort;
    const int32_t value = ini.ReadInteger(port.FSection, port.FKey, port.FDefault);
    s.FPeerPort = value >= 0 && value <= *port.FMax ? static_cast<uint16_t>(value) : 0;
    return s;
}

void WriteSetting(TIniFile& ini, const TIntSetting& setting, int32_t value) {
    ini.WriteInteger(setting.FSection, setting.FKey, value);
}

void WriteSetting(TIniFile& ini, const TTextSetting& setting, const QString& value) {
    ini.WriteString(setting.FSection, setting.FKey, value);
}

QString ChoiceWord(const QString& entry) {
    return entry.section(QLatin1Char('('), 0, 0).simplified();
}
