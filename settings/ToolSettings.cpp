#include "ToolSettings.h"

#include <QFileInfo>

TToolSettings ReadToolSettings(const TIniFile& ini) {
    TToolSettings s;
    s.FCaption = ini.ReadString(secApp, QStringLiteral("CAPTION"), QString());

    s.FLogoSize = ini.ReadInteger(secLogo, QStringLiteral("SIZE"), s.FLogoSize);
    s.FLogoWidth = ini.ReadInteger(secLogo, QStringLiteral("WIDTH"), s.FLogoWidth);
    s.FLogoQuantity = ini.ReadInteger(secLogo, QStringLiteral("QUANTITY"), s.FLogoQuantity);
    s.FLogoCommand = ini.ReadInteger(secLogo, QStringLiteral("COMMAND"), s.FLogoCommand);
    s.FLogoPara = ini.ReadInteger(secLogo, QStringLiteral("PARA"), s.FLogoPara);
    for (int n = 1; n <= MaxLogoFiles; ++n) {
        const QString file = ini.ReadString(secLogo, QStringLiteral("FILE%1").arg(n), QString());
        if (file.isEmpty() || !QFileInfo(file).isFile())
            break;
        s.FLogoFiles.append(file);
    }

    s.FParaBaudRate = ini.ReadInteger(secPara, QStringLiteral("BAUDRATE"), s.FParaBaudRate);
    s.FCodePage = ini.ReadInteger(secPara, QStringLiteral("CODEPAGE"), s.FCodePage);
    s.FDensity = ini.ReadInteger(secPara, QStringLiteral("DENSITY"), s.FDensity);
    s.FFont = ini.ReadInteger(secPara, QStringLiteral("FONT"), s.FFont);
    s.FLineFeed = ini.ReadInteger(secPara, QStringLiteral("LINEFEED"), s.FLineFeed);
    s.FIdle = ini.ReadInteger(secPara, QStringLiteral("IDLE TIME"), s.FIdle);
    s.FOff = ini.ReadInteger(secPara, QStringLiteral("OFF TIME"), s.FOff);
    s.FMaxFeed = ini.ReadInteger(secPara, QStringLiteral("MAX FEED"), s.FMaxFeed);
    s.FPage = ini.ReadInteger(secPara, QStringLiteral("PAGE LENGTH"), s.FPage);

    s.FBtName = ini.ReadString(secBlueTooth, QStringLiteral("DEVICE NAME"), s.FBtName);
    s.FBtPin = ini.ReadString(secBlueTooth, QStringLiteral("PIN"), s.FBtPin);
    s.FIrBaudRate = ini.ReadInteger(secIrComm, QStringLiteral("BAUDRATE"), s.FIrBaudRate);

    s.FFactory = ini.SectionHasKeys(secFactory);
    if (s.FFactory) {
        s.FFactoryModel =
            ini.ReadString(secFactory, QStringLiteral("DEVICE NAME"), s.FFactoryModel);
        s.FFactorySerial =
            ini.ReadString(secFactory, QStringLiteral("SERIAL NO"), s.FFactorySerial);
    }

    s.FPeerHost = ini.ReadString(secNetwork, QStringLiteral("HOST"), QString());
    const int32_t port = ini.ReadInteger(secNetwork, QStringLiteral("PORT"), 0);
    s.FPeerPort = port >= 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0;
    return s;
}
