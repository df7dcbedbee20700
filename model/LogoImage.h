#pragma once

// The printer's logo memory image: a header (AA DD, entry count) followed by one one-bit raster
// record per picture. Pure conversion, usable without the window.

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The refusal of a picture the printer cannot take as a logo.
inline const QString PictureInvalidText = QStringLiteral("Picture invalid");

struct TLogoBuild {
    QByteArray FImage; // on failure: the header and the records before the failing entry
    bool FOk = true;
    QString FMessage;          // what to show when FOk is false
    QString FDetail;           // why, in figures; may be empty
    bool FDecodeError = false; // FMessage is the decoder's error rather than our own
};

// One picture's record (B, bands, raster rows) or why there is none.
struct TLogoRecord {
    QByteArray FRecord;
    bool FOk = false;
    QString FMessage;
    QString FDetail;
    bool FDecodeError = false;
};

// The image begins AA DD and the entry count; each record its bytes per row and band count,
// 16 bits each, little-endian.
constexpr int64_t LogoImageHeadBytes = 3;
constexpr int64_t LogoRecordHeadBytes = 4;

// Rows wider than this many dots are refused whatever the WIDTH setting says.
constexpr int32_t MaxLogoDots = 16384;
// The entry count is one byte.
constexpr int MaxLogoEntries = 255;

// Converts a Windows bitmap held in memory. Refuses, in this order: what is not a bitmap or
// lacks pixel data ("Bitmap image is not valid", a decoder error); a picture that is empty,
// wider than logoWidth or too tall for the record ("Picture invalid"); a record longer than
// roomLeft bytes ("ERROR"). Everything but run-length data is judged from the header, before
// the record is allocated. A pixel is a dot when its blue component is below 128.
TLogoRecord ConvertLogoPicture(const QByteArray& fileBytes, int32_t logoWidth, int64_t roomLeft);

// Converts picture files, keeping each result (but a lack of room) until the file's size or
// modification time or the width changes, so that rebuilding a list reads only what changed.
class TLogoConverter {
public:
    // As ConvertLogoPicture for the file at path; a path that is not a file is "ERROR".
    TLogoRecord Convert(const QString& path, int32_t logoWidth, int64_t roomLeft);
    // Forgets every file not in paths.
    void Retain(const QStringList& paths);
    // How many times a file was opened and read.
    int Reads() const { return FReads; }

private:
    struct TEntry {
        int64_t FSize = 0;
        int64_t FModified = 0;
        int32_t FWidth = 0;
        TLogoRecord FResult;
    };
    QHash<QString, TEntry> FEntries;
    int FReads = 0;
};

// Converts each file (decoded as a Windows bitmap, whatever its extension) in list order.
// Stops at the first entry that is missing ("ERROR") or that ConvertLogoPicture refuses, its
// room being what logoSize leaves after the records before it. With a converter, files
// unchanged since its last build are not read again.
TLogoBuild BuildLogoImage(const QStringList& files, int32_t logoSize, int32_t logoWidth,
                          TLogoConverter* converter = nullptr);

// "SPACE: %d,%03d Used, %d,%03d Free" for an image of `used` bytes in `logoSize` bytes.
QString LogoSpaceText(int64_t used, int32_t logoSize);

// A record's shape: bytes per row and bands of eight rows, so the dots it prints, margins
// included.
struct TLogoRecordShape {
    int FBytesPerRow = 0;
    int FBands = 0;
    int Width() const { return FBytesPerRow * 8; }
    int Height() const { return FBands * 8; }
    int64_t Size() const { return LogoRecordHeadBytes + int64_t(FBytesPerRow) * FBands * 8; }
};

// Walks a logo image: the shape of each record in order. nullopt unless the image is whole:
// its header, as many non-empty records as it counts, each complete, and nothing after them.
std::optional<QList<TLogoRecordShape>> LogoImageRecords(const QByteArray& image);

// One record alone: its shape, or nullopt unless it is whole and non-empty.
std::optional<TLogoRecordShape> LogoRecordShape(const QByteArray& record);

// The record as a picture, black dots on white (Format_Mono), at the left of a strip at least
// paperWidth dots wide; a null image when the record is not whole.
QImage LogoRecordImage(const QByteArray& record, int paperWidth = 0);
