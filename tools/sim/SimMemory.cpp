#include "SimMemory.h"

#include <algorithm>

namespace {

constexpr uint32_t modeProgram = 0;
constexpr uint32_t modeDownload = 1;
constexpr uint32_t modeProgramEnd = 0xFFFFFFFFu;

} // namespace

bool TSimFile::Write(uint32_t address, const QByteArray& data) {
    if (!FHas) {
        if (uint64_t(data.size()) > uint64_t(TSimMemory::kMaxImageSize))
            return false;
        FHas = true;
        FBase = address;
        FBytes = data;
        return true;
    }
    const uint64_t lo = std::min<uint64_t>(FBase, address);
    const uint64_t hi = std::max<uint64_t>(uint64_t(FBase) + uint64_t(FBytes.size()),
                                           uint64_t(address) + uint64_t(data.size()));
    if (hi - lo > uint64_t(TSimMemory::kMaxImageSize))
        return false;
    if (address < FBase) {
        FBytes.prepend(QByteArray(int(FBase - address), char(0xFF)));
        FBase = address;
    }
    const int at = int(uint64_t(address) - FBase);
    if (at + data.size() > FBytes.size())
        FBytes.append(QByteArray(at + data.size() - FBytes.size(), char(0xFF)));
    FBytes.replace(at, data.size(), data);
    return true;
}

void TSimMemory::Take(const TSimFrame& f) {
    FLast.insert(f.FCommand, f.FData);
    switch (f.FCommand) {
    case SimCmd::QueryDevice:
        return;
    case SimCmd::SetLinkRate:
        FRate = int32_t(f.FArgument);
        if (FListenRate > 0)
            FListenRate = FRate;
        return;
    case SimCmd::SelectMode:
        FMode = f.FArgument;
        if (f.FArgument == modeProgram) {
            FImage.FBytes.clear();
            FEnded = false;
            ++FChanges;
        } else if (f.FArgument == modeDownload) {
            ++FSession;
        } else if (f.FArgument == modeProgramEnd) {
            FEnded = true;
            ++FChanges;
        }
        return;
    case SimCmd::WriteProgram: {
        if (FEnded) {
            // Blocks after the end belong to a new programming run.
            FImage.FBytes.clear();
            FEnded = false;
        }
        if (!FImage.Write(f.FArgument, f.FData))
            return;
        ++FChanges;
        return;
    }
    default:
        break;
    }
    const bool file = f.FCommand == SimCmd::WriteFont || f.FCommand == SimCmd::WriteLogo ||
                      (FMode == modeDownload && !f.FData.isEmpty());
    if (file) {
        TSimFile& s = FFiles[f.FCommand];
        if (s.FSession != FSession) {
            s = TSimFile();
            s.FSession = FSession;
        }
        if (s.Write(f.FArgument, f.FData))
            ++FChanges;
        return;
    }
    if (f.FCommand == SimCmd::SetParameters || f.FCommand == SimCmd::SetBluetooth ||
        f.FCommand == SimCmd::SetIrRate || f.FCommand == SimCmd::SetFactoryInfo) {
        FKept.insert(f.FCommand, f.FData);
        ++FChanges;
    }
}

QList<QPair<QString, QByteArray>> TSimMemory::OutputFiles() const {
    QList<QPair<QString, QByteArray>> files;
    const QList<QPair<uint16_t, const char*>> kept = {{SimCmd::SetParameters, "parameters.bin"},
                                                      {SimCmd::SetBluetooth, "bluetooth.bin"},
                                                      {SimCmd::SetIrRate, "ircomm.bin"},
                                                      {SimCmd::SetFactoryInfo, "factory.bin"}};
    for (const auto& [command, name] : kept)
        if (FKept.contains(command))
            files.append({QLatin1String(name), FKept.value(command)});
    if (!FImage.FBytes.isEmpty())
        files.append({QStringLiteral("firmware.bin"), FImage.FBytes});
    for (auto it = FFiles.cbegin(); it != FFiles.cend(); ++it) {
        QString name =
            it.key() == SimCmd::WriteFont ? QStringLiteral("font.bin")
            : it.key() == SimCmd::WriteLogo
                ? QStringLiteral("logo.bin")
                : QStringLiteral("download-%1.bin").arg(it.key(), 4, 16, QLatin1Char('0'));
        files.append({name, it.value().FBytes});
    }
    return files;
}

QByteArray SimFirmwareImage(int size, uint32_t seed) {
    QByteArray image(qMax(size, 12), Qt::Uninitialized);
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((uint32_t(i) * (7 + 2 * seed) + 3 + seed) & 0xFF);
    const auto put = [&image](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            image[at + k] = static_cast<char>(v >> (8 * k));
    };
    put(4, static_cast<uint32_t>(size));
    put(8, 0);
    uint32_t sum = 0;
    for (int at = 0; at + 4 <= image.size(); at += 4)
        sum += uint32_t(uint8_t(image[at])) | uint32_t(uint8_t(image[at + 1])) << 8 |
               uint32_t(uint8_t(image[at + 2])) << 16 | uint32_t(uint8_t(image[at + 3])) << 24;
    put(8, 0u - sum);
    image.truncate(size);
    return image;
}
