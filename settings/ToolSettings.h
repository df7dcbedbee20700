#pragma once

// The tool's settings in "config.ini": every section and key, their defaults, and reading them
// into plain values. The window shows them in its controls; the command-line program takes
// page values and the datagram peer from them.

#include "IniFile.h"

#include <QString>
#include <QStringList>
#include <cstdint>

inline const QString secApp = QStringLiteral("APP");
inline const QString secLogo = QStringLiteral("LOGO");
inline const QString secPara = QStringLiteral("PARA");
inline const QString secBlueTooth = QStringLiteral("BLUE TOOTH");
inline const QString secIrComm = QStringLiteral("IRCOMM");
inline const QString secFactory = QStringLiteral("FACTORY");
inline const QString secNetwork = QStringLiteral("NETWORK");

// At most this many FILEn keys are loaded.
constexpr int MaxLogoFiles = 100;

struct TToolSettings {
    QString FCaption; // empty: keep the built-in caption

    int32_t FLogoSize = 65536;
    int32_t FLogoWidth = 384;
    int32_t FLogoQuantity = 8;
    int32_t FLogoCommand = 45;
    int32_t FLogoPara = 0;
    // FILE1 upward, up to the first key that is missing, empty or names no existing file.
    QStringList FLogoFiles;

    int32_t FParaBaudRate = 9600;
    int32_t FCodePage = 1; // entry positions
    int32_t FDensity = 1;
    int32_t FFont = 0;
    int32_t FLineFeed = 0;
    int32_t FIdle = 50;
    int32_t FOff = 0;
    int32_t FMaxFeed = 200;
    int32_t FPage = 200;

    QString FBtName = QStringLiteral("NUV");
    QString FBtPin = QStringLiteral("6305");
    int32_t FIrBaudRate = 9600;

    bool FFactory = false; // the FACTORY section holds at least one key
    QString FFactoryModel = QStringLiteral("NUV-II");
    QString FFactorySerial = QStringLiteral("0");

    // The datagram link's peer for the port name "TCP/IP"; empty and 0 when not set.
    QString FPeerHost;
    uint16_t FPeerPort = 0;
};

TToolSettings ReadToolSettings(const TIniFile& ini);
