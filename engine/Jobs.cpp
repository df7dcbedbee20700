// The three printer jobs: one command, firmware programming, file download.
#include "CommThread.h"
#include "FileNames.h"
#include "TextToInt.h"

#include <QFileInfo>
#include <cstring>
#include <stdexcept>

namespace {

QString CommandName(uint16_t command) {
    switch (command) {
    case cmdSetParameters:
        return QStringLiteral("the parameter block");
    case cmdSetBluetooth:
        return QStringLiteral("the Bluetooth block");
    case cmdSetIrRate:
        return QStringLiteral("the IrCOMM block");
    case cmdSetFactoryInfo:
        return QStringLiteral("the factory block");
    default:
        return QStringLiteral("the command");
    }
}

} // namespace

void TCommThread::DoCommand() {
    // Checked before the link opens: a block no frame can carry must not cost a handshake.
    if (FCmdLength < 0 || FCmdLength > MaxCommandData)
        throw std::invalid_argument("Command block longer than a frame can carry");
    const auto command = static_cast<uint16_t>(FCmdCode);
    if (OpenLink() &&
        !StopsHere(QStringLiteral("Cancelled before %1 was sent.").arg(CommandName(command)))) {
        // From here on the printer may hold the block, answered or not.
        FCommandSent = true;
        if (SendCommand(command, FCmdArg, FCmdData, 1023, FCmdLength, 3, 1000) >= 0)
            SetLinkRate(FBaudRate);
        else
            Fail(errNoReply, TFailStep::NoReply,
                 QStringLiteral("The printer %1 identified itself but did not answer %2 "
                                "(command 0x%3) after 3 tries.")
                     .arg(LinkPlace(), CommandName(command))
                     .arg(command, 2, 16, QLatin1Char('0')));
    }
    CloseLink();
}

bool TCommThread::SendBlocks(const TTransfer& t) {
    uint8_t block[4096];
    const int64_t size = FStream.Size();
    FStream.SetPosition(0);
    while (FStream.Position() < size) {
        const int64_t done = FStream.Position();
        const auto address = static_cast<uint32_t>(done) + t.FBase;
        if (StopsHere(t.FCancelled(done, size)))
            return false;
        if (t.FPadLastBlock)
            std::memset(block, 0xFF, 256);
        const int32_t n = FStream.Read(block, 256);
        // The printer erases a sector before the first block written into it.
        const int timeout = address % 4096 == 0 ? t.FSectorTimeout : 600;
        if (SendCommand(t.FCommand, address, block, sizeof block, t.FPadLastBlock ? 256 : n, 3,
                        timeout) < 0) {
            Fail(errNoReply, TFailStep::Transfer, t.FUnanswered(address, done, size));
            ReportBrokenOff(static_cast<int32_t>(done), static_cast<int32_t>(size));
            return false;
        }
        ReportProgress(QString(), static_cast<int32_t>(FStream.Position()),
                       static_cast<int32_t>(size), false);
    }
    return true;
}

void TCommThread::DoProgram() {
    if (OpenLink() && SetLinkRate(TransferRate) && SelectMode(modeProgram)) {
        TTransfer firmware;
        firmware.FCommand = cmdWriteProgram;
        firmware.FSectorTimeout = 1200;
        firmware.FPadLastBlock = true;
        firmware.FCancelled = [](int64_t done, int64_t size) {
            return QStringLiteral("Cancelled after %1 of %2 bytes; the firmware in the printer "
                                  "is incomplete until it is programmed again.")
                .arg(done)
                .arg(size);
        };
        firmware.FUnanswered = [](uint32_t address, int64_t done, int64_t size) {
            return QStringLiteral("No reply to the firmware block at offset %1 after 3 tries: "
                                  "programming stopped after %2 of %3 bytes.")
                .arg(address)
                .arg(done)
                .arg(size);
        };
        uint8_t reply[4096];
        if (SendBlocks(firmware) &&
            SendCommand(cmdSelectMode, modeProgramEnd, reply, sizeof reply, 0, 1, 600) < 0)
            Fail(errNoReply, TFailStep::Transfer,
                 QStringLiteral("Every firmware block was acknowledged, but the printer did not "
                                "answer the end of programming."));
    }
    CloseLink();
}

void TCommThread::DoDownload() {
    if (OpenLink() && SetLinkRate(TransferRate) && SelectMode(modeDownload)) {
        bool allAcknowledged = true;
        for (qsizetype i = 0; i < FFileNames.size() && allAcknowledged; ++i) {
            const QString label = FFileLabels.value(i);
            if (label == QLatin1String("-"))
                continue;
            const QString name = FFileNames.at(i);
            const std::optional<QByteArray> data = FFileData.value(i);
            if (!data && !QFileInfo(name).isFile())
                continue;
            TTransfer file;
            file.FCommand = static_cast<uint16_t>(TextToInt(FFileCommands.value(i)));
            file.FBase = static_cast<uint32_t>(TextToInt(FFileBases.value(i)));
            file.FSectorTimeout = 1800;
            file.FCancelled = [&label](int64_t done, int64_t size) {
                return QStringLiteral("Cancelled after %1 of %2 bytes of %3.")
                    .arg(done)
                    .arg(size)
                    .arg(label);
            };
            file.FUnanswered = [&label](uint32_t address, int64_t done, int64_t size) {
                return QStringLiteral("No reply to the block of %1 at address 0x%2 after 3 "
                                      "tries: the download stopped after %3 of %4 bytes.")
                    .arg(label)
                    .arg(address, 0, 16)
                    .arg(done)
                    .arg(size);
            };
            if (data)
                FStream.SetData(*data);
            else
                FStream.LoadFromFile(name);
            ReportProgress(QStringLiteral("DOWNLOAD ") + label, 0, 0, true);
            allAcknowledged = SendBlocks(file);
        }
        if (allAcknowledged)
            SetLinkRate(FBaudRate);
    }
    CloseLink();
}

TDownloadFile FontDownload(const QString& path, std::optional<QByteArray> data) {
    return {path, filename::Font, QStringLiteral("$%1").arg(cmdWriteFont, 0, 16),
            QStringLiteral("0"), std::move(data)};
}

TDownloadFile LogoDownload(const QString& path, int32_t command, int32_t base,
                           std::optional<QByteArray> data) {
    return {path, filename::Logo, QString::number(command), QString::number(base), std::move(data)};
}

void TCommThread::SetDownload(const TDownloadFile& file) {
    FFileNames = QStringList{file.FPath};
    FFileLabels = QStringList{file.FLabel};
    FFileCommands = QStringList{file.FCommand};
    FFileBases = QStringList{file.FBase};
    FFileData = {file.FData};
}

void TCommThread::DoQuery() {
    OpenLink();
    CloseLink();
}
