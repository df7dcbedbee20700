// The firmware image check against a plain reading of the rule: at least the 256-byte header,
// the length at offset 4 equal to the file's, and the complete 32-bit little-endian words
// adding up to 0.
//
// Input: one byte of repairs, then the image. Bit 0 puts the image's length at offset 4, bit 1
// then makes the word sum 0, bit 2 then breaks one byte (its position from the input's last
// bytes), so valid images and near misses are common.
#include "FirmwareImage.h"
#include "FuzzSupport.h"

namespace {

uint32_t Word(const QByteArray& image, qsizetype at) {
    uint32_t w = 0;
    for (int i = 3; i >= 0; --i)
        w = w << 8 | static_cast<uint8_t>(image[at + i]);
    return w;
}

void PutWord(QByteArray& image, qsizetype at, uint32_t w) {
    for (int i = 0; i < 4; ++i)
        image[at + i] = static_cast<char>(w >> (8 * i));
}

uint64_t WordSum(const QByteArray& image) {
    uint64_t sum = 0;
    for (qsizetype at = 0; at + 4 <= image.size(); at += 4)
        sum += Word(image, at);
    return sum;
}

bool Rule(const QByteArray& image) {
    return image.size() >= 256 && Word(image, 4) == static_cast<uint64_t>(image.size()) &&
           WordSum(image) % (uint64_t(1) << 32) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t repairs = data[0];
    QByteArray image(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    if (image.size() >= 256) {
        if (repairs & 1)
            PutWord(image, 4, static_cast<uint32_t>(image.size()));
        if (repairs & 2) {
            // Word 2 (offset 8) takes whatever the rest needs.
            PutWord(image, 8, 0);
            PutWord(image, 8, static_cast<uint32_t>(0 - WordSum(image)));
            FUZZ_CHECK(!(repairs & 1) || Rule(image));
        }
        if (repairs & 4) {
            const qsizetype at = (data[size - 1] | data[size - 2] << 8) % image.size();
            image[at] = static_cast<char>(image[at] ^ (repairs | 1));
        }
    }
    FUZZ_CHECK(CheckFirmwareImage(image) == Rule(image));
    return 0;
}
