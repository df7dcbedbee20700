// The support bundle, unpacked by tar as support unpacks it.
#include "Files.h"
#include "Permissions.h"
#include "SupportBundle.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

// tar's own exit status and what it said.
int Tar(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess tar;
    tar.start(QStringLiteral("tar"), arguments);
    if (!tar.waitForFinished(10000))
        return -1;
    if (output)
        *output = tar.readAllStandardOutput();
    return tar.exitStatus() == QProcess::NormalExit ? tar.exitCode() : -1;
}

TSupportInfo Info(const QString& folder) {
    TPortInfo usb;
    usb.FDevice = QStringLiteral("/dev/ttyUSB0");
    usb.FDescription = QStringLiteral("FT232R USB UART");
    usb.FSerialNumber = QStringLiteral("A50285BI");
    usb.FVendorId = 0x0403;
    usb.FProductId = 0x6001;
    TPortInfo plain;
    plain.FDevice = QStringLiteral("/dev/ttyS0");
    return {folder,
            QStringLiteral("NUV_II_Tool"),
            QStringLiteral("9.8.7"),
            {usb, plain},
            QDateTime(QDate(2026, 12, 9), QTime(10, 14, 3))};
}

} // namespace

class TestSupport : public QObject {
    Q_OBJECT

private slots:
    // Every file present comes out as it went in, beside the description; what is absent is
    // simply not there.
    void bundleHoldsTheFiles() {
        QTemporaryDir files, out;
        const QDir folder(files.path());
        QByteArray history(70001, Qt::Uninitialized); // not a whole number of blocks
        for (char& c : history)
            c = static_cast<char>(QRandomGenerator::global()->bounded(256));
        const QList<QPair<QString, QByteArray>> present{
            {"config.ini", "[PARA]\r\nBAUD RATE=9600\r\n"},
            {"debug.log", "Send: 12 bytes\n"},
            {"history.1.jsonl", history},
            {"history.jsonl", "{\"time\":\"x\"}\n"},
            {"logo.bin", "not for support"}};
        for (const auto& [name, bytes] : present)
            QVERIFY(WriteFile(folder.filePath(name), bytes));

        const QString bundle = out.filePath(QStringLiteral("b.tar.gz"));
        QString error;
        QVERIFY2(WriteSupportBundle(bundle, Info(files.path()), &error), qPrintable(error));

        QByteArray listing;
        QCOMPARE(Tar({"-tzf", bundle}, &listing), 0);
        const QString top = QStringLiteral("nuv-support-20261209-101403/");
        QCOMPARE(QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts),
                 (QStringList{top, top + "config.ini", top + "debug.log", top + "history.1.jsonl",
                              top + "history.jsonl", top + "system.txt"}));
        QCOMPARE(Tar({"-xzf", bundle, "-C", out.path()}), 0);
        for (const auto& [name, bytes] : present)
            if (name != QLatin1String("logo.bin"))
                QCOMPARE(ReadFile(out.filePath(top + name)), bytes);

        const QString text = QString::fromUtf8(ReadFile(out.filePath(top + "system.txt")));
        for (const QString& expected :
             {QStringLiteral("NUV_II_Tool 9.8.7"), QStringLiteral("Qt: ") + qVersion(),
              QStringLiteral("System: ") + QSysInfo::prettyProductName(),
              QStringLiteral("/dev/ttyUSB0: FT232R USB UART, USB 0403:6001, serial number "
                             "A50285BI"),
              QStringLiteral("  /dev/ttyS0\n")})
            QVERIFY2(text.contains(expected), qPrintable(expected + " in:\n" + text));
    }

    // All or nothing: whatever was at the place stays, and no half-written file is left.
    void failedBundleLeavesNothing_data() {
        QTest::addColumn<QString>("place");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("folder missing") << "missing/b.tar.gz" << false;
        QTest::newRow("place is a folder") << "folder" << false;
        QTest::newRow("folder may not be written") << "b.tar.gz" << true;
    }
    void failedBundleLeavesNothing() {
        QFETCH(QString, place);
        QFETCH(bool, readOnlyFolder);
        QTemporaryDir files, out;
        QVERIFY(QDir(out.path()).mkdir(QStringLiteral("folder")));
        const QString path = out.filePath(place);
        if (readOnlyFolder)
            QVERIFY(WriteFile(path, "an older bundle"));
        const QStringList before =
            QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        if (readOnlyFolder)
            QVERIFY(::chmod(QFile::encodeName(out.path()).constData(), 0555) == 0);
        QString error;
        bool written = true;
        QVERIFY(WithPermissionChecks(
            [&] { written = WriteSupportBundle(path, Info(files.path()), &error); }));
        ::chmod(QFile::encodeName(out.path()).constData(), 0755);
        QVERIFY(!written);
        QVERIFY2(error.contains(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())),
                 qPrintable(error));
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        if (readOnlyFolder)
            QCOMPARE(ReadFile(path), QByteArray("an older bundle"));
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "test_support.moc"
