#pragma once

#include <QByteArray>
#include <cstdint>

// Byte layouts of the command blocks the SET pages send.

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

// Writes first, 0x00, second and (with trailingZero) another 0x00 to data. Returns the block's
// length, or -1 without writing anything when it would exceed capacity.
int32_t PackTextPair(uint8_t* data, int32_t capacity, const QByteArray& first,
                     const QByteArray& second, bool trailingZero);
