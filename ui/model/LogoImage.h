#pragma once

// The printer's logo memory image: a header (AA DD, entry count) followed by one one-bit raster
// record per picture. Pure conversion, usable without the window.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

struct TLogoBuild {
    QByteArray FImage; // on failure: the header and the records before the failing entry
    bool FOk = true;
    QString FMessage;          // what to show when FOk is false
    bool FDecodeError = false; // FMessage is the decoder's error rather than our own
};

// Rows wider than this many dots are refused whatever the WIDTH setting says.
constexpr int32_t MaxLogoDots = 16384;
// The entry count is one byte.
constexpr int MaxLogoEntries = 255;

// Converts each file (decoded as a Windows bitmap, whatever its extension) in list order.
// A pixel is a dot when its blue component is below 128. Stops at the first entry that is
// missing ("ERROR"), not a bitmap ("Bitmap image is not valid"), empty, wider than logoWidth
// or too tall for the record format ("Picture invalid"), or whose record would take the image
// past logoSize bytes ("ERROR").
TLogoBuild BuildLogoImage(const QStringList& files, int32_t logoSize, int32_t logoWidth);

// "SPACE: %d,%03d Used, %d,%03d Free" for an image of `used` bytes in `logoSize` bytes.
QString LogoSpaceText(int64_t used, int32_t logoSize);
