#include "LogoImage.h"

#include "BmpDots.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {

const char* const NotValidText = "Bitmap image is not valid";

// The first two bytes of an image.
constexpr char ImageMagic[] = "\xAA\xDD";

TLogoBuild Fail(TLogoBuild build, const TLogoRecord& failure) {
    build.FOk = false;
    build.FMessage = failure.FMessage;
    build.FDetail = failure.FDetail;
    build.FDecodeError = failure.FDecodeError;
    return build;
}

TLogoRecord Refused(const QString& message, const QString& detail = QString(),
                    bool decodeError = false) {
    TLogoRecord r;
    r.FMessage = message;
    r.FDetail = detail;
    r.FDecodeError = decodeError;
    return r;
}

TLogoRecord NotValid() {
    return Refused(QString::fromLatin1(NotValidText), QString(), true);
}

TLogoRecord NoRoom(int64_t needed, int64_t roomLeft) {
    return Refused(QStringLiteral("ERROR"),
                   QStringLiteral("The picture takes %1 bytes of logo memory; %2 bytes of SIZE "
                                  "are left.")
                       .arg(needed)
                       .arg(std::max<int64_t>(roomLeft, 0)));
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

// Everything but the pixels: the header decides every refusal except data that runs short.
// makeSource gives the pixel data once the record is known to fit.
template <typename MakeSource>
TLogoRecord ConvertBitmap(const uint8_t* head, int64_t headSize, int64_t fileSize,
                          int32_t logoWidth, int64_t roomLeft, MakeSource makeSource) {
    TBmpLayout layout;
    switch (ParseBmp(head, headSize, fileSize, layout)) {
    case TBmpVerdict::NotBitmap:
        return NotValid();
    case TBmpVerdict::Empty:
        return Refused(PictureInvalidText,
                       QStringLiteral("The picture has no dots: its width or height is 0."));
    case TBmpVerdict::Ok:
        break;
    }
    const int64_t width = layout.FWidth;
    const int64_t height = layout.FHeight;
    if (width > logoWidth || width > MaxLogoDots)
        return Refused(PictureInvalidText,
                       QStringLiteral("The picture is %1 dots wide; WIDTH allows %2 dots.")
                           .arg(width)
                           .arg(std::min<int64_t>(std::max(logoWidth, 0), MaxLogoDots)));
    const TMargins cols = MarginsFor(width);
    const TMargins rows = MarginsFor(height);
    const int64_t rowBytes = (cols.FBefore + width + cols.FAfter) / 8;
    const int64_t paddedHeight = rows.FBefore + height + rows.FAfter;
    // The band count is a 16-bit field; a taller picture cannot be described.
    if (paddedHeight / 8 > 0xFFFF)
        return Refused(PictureInvalidText,
                       QStringLiteral("The picture is %1 dots tall; a logo holds %2 rows of dots.")
                           .arg(height)
                           .arg(0xFFFF * 8));
    const int64_t size = LogoRecordHeadBytes + paddedHeight * rowBytes;
    if (size > roomLeft)
        return NoRoom(size, roomLeft);

    TLogoRecord result;
    result.FRecord = QByteArray(size, '\0');
    auto* bytes = reinterpret_cast<uint8_t*>(result.FRecord.data());
    bytes[0] = static_cast<uint8_t>(rowBytes & 0xFF);
    bytes[1] = static_cast<uint8_t>(rowBytes >> 8);
    bytes[2] = static_cast<uint8_t>((paddedHeight / 8) & 0xFF);
    bytes[3] = static_cast<uint8_t>((paddedHeight / 8) >> 8);
    TBmpSource source = makeSource(layout);
    if (!DecodeBmpDots(layout, source, bytes + LogoRecordHeadBytes, rowBytes, rows.FBefore,
                       static_cast<int>(cols.FBefore)))
        return NotValid();
    result.FOk = true;
    return result;
}

} // namespace

TLogoRecord ConvertLogoPicture(const QByteArray& fileBytes, int32_t logoWidth, int64_t roomLeft) {
    const auto* data = reinterpret_cast<const uint8_t*>(fileBytes.constData());
    const int64_t size = fileBytes.size();
    return ConvertBitmap(data, std::min(size, BmpHeadBytes), size, logoWidth, roomLeft,
                         [&](const TBmpLayout& layout) {
                             return TBmpSource(data + layout.FDataStart,
                                               layout.FDataEnd - layout.FDataStart);
                         });
}

TLogoRecord TLogoConverter::Convert(const QString& path, int32_t logoWidth, int64_t roomLeft) {
    const QFileInfo info(path);
    if (!info.isFile())
        return Refused(QStringLiteral("ERROR"), QStringLiteral("The picture's file is not there "
                                                               "any more."));
    const int64_t size = info.size();
    const int64_t modified = info.lastModified().toMSecsSinceEpoch();
    const auto known = FEntries.constFind(path);
    if (known != FEntries.cend() && known->FSize == size && known->FModified == modified &&
        known->FWidth == logoWidth) {
        const TLogoRecord& result = known->FResult;
        if (result.FOk && result.FRecord.size() > roomLeft)
            return NoRoom(result.FRecord.size(), roomLeft);
        return result;
    }

    ++FReads;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return NotValid();
    const QByteArray head = file.read(BmpHeadBytes);
    const TLogoRecord result =
        ConvertBitmap(reinterpret_cast<const uint8_t*>(head.constData()), head.size(), file.size(),
                      logoWidth, roomLeft, [&](const TBmpLayout& layout) {
                          if (!file.seek(layout.FDataStart))
                              return TBmpSource(static_cast<const uint8_t*>(nullptr), 0);
                          return TBmpSource(&file, layout.FDataEnd - layout.FDataStart);
                      });
    // A lack of room depends on the list, not on the file.
    if (result.FOk || result.FMessage != QLatin1String("ERROR"))
        FEntries.insert(path, TEntry{size, modified, logoWidth, result});
    else
        FEntries.remove(path);
    return result;
}

void TLogoConverter::Retain(const QStringList& paths) {
    for (auto it = FEntries.begin(); it != FEntries.end();) {
        if (paths.contains(it.key()))
            ++it;
        else
            it = FEntries.erase(it);
    }
}

TLogoBuild BuildLogoImage(const QStringList& files, int32_t logoSize, int32_t logoWidth,
                          TLogoConverter* converter) {
    TLogoConverter local;
    TLogoConverter& pictures = converter ? *converter : local;
    pictures.Retain(files);

    // Records first, then the image in one allocation: rebuilding from the cache is then
    // little more than one copy.
    QList<QByteArray> records;
    int64_t used = LogoImageHeadBytes;
    TLogoRecord failure;
    for (const QString& path : files) {
        TLogoRecord record = pictures.Convert(path, logoWidth, int64_t(logoSize) - used);
        if (!record.FOk) {
            failure = record;
            break;
        }
        used += record.FRecord.size();
        records.append(std::move(record.FRecord));
    }

    TLogoBuild build;
    QByteArray& image = build.FImage;
    image.reserve(used);
    image.append(ImageMagic);
    image.append(static_cast<char>(files.size() & 0xFF));
    for (const QByteArray& record : records)
        image.append(record);
    if (records.size() < files.size())
        return Fail(build, failure);
    return build;
}

QString LogoSpaceText(int64_t used, int32_t logoSize) {
    const int64_t free = int64_t(logoSize) - used;
    return QString::asprintf(
        "SPACE: %lld,%03lld Used, %lld,%03lld Free", static_cast<long long>(used / 1000),
        static_cast<long long>(used % 1000), static_cast<long long>(free / 1000),
        static_cast<long long>(free % 1000));
}

namespace {

// The record at the start of the available bytes, when it is there complete and non-empty.
std::optional<TLogoRecordShape> RecordAt(const char* data, int64_t available) {
    if (available < LogoRecordHeadBytes)
        return std::nullopt;
    const auto* b = reinterpret_cast<const uint8_t*>(data);
    TLogoRecordShape shape;
    shape.FBytesPerRow = b[0] | b[1] << 8;
    shape.FBands = b[2] | b[3] << 8;
    if (shape.FBytesPerRow == 0 || shape.FBands == 0 || shape.Size() > available)
        return std::nullopt;
    return shape;
}

} // namespace

std::optional<QList<TLogoRecordShape>> LogoImageRecords(const QByteArray& image) {
    if (image.size() < LogoImageHeadBytes || !image.startsWith(ImageMagic))
        return std::nullopt;
    QList<TLogoRecordShape> records;
    int64_t at = LogoImageHeadBytes;
    for (int n = uint8_t(image[2]); n > 0; --n) {
        const auto shape = RecordAt(image.constData() + at, image.size() - at);
        if (!shape)
            return std::nullopt;
        records.append(*shape);
        at += shape->Size();
    }
    if (at != image.size())
        return std::nullopt;
    return records;
}

std::optional<TLogoRecordShape> LogoRecordShape(const QByteArray& record) {
    const auto shape = RecordAt(record.constData(), record.size());
    if (!shape || shape->Size() != record.size())
        return std::nullopt;
    return shape;
}

QImage LogoRecordImage(const QByteArray& record, int paperWidth) {
    const auto shape = LogoRecordShape(record);
    if (!shape)
        return QImage();
    const int rowBytes = shape->FBytesPerRow;
    QImage image(std::max(paperWidth, shape->Width()), shape->Height(), QImage::Format_Mono);
    if (image.isNull())
        return image;
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // bit set: a dark dot
    image.fill(0);
    const char* rows = record.constData() + LogoRecordHeadBytes;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), rows + int64_t(y) * rowBytes, size_t(rowBytes));
    return image;
}
