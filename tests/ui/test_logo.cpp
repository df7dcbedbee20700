// NVRAM page: the logo image conversion, the list actions, the space line and the download.

#include "LogoImage.h"
#include "PrinterSim.h"
#include "UiTestRig.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {

// Bits per pixel as written in the bitmap's header.
int BmpBits(const QString& path) {
    const QByteArray b = ReadFile(path);
    return b.size() < 30 ? -1 : uint8_t(b[28]) | uint8_t(b[29]) << 8;
}

QImage Rgb(int w, int h, QColor fill = Qt::white) {
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(fill);
    return image;
}

// Two-colour picture: index 0 everywhere, colours from the palette given.
QImage Mono(int w, int h, QRgb colour0, QRgb colour1) {
    QImage image(w, h, QImage::Format_Mono);
    image.setColorTable({colour0, colour1});
    image.fill(0);
    return image;
}

// A 24-bit bitmap header for a picture with no pixel data.
QByteArray EmptyBmp(int32_t width, int32_t height) {
    QByteArray b(54, '\0');
    const auto put32 = [&b](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    b[26] = 1;
    b[28] = 24;
    return b;
}

// The record a picture should give: B, bands, then rows (top margin, picture, bottom).
QByteArray Record(int rowBytes, const QList<QByteArray>& rows) {
    QByteArray r;
    r.append(char(rowBytes & 0xFF)).append(char(rowBytes >> 8));
    r.append(char((rows.size() / 8) & 0xFF)).append(char((rows.size() / 8) >> 8));
    for (const QByteArray& row : rows)
        r += row;
    return r;
}

} // namespace

class TestLogo : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FDir;
    QString FPath;         // with trailing slash
    QStringList FPictures; // what the picture chooser "chooses" next, first first
    int FPictureDialogs = 0;

    QString Save(const QString& name, const QImage& image) {
        return SaveBitmap(FPath + name, image);
    }
    QString Black1x1(const QString& name = "dot.bmp") { return Save(name, Rgb(1, 1, Qt::black)); }
    void WriteConfig(const QByteArray& text) { QVERIFY(WriteFile(FPath + "config.ini", text)); }
    std::unique_ptr<TfrmMain> Window() {
        auto w = std::make_unique<TfrmMain>(FPath);
        w->FOpenPictureName = [this] {
            ++FPictureDialogs;
            return FPictures.isEmpty() ? QString() : FPictures.takeFirst();
        };
        return w;
    }
    static QStringList Items(const TfrmMain& w) {
        QStringList items;
        for (int i = 0; i < w.ListLogo->count(); ++i)
            items << w.ListLogo->item(i)->text();
        return items;
    }

private slots:
    void initTestCase() { InstallCaptureSeams(); }

    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FPath = FDir->path() + "/";
        QVERIFY(WriteFile(FPath + "codepage.ini", "A\r\nB"));
        FPictures.clear();
        FPictureDialogs = 0;
        Captured().Clear();
        QDir::setCurrent(QDir::tempPath());
    }

    void cleanup() { FDir.reset(); }

    void emptyListAndSpaceLine() {
        const TLogoBuild build = BuildLogoImage({}, 65536, 384);
        QVERIFY(build.FOk);
        QCOMPARE(build.FImage, Hex("AA DD 00"));
        QCOMPARE(LogoSpaceText(3, 65536), QString("SPACE: 0,003 Used, 65,533 Free"));
        QCOMPARE(LogoSpaceText(4999, 65536), QString("SPACE: 4,999 Used, 60,537 Free"));
        // No second comma above a million; Free below zero as the arithmetic gives it.
        QCOMPARE(LogoSpaceText(1234567, 2000000000),
                 QString("SPACE: 1234,567 Used, 1998765,433 Free"));
        QCOMPARE(LogoSpaceText(1001, 1000), QString("SPACE: 1,001 Used, 0,-01 Free"));
    }

    // The 1x1 black pixel in the formats that matter: 24-bit and palette pictures.
    void onePixelInEveryFormat() {
        const QByteArray expected = Hex("AA DD 01 01 00 01 00 00 00 00 10 00 00 00 00");
        const QString rgb = Black1x1();
        QCOMPARE(BmpBits(rgb), 24);
        const QString mono = Save("mono.bmp", Mono(1, 1, qRgb(0, 0, 0), qRgb(255, 255, 255)));
        QCOMPARE(BmpBits(mono), 1);
        QImage indexed(1, 1, QImage::Format_Indexed8);
        QList<QRgb> table(256, qRgb(255, 255, 255));
        table[200] = qRgb(200, 0, 0);
        indexed.setColorTable(table);
        indexed.fill(200); // dark red
        const QString eight = Save("eight.bmp", indexed);
        QCOMPARE(BmpBits(eight), 8);
        // The extension does not matter.
        const QString named = Save("picture.txt", Rgb(1, 1, Qt::black));
        for (const QString& path : {rgb, mono, eight, named}) {
            const TLogoBuild build = BuildLogoImage({path}, 65536, 384);
            QVERIFY2(build.FOk, qPrintable(path));
            QCOMPARE(build.FImage, expected);
        }
    }

    void marginsAndRecordSize() {
        // 384 x 100: B = 48, 2 blank rows on top and 2 below.
        const QString wide = Save("wide.bmp", Rgb(384, 100, Qt::black));
        TLogoBuild build = BuildLogoImage({wide}, 65536, 384);
        QVERIFY(build.FOk);
        QCOMPARE(build.FImage.size(), 4999);
        QCOMPARE(build.FImage.mid(3, 4), Hex("30 00 0D 00"));
        QCOMPARE(build.FImage.mid(7, 96), QByteArray(96, '\0'));
        QCOMPARE(build.FImage.mid(7 + 96, 4800), QByteArray(4800, '\xFF'));
        QCOMPARE(build.FImage.right(96), QByteArray(96, '\0'));

        // 100 wide: 2 blank columns left, 2 right. 5 high: 1 blank row on top, 2 below.
        build = BuildLogoImage({Save("w100.bmp", Rgb(100, 5, Qt::black))}, 65536, 384);
        QVERIFY(build.FOk);
        const QByteArray blank(13, '\0');
        const QByteArray dark = '\x3F' + QByteArray(11, '\xFF') + '\xFC';
        QCOMPARE(build.FImage.mid(3),
                 Record(13, {blank, dark, dark, dark, dark, dark, blank, blank}));

        // 383 wide: nothing on the left, 1 on the right.
        build = BuildLogoImage({Save("w383.bmp", Rgb(383, 8, Qt::black))}, 65536, 384);
        QVERIFY(build.FOk);
        const QByteArray row = QByteArray(47, '\xFF') + '\xFE';
        QCOMPARE(build.FImage.mid(3), Record(48, QList<QByteArray>(8, row)));
    }

    void widthLimits() {
        const QString w385 = Save("w385.bmp", Rgb(385, 2));
        TLogoBuild build = BuildLogoImage({w385}, 65536, 384);
        QVERIFY(!build.FOk);
        QCOMPARE(build.FMessage, QString("Picture invalid"));
        QVERIFY(!build.FDecodeError);
        QCOMPARE(build.FImage, Hex("AA DD 01"));
        QVERIFY(BuildLogoImage({w385}, 65536, 385).FOk);
        // A bitmap without pixels is a bitmap, but no picture.
        for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, 0}}) {
            const QString path = FPath + QString("empty%1.bmp").arg(w);
            QVERIFY(WriteFile(path, EmptyBmp(w, h)));
            build = BuildLogoImage({path}, 65536, 384);
            QCOMPARE(build.FMessage, QString("Picture invalid"));
        }
        // Rows wider than 2048 bytes are refused whatever WIDTH says.
        QVERIFY(BuildLogoImage({Save("w16384.bmp", Rgb(16384, 1))}, 65536, 100000).FOk);
        build = BuildLogoImage({Save("w16385.bmp", Rgb(16385, 1))}, 65536, 100000);
        QCOMPARE(build.FMessage, QString("Picture invalid"));
    }

    // More than 65535 bands cannot be described in the record.
    void tooManyBands() {
        const QString ok = Save("tall1.bmp", Mono(1, 65535 * 8, qRgb(255, 255, 255), 0));
        QVERIFY(BuildLogoImage({ok}, 1 << 30, 384).FOk);
        const QString tall = Save("tall2.bmp", Mono(1, 65535 * 8 + 1, qRgb(255, 255, 255), 0));
        const TLogoBuild build = BuildLogoImage({tall}, 1 << 30, 384);
        QVERIFY(!build.FOk);
        QCOMPARE(build.FMessage, QString("Picture invalid"));
    }

    // Only the blue component decides: below 128 is a dot.
    void dotsByBlueComponent() {
        QImage image = Rgb(8, 8);
        const QList<QColor> colours = {Qt::red,
                                       Qt::yellow,
                                       Qt::blue,
                                       QColor(127, 127, 127),
                                       QColor(128, 128, 128),
                                       QColor(255, 255, 127),
                                       QColor(0, 0, 128),
                                       Qt::white};
        for (int x = 0; x < 8; ++x)
            image.setPixelColor(x, 0, colours[x]);
        TLogoBuild build = BuildLogoImage({Save("colours.bmp", image)}, 65536, 384);
        QVERIFY(build.FOk);
        // dot, dot, blank, dot, blank, dot, blank, blank
        QCOMPARE(uint8_t(build.FImage[7]), uint8_t(0b11010100));

        // Palette entries resolved the same way: pure blue blank, red a dot.
        QImage mono = Mono(8, 1, qRgb(0, 0, 255), qRgb(255, 0, 0));
        mono.setPixel(0, 0, 1);
        mono.setPixel(7, 0, 1);
        const QString path = Save("palette.bmp", mono);
        QCOMPARE(BmpBits(path), 1);
        build = BuildLogoImage({path}, 65536, 384);
        QCOMPARE(build.FImage.mid(7 + 3, 1), Hex("81"));
    }

    void spaceCheck() {
        const QString dot = Black1x1(); // a 12-byte record
        // Header 3 + 2 records = 27.
        QVERIFY(BuildLogoImage({dot, dot}, 27, 384).FOk);
        const TLogoBuild build = BuildLogoImage({dot, dot}, 26, 384);
        QVERIFY(!build.FOk);
        QCOMPARE(build.FMessage, QString("ERROR"));
        QCOMPARE(build.FImage.size(), 15); // the first record stays
        QVERIFY(!BuildLogoImage({dot}, -1, 384).FOk);

        WriteConfig("[LOGO]\r\nSIZE=27\r\nFILE1=" + dot.toUtf8() + "\r\n");
        auto w = Window();
        FPictures = {dot, dot};
        w->actAddLogoExecute();
        QCOMPARE(w->StatusPanelText(0), QString("SPACE: 0,027 Used, 0,000 Free"));
        w->actAddLogoExecute();
        QCOMPARE(Captured().Texts(), QStringList{"ERROR"});
        QCOMPARE(w->FLogoFiles.size(), 2);
        QCOMPARE(w->StatusPanelText(0), QString("SPACE: 0,027 Used, 0,000 Free"));
    }

    void failedBuildKeepsEarlierRecords() {
        const QString dot = Black1x1();
        const QString text = FPath + "notes.bmp";
        QVERIFY(WriteFile(text, "not a picture"));
        const QByteArray first = Hex("AA DD 03 01 00 01 00 00 00 00 10 00 00 00 00");

        TLogoBuild build = BuildLogoImage({dot, FPath + "gone.bmp", dot}, 65536, 384);
        QCOMPARE(build.FMessage, QString("ERROR"));
        QCOMPARE(build.FImage, first);

        build = BuildLogoImage({dot, text, dot}, 65536, 384);
        QCOMPARE(build.FMessage, QString("Bitmap image is not valid"));
        QVERIFY(build.FDecodeError);
        QCOMPARE(build.FImage, first);

        // A folder is not a file.
        QCOMPARE(BuildLogoImage({FDir->path()}, 65536, 384).FMessage, QString("ERROR"));
    }

    void addAndDelete() {
        const QString a = Black1x1("pics/a.bmp");
        const QString b = Save("b.bmp", Rgb(16, 8, Qt::black)); // 20-byte record
        auto w = Window();
        QVERIFY(Captured().FMessages.isEmpty());
        QCOMPARE(w->FLogoImage, Hex("AA DD 00"));
        QCOMPARE(w->StatusPanelText(0), QString()); // not set at start-up
        QVERIFY(w->actAddLogo->isEnabled());
        QVERIFY(!w->actDelete->isEnabled());

        // Cancelled: nothing happens.
        w->btAddLogo->click();
        QCOMPARE(FPictureDialogs, 1);
        QVERIFY(w->FLogoFiles.isEmpty());
        QCOMPARE(w->StatusPanelText(0), QString());

        FPictures = {a, b, a};
        w->btAddLogo->click();
        w->actAddLogo->trigger();
        w->actAddLogoExecute();
        QCOMPARE(w->FLogoFiles, (QStringList{a, b, a}));
        QCOMPARE(Items(*w), (QStringList{"pics/a.bmp", "b.bmp", "pics/a.bmp"}));
        QCOMPARE(w->FLogoImage.size(), 3 + 12 + 20 + 12);
        QCOMPARE(w->FLogoImage[2], char(3));
        QCOMPARE(w->StatusPanelText(0), QString("SPACE: 0,047 Used, 65,489 Free"));
        QVERIFY(w->actDelete->isEnabled());

        // The selected entry goes; then, with nothing selected, the last one.
        w->ListLogo->setCurrentRow(0);
        w->btDeleteLogo->click();
        QCOMPARE(w->FLogoFiles, (QStringList{b, a}));
        QCOMPARE(Items(*w), (QStringList{"b.bmp", "pics/a.bmp"}));
        QCOMPARE(w->StatusPanelText(0), QString("SPACE: 0,035 Used, 65,501 Free"));
        QVERIFY(w->ListLogo->selectedItems().isEmpty());
        w->actDelete->trigger();
        QCOMPARE(w->FLogoFiles, QStringList{b});
        w->actDeleteExecute();
        QVERIFY(w->FLogoFiles.isEmpty());
        QCOMPARE(w->ListLogo->count(), 0);
        QCOMPARE(w->StatusPanelText(0), QString("SPACE: 0,003 Used, 65,533 Free"));
        QVERIFY(!w->actDelete->isEnabled());
        QVERIFY(Captured().FMessages.isEmpty());
    }

    // The selected entry's preview is its record's dots, margins included, at the left of a
    // strip as wide as the printer; an entry that does not convert shows its message.
    void previewShowsTheRecord() {
        QImage picture(10, 5, QImage::Format_RGB32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 10; ++x)
                picture.setPixel(x, y, (x * 3 + y) % 4 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        const QString good = Save("good.bmp", picture);
        const QString bad = FPath + "bad.bmp";
        QVERIFY(WriteFile(bad, "not a bitmap"));
        WriteConfig(
            ("[LOGO]\r\nWIDTH=100\r\nFILE1=" + good + "\r\nFILE2=" + bad + "\r\n").toUtf8());
        auto w = Window();
        QCOMPARE(w->ListLogo->count(), 2);
        QVERIFY(w->PreviewImage().isNull());

        w->ListLogo->setCurrentRow(0);
        const TLogoRecord record = ConvertLogoPicture(ReadFile(good), 100, 1 << 20);
        QVERIFY(record.FOk);
        const QImage preview = w->PreviewImage();
        QCOMPARE(preview.size(), QSize(100, 8));
        int dots = 0;
        for (int y = 0; y < preview.height(); ++y) {
            for (int x = 0; x < preview.width(); ++x) {
                bool dot = false;
                if (x < 16) {
                    const auto byte = uint8_t(record.FRecord[4 + y * 2 + x / 8]);
                    dot = byte & (0x80 >> (x % 8));
                }
                dots += dot;
                QVERIFY2((qGray(preview.pixel(x, y)) < 128) == dot,
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        }
        QCOMPARE(dots, 13); // the picture's own dots, moved by the margins
        QCOMPARE(w->LogoPreviewText->text(), QString("16 x 8 dots, 20 bytes"));
        QVERIFY(!w->LogoPreview->pixmap().isNull());

        w->ListLogo->setCurrentRow(1);
        QVERIFY(w->PreviewImage().isNull());
        QCOMPARE(w->LogoPreview->text(), QString("Bitmap image is not valid"));
    }

    void addThatFailsIsTakenBack() {
        const QString a = Black1x1();
        auto w = Window();
        FPictures = {a, FPath + "typed-name.bmp", Save("big.bmp", Rgb(400, 1))};
        w->actAddLogoExecute();
        w->actAddLogoExecute();
        QCOMPARE(Captured().Texts(), QStringList{"ERROR"});
        QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::NoIcon);
        QCOMPARE(w->FLogoFiles, QStringList{a});
        QCOMPARE(w->ListLogo->count(), 1);
        QCOMPARE(w->StatusPanelText(0), QString("SPACE: 0,015 Used, 65,521 Free"));
        w->actAddLogoExecute();
        QCOMPARE(Captured().Texts(), (QStringList{"ERROR", "Picture invalid"}));
        QCOMPARE(Captured().FMessages[0].FInformative,
                 QString("The picture's file is not there any more."));
        // Why, in dots, with the warning icon, as for a file that is no bitmap.
        QCOMPARE(Captured().FMessages[1].FIcon, QMessageBox::Warning);
        QCOMPARE(Captured().FMessages[1].FInformative,
                 QString("The picture is 400 dots wide; WIDTH allows 384 dots."));
        QCOMPARE(w->FLogoFiles, QStringList{a});

        // A broken earlier entry: the new one is removed, and the rebuild fails again.
        QVERIFY(QFile::remove(a));
        Captured().Clear();
        FPictures = {Save("b.bmp", Rgb(8, 8))};
        w->actAddLogoExecute();
        QCOMPARE(Captured().Texts(), (QStringList{"ERROR", "ERROR"}));
        QCOMPARE(w->FLogoFiles, QStringList{a});
        QCOMPARE(w->FLogoImage, Hex("AA DD 01"));
    }

    void enablingRules() {
        const QString dot = Black1x1();
        QByteArray config = "[LOGO]\r\n";
        for (int n = 1; n <= 8; ++n)
            config += "FILE" + QByteArray::number(n) + "=" + dot.toUtf8() + "\r\n";
        WriteConfig(config);
        auto w = Window();
        QCOMPARE(w->FLogoFiles.size(), 8);
        QVERIFY(w->actAddLogo->isEnabled()); // count <= QUANTITY
        QVERIFY(w->actDelete->isEnabled());
        FPictures = {dot};
        w->actAddLogo->trigger();
        QCOMPARE(w->FLogoFiles.size(), 9);
        QVERIFY(!w->actAddLogo->isEnabled());
        QVERIFY(!w->btAddLogo->isEnabled());
        w->actDelete->trigger();
        QVERIFY(w->actAddLogo->isEnabled());
    }

    // The count byte holds 255 at most: ADD stops there whatever QUANTITY says.
    void listStopsAt255() {
        const QString dot = Black1x1();
        WriteConfig("[LOGO]\r\nQUANTITY=1000\r\n");
        auto w = Window();
        for (int i = 0; i < 254; ++i) {
            w->FLogoFiles << dot;
            w->ListLogo->addItem("dot.bmp");
        }
        w->UpdateActions();
        QVERIFY(w->actAddLogo->isEnabled());
        FPictures = {dot, dot};
        w->actAddLogo->trigger();
        QCOMPARE(w->FLogoFiles.size(), 255);
        QCOMPARE(uint8_t(w->FLogoImage[2]), uint8_t(255));
        QCOMPARE(w->FLogoImage.size(), 3 + 255 * 12);
        QVERIFY(!w->actAddLogo->isEnabled());
        w->actAddLogoExecute();
        QCOMPARE(FPictureDialogs, 1);
        QCOMPARE(w->FLogoFiles.size(), 255);
    }

    void startUpBuildsWithoutSpaceLine() {
        const QString dot = Black1x1();
        const QString text = FPath + "notes.bmp";
        QVERIFY(WriteFile(text, "not a picture"));
        WriteConfig("[LOGO]\r\nFILE1=" + dot.toUtf8() + "\r\nFILE2=" + text.toUtf8() + "\r\n");
        auto w = Window();
        QCOMPARE(Captured().Texts(), QStringList{"Bitmap image is not valid"});
        QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::Critical);
        QCOMPARE(w->FLogoFiles.size(), 2);
        QCOMPARE(w->FLogoImage, Hex("AA DD 02 01 00 01 00 00 00 00 10 00 00 00 00"));
        QCOMPARE(w->StatusPanelText(0), QString());
        QVERIFY(w->actDelete->isEnabled());
    }

    void downloadHandsOverLogoBin() {
        const QString dot = Black1x1();
        WriteConfig("[LOGO]\r\nCOMMAND=$2E\r\nPARA=0x1000\r\nFILE1=" + dot.toUtf8() + "\r\n");
        auto w = Window();
        TFakeJobs jobs;
        jobs.Attach(*w);
        w->FComm->FFileNames = QStringList{"old1", "old2"};
        w->ComboPort->setEditText(" COM2 ");
        w->ComboBaud->setEditText(" 57600 ");
        w->btLOGO->click();
        QCOMPARE(jobs.FCodes, QList<uint8_t>{jobDownload});
        QCOMPARE(jobs.FFiles,
                 QList<QStringList>({{FPath + "logo.bin"}, {"logo.bin"}, {"46"}, {"4096"}}));
        QCOMPARE(jobs.FPortName, QString(" COM2 "));
        QCOMPARE(jobs.FBaudRate, 57600);
        QCOMPARE(ReadFile(FPath + "logo.bin"), w->FLogoImage);
        QCOMPARE(QFileInfo(QDir::currentPath() + "/").absoluteFilePath(),
                 QFileInfo(FPath).absoluteFilePath());
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        QCOMPARE(Captured().FSounds, QStringList{FPath + "ok.wav"});
    }

    void downloadRefusals() {
        auto w = Window();
        TFakeJobs jobs;
        jobs.Attach(*w);
        // A rate that does not convert: nothing written or posted.
        w->ComboBaud->setEditText("96OO");
        w->btLOGOClick();
        QCOMPARE(Captured().Texts(), QStringList{"'96OO' is not a valid integer value"});
        QVERIFY(!QFileInfo::exists(FPath + "logo.bin"));
        w->ComboBaud->setCurrentIndex(0);

        // logo.bin cannot be written: the file error, nothing posted.
        QVERIFY(QDir().mkpath(FPath + "logo.bin/x"));
        Captured().Clear();
        w->btLOGOClick();
        QCOMPARE(Captured().FMessages.size(), 1);
        QVERIFY2(Captured().Texts()[0].contains(FPath + "logo.bin"),
                 qPrintable(Captured().Texts()[0]));
        QCOMPARE(Captured().FMessages[0].FIcon, QMessageBox::Critical);
        QVERIFY(jobs.FCodes.isEmpty());
        QVERIFY(Captured().FSounds.isEmpty());
    }

    // An image from a failed build is never sent; the build is tried again first.
    void downloadAfterFailedBuild() {
        const QString dot = Black1x1();
        WriteConfig("[LOGO]\r\nFILE1=" + dot.toUtf8() + "\r\nFILE2=" + dot.toUtf8() + "\r\n");
        auto w = Window();
        TFakeJobs jobs;
        jobs.Attach(*w);
        QVERIFY(QFile::remove(dot));
        w->ListLogo->setCurrentRow(0);
        w->actDeleteExecute(); // fails: the remaining entry is missing
        QCOMPARE(Captured().Texts(), QStringList{"ERROR"});
        w->btLOGOClick();
        QCOMPARE(Captured().Texts(), (QStringList{"ERROR", "ERROR"}));
        QVERIFY(jobs.FCodes.isEmpty());
        QVERIFY(!QFileInfo::exists(FPath + "logo.bin"));

        // The picture is back: the rebuilt image goes.
        Black1x1();
        Captured().Clear();
        w->btLOGOClick();
        QCOMPARE(jobs.FCodes, QList<uint8_t>{jobDownload});
        QCOMPARE(ReadFile(FPath + "logo.bin"), Hex("AA DD 01 01 00 01 00 00 00 00 10 00 00 00 00"));
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
    }

    void downloadReachesThePrinter() {
        TPrinterSim sim;
        QString error;
        QVERIFY2(sim.StartPty(&error), qPrintable(error));
        const QString wide = Save("wide.bmp", Rgb(384, 100, Qt::black));
        QImage small = Rgb(10, 3);
        small.setPixelColor(4, 1, Qt::black);
        const QString dot = Save("small.bmp", small);
        WriteConfig("[LOGO]\r\nPARA=8192\r\nFILE1=" + wide.toUtf8() + "\r\nFILE2=" + dot.toUtf8() +
                    "\r\n");
        auto w = Window();
        w->ComboPort->setEditText(sim.SlavePath());
        w->btLOGO->click();
        QCOMPARE(Captured().Texts(), QStringList{"OK"});
        const QByteArray sent = ReadFile(FPath + "logo.bin");
        QCOMPARE(sent.size(), 4999 + 4 + 16);
        QCOMPARE(sent, w->FLogoImage);
        QCOMPARE(sim.DownloadedCommands(), QList<uint16_t>{45});
        QCOMPARE(sim.DownloadBase(45), 8192u);
        QCOMPARE(sim.DownloadedFile(45), sent);
        QCOMPARE(w->StatusPanelText(1), QString("DOWNLOAD logo.bin"));
        w->FormDestroy();
    }
};

QTEST_MAIN(TestLogo)
#include "test_logo.moc"
