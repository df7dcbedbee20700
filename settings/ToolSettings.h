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
    uint16_t FPeerPort = 0;
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

inline const TTextSetting Caption{secApp, QStringLiteral("CAPTION"), QString(),
                                  &TToolSettings::FCaption};

inline const TIntSetting LogoSize{
    secLogo, QStringLiteral("SIZE"),   65536, TValueKind::Number, std::nullopt,
    {},      &TToolSettings::FLogoSize};
inline const TIntSetting LogoWidth{
    secLogo, QStringLiteral("WIDTH"),   384, TValueKind::Number, std::nullopt,
    {},      &TToolSettings::FLogoWidth};
inline const TIntSetting LogoQuantity{
    secLogo, QStringLiteral("QUANTITY"),   8, TValueKind::Number, std::nullopt,
    {},      &TToolSettings::FLogoQuantity};
inline const TIntSetting LogoCommand{
    secLogo, QStringLiteral("COMMAND"),   45, TValueKind::Number, std::nullopt,
    {},      &TToolSettings::FLogoCommand};
inline const TIntSetting LogoPara{
    secLogo, QStringLiteral("PARA"),   0, TValueKind::Number, std::nullopt,
    {},      &TToolSettings::FLogoPara};
// FILE1 to FILE<MaxLogoFiles>: the pictures of the logo list.
inline const QString LogoFilePrefix = QStringLiteral("FILE");

// The PARA page. Its edits take four digits.
inline const TIntSetting ParaBaudRate{
    secPara, QStringLiteral("BAUDRATE"),   DeliveredRate, TValueKind::Rate, std::nullopt,
    {},      &TToolSettings::FParaBaudRate};
inline const TIntSetting CodePage{
    secPara, QStringLiteral("CODEPAGE"), 1, TValueKind::Position, std::nullopt,
    {},      &TToolSettings::FCodePage};
inline const TIntSetting Density{
    secPara,
    QStringLiteral("DENSITY"),
    1,
    TValueKind::Position,
    std::nullopt,
    {QStringLiteral("LOW"), QStringLiteral("NORMAL"), QStringLiteral("DARK")},
    &TToolSettings::FDensity};
inline const TIntSetting Font{secPara,
                              QStringLiteral("FONT"),
                              0,
                              TValueKind::Position,
                              std::nullopt,
                              {QStringLiteral("A 12x24"), QStringLiteral("B  9x24"),
                               QStringLiteral("C  9x17"), QStringLiteral("D  8x16")},
                              &TToolSettings::FFont};
inline const TIntSetting LineFeed{secPara,
                                  QStringLiteral("LINEFEED"),
                                  0,
                                  TValueKind::Position,
                                  std::nullopt,
                                  {QStringLiteral("LF(0x0A)"), QStringLiteral("CR(0x0D)")},
                                  &TToolSettings::FLineFeed};
inline const TIntSetting Idle{secPara, QStringLiteral("IDLE TIME"), 50, TValueKind::Number, 9999,
                              {},      &TToolSettings::FIdle};
inline const TIntSetting Off{secPara, QStringLiteral("OFF TIME"), 0, TValueKind::Number, 9999,
                             {},      &TToolSettings::FOff};
inline const TIntSetting MaxFeed{secPara, QStringLiteral("MAX FEED"), 200, TValueKind::Number, 9999,
                                 {},      &TToolSettings::FMaxFeed};
inline const TIntSetting PageLength{
    secPara, QStringLiteral("PAGE LENGTH"), 200, TValueKind::Number, 9999,
    {},      &TToolSettings::FPage};

inline const TTextSetting BtName{secBlueTooth, QStringLiteral("DEVICE NAME"), QStringLiteral("NUV"),
                                 &TToolSettings::FBtName};
inline const TTextSetting BtPin{secBlueTooth, QStringLiteral("PIN"), QStringLiteral("6305"),
                                &TToolSettings::FBtPin};
inline const TIntSetting IrBaudRate{
    secIrComm, QStringLiteral("BAUDRATE"), DeliveredRate, TValueKind::Rate, std::nullopt,
    {},        &TToolSettings::FIrBaudRate};

// Read whether or not the section has keys; the Factory page is shown only when it has.
inline const TTextSetting FactoryModel{secFactory, QStringLiteral("DEVICE NAME"),
                                       QStringLiteral("NUV-II"), &TToolSettings::FFactoryModel};
inline const TTextSetting FactorySerial{secFactory, QStringLiteral("SERIAL NO"),
                                        QStringLiteral("0"), &TToolSettings::FFactorySerial};

inline const TTextSetting PeerHost{secNetwork, QStringLiteral("HOST"), QString(),
                                   &TToolSettings::FPeerHost};
// Outside 0 to 65535 it reads as 0, no peer.
inline const TIntSetting PeerPort{
    secNetwork, QStringLiteral("PORT"), 0, TValueKind::Number, 65535, {}, nullptr};

// Every key with a field of its own, in the order of the file the window writes.
const QList<const TIntSetting*>& IntSettings();
const QList<const TTextSetting*>& TextSettings();

} // namespace setting

TToolSettings ReadToolSettings(const TIniFile& ini);

void WriteSetting(TIniFile& ini, const TIntSetting& setting, int32_t value);
void WriteSetting(TIniFile& ini, const TTextSetting& setting, const QString& value);

// A drop-down entry as a word for help texts: "LF(0x0A)" -> "LF", "B  9x24" -> "B 9x24".
QString ChoiceWord(const QString& entry);
