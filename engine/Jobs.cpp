// The three printer jobs: one command, firmware programming, file download.
#include "CommThread.h"
#include "TextToInt.h"

#include <QFileInfo>
#include <cstring>
#include <stdexcept>

void TCommThread::DoCommand() {
    // Checked before the link opens: a block no frame can carry must not cost a handshake.
    if (FCmdLength < 0 || FCmdLength > MaxCommandData)
        throw std::invalid_argument("Command block longer than a frame can carry");
    if (OpenLink()) {
        if (SendCommand(static_cast<uint16_t>(FCmdCode), FCmdArg, FCmdData, 1023, FCmdLength, 3,
                        1000) >= 0)
            SetLinkRate(FBaudRate);
    }
    CloseLink();
}

void TCommThread::DoProgram() {
    if (OpenLink() && SetLinkRate(115200) && SelectMode(modeProgram)) {
        uint8_t block[4096];
        bool allAcknowledged = true;
        const int64_t size = FStream.Size();
        FStream.SetPosition(0);
        while (FStream.Position() < size) {
            const auto address = static_cast<uint32_t>(FStream.Position());
            std::memset(block, 0xFF, 256);
            FStream.Read(block, 256);
            const int timeout = address % 4096 == 0 ? 1200 : 600;
            if (SendCommand(cmdWriteProgram, address, block, 4096, 256, 3, timeout) < 0) {
                allAcknowledged = false;
                break;
            }
            ReportProgress(QString(), static_cast<int32_t>(FStream.Position()),
                           static_cast<int32_t>(size), false);
        }
        if (allAcknowledged)
            SendCommand(cmdSelectMode, modeProgramEnd, block, 4096, 0, 1, 600);
    }
    CloseLink();
}

void TCommThread::DoDownload() {
    if (OpenLink() && SetLinkRate(115200) && SelectMode(modeDownload)) {
        uint8_t block[4096];
        bool allAcknowledged = true;
        for (qsizetype i = 0; i < FFileNames.size() && allAcknowledged; ++i) {
            const QString label = FFileLabels.value(i);
            if (label == QLatin1String("-"))
                continue;
            const QString name = FFileNames.at(i);
            if (!QFileInfo(name).isFile())
                continue;
            const int32_t command = TextToInt(FFileCommands.value(i));
            const int32_t base = TextToInt(FFileBases.value(i));
            FStream.LoadFromFile(name);
            ReportProgress(QStringLiteral("DOWNLOAD ") + label, 0, 0, true);
            FStream.SetPosition(0);
            const int64_t size = FStream.Size();
            while (FStream.Position() < size) {
                const auto address =
                    static_cast<uint32_t>(FStream.Position()) + static_cast<uint32_t>(base);
                const int32_t n = FStream.Read(block, 256);
                const int timeout = (address & 0xFFF) == 0 ? 1800 : 600;
                if (SendCommand(static_cast<uint16_t>(command), address, block, 4095, n, 3,
                                timeout) < 0) {
                    allAcknowledged = false;
                    break;
                }
                ReportProgress(QString(), static_cast<int32_t>(FStream.Position()),
                               static_cast<int32_t>(size), false);
            }
        }
        if (allAcknowledged)
            SetLinkRate(FBaudRate);
    }
    CloseLink();
}
