#pragma once

// The tool's settings in "config.ini": one table of every section and key with its default and
// the values the window can show (a range, a rate, or the entries of a drop-down), and reading
// them into plain values. The window builds its controls, loads and saves through the table;
// nuvctl takes its options' defaults, limits and help from it.

#include "IniFile.h"
#include "LineRates.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

inline const QString secApp = QStringLiteral("APP");
inline const QString secLogo = QStringLiteral("LOGO");
inline const QString secPara = QStringLiteral("PARA");
inline const QString secBlueTooth = QStringLiteral("BLUE TOOTH");
inline const QString secIrComm = QStringLiteral("IRCOMM");
inline const QString secFactory = QStringLiteral("FACTORY");
inline const QString secNetwork = QStringLiteral("NETWORK");

// At most this many FILEn keys are loaded.
constexpr int MaxLogoFiles = 100;

// The values of the keys; a default-constructed one holds every key's default.
struct TToolSettings {
    TToolSettings();

    QString FCaption; // empty: keep the built-in caption

    int32_t FLogoSize;
    int32_t FLogoWidth;
    int32_t FLogoQuantity;
    int32_t FLogoCommand;
    int32_t FLogoPara;
    // FILE1 upward, up to the first key that is missing, empty or names no existing file.
    QStringList FLogoFiles;

    int32_t FParaBaudRate;
    int32_t FCodePage; // entry positions
    int32_t FDensity;
    int32_t FFont;
    int32_t FLineFeed;
    int32_t FIdle;
    int32_t FOff;
    int32_t FMaxFeed;
    int32_t FPage;

    QString FBtName;
    QString FBtPin;
    int32_t FIrBaudRate;

    bool FFactory = false; // the FACTORY section holds at least one key
    QString FFactoryModel;
    QString FFactorySerial;

    // The datagram link's peer for the port name "TCP/IP"; empty and 0 when not set.
    QString FPeerHost;
    uint16_t FPeerPort;
};

// What an integer key holds.
enum class TValueKind {
    Number,   // any integer, or 0 to FMax where FMax is set
    Rate,     // bits per second, one of PrinterRates() in the window's drop-down
    Position, // an entry of a drop-down, from 0; -1 or out of the list: nothing selected
};

struct TIntSetting {
    QString FSection;
    QString FKey;
    int32_t FDefault;
    TValueKind FKind = TValueKind::Number;
    std::optional<int32_t> FMax; // Number: the window's edit takes 0 to this
    QStringList FChoices;        // Position: the drop-down's entries (empty: a list read at
                                 // run time, the code pages)
    int32_t TToolSettings::*FField = nullptr;
};

struct TTextSetting {
    QString FSection;
    QString FKey;
    QString FDefault;
    QString TToolSettings::*FField = nullptr;
};

namespace setting {

// One row a key.
inline TIntSetting Number(const QString& section, const char* key, int32_t value,
                          int32_t TToolSettings::*field, std::optional<int32_t> max = {}) {
    return {section, QLatin1String(key), value, TValueKind::Number, max, {}, field};
}
inline TIntSetting Rate(const QString& section, const char* key, int32_t TToolSettings::*field) {
    return {section, QLatin1String(key), DeliveredRate, TValueKind::Rate, {}, {}, field};
}
inline TIntSetting Position(const QString& section, const char* key, int32_t value,
                            int32_t TToolSettings::*field, const QStringList& choices) {
    return {section, QLatin1String(key), value, TValueKind::Position, {}, choices, field};
}
inline TTextSetting Text(const QString& section, const char* key, const QString& value,
                         QString TToolSettings::*field) {
    return {section, QLatin1String(key), value, field};
}

inline const TTextSetting Caption = Text(secApp, "CAPTION", {}, &TToolSettings::FCaption);

inline const TIntSetting LogoSize = Number(secLogo, "SIZE", 65536, &TToolSettings::FLogoSize);
inline const TIntSetting LogoWidth = Number(secLogo, "WIDTH", 384, &TToolSettings::FLogoWidth);
inline const TIntSetting LogoQuantity =
    Number(secLogo, "QUANTITY", 8, &TToolSettings::FLogoQuantity);
inline const TIntSetting LogoCommand = Number(secLogo, "COMMAND", 45, &TToolSettings::FLogoCommand);
inline const TIntSetting LogoPara = Number(secLogo, "PARA", 0, &TToolSettings::FLogoPara);
// FILE1 to FILE<MaxLogoFiles>: the pictures of the logo list.
inline const QString LogoFilePrefix = QStringLiteral("FILE");

// The PARA page. Its edits take four digits.
constexpr int32_t MaxEditValue = 9999;
inline const TIntSetting ParaBaudRate = Rate(secPara, "BAUDRATE", &TToolSettings::FParaBaudRate);
// Positions in the code-page list, "codepage.ini" or the built-in one.
inline const TIntSetting CodePage = Position(secPara, "CODEPAGE", 1, &TToolSettings::FCodePage, {});
inline const TIntSetting Density =
    Position(secPara, "DENSITY", 1, &TToolSettings::FDensity,
             {QStringLiteral("LOW"), QStringLiteral("NORMAL"), QStringLiteral("DARK")});
inline const TIntSetting Font = Position(secPara, "FONT", 0, &TToolSettings::FFont,
                                         {QStringLiteral("A 12x24"), QStringLiteral("B  9x24"),
                                          QStringLiteral("C  9x17"), QStringLiteral("D  8x16")});
inline const TIntSetting LineFeed =
    Position(secPara, "LINEFEED", 0, &TToolSettings::FLineFeed,
             {QStringLiteral("LF(0x0A)"), QStringLiteral("CR(0x0D)")});
inline const TIntSetting Idle =
    Number(secPara, "IDLE TIME", 50, &TToolSettings::FIdle, MaxEditValue);
inline const TIntSetting Off = Number(secPara, "OFF TIME", 0, &TToolSettings::FOff, MaxEditValue);
inline const TIntSetting MaxFeed =
    Number(secPara, "MAX FEED", 200, &TToolSettings::FMaxFeed, MaxEditValue);
inline const TIntSetting PageLength =
    Number(secPara, "PAGE LENGTH", 200, &TToolSettings::FPage, MaxEditValue);

inline const TTextSetting BtName =
    Text(secBlueTooth, "DEVICE NAME", QStringLiteral("NUV"), &TToolSettings::FBtName);
inline const TTextSetting BtPin =
    Text(secBlueTooth, "PIN", QStringLiteral("6305"), &TToolSettings::FBtPin);
inline const TIntSetting IrBaudRate = Rate(secIrComm, "BAUDRATE", &TToolSettings::FIrBaudRate);

// Read whether or not the section has keys; the Factory page is shown only when it has.
inline const TTextSetting FactoryModel =
    Text(secFactory, "DEVICE NAME", QStringLiteral("NUV-II"), &TToolSettings::FFactoryModel);
inline const TTextSetting FactorySerial =
    Text(secFactory, "SERIAL NO", QStringLiteral("0"), &TToolSettings::FFactorySerial);

inline const TTextSetting PeerHost = Text(secNetwork, "HOST", {}, &TToolSettings::FPeerHost);
// A 16-bit field of its own: outside 0 to 65535 it reads as 0, no peer.
inline const TIntSetting PeerPort = Number(secNetwork, "PORT", 0, nullptr, 65535);

// Every key with a field of its own.
const QList<const TIntSetting*>& IntSettings();
const QList<const TTextSetting*>& TextSettings();

} // namespace setting

TToolSettings ReadToolSettings(const TIniFile& ini);

// A saved rate as the window's rate drop-downs show it: one they do not list shows as the key's
// default.
inline int32_t ShownRate(const TIntSetting& key, int32_t rate) {
    return PrinterRates().contains(rate) ? rate : key.FDefault;
}

// A saved position as a drop-down of count entries shows it: outside the list, nothing
// selected (-1).
constexpr int32_t ShownPosition(int32_t position, qsizetype count) {
    return position >= 0 && position < count ? position : -1;
}

void WriteSetting(TIniFile& ini, const TIntSetting& setting, int32_t value);
void WriteSetting(TIniFile& ini, const TTextSetting& setting, const QString& value);

// A drop-down entry as a word for help texts: "LF(0x0A)" -> "LF", "B  9x24" -> "B 9x24".
QString ChoiceWord(const QString& entry);
