#pragma once

#include "ToolSettings.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// Byte layouts of the command blocks the SET pages send.

constexpr int32_t ParameterBlockLength = 16;
constexpr int32_t IrRateBlockLength = 4;

// The PARA page's values: rates in bit/s, entry positions (-1 = nothing selected), times in
// seconds and lengths in mm. Each starts at its key's default.
struct TParameterValues {
    int32_t FBaudRate = setting::ParaBaudRate.FDefault;
    int FCodePage = setting::CodePage.FDefault;
    int FDensity = setting::Density.FDefault;
    int FFont = setting::Font.FDefault;
    int FLineFeed = setting::LineFeed.FDefault;
    int32_t FIdle = setting::Idle.FDefault;
    int32_t FOff = setting::Off.FDefault;
    int32_t FMaxFeed = setting::MaxFeed.FDefault;
    int32_t FPage = setting::PageLength.FDefault;
};

// Rates inside command blocks are big-endian.
inline void PutBigEndian32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

inline void PutLittleEndian16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

// The printer's code for an entry of the code-page list: the first two entries are 254 and
// 255, the rest count from 0. Nothing selected (-1) counts as the first entry.
uint8_t CodePageCode(int position);

// The bytes first, 0x00, second and (with trailingZero) another 0x00 take.
int64_t TextPairLength(qsizetype first, qsizetype second, bool trailingZero);
// Why two texts of a block are refused, naming them as the reader knows them ("DEVICE NAME",
// "PIN"): together they take length bytes, more than capacity.
QString TextPairTooLong(const QString& firstName, const QString& secondName, int64_t length,
                        int32_t capacity);

// Writes first, 0x00, second and (with trailingZero) another 0x00 to data. Returns the block's
// length, or -1 without writing anything when it would exceed capacity.
int32_t PackTextPair(uint8_t* data, int32_t capacity, const QByteArray& first,
                     const QByteArray& second, bool trailingZero);

// The 16-byte parameter block: the rate big-endian, the code-page code, three positions (low 8
// bits), then the four 16-bit values little-endian.
void PackParameterBlock(uint8_t* data, const TParameterValues& values);
