#include "BmpDots.h"

#include <QIODevice>
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace {

enum : int { compNone = 0, compRle8 = 1, compRle4 = 2, compBitFields = 3 };

constexpr int64_t ChunkBytes = 256 * 1024;

// Blue reaches 128 exactly when the pixel has the blue mask's top bit: a mask of up to 8 bits
// scales to 8 bits with its top bit on top, and a wider one keeps its top 8 bits, as Qt's later
// readers do (Qt 6.4 makes a wider blue 0, so every pixel a dot: a bug not copied here).
void SetDotBit(TBmpLayout& layout, uint32_t blueMask) {
    const int bit = static_cast<int>(std::bit_width(blueMask)) - 1;
    if (bit < 0 || bit >= layout.FBits) {
        layout.FAlwaysDot = true; // no blue, or none inside the pixel
        return;
    }
    layout.FDotByte = bit / 8;
    layout.FDotBit = bit % 8;
}

// The packers write ceil(width / 8) bytes, leftmost pixel in bit 7, unused low bits of the
// last byte clear.

void PackMono(const uint8_t* s, int64_t width, uint8_t ifClear, uint8_t ifSet, uint8_t* out) {
    const int64_t bytes = (width + 7) / 8;
    for (int64_t i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>((s[i] & ifSet) | (~s[i] & ifClear));
    if (width % 8)
        out[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
}

// pairs: for a byte of two 4-bit pixels, the left one's dot in bit 1 and the right one's in bit 0
void PackNibbles(const uint8_t* s, int64_t width, const uint8_t* pairs, uint8_t* out) {
    const int64_t full = width / 8;
    for (int64_t g = 0; g < full; ++g, s += 4)
        out[g] = static_cast<uint8_t>(pairs[s[0]] << 6 | pairs[s[1]] << 4 | pairs[s[2]] << 2 |
                                      pairs[s[3]]);
    if (const int64_t rest = width % 8) {
        unsigned v = 0;
        for (int64_t j = 0; j < rest; ++j)
            v |= unsigned((j % 2 ? pairs[s[j / 2]] : pairs[s[j / 2]] >> 1) & 1) << (7 - j);
        out[full] = static_cast<uint8_t>(v);
    }
}

void PackIndexBytes(const uint8_t* s, int64_t width, const uint8_t* dot, uint8_t* out) {
    const int64_t full = width / 8;
    for (int64_t g = 0; g < full; ++g, s += 8)
        out[g] =
            static_cast<uint8_t>(dot[s[0]] << 7 | dot[s[1]] << 6 | dot[s[2]] << 5 | dot[s[3]] << 4 |
                                 dot[s[4]] << 3 | dot[s[5]] << 2 | dot[s[6]] << 1 | dot[s[7]]);
    if (const int64_t rest = width % 8) {
        unsigned v = 0;
        for (int64_t j = 0; j < rest; ++j)
            v |= unsigned(dot[s[j]]) << (7 - j);
        out[full] = static_cast<uint8_t>(v);
    }
}

// P bytes a pixel; a pixel is blank when bit `bit` of its byte `at` is set.
template <int P> void PackDirect(const uint8_t* s, int64_t width, int at, int bit, uint8_t* out) {
    s += at;
    const int64_t full = width / 8;
    for (int64_t g = 0; g < full; ++g, s += 8 * P) {
        const auto blank = static_cast<unsigned>(
            (s[0] >> bit & 1) << 7 | (s[P] >> bit & 1) << 6 | (s[2 * P] >> bit & 1) << 5 |
            (s[3 * P] >> bit & 1) << 4 | (s[4 * P] >> bit & 1) << 3 | (s[5 * P] >> bit & 1) << 2 |
            (s[6 * P] >> bit & 1) << 1 | (s[7 * P] >> bit & 1));
        out[g] = static_cast<uint8_t>(~blank);
    }
    if (const int64_t rest = width % 8) {
        unsigned v = 0;
        for (int64_t j = 0; j < rest; ++j)
            v |= (~unsigned(s[j * P]) >> bit & 1) << (7 - j);
        out[full] = static_cast<uint8_t>(v);
    }
}

void PackAllDots(int64_t width, uint8_t* out) {
    const int64_t bytes = (width + 7) / 8;
    std::memset(out, 0xFF, static_cast<size_t>(bytes));
    if (width % 8)
        out[bytes - 1] = static_cast<uint8_t>(0xFF << (8 - width % 8));
}

// Turns stored rows (or, for run-length data, rows of one palette index a byte) into raster
// rows with the left margin.
class TRowPacker {
public:
    TRowPacker(const TBmpLayout& layout, int64_t rowBytes, int leftDots)
        : FLayout(layout), FRowBytes(rowBytes), FLeft(leftDots),
          FPacked(leftDots ? static_cast<size_t>((layout.FWidth + 7) / 8) : 0) {
        for (size_t b = 0; b < 256; ++b)
            FPairs[b] =
                static_cast<uint8_t>(layout.FIndexDot[b >> 4] << 1 | layout.FIndexDot[b & 0x0F]);
    }

    void PackStored(const uint8_t* row, uint8_t* out) {
        uint8_t* target = FLeft ? FPacked.data() : out;
        const TBmpLayout& l = FLayout;
        const int64_t w = l.FWidth;
        if (l.FBits == 1)
            PackMono(row, w, l.FIndexDot[0] ? 0xFF : 0, l.FIndexDot[1] ? 0xFF : 0, target);
        else if (l.FBits == 4)
            PackNibbles(row, w, FPairs.data(), target);
        else if (l.FBits == 8)
            PackIndexBytes(row, w, l.FIndexDot.data(), target);
        else if (l.FAlwaysDot)
            PackAllDots(w, target);
        else if (l.FBits == 16)
            PackDirect<2>(row, w, l.FDotByte, l.FDotBit, target);
        else if (l.FBits == 24)
            PackDirect<3>(row, w, l.FDotByte, l.FDotBit, target);
        else
            PackDirect<4>(row, w, l.FDotByte, l.FDotBit, target);
        Place(out);
    }

    void PackIndices(const uint8_t* indices, uint8_t* out) {
        PackIndexBytes(indices, FLayout.FWidth, FLayout.FIndexDot.data(),
                       FLeft ? FPacked.data() : out);
        Place(out);
    }

private:
    // Shifts the packed row right by the left margin; the margin's bits stay clear.
    void Place(uint8_t* out) {
        if (!FLeft)
            return;
        const int64_t n = static_cast<int64_t>(FPacked.size());
        unsigned carry = 0;
        for (int64_t i = 0; i < n; ++i) {
            const uint8_t packed = FPacked[static_cast<size_t>(i)];
            out[i] = static_cast<uint8_t>(carry | packed >> FLeft);
            carry = static_cast<uint8_t>(packed << (8 - FLeft));
        }
        if (n < FRowBytes)
            out[n] = static_cast<uint8_t>(carry);
    }

    const TBmpLayout& FLayout;
    const int64_t FRowBytes;
    const int FLeft;
    std::vector<uint8_t> FPacked;
    std::array<uint8_t, 256> FPairs{};
};

// Run-length data, bottom-up, mirroring Qt's reader for well-formed data: end-of-line,
// end-of-bitmap and delta escapes (a delta past the edge stops at the last column or row),
// encoded runs and absolute runs padded to 16 bits. Runs are cut at the row's end. Data may
// stop without an end-of-bitmap once every pixel has been reached.
class TRleDecoder {
public:
    TRleDecoder(const TBmpLayout& layout, TBmpSource& source, TRowPacker& packer, uint8_t* raster,
                int64_t rowBytes, int64_t topRow)
        : FLayout(layout), FSource(source), FPacker(packer), FRaster(raster), FRowBytes(rowBytes),
          FTopRow(topRow), FWidth(layout.FWidth), FHeight(layout.FHeight),
          FIndices(static_cast<size_t>(layout.FWidth), 0),
          FBlankRow(static_cast<size_t>(rowBytes), 0) {
        FPacker.PackIndices(FIndices.data(), FBlankRow.data());
        FBlankIsZero =
            std::all_of(FBlankRow.begin(), FBlankRow.end(), [](uint8_t b) { return b == 0; });
    }

    bool Run() {
        const bool rle4 = FLayout.FCompression == compRle4;
        while (FY < FHeight) {
            const uint8_t* p = FSource.Take(1);
            if (!p)
                return DataEnded();
            const int count = p[0];
            if (count != 0) {
                if (!(p = FSource.Take(1)))
                    return DataEnded();
                const uint8_t colour = p[0];
                const int64_t n = std::min<int64_t>(count, FWidth - FX);
                uint8_t* to = FIndices.data() + FX;
                if (!rle4) {
                    std::memset(to, colour, static_cast<size_t>(std::max<int64_t>(n, 0)));
                } else {
                    for (int64_t i = 0; i < n; ++i)
                        to[i] = i % 2 ? colour & 0x0F : colour >> 4;
                }
                Advance(count);
                continue;
            }
            if (!(p = FSource.Take(1)))
                return DataEnded();
            const int code = p[0];
            if (code == 0) { // end of line
                FinishRow();
                ++FY;
                FX = 0;
            } else if (code == 1) { // end of bitmap
                FinishRow();
                BlankRows(FY + 1, FHeight);
                return true;
            } else if (code == 2) { // delta
                if (!(p = FSource.Take(2)))
                    return DataEnded();
                FX += p[0];
                if (FX >= FWidth)
                    FX = FWidth - 1;
                const int64_t y = std::min<int64_t>(FY + p[1], FHeight - 1);
                if (y != FY) {
                    FinishRow();
                    BlankRows(FY + 1, y);
                    FY = y;
                }
            } else { // absolute run of `code` pixels
                const int64_t bytes = rle4 ? (code + 1) / 2 : code;
                if (!(p = FSource.Take(bytes)))
                    return DataEnded();
                const int64_t n = std::min<int64_t>(code, FWidth - FX);
                uint8_t* to = FIndices.data() + FX;
                for (int64_t i = 0; i < n; ++i)
                    to[i] = !rle4 ? p[i] : i % 2 ? p[i / 2] & 0x0F : p[i / 2] >> 4;
                Advance(code);
                if (bytes % 2)
                    FSource.Take(1); // padding; missing at the very end is harmless
            }
        }
        return true;
    }

private:
    void Advance(int64_t pixels) {
        if (FX < FWidth)
            FDirty = true;
        FX = std::min(FX + pixels, FWidth);
    }

    uint8_t* RowOut(int64_t y) const { return FRaster + (FTopRow + FHeight - 1 - y) * FRowBytes; }

    void FinishRow() {
        if (FDirty) {
            FPacker.PackIndices(FIndices.data(), RowOut(FY));
            std::fill(FIndices.begin(), FIndices.end(), uint8_t(0));
            FDirty = false;
        } else if (!FBlankIsZero) {
            std::memcpy(RowOut(FY), FBlankRow.data(), FBlankRow.size());
        }
    }

    void BlankRows(int64_t from, int64_t to) {
        if (FBlankIsZero)
            return;
        for (int64_t y = from; y < to; ++y)
            std::memcpy(RowOut(y), FBlankRow.data(), FBlankRow.size());
    }

    bool DataEnded() {
        const bool complete = FY >= FHeight || (FY == FHeight - 1 && FX >= FWidth);
        if (complete && FY < FHeight)
            FinishRow();
        return complete;
    }

    const TBmpLayout& FLayout;
    TBmpSource& FSource;
    TRowPacker& FPacker;
    uint8_t* const FRaster;
    const int64_t FRowBytes;
    const int64_t FTopRow;
    const int64_t FWidth;
    const int64_t FHeight;
    std::vector<uint8_t> FIndices;  // the current row, one palette index a pixel
    std::vector<uint8_t> FBlankRow; // a raster row of palette entry 0
    bool FBlankIsZero = true;
    bool FDirty = false;
    int64_t FX = 0;
    int64_t FY = 0; // counted from the bottom row
};

} // namespace

TBmpVerdict ParseBmp(const uint8_t* h, int64_t headSize, int64_t fileSize, TBmpLayout& layout) {
    const auto u16 = [h](int64_t at) { return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8; };
    const auto u32 = [&u16](int64_t at) { return u16(at) | u16(at + 2) << 16; };
    layout = TBmpLayout();
    if (headSize < 18 || h[0] != 'B' || h[1] != 'M')
        return TBmpVerdict::NotBitmap;
    const uint32_t headerSize = u32(14);
    switch (headerSize) {
    case 12:  // OS/2 1.x core
    case 40:  // Windows 3
    case 52:  // with RGB masks
    case 56:  // with RGBA masks
    case 64:  // OS/2 2.x
    case 108: // V4
    case 124: // V5
        break;
    default:
        return TBmpVerdict::NotBitmap;
    }
    if (14 + int64_t(headerSize) > headSize)
        return TBmpVerdict::NotBitmap;

    const bool core = headerSize == 12;
    int64_t width = 0;
    int64_t height = 0;
    uint32_t planes = 0;
    uint32_t colours = 0;
    if (core) { // unsigned sizes, bottom-up only
        width = u16(18);
        height = u16(20);
        planes = u16(22);
        layout.FBits = int(u16(24));
    } else {
        width = int32_t(u32(18));
        height = int32_t(u32(22));
        planes = u16(26);
        layout.FBits = int(u16(28));
        layout.FCompression = u32(30) > 3 ? -1 : int(u32(30));
        colours = u32(46);
    }
    const int bits = layout.FBits;
    const int comp = layout.FCompression;
    if (planes != 1)
        return TBmpVerdict::NotBitmap;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return TBmpVerdict::NotBitmap;
    if (!(comp == compNone || (comp == compRle8 && bits == 8) || (comp == compRle4 && bits == 4) ||
          (comp == compBitFields && (bits == 16 || bits == 32))))
        return TBmpVerdict::NotBitmap;
    if (width == 0 || height == 0)
        return TBmpVerdict::Empty;
    if (width < 0 || height == INT32_MIN)
        return TBmpVerdict::NotBitmap;
    const bool rle = comp == compRle8 || comp == compRle4;
    layout.FTopDown = height < 0;
    if (layout.FTopDown && rle)
        return TBmpVerdict::NotBitmap;
    layout.FWidth = width;
    layout.FHeight = height < 0 ? -height : height;

    int64_t pos = 14 + headerSize;
    if (bits <= 8) {
        const int64_t count = colours ? colours : 1 << bits;
        const int64_t entry = core ? 3 : 4;
        // A palette that reaches the end of the file leaves no pixel data.
        if (count > 256 || pos + count * entry >= fileSize)
            return TBmpVerdict::NotBitmap;
        // Entries are stored blue, green, red.
        for (size_t i = 0; i < 256; ++i) {
            if (static_cast<int64_t>(i) < count)
                layout.FIndexDot[i] = h[pos + static_cast<int64_t>(i) * entry] < 0x80;
            else // past the palette: Qt pads a two-colour table with white, others with black
                layout.FIndexDot[i] = bits == 1 ? 0 : 1;
        }
        pos += count * entry;
    } else if (comp == compBitFields) {
        // Masks inside V2 and later headers, after the 40-byte and OS/2 headers.
        const bool inside = headerSize >= 52 && headerSize != 64;
        if (!inside) {
            if (pos + 12 > headSize || pos + 12 > fileSize)
                return TBmpVerdict::NotBitmap;
            pos += 12;
        }
        SetDotBit(layout, u32(inside ? 14 + 48 : pos - 4));
    } else {
        SetDotBit(layout, bits == 16 ? 0x1F : 0xFF);
    }

    // Data placed over the header or palette is read from just after them, as Qt does.
    const int64_t offset = u32(10);
    if (offset > fileSize)
        return TBmpVerdict::NotBitmap;
    layout.FDataStart = std::max(pos, offset);
    if (layout.FDataStart >= fileSize)
        return TBmpVerdict::NotBitmap;
    if (rle) {
        layout.FDataEnd = fileSize;
        return TBmpVerdict::Ok;
    }
    layout.FStride = (width * bits + 31) / 32 * 4;
    if (layout.FStride > (fileSize - layout.FDataStart) / layout.FHeight)
        return TBmpVerdict::NotBitmap;
    layout.FDataEnd = layout.FDataStart + layout.FStride * layout.FHeight;
    return TBmpVerdict::Ok;
}

const uint8_t* TBmpSource::Refill(int64_t n) {
    const int64_t kept = FEnd - FPos;
    if (!FDevice || FDeviceLeft < n - kept)
        return nullptr;
    const int64_t wanted = std::min(FDeviceLeft, std::max(n - kept, ChunkBytes));
    if (FBuffer.size() < kept + wanted) {
        QByteArray bigger(kept + wanted, Qt::Uninitialized);
        if (kept)
            std::memcpy(bigger.data(), FPos, static_cast<size_t>(kept));
        FBuffer.swap(bigger);
    } else if (kept) {
        std::memmove(FBuffer.data(), FPos, static_cast<size_t>(kept));
    }
    const int64_t got = FDevice->read(FBuffer.data() + kept, wanted);
    if (got < n - kept) {
        FDevice = nullptr; // the file ended early or failed: nothing more comes
        FPos = FEnd = nullptr;
        return nullptr;
    }
    FDeviceLeft -= got;
    const auto* data = reinterpret_cast<const uint8_t*>(FBuffer.constData());
    FPos = data + n;
    FEnd = data + kept + got;
    return data;
}

bool DecodeBmpDots(const TBmpLayout& layout, TBmpSource& source, uint8_t* raster, int64_t rowBytes,
                   int64_t topRow, int leftDots) {
    TRowPacker packer(layout, rowBytes, leftDots);
    if (layout.FCompression == compRle8 || layout.FCompression == compRle4)
        return TRleDecoder(layout, source, packer, raster, rowBytes, topRow).Run();
    const int64_t h = layout.FHeight;
    for (int64_t r = 0; r < h; ++r) {
        const uint8_t* row = source.Take(layout.FStride);
        if (!row)
            return false;
        const int64_t y = layout.FTopDown ? r : h - 1 - r;
        packer.PackStored(row, raster + (topRow + y) * rowBytes);
    }
    return true;
}
