#include "FirmwareImage.h"

#include <cstdint>

namespace {

constexpr qsizetype HeaderSize = 256;

uint32_t LittleEndian32(const char* p) {
    const auto* b = reinterpret_cast<const uint8_t*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t WordSum(const QByteArray& image) {
    uint32_t sum = 0;
    for (qsizetype i = 0; i + 4 <= image.size(); i += 4)
        sum += LittleEndian32(image.constData() + i);
    return sum;
}

} // namespace

bool CheckFirmwareImage(const QByteArray& image) {
    return FirmwareImageProblem(image).isEmpty();
}

QString FirmwareImageProblem(const QByteArray& image) {
    if (image.size() < HeaderSize)
        return QStringLiteral("The file has %1 bytes, less than a firmware image's 256-byte "
                              "header.")
            .arg(image.size());
    const uint32_t length = LittleEndian32(image.constData() + 4);
    if (length != static_cast<uint64_t>(image.size()))
        return QStringLiteral("The image's header gives its length as %1 bytes, but the file has "
                              "%2: the file is cut short or is not a firmware image.")
            .arg(length)
            .arg(image.size());
    const uint32_t sum = WordSum(image);
    if (sum != 0)
        return QStringLiteral("The image's check sum is 0x%1, not 0: the file is damaged.")
            .arg(sum, 8, 16, QLatin1Char('0'));
    return {};
}
