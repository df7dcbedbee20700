// The logo conversion of one picture, or of a list of them: whatever the files hold, it ends,
// and the image it builds is well formed.
//
// Input: a byte whose bit 0 asks for a list; the logo memory size (4 bytes, little-endian,
// signed) and width (2 bytes); then the picture, or the pictures separated by "\0LOGO\0".
// A list entry "-" names a file that does not exist.
#include "BmpDots.h"
#include "FuzzSupport.h"
#include "LogoImage.h"

#include <QFile>
#include <algorithm>

namespace {

const QStringList Messages = {QStringLiteral("ERROR"), QStringLiteral("Picture invalid"),
                              QStringLiteral("Bitmap image is not valid")};

QByteArray ReadFuzzFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int64_t RoundUp8(int64_t n) {
    return (n + 7) / 8 * 8;
}

// Walks the records: each one a 16-bit row width in bytes and band count, then eight rows a
// band; returns how many there are, or -1 when the image does not divide into records.
int CountRecords(const QByteArray& image, const QStringList& files) {
    qsizetype at = 3;
    int count = 0;
    while (at < image.size()) {
        if (image.size() - at < 4)
            return -1;
        const auto byte = [&](qsizetype i) { return int64_t(uint8_t(image[at + i])); };
        const int64_t rowBytes = byte(0) | byte(1) << 8;
        const int64_t bands = byte(2) | byte(3) << 8;
        const int64_t size = 4 + rowBytes * bands * 8;
        if (count >= files.size() || image.size() - at < size)
            return -1;
        // The record's extent is what the picture's header says, rounded up to whole bytes and
        // bands.
        const QByteArray file = ReadFuzzFile(files.at(count));
        TBmpLayout layout;
        FUZZ_CHECK(ParseBmp(reinterpret_cast<const uint8_t*>(file.constData()),
                            std::min<int64_t>(file.size(), BmpHeadBytes), file.size(),
                            layout) == TBmpVerdict::Ok);
        FUZZ_CHECK(rowBytes * 8 == RoundUp8(layout.FWidth));
        FUZZ_CHECK(bands * 8 == RoundUp8(layout.FHeight));
        at += size;
        ++count;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7)
        return 0;
    const bool list = data[0] & 1;
    const auto logoSize = static_cast<int32_t>(uint32_t(data[1]) | uint32_t(data[2]) << 8 |
                                               uint32_t(data[3]) << 16 | uint32_t(data[4]) << 24);
    const int32_t logoWidth = data[5] | data[6] << 8;
    const QByteArray rest(reinterpret_cast<const char*>(data + 7),
                          static_cast<qsizetype>(size - 7));

    QList<QByteArray> pictures;
    if (list) {
        static const QByteArray separator("\0LOGO\0", 6);
        qsizetype from = 0;
        for (qsizetype at; (at = rest.indexOf(separator, from)) >= 0; from = at + separator.size())
            pictures.append(rest.mid(from, at - from));
        pictures.append(rest.mid(from));
    } else {
        pictures.append(rest);
    }
    QStringList files;
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        if (pictures[i] == "-")
            files.append(FuzzFolder() + QStringLiteral("/missing.bmp"));
        else
            files.append(WriteFuzzFile(QStringLiteral("logo%1.bmp").arg(i), pictures[i]));
    }

    // In memory and from a file, a picture converts the same.
    for (qsizetype i = 0; i < pictures.size() && i < 4; ++i) {
        if (pictures[i] == "-")
            continue;
        TLogoConverter converter;
        const TLogoRecord fromFile = converter.Convert(files[i], logoWidth, logoSize);
        const TLogoRecord inMemory = ConvertLogoPicture(pictures[i], logoWidth, logoSize);
        FUZZ_CHECK(fromFile.FOk == inMemory.FOk && fromFile.FRecord == inMemory.FRecord &&
                   fromFile.FMessage == inMemory.FMessage);
    }

    const TLogoBuild build = BuildLogoImage(files, logoSize, logoWidth);
    const QByteArray& image = build.FImage;
    FUZZ_CHECK(image.size() >= 3 && image.startsWith("\xAA\xDD"));
    FUZZ_CHECK(uint8_t(image[2]) == (files.size() & 0xFF));
    const int records = CountRecords(image, files);
    FUZZ_CHECK(records >= 0);
    if (build.FOk) {
        FUZZ_CHECK(records == files.size());
        // The walker the page and nuvctl read images with finds the same records.
        const auto walked = LogoImageRecords(image);
        FUZZ_CHECK(files.size() > 255 || (walked && walked->size() == files.size()));
        FUZZ_CHECK(files.isEmpty() || image.size() <= logoSize);
        FUZZ_CHECK(build.FMessage.isEmpty());
    } else {
        FUZZ_CHECK(records < files.size());
        FUZZ_CHECK(build.FDecodeError || Messages.contains(build.FMessage));
    }
    (void)LogoSpaceText(image.size(), logoSize);
    return 0;
}
