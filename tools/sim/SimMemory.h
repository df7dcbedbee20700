#pragma once

// What the simulated printer keeps from the requests it took. Not locked: its owner guards it.

#include "SimFrame.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <cstdint>

// Bytes written at an address, from the lowest address seen; gaps read as 0xFF.
struct TSimFile {
    bool FHas = false;
    uint32_t FBase = 0;
    QByteArray FBytes;
    uint64_t FSession = 0; // the download-mode selection it belongs to

    // False when the file would grow past TSimMemory::kMaxImageSize; nothing is written then.
    bool Write(uint32_t address, const QByteArray& data);
};

struct TSimMemory {
    // Firmware images and downloaded files stop growing at this size; blocks beyond it are
    // answered but dropped, so a wild address cannot exhaust memory.
    static constexpr int kMaxImageSize = 16 * 1024 * 1024;

    // Applies a request the printer accepted.
    void Take(const TSimFrame& f);
    // What a dump of the printer holds: file name and contents, for what exists of
    // parameters.bin, bluetooth.bin, ircomm.bin, factory.bin, firmware.bin, font.bin, logo.bin,
    // and download-XXXX.bin for other download commands.
    QList<QPair<QString, QByteArray>> OutputFiles() const;

    QByteArray FId = QByteArrayLiteral("PRN 6104");
    QHash<uint16_t, QByteArray> FLast; // data of the last taken frame of each command
    QHash<uint16_t, QByteArray> FKept; // the four settings blocks
    TSimFile FImage{true, 0, {}, 0};   // firmware blocks assembled by offset from address 0
    bool FEnded = false;               // end-of-programming selection seen
    QMap<uint16_t, TSimFile> FFiles;
    uint64_t FSession = 0; // download-mode selections so far
    int32_t FRate = 0;     // last rate the printer was switched to, 0 = never
    // The rate it listens at on the pseudo-terminal, 0 = any; a switch moves it.
    int32_t FListenRate = 0;
    int64_t FMode = -1;    // last mode selected, -1 if none
    uint64_t FChanges = 0; // grows whenever something in OutputFiles() changed
};

// A firmware image the tool accepts: size bytes of a pattern that depends on seed, its length at
// offset 4 and the word at offset 8 chosen so that its 32-bit words add up to 0.
QByteArray SimFirmwareImage(int size, uint32_t seed = 0);
