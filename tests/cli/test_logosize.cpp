// nuvctl logo build and the NVRAM page's preview give a picture the same size: the one the
// printer prints, from the picture's record, whatever the bitmap's header and row order.

#include "BmpFile.h"
#include "UiTestRig.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestLogoSize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallCaptureSeams(); }

    void buildPrintsThePreviewsSize_data() {
        QTest::addColumn<int>("header");
        QTest::addColumn<bool>("topDown");
        for (const int header : {12, 40, 52, 56, 108, 124})
            for (const bool topDown : {false, true})
                // The OS/2 core header's sizes are unsigned: its rows are bottom-up only.
                if (header != 12 || !topDown)
                    QTest::addRow("%d-byte header, %s", header, topDown ? "top-down" : "bottom-up")
                        << header << topDown;
    }
    void buildPrintsThePreviewsSize() {
        QFETCH(int, header);
        QFETCH(bool, topDown);
        QTemporaryDir dir;
        TBmpFile f;
        f.FHeader = header;
        f.FWidth = 127;
        f.FHeight = topDown ? -9 : 9;
        f.FData = QByteArray(Stride(127, 24) * 9, '\xFF');
        f.FData[0] = f.FData[1] = f.FData[2] = 0; // one dark dot
        const QString picture = dir.filePath("logo.bmp");
        QVERIFY(WriteFile(picture, Bytes(f)));

        QVERIFY(WriteFile(dir.filePath("config.ini"), "[LOGO]\nFILE1=" + picture.toUtf8() + "\n"));
        QVERIFY(WriteFile(dir.filePath("codepage.ini"), "PC437\n"));
        Captured().Clear();
        TfrmMain window(dir.path());
        QCOMPARE(window.ListLogo->count(), 1);
        window.ListLogo->setCurrentRow(0);
        const QString preview = window.LogoPreviewText->text();
        QCOMPARE(preview, QString("128 x 16 dots, 260 bytes")); // 127 x 9 and its margins

        QProcess cli;
        cli.start(NUVCTL_PROGRAM, {"logo", "build", picture, "-o", dir.filePath("logo.bin")});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 0);
        const QStringList lines =
            QString::fromLocal8Bit(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const auto shown =
            QRegularExpression("^(\\d+) x (\\d+) dots, (\\d+) bytes$").match(preview);
        QCOMPARE(lines[1],
                 QString("%1\t%2x%3 dots\t%4 bytes")
                     .arg(picture, shown.captured(1), shown.captured(2), shown.captured(3)));
        QVERIFY2(Captured().FMessages.isEmpty(), qPrintable(Captured().Texts().join(" | ")));
    }
};

QTEST_MAIN(TestLogoSize)
#include "test_logosize.moc"
