#pragma once

// Windows bitmaps read straight into rows of printer dots. A pixel is a dot when its blue
// component (8 bits, after the palette or the bit-field scaling) is below 128. Pixels are never
// decoded to colours, and no more than one scan line of the file is held at a time.

#include <QByteArray>
#include <array>
#include <cstdint>

class QIODevice;

enum class TBmpVerdict {
    Ok,
    NotBitmap, // not a bitmap, or one whose pixel data is not all there
    Empty,     // a bitmap whose header says width or height 0
};

// What the header, bit fields and palette say, checked against the file's length.
struct TBmpLayout {
    int64_t FWidth = 0;
    int64_t FHeight = 0; // rows, positive whatever the orientation
    bool FTopDown = false;
    int FBits = 0;
    int FCompression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    int64_t FDataStart = 0;
    int64_t FDataEnd = 0; // the decoder reads no further than this
    int64_t FStride = 0;  // bytes of one stored row, when not run-length encoded
    // Palette pictures: 1 for each index that is a dot.
    std::array<uint8_t, 256> FIndexDot{};
    // Direct colour: a pixel is a dot when this bit of this byte of it is clear, or always.
    int FDotByte = 0;
    int FDotBit = 7;
    bool FAlwaysDot = false;
};

// The most of a file's beginning that the header, bit fields and palette can take.
constexpr int64_t BmpHeadBytes = 14 + 124 + 12 + 256 * 4;

// `head` holds the file's first min(fileSize, BmpHeadBytes) bytes.
TBmpVerdict ParseBmp(const uint8_t* head, int64_t headSize, int64_t fileSize, TBmpLayout& layout);

// The pixel data in order, from memory or from a file read in chunks.
class TBmpSource {
public:
    TBmpSource(const uint8_t* data, int64_t size) : FPos(data), FEnd(data + size) {}
    // Reads `size` bytes from the device's current position on demand.
    TBmpSource(QIODevice* device, int64_t size) : FDevice(device), FDeviceLeft(size) {}

    // The next n bytes, contiguous, or nullptr when fewer are left.
    const uint8_t* Take(int64_t n) {
        if (FEnd - FPos >= n) {
            const uint8_t* p = FPos;
            FPos += n;
            return p;
        }
        return Refill(n);
    }

private:
    const uint8_t* Refill(int64_t n);

    const uint8_t* FPos = nullptr;
    const uint8_t* FEnd = nullptr;
    QIODevice* FDevice = nullptr;
    int64_t FDeviceLeft = 0;
    QByteArray FBuffer;
};

// Writes the picture's dots into `raster`, which is zero: rowBytes bytes a row, picture row 0
// at row `topRow`, picture column 0 at dot `leftDots` (0 to 7) of its row. The caller has
// checked that the picture fits. False when the pixel data runs out before the picture is
// complete. Pixels that run-length data skips take palette entry 0.
bool DecodeBmpDots(const TBmpLayout& layout, TBmpSource& source, uint8_t* raster, int64_t rowBytes,
                   int64_t topRow, int leftDots);
