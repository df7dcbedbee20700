#include "LogoImage.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace {

void PutLe16(QByteArray& bytes, int64_t value) {
    bytes.append(static_cast<char>(value & 0xFF));
    bytes.append(static_cast<char>((value >> 8) & 0xFF));
}

TLogoBuild Fail(TLogoBuild build, const QString& message, bool decodeError = false) {
    build.FOk = false;
    build.FMessage = message;
    build.FDecodeError = decodeError;
    return build;
}

// Blank margins for an extent: the smaller half before, the rest (the odd one) after.
struct TMargins {
    int64_t FBefore = 0;
    int64_t FAfter = 0;
};

TMargins MarginsFor(int64_t extent) {
    const int64_t r = extent % 8;
    if (r == 0)
        return {};
    const int64_t pad = 8 - r;
    return {pad / 2, pad - pad / 2};
}

// Qt's decoder refuses a bitmap without pixels; such a file is still a bitmap, only an
// unusable picture. True when the header says width or height 0.
bool IsEmptyBitmap(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray h = file.read(26);
    const auto byte = [&h](int i) { return uint32_t(uint8_t(h[i])); };
    if (h.size() < 26 || h[0] != 'B' || h[1] != 'M')
        return false;
    const uint32_t infoSize = byte(14) | byte(15) << 8 | byte(16) << 16 | byte(17) << 24;
    if (infoSize == 12) // the old core header: 16-bit width and height
        return (byte(18) | byte(19) << 8) == 0 || (byte(20) | byte(21) << 8) == 0;
    if (infoSize < 40)
        return false;
    const uint32_t width = byte(18) | byte(19) << 8 | byte(20) << 16 | byte(21) << 24;
    const uint32_t height = byte(22) | byte(23) << 8 | byte(24) << 16 | byte(25) << 24;
    return width == 0 || height == 0;
}

} // namespace

TLogoBuild BuildLogoImage(const QStringList& files, int32_t logoSize, int32_t logoWidth) {
    TLogoBuild build;
    QByteArray& image = build.FImage;
    image.append('\xAA');
    image.append('\xDD');
    image.append(static_cast<char>(files.size() & 0xFF));

    for (const QString& path : files) {
        if (!QFileInfo(path).isFile())
            return Fail(build, QStringLiteral("ERROR"));
        QImage picture;
        if (!picture.load(path, "BMP")) {
            if (IsEmptyBitmap(path))
                return Fail(build, QStringLiteral("Picture invalid"));
            return Fail(build, QStringLiteral("Bitmap image is not valid"), true);
        }

        const int64_t width = picture.width();
        const int64_t height = picture.height();
        if (width <= 0 || height <= 0 || width > logoWidth || width > MaxLogoDots)
            return Fail(build, QStringLiteral("Picture invalid"));
        const TMargins cols = MarginsFor(width);
        const TMargins rows = MarginsFor(height);
        const int64_t rowBytes = (cols.FBefore + width + cols.FAfter) / 8;
        const int64_t paddedHeight = rows.FBefore + height + rows.FAfter;
        // The band count is a 16-bit field; a taller picture cannot be described.
        if (paddedHeight / 8 > 0xFFFF)
            return Fail(build, QStringLiteral("Picture invalid"));
        const int64_t record = 4 + paddedHeight * rowBytes;
        if (int64_t(image.size()) + record > int64_t(logoSize))
            return Fail(build, QStringLiteral("ERROR"));

        image.reserve(image.size() + record);
        PutLe16(image, rowBytes);
        PutLe16(image, paddedHeight / 8);
        image.append(QByteArray(rows.FBefore * rowBytes, '\0'));
        // Palettes and packed formats resolved to plain colours; alpha is ignored.
        const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
        QByteArray row(rowBytes, '\0');
        for (int y = 0; y < argb.height(); ++y) {
            row.fill('\0');
            const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x) {
                if (qBlue(pixels[x]) < 0x80) {
                    const qsizetype d = x + cols.FBefore;
                    row[d / 8] = static_cast<char>(row[d / 8] | (0x80 >> (d % 8)));
                }
            }
            image.append(row);
        }
        image.append(QByteArray(rows.FAfter * rowBytes, '\0'));
    }
    return build;
}

QString LogoSpaceText(int64_t used, int32_t logoSize) {
    const int64_t free = int64_t(logoSize) - used;
    return QString::asprintf(
        "SPACE: %lld,%03lld Used, %lld,%03lld Free", static_cast<long long>(used / 1000),
        static_cast<long long>(used % 1000), static_cast<long long>(free / 1000),
        static_cast<long long>(free % 1000));
}
