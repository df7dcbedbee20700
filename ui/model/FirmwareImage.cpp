#include "FirmwareImage.h"

#include <cstdint>

namespace {

uint32_t LittleEndian32(const char* p) {
    const auto* b = reinterpret_cast<const uint8_t*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

} // namespace

bool CheckFirmwareImage(const QByteArray& image) {
    constexpr qsizetype HeaderSize = 256;
    if (image.size() < HeaderSize)
        return false;
    if (LittleEndian32(image.constData() + 4) != static_cast<uint64_t>(image.size()))
        return false;
    uint32_t sum = 0;
    for (qsizetype i = 0; i + 4 <= image.size(); i += 4)
        sum += LittleEndian32(image.constData() + i);
    return sum == 0;
}
