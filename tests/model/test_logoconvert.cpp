// Logo picture conversion without the window: our bitmap reader against Qt's on generated
// files, refusals decided from the header, run-length skips, repeatability across processes,
// the conversion cache and the record preview.

#include "BmpFile.h"
#include "Files.h"
#include "LogoImage.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cstdio>
#include <sys/resource.h>

namespace {

// What the old conversion through QImage gives; the reference for well-formed files.
TLogoRecord QtRecord(const QByteArray& bytes) {
    QImage picture;
    TLogoRecord r;
    if (!picture.loadFromData(bytes, "BMP"))
        return r;
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();
    const int left = w % 8 ? (8 - w % 8) / 2 : 0;
    const int top = h % 8 ? (8 - h % 8) / 2 : 0;
    const int rowBytes = (w + 7) / 8;
    const int rows = (h + 7) / 8 * 8;
    r.FRecord = QByteArray(4 + rows * rowBytes, '\0');
    r.FRecord[0] = char(rowBytes);
    r.FRecord[1] = char(rowBytes >> 8);
    r.FRecord[2] = char(rows / 8);
    r.FRecord[3] = char(rows / 8 >> 8);
    for (int y = 0; y < h; ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        char* row = r.FRecord.data() + 4 + (top + y) * rowBytes;
        for (int x = 0; x < w; ++x) {
            if (qBlue(pixels[x]) < 0x80)
                row[(x + left) / 8] = char(row[(x + left) / 8] | 0x80 >> ((x + left) % 8));
        }
    }
    r.FOk = true;
    return r;
}

// Well-formed run-length rows covering every pixel: encoded and absolute runs, end of line.
QByteArray RleStream(QRandomGenerator& rng, int width, int height, bool rle4) {
    QByteArray s;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width;) {
            const int left = std::min(width - x, 255);
            int n = 0;
            if (left >= 3 && rng.bounded(2)) {
                n = rng.bounded(3, left + 1);
                const int bytes = rle4 ? (n + 1) / 2 : n;
                s.append('\0').append(char(n));
                for (int i = 0; i < bytes; ++i)
                    s.append(char(rng.bounded(256)));
                if (bytes % 2)
                    s.append('\0');
            } else {
                n = rng.bounded(1, left + 1);
                s.append(char(n)).append(char(rng.bounded(256)));
            }
            x += n;
        }
        s.append('\0').append('\0');
    }
    return s.append('\0').append('\1');
}

QRgb RandomColour(QRandomGenerator& rng) {
    static const int edges[] = {0, 127, 128, 255};
    const int blue = rng.bounded(3) ? rng.bounded(256) : edges[rng.bounded(4)];
    return qRgb(rng.bounded(256), rng.bounded(256), blue);
}

// A random picture of the given kind: odd sizes, short palettes, random pixel bytes.
TBmpFile RandomBmp(QRandomGenerator& rng, int header, int bits, int compression, bool topDown,
                   TMasks masks) {
    TBmpFile f;
    f.FHeader = header;
    f.FBits = bits;
    f.FCompression = compression;
    f.FWidth = rng.bounded(1, 71);
    const int height = rng.bounded(1, 21);
    f.FHeight = topDown ? -height : height;
    f.FMasks = masks;
    if (bits <= 8) {
        const int full = 1 << bits;
        const int count = header == 12 ? full : rng.bounded(1, full + 1);
        for (int i = 0; i < count; ++i)
            f.FPalette << RandomColour(rng);
        f.FColoursUsed = count == full && rng.bounded(2) ? 0 : uint32_t(count);
    }
    if (compression == 1 || compression == 2) {
        f.FData = RleStream(rng, f.FWidth, height, compression == 2);
    } else {
        f.FData.resize(Stride(f.FWidth, bits) * height);
        for (char& c : f.FData)
            c = char(rng.bounded(256));
    }
    return f;
}

// A small picture from explicit rows of palette indices, bottom-up, 8 bits a pixel.
TBmpFile Indexed(int width, const QList<QByteArray>& bottomUp, QList<QRgb> palette) {
    TBmpFile f;
    f.FBits = 8;
    f.FWidth = width;
    f.FHeight = int32_t(bottomUp.size());
    f.FPalette = palette;
    f.FColoursUsed = uint32_t(palette.size());
    for (const QByteArray& row : bottomUp)
        f.FData += row.leftJustified(Stride(width, 8), '\0');
    return f;
}

TBmpFile Rle(int bits, int width, int height, const QByteArray& stream, QList<QRgb> palette) {
    TBmpFile f;
    f.FBits = bits;
    f.FCompression = bits == 8 ? 1 : 2;
    f.FWidth = width;
    f.FHeight = height;
    f.FPalette = palette;
    f.FColoursUsed = uint32_t(palette.size());
    f.FData = stream;
    return f;
}

const QRgb Black = qRgb(0, 0, 0);
const QRgb White = qRgb(255, 255, 255);
const QString NotValid = QStringLiteral("Bitmap image is not valid");

// The tall picture: 576 x 60000, 24 bits, dark where (7x + 3y) mod 11 < 4.
constexpr int TallWidth = 576;
constexpr int TallHeight = 60000;
bool TallDark(int x, int y) {
    return (x * 7 + y * 3) % 11 < 4;
}

bool WriteTall(const QString& path) {
    TBmpFile f;
    f.FWidth = TallWidth;
    f.FHeight = TallHeight;
    QByteArray header = Bytes(f);
    const uint32_t size = uint32_t(header.size()) + TallWidth * 3 * TallHeight;
    for (int i = 0; i < 4; ++i)
        header[2 + i] = char(size >> (8 * i));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(header) != header.size())
        return false;
    QByteArray row(TallWidth * 3, '\0');
    for (int y = TallHeight - 1; y >= 0; --y) {
        for (int x = 0; x < TallWidth; ++x) {
            row[3 * x] = char(TallDark(x, y) ? 40 : 200);
            row[3 * x + 1] = char(x ^ y);
            row[3 * x + 2] = char(x + y);
        }
        if (file.write(row) != row.size())
            return false;
    }
    return true;
}

QByteArray TallImage() {
    QByteArray image = Hex("AA DD 01 48 00 4C 1D"); // B = 72, 7500 bands
    image.append(QByteArray(TallHeight * TallWidth / 8, '\0'));
    char* rows = image.data() + 7;
    for (int y = 0; y < TallHeight; ++y) {
        for (int x = 0; x < TallWidth; ++x) {
            if (TallDark(x, y))
                rows[y * 72 + x / 8] = char(rows[y * 72 + x / 8] | 0x80 >> (x % 8));
        }
    }
    return image;
}

QString Outcome(const TLogoBuild& build) {
    if (!build.FOk)
        return "FAIL " + build.FMessage;
    return "OK " + QCryptographicHash::hash(build.FImage, QCryptographicHash::Sha256).toHex();
}

// Child mode: build a one-entry list in a fresh process with little memory to spare and print
// the outcome. Sanitizers reserve address space of their own, so they keep no such cap.
int ConvertInChild(char** argv) {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmData:")) {
                const rlim_t used = rlim_t(line.mid(7).trimmed().split(' ').value(0).toLongLong());
                rlimit limit{};
                getrlimit(RLIMIT_DATA, &limit);
                limit.rlim_cur = used * 1024 + (64 << 20);
                setrlimit(RLIMIT_DATA, &limit);
            }
        }
    }
#endif
    const TLogoBuild build =
        BuildLogoImage({QString::fromLocal8Bit(argv[2])}, atoi(argv[4]), atoi(argv[3]));
    std::fputs(Outcome(build).toUtf8().constData(), stdout);
    return 0;
}

} // namespace

class TestLogoConvert : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;

    QString Save(const QString& name, const QByteArray& bytes) {
        QFile file(FDir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QString();
        return file.fileName();
    }

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    // Every depth, compression and header Qt reads, both orientations: our records equal
    // those from QImage.
    void sameRecordsAsQt_data() {
        QTest::addColumn<int>("header");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("compression");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<TMasks>("masks");
        struct TKind {
            const char* FName;
            int FBits, FCompression;
            TMasks FMasks;
        };
        const TKind kinds[] = {
            {"1", 1, 0, {}},
            {"4", 4, 0, {}},
            {"8", 8, 0, {}},
            {"16", 16, 0, {}},
            {"24", 24, 0, {}},
            {"32", 32, 0, {}},
            {"rle8", 8, 1, {}},
            {"rle4", 4, 2, {}},
            {"16 565", 16, 3, {0xF800, 0x07E0, 0x001F, 0}},
            {"16 555", 16, 3, {0x7C00, 0x03E0, 0x001F, 0}},
            {"16 4444", 16, 3, {0x000F, 0x00F0, 0x0F00, 0xF000}},
            {"16 blue outside", 16, 3, {0xF800, 0x07E0, 0x1F0000, 0}},
            {"32 888 alpha", 32, 3, {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000}},
            {"32 no blue", 32, 3, {0xFF0000, 0x00FF00, 0, 0}},
            {"32 top blue", 32, 3, {0xFF, 0xFF00, 0xFF000000, 0}},
        };
        for (int header : {12, 40, 64, 108, 124}) {
            for (const TKind& k : kinds) {
                const bool rle = k.FCompression == 1 || k.FCompression == 2;
                for (bool topDown : {false, true}) {
                    // Core headers: no compression, no orientation; run-length data is bottom-up.
                    if ((header == 12 && (k.FCompression || topDown)) || (rle && topDown))
                        continue;
                    QTest::addRow("%d %s%s", header, k.FName, topDown ? " top-down" : "")
                        << header << k.FBits << k.FCompression << topDown << k.FMasks;
                }
            }
        }
    }

    void sameRecordsAsQt() {
        QFETCH(int, header);
        QFETCH(int, bits);
        QFETCH(int, compression);
        QFETCH(bool, topDown);
        QFETCH(TMasks, masks);
        QRandomGenerator rng(qChecksum(QByteArrayView(QTest::currentDataTag())));
        for (int i = 0; i < 12; ++i) {
            TBmpFile f = RandomBmp(rng, header, bits, compression, topDown, masks);
            // Data placed over the palette, and data after a gap.
            if (i == 10)
                f.FOffset = 0;
            if (i == 11)
                f.FGap = 6;
            const QByteArray bytes = Bytes(f);
            const TLogoRecord qt = QtRecord(bytes);
            QVERIFY2(qt.FOk, "Qt refused a generated file");
            const TLogoRecord ours = ConvertLogoPicture(bytes, 384, 1 << 20);
            QVERIFY2(ours.FOk, qPrintable(ours.FMessage));
            QVERIFY2(ours.FRecord == qt.FRecord, qPrintable(QStringLiteral("%1 x %2, file %3")
                                                                .arg(f.FWidth)
                                                                .arg(f.FHeight)
                                                                .arg(QString(bytes.toHex()))));
        }
    }

    // Blue masks spanning more than 8 bits: their top bit decides, as in Qt's later readers
    // (Qt 6.4's integer scale makes every such blue 0, so every pixel a dot).
    void wideBlueMasks_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<uint32_t>("blueMask");
        QTest::addColumn<QList<uint32_t>>("pixels");
        QTest::addColumn<int>("dots"); // the four pixels, leftmost in bit 3
        QTest::newRow("10-10-10") << 32 << 0x3FFu
                                  << QList<uint32_t>{0x1FF, 0x200, 0x3FF, 0xFFFFFC00} << 0b1001;
        QTest::newRow("16-bit, 10 bits")
            << 16 << 0xFFC0u << QList<uint32_t>{0x7FFF, 0x8000, 0, 0xFFFF} << 0b1010;
        QTest::newRow("in two pieces")
            << 32 << 0x00F0F000u << QList<uint32_t>{0x007FFFFF, 0x00800000, 0x00F0F000, 0}
            << 0b1001;
    }

    void wideBlueMasks() {
        QFETCH(int, bits);
        QFETCH(uint32_t, blueMask);
        QFETCH(QList<uint32_t>, pixels);
        QFETCH(int, dots);
        TBmpFile f;
        f.FBits = bits;
        f.FCompression = 3;
        f.FWidth = 4;
        f.FMasks = {0, 0, blueMask, 0};
        for (uint32_t p : pixels)
            Put(f.FData, p, bits / 8);
        const TLogoRecord r = ConvertLogoPicture(Bytes(f), 384, 1 << 20);
        QVERIFY(r.FOk);
        // 2 blank columns on the left, 3 blank rows on top.
        QCOMPARE(r.FRecord.toHex(' '), Hex("01 00 01 00 00 00 00 00 00 00 00 00")
                                           .replace(4 + 3, 1, QByteArray(1, char(dots << 2)))
                                           .toHex(' '));
    }

    // Headers Qt cannot read: the masks stand inside V2 and V3 headers as in V4.
    void masksInsideV2AndV3Headers() {
        QRandomGenerator rng(7);
        const TMasks m565{0xF800, 0x07E0, 0x001F, 0};
        TBmpFile f = RandomBmp(rng, 108, 16, 3, false, m565);
        const QByteArray expected = QtRecord(Bytes(f)).FRecord;
        QVERIFY(!expected.isEmpty());
        for (int header : {52, 56}) {
            f.FHeader = header;
            QCOMPARE(ConvertLogoPicture(Bytes(f), 384, 1 << 20).FRecord, expected);
        }
    }

    // Files are read in chunks: rows and runs of a large one straddle the chunks.
    void fileAndMemoryAgree() {
        QRandomGenerator rng(11);
        TBmpFile plain = RandomBmp(rng, 40, 24, 0, false, {});
        plain.FWidth = 1001;
        plain.FHeight = 300;
        plain.FData.resize(Stride(1001, 24) * 300);
        for (char& c : plain.FData)
            c = char(rng.bounded(256));
        TBmpFile rle8 = RandomBmp(rng, 40, 8, 1, false, {});
        rle8.FWidth = 3000;
        rle8.FHeight = 300;
        rle8.FData = RleStream(rng, 3000, 300, false);
        TBmpFile rle4 = RandomBmp(rng, 40, 4, 2, false, {});
        rle4.FWidth = 4000;
        rle4.FHeight = 400;
        rle4.FData = RleStream(rng, 4000, 400, true);
        int n = 0;
        for (const TBmpFile& f : {plain, rle8, rle4}) {
            const QByteArray bytes = Bytes(f);
            QVERIFY(bytes.size() > 300000);
            const QString path = Save(QString("big%1.bmp").arg(n++), bytes);
            TLogoConverter converter;
            const TLogoRecord fromFile = converter.Convert(path, 4000, 1 << 30);
            QVERIFY2(fromFile.FOk, qPrintable(fromFile.FMessage));
            QCOMPARE(fromFile.FRecord, ConvertLogoPicture(bytes, 4000, 1 << 30).FRecord);
            QCOMPARE(fromFile.FRecord, QtRecord(bytes).FRecord);
        }
    }

    // Refusals, their messages and their order.
    void refusals_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<QString>("message");

        TBmpFile ok;
        ok.FWidth = 20;
        ok.FHeight = 10;
        ok.FData = QByteArray(Stride(20, 24) * 10, '\x7F');
        const QByteArray good = Bytes(ok);
        const auto patched = [&good](int at, uint32_t value, int bytes = 4) {
            QByteArray b = good;
            for (int i = 0; i < bytes; ++i)
                b[at + i] = char(value >> (8 * i));
            return b;
        };
        const auto with = [&ok](auto change) {
            TBmpFile f = ok;
            change(f);
            return Bytes(f);
        };
        const QString invalid = QStringLiteral("Picture invalid");

        QTest::newRow("fine") << good << 384 << qint64(1 << 20) << QString();
        QTest::newRow("not BM") << QByteArray("BA" + good.mid(2)) << 384 << qint64(1 << 20)
                                << NotValid;
        QTest::newRow("text") << QByteArray("not a picture") << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("header size 20") << patched(14, 20) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("two planes") << patched(26, 2, 2) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("0 bits") << patched(28, 0, 2) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("2 bits") << patched(28, 2, 2) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("jpeg inside") << patched(30, 4) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("png inside") << patched(30, 5) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("rle8 at 24 bits") << patched(30, 1) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("negative width")
            << patched(18, uint32_t(-20)) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("width 0") << patched(18, 0) << 384 << qint64(1 << 20) << invalid;
        QTest::newRow("height 0") << patched(22, 0) << 384 << qint64(1 << 20) << invalid;
        QTest::newRow("too wide") << good << 19 << qint64(1 << 20) << invalid;
        // 20 x 10: B = 3, 16 rows.
        QTest::newRow("fills the room") << good << 384 << qint64(4 + 48) << QString();
        QTest::newRow("a byte over") << good << 384 << qint64(4 + 47) << QString("ERROR");
        QTest::newRow("too many colours") << with([](TBmpFile& f) {
            f.FBits = 8;
            f.FPalette = QList<QRgb>(300, White);
            f.FColoursUsed = 300;
            f.FData = QByteArray(Stride(20, 8) * 10, '\0');
        }) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("palette past the end") << with([](TBmpFile& f) {
            f.FBits = 8;
            f.FPalette = QList<QRgb>(16, White);
            f.FColoursUsed = 200;
            f.FData.clear();
        }) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("top-down rle")
            << with([](TBmpFile& f) { f = Rle(8, 20, -10, Hex("00 01"), {Black}); }) << 384
            << qint64(1 << 20) << NotValid;
        QTest::newRow("pixel data cut")
            << good.left(good.size() / 3) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("one byte short") << good.chopped(1) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("offset past the end")
            << patched(10, uint32_t(good.size() + 1)) << 384 << qint64(1 << 20) << NotValid;
        QTest::newRow("offset at the end")
            << patched(10, uint32_t(good.size())) << 384 << qint64(1 << 20) << NotValid;
        // Not a bitmap comes before the picture's own limits.
        QTest::newRow("cut and too wide") << good.chopped(1) << 19 << qint64(0) << NotValid;
        QTest::newRow("run-length data cut")
            << Bytes(Rle(8, 4, 3, Hex("04 01 00 00 02 01"), {Black, White})) << 384
            << qint64(1 << 20) << NotValid;
        QTest::newRow("run stops mid-command")
            << Bytes(Rle(8, 4, 1, Hex("04"), {Black})) << 384 << qint64(1 << 20) << NotValid;

        // 30000 x 30000 claimed in 100 bytes: refused from the header whatever the limits.
        TBmpFile huge;
        huge.FWidth = 30000;
        huge.FHeight = 30000;
        huge.FData = QByteArray(46, '\0');
        QCOMPARE(Bytes(huge).size(), 100);
        QTest::newRow("huge header") << Bytes(huge) << 30000 << qint64(INT32_MAX) << NotValid;
        // Run-length data may skip any number of pixels, so only the limits refuse these.
        QTest::newRow("huge rle too wide") << Bytes(Rle(8, 30000, 30000, Hex("00 01"), {Black}))
                                           << 384 << qint64(INT32_MAX) << invalid;
        QTest::newRow("huge rle never fits") << Bytes(Rle(8, 16384, 500000, Hex("00 01"), {Black}))
                                             << 16384 << qint64(65536) << QString("ERROR");
        QTest::newRow("more than 65535 bands")
            << Bytes(Rle(8, 8, 65535 * 8 + 1, Hex("00 01"), {White})) << 384 << qint64(INT32_MAX)
            << invalid;
    }

    void refusals() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, width);
        QFETCH(qint64, room);
        QFETCH(QString, message);
        const TLogoRecord r = ConvertLogoPicture(bytes, width, room);
        QCOMPARE(r.FOk, message.isEmpty());
        QCOMPARE(r.FMessage, message);
        QCOMPARE(r.FDecodeError, message == NotValid);
        QVERIFY(r.FOk || r.FRecord.isEmpty());
    }

    // Pixels that run-length data skips are palette entry 0 (black here, so a dot).
    void runLengthSkips_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("record");
        // 5 x 4, bottom row first: two white, delta (+1, +1), one white, end of line, end.
        QTest::newRow("rle8 delta, end of line, end of bitmap")
            << Bytes(Rle(8, 5, 4, Hex("02 01 00 02 01 01 01 01 00 00 00 01"), {Black, White}))
            << Hex("01 00 01 00  00 00 7C 7C 74 1C 00 00");
        // 6 x 2: four white, end of line, an absolute run of entries 1 2 3, end of bitmap.
        QTest::newRow("rle4 absolute run then end of bitmap")
            << Bytes(Rle(4, 6, 2, Hex("04 11 00 00 00 03 12 30 00 01"),
                         {Black, White, qRgb(0, 0, 200), qRgb(255, 255, 100)}))
            << Hex("01 00 01 00  00 00 00 1E 06 00 00 00");
        // A delta past the edges stops at the last column and row; data may stop once the
        // last pixel is reached.
        QTest::newRow("delta clamped, no end marker")
            << Bytes(Rle(8, 3, 2, Hex("00 02 09 09 01 01"), {White, Black}))
            << Hex("01 00 01 00  00 00 00 08 00 00 00 00");
    }

    void runLengthSkips() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, record);
        const TLogoRecord r = ConvertLogoPicture(bytes, 384, 1 << 20);
        QVERIFY2(r.FOk, qPrintable(r.FMessage));
        QCOMPARE(r.FRecord.toHex(' '), record.toHex(' '));
    }

    // The same file gives the same outcome in two fresh processes, each with 64 MB to spare:
    // nothing is read from memory left uninitialised, and nothing huge is allocated.
    void sameInFreshProcesses_data() {
        QTest::addColumn<QByteArray>("bytes"); // empty: the tall picture
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("image"); // empty: refused with `message`
        QTest::addColumn<QString>("message");

        TBmpFile cut = Indexed(16, QList<QByteArray>(40, QByteArray(16, '\1')), {Black, White});
        QTest::newRow("truncated")
            << Bytes(cut).left(400) << 384 << 65536 << QByteArray() << NotValid;
        cut.FOffset = 1 << 20;
        QTest::newRow("offset past the end")
            << Bytes(cut) << 384 << 65536 << QByteArray() << NotValid;
        QTest::newRow("rle skips")
            << Bytes(Rle(8, 5, 4, Hex("02 01 00 02 01 01 01 01 00 00 00 01"), {Black, White}))
            << 384 << 65536 << Hex("AA DD 01 01 00 01 00 00 00 7C 7C 74 1C 00 00") << QString();
        TBmpFile huge;
        huge.FWidth = 30000;
        huge.FHeight = 30000;
        huge.FData = QByteArray(46, '\0');
        QTest::newRow("huge header")
            << Bytes(huge) << 30000 << INT32_MAX << QByteArray() << NotValid;
        QTest::newRow("huge rle never fits") << Bytes(Rle(8, 16384, 500000, Hex("00 01"), {Black}))
                                             << 16384 << 65536 << QByteArray() << QString("ERROR");
        QTest::newRow("576 x 60000")
            << QByteArray() << TallWidth << 3 + 4 + 72 * TallHeight << TallImage() << QString();
    }

    void sameInFreshProcesses() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, width);
        QFETCH(int, size);
        QFETCH(QByteArray, image);
        QFETCH(QString, message);
        const QString path = FDir.filePath("fresh.bmp");
        QFile::remove(path);
        if (bytes.isEmpty())
            QVERIFY(WriteTall(path));
        else
            QCOMPARE(Save("fresh.bmp", bytes), path);

        TLogoBuild expected;
        expected.FOk = !image.isEmpty();
        expected.FImage = image;
        expected.FMessage = message;
        QStringList outcomes;
        for (int run = 0; run < 2; ++run) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--convert", path, QString::number(width), QString::number(size)});
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
            outcomes << QString::fromUtf8(child.readAllStandardOutput());
        }
        QCOMPARE(outcomes[0], Outcome(expected));
        QCOMPARE(outcomes[1], outcomes[0]);
        QFile::remove(path);
    }

    // Rebuilding reads only files that changed; results follow the file, WIDTH and room.
    void converterCache() {
        const QString a = Save("a.bmp", Bytes(Indexed(1, {QByteArray(1, '\0')}, {Black})));
        TBmpFile wider = Indexed(9, {QByteArray(9, '\0')}, {Black});
        const QString b = Save("b.bmp", Bytes(wider));
        const QString text = Save("c.bmp", "not a picture");
        const QStringList list{a, b, a};
        const TLogoBuild plain = BuildLogoImage(list, 65536, 384);
        QVERIFY(plain.FOk);
        QCOMPARE(plain.FImage.size(), 3 + 12 + 20 + 12);

        TLogoConverter cache;
        QCOMPARE(BuildLogoImage(list, 65536, 384, &cache).FImage, plain.FImage);
        QCOMPARE(cache.Reads(), 2); // the repeated entry is not read twice
        QCOMPARE(BuildLogoImage(list, 65536, 384, &cache).FImage, plain.FImage);
        QCOMPARE(cache.Reads(), 2);

        // Room is checked on every build, and a lack of it is not remembered.
        const TLogoBuild tight = BuildLogoImage(list, 3 + 12 + 20, 384, &cache);
        QCOMPARE(tight.FMessage, QString("ERROR"));
        QCOMPARE(tight.FImage.size(), 3 + 12 + 20);
        QCOMPARE(cache.Reads(), 2);

        // A changed file is read again, however its time stamp moves.
        wider.FPalette = {White};
        QVERIFY(!Save("b.bmp", Bytes(wider)).isEmpty());
        QFile stamp(b);
        QVERIFY(stamp.open(QIODevice::ReadWrite));
        QVERIFY(stamp.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                  QFileDevice::FileModificationTime));
        stamp.close();
        TLogoBuild changed = BuildLogoImage(list, 65536, 384, &cache);
        QCOMPARE(cache.Reads(), 3);
        QCOMPARE(changed.FImage, BuildLogoImage(list, 65536, 384).FImage);
        QVERIFY(changed.FImage != plain.FImage);

        // WIDTH is part of the key; failures are remembered too.
        QCOMPARE(BuildLogoImage(list, 65536, 8, &cache).FMessage, QString("Picture invalid"));
        QCOMPARE(cache.Reads(), 5);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(BuildLogoImage({text}, 65536, 384, &cache).FMessage, NotValid);
        QCOMPARE(cache.Reads(), 6);

        // Files gone from the list are forgotten; a missing file is "ERROR" however cached.
        QVERIFY(BuildLogoImage({a}, 65536, 384, &cache).FOk);
        QCOMPARE(cache.Reads(), 7);
        QVERIFY(QFile::remove(a));
        QCOMPARE(BuildLogoImage({a}, 65536, 384, &cache).FMessage, QString("ERROR"));
    }

    void preview() {
        TBmpFile f = Indexed(10, {}, {White, Black});
        f.FHeight = 3;
        f.FData = QByteArray(Stride(10, 8) * 3, '\0');
        f.FData[2 * Stride(10, 8)] = 1; // top-left (rows stored bottom-up)
        f.FData[9] = 1;                 // bottom-right
        const QByteArray record = ConvertLogoPicture(Bytes(f), 384, 1 << 20).FRecord;
        const auto shape = LogoRecordShape(record);
        QVERIFY(shape);
        QCOMPARE(shape->FBytesPerRow, 2);
        QCOMPARE(shape->FBands, 1);
        const QImage image = LogoRecordImage(record);
        QCOMPARE(image.size(), QSize(16, 8));
        // 3 blank columns on the left, 2 blank rows on top.
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 16; ++x) {
                const bool dot = (x == 3 && y == 2) || (x == 12 && y == 4);
                QCOMPARE(image.pixel(x, y), dot ? Black : White);
            }
        }
        for (const QByteArray& bad : {QByteArray(), record.chopped(1), record + '\0',
                                      Hex("00 00 01 00") + QByteArray(8, '\0')}) {
            QVERIFY(!LogoRecordShape(bad));
            QVERIFY(LogoRecordImage(bad).isNull());
        }
        // The walker takes an image only when its count and its records add up exactly.
        const QByteArray two = Hex("AA DD 02") + record + record;
        const auto records = LogoImageRecords(two);
        QVERIFY(records);
        QCOMPARE(records->size(), 2);
        QCOMPARE(records->at(1).Size(), record.size());
        QCOMPARE(QSize(records->at(1).Width(), records->at(1).Height()), QSize(16, 8));
        for (const QByteArray& bad : {Hex("AA DD 03") + record + record, two.chopped(1), two + '\0',
                                      Hex("AA DC 02") + record + record, Hex("AA DD")})
            QVERIFY(!LogoImageRecords(bad));
    }
};

int main(int argc, char** argv) {
    if (argc == 5 && qstrcmp(argv[1], "--convert") == 0)
        return ConvertInChild(argv);
    QCoreApplication app(argc, argv);
    TestLogoConvert test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_logoconvert.moc"
