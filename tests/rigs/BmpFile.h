#pragma once

// Windows bitmaps written byte for byte, in every header layout (12-byte OS/2 core to 124-byte
// version 5), with palettes, bit fields and either row order: what Qt's writer cannot make.

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <array>
#include <cstdint>

using TMasks = std::array<uint32_t, 4>; // red, green, blue, alpha

// A bitmap file as written: header layout, palette, bit fields and the stored pixel data.
struct TBmpFile {
    int FHeader = 40; // 12, 40, 52, 56, 64, 108 or 124 bytes
    int FBits = 24;
    int FCompression = 0;
    int32_t FWidth = 1;
    int32_t FHeight = 1; // negative: top-down
    QList<QRgb> FPalette;
    uint32_t FColoursUsed = 0;
    TMasks FMasks{};
    QByteArray FData;
    int64_t FOffset = -1; // -1: where the data is written
    int FGap = 0;         // bytes between the palette and the data
};

inline void Put(QByteArray& b, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.append(char(value >> (8 * i)));
}

inline QByteArray Bytes(const TBmpFile& f) {
    QByteArray b("BM");
    b.append(QByteArray(12, '\0')); // size, reserved, offset: filled in below
    Put(b, uint32_t(f.FHeader), 4);
    if (f.FHeader == 12) {
        Put(b, uint32_t(f.FWidth), 2);
        Put(b, uint32_t(f.FHeight), 2);
        Put(b, 1, 2);
        Put(b, uint32_t(f.FBits), 2);
    } else {
        Put(b, uint32_t(f.FWidth), 4);
        Put(b, uint32_t(f.FHeight), 4);
        Put(b, 1, 2);
        Put(b, uint32_t(f.FBits), 2);
        Put(b, uint32_t(f.FCompression), 4);
        Put(b, uint32_t(f.FData.size()), 4);
        Put(b, 2835, 4);
        Put(b, 2835, 4);
        Put(b, f.FColoursUsed, 4);
        Put(b, 0, 4);
        if (f.FHeader >= 52 && f.FHeader != 64) {
            for (int i = 0; i < (f.FHeader >= 56 ? 4 : 3); ++i)
                Put(b, f.FMasks[size_t(i)], 4);
        }
        if (f.FHeader >= 108)
            Put(b, 0x73524742, 4); // sRGB
        b.append(QByteArray(14 + f.FHeader - b.size(), '\0'));
    }
    if (f.FCompression == 3 && (f.FHeader == 40 || f.FHeader == 64)) {
        for (int i = 0; i < 3; ++i)
            Put(b, f.FMasks[size_t(i)], 4);
    }
    for (QRgb c : f.FPalette) {
        b.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        if (f.FHeader != 12)
            b.append('\0');
    }
    b.append(QByteArray(f.FGap, '\x5A'));
    const int64_t offset = f.FOffset >= 0 ? f.FOffset : b.size();
    b += f.FData;
    for (int i = 0; i < 4; ++i) {
        b[2 + i] = char(uint32_t(b.size()) >> (8 * i));
        b[10 + i] = char(uint32_t(offset) >> (8 * i));
    }
    return b;
}

inline int Stride(int64_t width, int bits) {
    return int((width * bits + 31) / 32 * 4);
}
