#include "CodePageList.h"
#include "Files.h"
#include "IniFile.h"
#include "Permissions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

namespace {

TIniFile FromText(const char* text) {
    TIniFile ini;
    ini.LoadFromBytes(QByteArray(text));
    return ini;
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void namesMatchWithoutCase() {
        const TIniFile ini = FromText("[Para]\r\n"
                                      "  Idle Time = 30 \r\n"
                                      "BaudRate=19200\r\n"
                                      "[blue tooth]\r\n"
                                      "DEVICE NAME=NUV 2\r\n");
        QCOMPARE(ini.ReadInteger("PARA", "IDLE TIME", 50), 30);
        QCOMPARE(ini.ReadInteger("para", "baudrate", 9600), 19200);
        QCOMPARE(ini.ReadString("BLUE TOOTH", "device name", "NUV"), QString("NUV 2"));
        QVERIFY(ini.HasValue("pArA", "iDlE tImE"));
        // Blanks inside a key name are significant.
        QVERIFY(!ini.HasValue("PARA", "IDLETIME"));
        // A key belongs only to its own section.
        QVERIFY(!ini.HasValue("BLUE TOOTH", "BAUDRATE"));
        QCOMPARE(ini.ReadString("PARA", "DEVICE NAME", "def"), QString("def"));

        TIniFile w = FromText("[Para]\r\nIdle Time=30\r\n");
        w.WriteInteger("PARA", "IDLE TIME", 40);
        QCOMPARE(w.ToBytes(), QByteArray("[Para]\r\nIdle Time=40\r\n"));

        // Only ASCII letters fold ("Ä" is not "ä"); keys before any section are in none.
        const TIniFile odd = FromText("K=1\n[\xC3\x84]\nJ=2\n");
        QVERIFY(odd.HasValue(QString::fromUtf8("\xC3\x84"), "j"));
        QVERIFY(!odd.HasValue(QString::fromUtf8("\xC3\xA4"), "J"));
        QVERIFY(!odd.HasValue("", "K"));
    }

    void valuesReadBackExactly() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("config.ini");
        const QStringList values = {"a,b,c",
                                    "x=y=z",
                                    "; not a comment",
                                    "[NOT]",
                                    "C:\\logos\\a.bmp",
                                    "\"q\"",
                                    "",
                                    "tab\there",
                                    " My Printer ",
                                    "'",
                                    "\"",
                                    "a'",
                                    " ",
                                    "\tx",
                                    "\"\""};
        TIniFile ini;
        for (int i = 0; i < values.size(); ++i)
            ini.WriteString("S", QString("K%1").arg(i), values[i]);
        ini.WriteString("S", "UTF", QString::fromUtf8("Caf\xC3\xA9 \xE2\x85\xA0"));
        QVERIFY(ini.Save(path));

        TIniFile back;
        QVERIFY(back.Load(path));
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(back.ReadString("S", QString("K%1").arg(i), "missing"), values[i]);
        QCOMPARE(back.ReadString("S", "UTF", ""), QString::fromUtf8("Caf\xC3\xA9 \xE2\x85\xA0"));
        QVERIFY(!back.HasValue("NOT", "K0"));
    }

    void quotedValues_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("double") << QByteArray("\"My Printer\"") << "My Printer";
        QTest::newRow("single") << QByteArray("'My Printer'") << "My Printer";
        QTest::newRow("blanks kept inside") << QByteArray("\" pad \"  ") << " pad ";
        QTest::newRow("only the outer pair") << QByteArray("\"a\"b\"") << "a\"b";
        QTest::newRow("empty") << QByteArray("\"\"") << "";
        QTest::newRow("mismatched") << QByteArray("\"x'") << "\"x'";
        QTest::newRow("one quote") << QByteArray("\"") << "\"";
        QTest::newRow("quote inside") << QByteArray("x \"y\"") << "x \"y\"";
    }

    void quotedValues() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, expected);
        const QByteArray file = "[BLUE TOOTH]\r\nDEVICE NAME = " + stored + "\r\nPIN=6305\r\n";
        TIniFile ini;
        ini.LoadFromBytes(file);
        QCOMPARE(ini.ReadString("BLUE TOOTH", "DEVICE NAME", "NUV"), expected);
        // Writing back what was read leaves the line alone.
        ini.WriteString("BLUE TOOTH", "DEVICE NAME", expected);
        QCOMPARE(ini.ToBytes(), file);
        // A changed value keeps "key = " as it was, and quotes only where needed.
        ini.WriteString("BLUE TOOTH", "DEVICE NAME", " NUV ");
        QCOMPARE(ini.ToBytes(),
                 QByteArray("[BLUE TOOTH]\r\nDEVICE NAME = \" NUV \"\r\nPIN=6305\r\n"));
        ini.WriteString("BLUE TOOTH", "DEVICE NAME", "My Printer");
        QCOMPARE(ini.ToBytes(),
                 QByteArray("[BLUE TOOTH]\r\nDEVICE NAME = My Printer\r\nPIN=6305\r\n"));
    }

    void lineBreaksInValuesCannotForgeLines() {
        TIniFile ini;
        ini.WriteString("S", "K", "a\r\n[EVIL]\nX=1");
        QCOMPARE(ini.ReadString("S", "K", ""), QString("a  [EVIL] X=1"));
        QVERIFY(!ini.SectionHasKeys("EVIL"));
        QCOMPARE(ini.ToBytes(), QByteArray("[S]\r\nK=a  [EVIL] X=1\r\n"));
    }

    void readInteger_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("45") << 45;
        QTest::newRow("signs") << QByteArray("-7") << -7;
        QTest::newRow("blanks around") << QByteArray("  45  ") << 45;
        QTest::newRow("0x") << QByteArray("0x2D") << 45;
        QTest::newRow("0X lower digits") << QByteArray("0X2d") << 45;
        QTest::newRow("dollar") << QByteArray("$2D") << 45;
        QTest::newRow("0x leading zeros") << QByteArray("0x000000002D") << 45;
        QTest::newRow("0x full range wraps") << QByteArray("0xFFFFFFFF") << -1;
        QTest::newRow("0x top bit") << QByteArray("0x80000000") << INT_MIN;
        QTest::newRow("0x too large") << QByteArray("0x100000000") << -99;
        QTest::newRow("0x alone") << QByteArray("0x") << -99;
        QTest::newRow("0x bad digit") << QByteArray("0x1G") << -99;
        QTest::newRow("0x sign") << QByteArray("0x-1") << -99;
        QTest::newRow("0x blank inside") << QByteArray("0x 1") << -99;
        QTest::newRow("signed 0x") << QByteArray("-0x1") << -99;
        QTest::newRow("letters") << QByteArray("abc") << -99;
        QTest::newRow("trailing junk") << QByteArray("12abc") << -99;
        QTest::newRow("empty") << QByteArray("") << -99;
        QTest::newRow("int min") << QByteArray("-2147483648") << INT_MIN;
        QTest::newRow("decimal overflow") << QByteArray("2147483648") << -99;
        QTest::newRow("double quotes") << QByteArray("\"45\"") << 45;
        QTest::newRow("single quotes 0x") << QByteArray("'0x2D'") << 45;
        QTest::newRow("unmatched quote") << QByteArray("\"45") << -99;
    }

    void readInteger() {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        TIniFile ini;
        ini.LoadFromBytes("[LOGO]\r\nCOMMAND=" + value + "\r\n");
        QCOMPARE(ini.ReadInteger("LOGO", "COMMAND", -99), expected);
        QCOMPARE(ini.ReadInteger("LOGO", "MISSING", -99), -99);
    }

    void integersWrittenAsSignedDecimal() {
        TIniFile ini;
        ini.WriteInteger("P", "A", -1);
        ini.WriteInteger("P", "B", INT_MIN);
        ini.WriteInteger("P", "C", 65536);
        QCOMPARE(ini.ToBytes(), QByteArray("[P]\r\nA=-1\r\nB=-2147483648\r\nC=65536\r\n"));
    }

    void unchangedFileRoundTripsByteForByte() {
        // Comments, unknown keys and sections, odd spacing, junk, mixed line ends, no final
        // line end.
        const QByteArray text = "; settings\n"
                                "# other comment\n"
                                "stray=before any section\n"
                                "\n"
                                "[APP]\n"
                                "CAPTION = My Tool \n"
                                "\n"
                                "[UNKNOWN]\r\n"
                                "Z=1\r\n"
                                "junk line without equals\n"
                                "[PARA]\n"
                                "  BAUDRATE  =  19200\n"
                                "IDLE TIME=50\r"
                                "EXTRA=keep me";
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("config.ini");
        QVERIFY(WriteFile(path, text));

        TIniFile ini;
        QVERIFY(ini.Load(path));
        QCOMPARE(ini.ToBytes(), text);
        // Writing back the values as read changes nothing either.
        ini.WriteString("APP", "CAPTION", ini.ReadString("APP", "CAPTION", ""));
        ini.WriteInteger("PARA", "BAUDRATE", ini.ReadInteger("PARA", "BAUDRATE", 0));
        ini.WriteInteger("PARA", "IDLE TIME", 50);
        QVERIFY(ini.Save(path));
        QCOMPARE(ReadFile(path), text);

        // Changes touch only their own lines and keep the line's spacing and line end.
        ini.WriteInteger("para", "baudrate", 38400);
        ini.WriteInteger("PARA", "IDLE TIME", 60);
        ini.WriteString("PARA", "NEW", "n");
        QByteArray expected = text;
        expected.replace("  BAUDRATE  =  19200\n", "  BAUDRATE  =  38400\n");
        expected.replace("IDLE TIME=50\r", "IDLE TIME=60\r");
        expected += "\nNEW=n\n";
        QCOMPARE(ini.ToBytes(), expected);
    }

    void newKeysGoToTheEndOfTheirSection() {
        TIniFile ini = FromText("[A]\n"
                                "K1=1\n"
                                "; about B\n"
                                "\n"
                                "[B]\n"
                                "; no keys yet\n"
                                "\n"
                                "[C]\n");
        ini.WriteString("a", "K2", "2");
        ini.WriteString("B", "K", "b");
        ini.WriteString("C", "K", "c");
        ini.WriteString("D", "K", "d");
        QCOMPARE(ini.ToBytes(), QByteArray("[A]\n"
                                           "K1=1\n"
                                           "K2=2\n"
                                           "; about B\n"
                                           "\n"
                                           "[B]\n"
                                           "; no keys yet\n"
                                           "K=b\n"
                                           "\n"
                                           "[C]\n"
                                           "K=c\n"
                                           "\n"
                                           "[D]\n"
                                           "K=d\n"));
    }

    void lineEndStyle() {
        TIniFile fresh;
        fresh.WriteString("S", "K", "v");
        QCOMPARE(fresh.ToBytes(), QByteArray("[S]\r\nK=v\r\n"));

        // A last line without a line end gets the file's own style before anything follows.
        TIniFile unix = FromText("[S]\nK=v");
        unix.WriteString("S", "L", "w");
        QCOMPARE(unix.ToBytes(), QByteArray("[S]\nK=v\nL=w\n"));

        TIniFile header = FromText("[S]");
        header.WriteString("s", "K", "v");
        QCOMPARE(header.ToBytes(), QByteArray("[S]\r\nK=v\r\n"));
    }

    void duplicateSectionsReadAsOne() {
        TIniFile ini = FromText("[S]\nA=1\n[T]\nA=9\n[s]\nB=2\nA=3\n");
        QCOMPARE(ini.ReadInteger("S", "A", 0), 1);
        QCOMPARE(ini.ReadInteger("S", "B", 0), 2);
        ini.WriteInteger("S", "A", 5); // first occurrence only
        ini.WriteInteger("S", "C", 6); // into the first part
        QCOMPARE(ini.ToBytes(), QByteArray("[S]\nA=5\nC=6\n[T]\nA=9\n[s]\nB=2\nA=3\n"));
    }

    void sectionHasKeys() {
        const TIniFile ini = FromText("[FACTORY]\n"
                                      "; only a comment\n"
                                      "\n"
                                      "[EMPTY]\n"
                                      "[OTHER]\n"
                                      "UNRELATED=1\n"
                                      "[Half]\n"
                                      "[HALF]\n"
                                      "X=\n");
        QVERIFY(!ini.SectionHasKeys("FACTORY"));
        QVERIFY(!ini.SectionHasKeys("EMPTY"));
        QVERIFY(!ini.SectionHasKeys("MISSING"));
        QVERIFY(ini.SectionHasKeys("other"));
        QVERIFY(ini.SectionHasKeys("HALF"));
        // A key with an empty value is present, and reads as empty rather than the default.
        QVERIFY(ini.HasValue("HALF", "X"));
        QCOMPARE(ini.ReadString("HALF", "X", "def"), QString());

        // Listed once each, as first spelt.
        QCOMPARE(ini.SectionNames(), (QStringList{"FACTORY", "EMPTY", "OTHER", "Half"}));
        const TIniFile dup = FromText("K=0\n[S]\nA=1\nb=2\n[T]\nA=9\n[s]\nB=3\nC=4\nA=5\n");
        QCOMPARE(dup.KeyNames("S"), (QStringList{"A", "b", "C"}));
        QCOMPARE(dup.KeyNames("MISSING"), QStringList());
    }

    void eraseSection() {
        TIniFile ini = FromText("; top\n"
                                "[LOGO]\n"
                                "SIZE=1\n"
                                "FILE1=a\n"
                                "; logo comment\n"
                                "\n"
                                "[PARA]\n"
                                "X=1\n"
                                "[logo]\n"
                                "FILE7=old\n");
        ini.EraseSection("Logo");
        QVERIFY(!ini.SectionHasKeys("LOGO"));
        QCOMPARE(ini.ToBytes(), QByteArray("; top\n[PARA]\nX=1\n"));
        ini.WriteInteger("LOGO", "SIZE", 65536);
        QCOMPARE(ini.ToBytes(), QByteArray("; top\n[PARA]\nX=1\n\n[LOGO]\nSIZE=65536\n"));

        // Erasing and rewriting the same section again yields the same text.
        const QByteArray once = ini.ToBytes();
        ini.EraseSection("LOGO");
        ini.WriteInteger("LOGO", "SIZE", 65536);
        QCOMPARE(ini.ToBytes(), once);
    }

    void largeSectionsTakeLinearTime() {
        // 200,000 lines in a section in the middle of the file and as many in LOGO: each step
        // below took minutes when it grew with the square of the file.
        constexpr int Lines = 200000;
        QByteArray text = "[PARA]\r\n";
        text.reserve(Lines * 40);
        for (int i = 0; i < Lines; ++i)
            text += "K" + QByteArray::number(i) + "=" + QByteArray::number(i) + "\r\n";
        text += "[LOGO]\r\n";
        for (int i = 0; i < Lines; ++i)
            text += "FILE" + QByteArray::number(i + 1) + "=C:\\logos\\a.bmp\r\n";
        text += "[BLUE TOOTH]\r\nPIN=6305\r\n";

        QElapsedTimer timer;
        timer.start();
        TIniFile ini;
        ini.LoadFromBytes(text);
        for (int i = 1; i <= 100; ++i)
            QVERIFY(ini.HasValue("LOGO", QString("FILE%1").arg(i)));
        ini.EraseSection("LOGO");
        for (int i = 1; i <= 100; ++i) {
            ini.WriteString("PARA", QString("NEW%1").arg(i), "n");
            ini.WriteString("LOGO", QString("FILE%1").arg(i), "C:\\logos\\b.bmp");
        }
        const QByteArray saved = ini.ToBytes();
        // Generous: a sanitizer build on a busy machine needs a few seconds; the quadratic
        // erase alone took over 90.
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));

        QVERIFY(!ini.HasValue("LOGO", "FILE101"));
        QCOMPARE(ini.ReadString("PARA", QString("K%1").arg(Lines - 1), ""),
                 QString::number(Lines - 1));
        QCOMPARE(ini.ReadString("PARA", "NEW100", ""), QString("n"));
        QCOMPARE(ini.ReadString("BLUE TOOTH", "PIN", ""), QString("6305"));
        const qsizetype newKeys = saved.indexOf("NEW1=n\r\n");
        QCOMPARE(newKeys, text.indexOf("[LOGO]"));
        QVERIFY(
            saved.contains("[BLUE TOOTH]\r\nPIN=6305\r\n\r\n[LOGO]\r\nFILE1=C:\\logos\\b.bmp\r\n"));
        QVERIFY(saved.endsWith("FILE100=C:\\logos\\b.bmp\r\n"));
    }

    void encodings_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("value"); // of S/K as read
        QTest::addColumn<QString>("key");   // then written in S
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("expected");
        const QString e = QString::fromUtf8("\xC3\xA9");
        const QString cjk = QString::fromUtf8("C:\\\xE5\xAD\x97.bmp");
        QTest::newRow("new file is UTF-8") << QByteArray() << ""
                                           << "K" << e << QByteArray("[S]\r\nK=\xC3\xA9\r\n");
        QTest::newRow("UTF-8 stays UTF-8") << QByteArray("[S]\nK=Caf\xC3\xA9\n") << "Caf" + e << "N"
                                           << e << QByteArray("[S]\nK=Caf\xC3\xA9\nN=\xC3\xA9\n");
        QTest::newRow("Latin-1 stays Latin-1")
            << QByteArray("; caf\xE9\r\n[S]\r\nK=Caf\xE9\r\nX\xE9=\xE9\r\n") << "Caf" + e << "N"
            << QString::fromUtf8("\xC3\xBC")
            << QByteArray("; caf\xE9\r\n[S]\r\nK=Caf\xE9\r\nX\xE9=\xE9\r\nN=\xFC\r\n");
        QTest::newRow("Latin-1 that cannot hold a value")
            << QByteArray("; caf\xE9\r\n[S]\r\nK=Caf\xE9\r\n") << "Caf" + e << "FILE1" << cjk
            << QByteArray(
                   "; caf\xC3\xA9\r\n[S]\r\nK=Caf\xC3\xA9\r\nFILE1=C:\\\xE5\xAD\x97.bmp\r\n");
        // Written as Latin-1 these bytes would be valid UTF-8 and read back as other text.
        QTest::newRow("Latin-1 that would read as UTF-8")
            << QByteArray("[S]\nK=\xC3\xA9\nL=\xFF\n") << QString::fromUtf8("\xC3\x83\xC2\xA9")
            << "L"
            << "x" << QByteArray("[S]\nK=\xC3\x83\xC2\xA9\nL=x\n");
        QTest::newRow("cut UTF-8 sequence")
            << QByteArray("[S]\nK=\xC3") << QString::fromLatin1("\xC3") << ""
            << "" << QByteArray("[S]\nK=\xC3");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[S]\r\nK=v\r\n") << "v"
                                         << "K"
                                         << "w" << QByteArray("\xEF\xBB\xBF[S]\r\nK=w\r\n");
        QTest::newRow("two byte-order marks")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nK=v\r\n") << "v"
            << "K"
            << "w" << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nK=w\r\n");
        QTest::newRow("byte-order mark on Latin-1")
            << QByteArray("\xEF\xBB\xBF[S]\nK=\xE9\n") << e << "K" << QString::fromUtf8("\xC3\xBC")
            << QByteArray("\xEF\xBB\xBF[S]\nK=\xFC\n");
        QTest::newRow("mark inside the text is text")
            << QByteArray("[S]\nK=\xEF\xBB\xBFv\n") << QChar(0xFEFF) + QString("v") << ""
            << "" << QByteArray("[S]\nK=\xEF\xBB\xBFv\n");
    }

    void encodings() {
        QFETCH(QByteArray, file);
        QFETCH(QString, value);
        QFETCH(QString, key);
        QFETCH(QString, written);
        QFETCH(QByteArray, expected);
        TIniFile ini;
        ini.LoadFromBytes(file);
        QCOMPARE(ini.ReadString("S", "K", ""), value);
        QCOMPARE(ini.ToBytes(), file);
        if (!key.isEmpty())
            ini.WriteString("S", key, written);
        QCOMPARE(ini.ToBytes(), expected);

        TIniFile back;
        back.LoadFromBytes(expected);
        QCOMPARE(back.ReadString("S", "K", ""), key == "K" ? written : value);
        if (!key.isEmpty())
            QCOMPARE(back.ReadString("S", key, ""), written);
    }

    void twoByteOrderMarksKeepTheFirstSection() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("config.ini");
        const QByteArray text = "\xEF\xBB\xBF\xEF\xBB\xBF[PARA]\r\nBAUDRATE=19200\r\n";
        QVERIFY(WriteFile(path, text));
        TIniFile ini;
        QVERIFY(ini.Load(path));
        QCOMPARE(ini.ReadInteger("PARA", "BAUDRATE", 9600), 19200);
        ini.WriteInteger("PARA", "BAUDRATE", 19200);
        QVERIFY(ini.Save(path));
        QCOMPARE(ReadFile(path), text);
    }

    void loadMissingAndUnreadable() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TIniFile ini = FromText("[S]\nK=v\n");
        QString error = "untouched";
        QVERIFY(ini.Load(dir.filePath("missing.ini"), &error));
        QVERIFY(!ini.HasValue("S", "K"));
        QCOMPARE(ini.ToBytes(), QByteArray());

        QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
        QVERIFY(!ini.Load(dir.filePath("folder.ini"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(error != "untouched");
    }

    void failedSaveKeepsOldFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray old = "; hand-made\r\n[PARA]\r\nBAUDRATE=19200\r\n";
        TIniFile ini = FromText("[PARA]\nBAUDRATE=38400\n");
        QString error;

        // No directory to write into.
        QVERIFY(!ini.Save(dir.filePath("no/such/dir/config.ini"), &error));
        QVERIFY(!error.isEmpty());

        // The replacement file cannot be created beside the target: its name would be too
        // long (this fails for every user, root included).
        const QString longPath = dir.filePath(QString(250, u'c') + ".ini");
        QVERIFY(WriteFile(longPath, old));
        error.clear();
        QVERIFY(!ini.Save(longPath, &error));
        QVERIFY2(!error.isEmpty() && !error.contains("Unknown"), qPrintable(error));
        QCOMPARE(ReadFile(longPath), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);

        // The target is a folder.
        QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
        error.clear();
        QVERIFY(!ini.Save(dir.filePath("folder.ini"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(dir.filePath("folder.ini")).isDir());

        // And a save that can happen replaces the file.
        const QString good = dir.filePath("config.ini");
        QVERIFY(WriteFile(good, old));
        QVERIFY(ini.Save(good, &error));
        QCOMPARE(ReadFile(good), QByteArray("[PARA]\nBAUDRATE=38400\n"));
    }

    // In a folder that takes no new files, a file that may be written is rewritten in place; when
    // it may not be written either, the error names the folder and the file stays as it was.
    void unwritableFolder_data() {
        QTest::addColumn<bool>("fileWritable");
        QTest::newRow("file writable") << true;
        QTest::newRow("file read-only") << false;
    }

    void unwritableFolder() {
        QFETCH(bool, fileWritable);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sub = dir.filePath("ro");
        const QString path = sub + "/config.ini";
        const QByteArray old = "; hand-made\r\n[PARA]\r\nBAUDRATE=19200\r\n";
        QVERIFY(QDir(dir.path()).mkdir("ro"));
        QVERIFY(WriteFile(path, old));
        // The bits for "others" matter too: as root the save runs as another user.
        const auto all = [](QFileDevice::Permissions p) {
            return p | QFileDevice::Permissions::fromInt(p.toInt() >> 4) |
                   QFileDevice::Permissions::fromInt(p.toInt() >> 8) |
                   QFileDevice::Permissions::fromInt(p.toInt() >> 12);
        };
        const auto rx = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
        QVERIFY(QFile::setPermissions(dir.path(), all(rx) | QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(
            path, all(QFileDevice::ReadOwner |
                      (fileWritable ? QFileDevice::WriteOwner : QFileDevice::Permissions()))));
        QVERIFY(QFile::setPermissions(sub, all(rx)));

        TIniFile ini = FromText("[PARA]\nBAUDRATE=38400\n");
        QString error;
        bool saved = false;
        bool reachable = false;
        const bool checked = WithPermissionChecks([&] {
            reachable = QFile(path).open(QIODevice::ReadOnly);
            if (reachable)
                saved = ini.Save(path, &error);
        });
        QFile::setPermissions(sub, rx | QFileDevice::WriteOwner);
        if (!checked)
            QSKIP("running as root without a way to give up the right to ignore permissions");
        if (!reachable)
            QSKIP("the temporary folder cannot be reached as another user");

        QCOMPARE(saved, fileWritable);
        QCOMPARE(ReadFile(path), fileWritable ? QByteArray("[PARA]\nBAUDRATE=38400\n") : old);
        QCOMPARE(QDir(sub).entryList(QDir::Files | QDir::Hidden).size(), 1);
        if (!fileWritable) {
            QCOMPARE(error, QString("Neither the file nor its folder \"%1\" may be written.")
                                .arg(QDir::toNativeSeparators(QFileInfo(sub).absoluteFilePath())));
        }
    }

    void codePageLines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
        QTest::newRow("mixed") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("no final line end") << QByteArray("a\nb") << QStringList{"a", "b"};
        QTest::newRow("empty line inside") << QByteArray("a\n\nb") << QStringList{"a", "", "b"};
        QTest::newRow("empty last entry") << QByteArray("a\n\n") << QStringList{"a", ""};
        QTest::newRow("CR LF empty lines")
            << QByteArray("a\r\n\r\n\r\nb\r\n") << QStringList{"a", "", "", "b"};
        QTest::newRow("LF CR is two line ends")
            << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("blanks kept") << QByteArray(" a  \n\tb\n") << QStringList{" a  ", "\tb"};
        QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBFx\n") << QStringList{"x"};
        QTest::newRow("two BOMs") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx\n") << QStringList{"x"};
        QTest::newRow("Latin-1") << QByteArray("Caf\xE9\n")
                                 << QStringList{QString::fromUtf8("Caf\xC3\xA9")};
    }

    void codePageLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("codepage.ini");
        QVERIFY(WriteFile(path, bytes));
        QStringList list = {"previous"};
        QString error;
        QVERIFY(LoadCodePageList(path, list, &error));
        QCOMPARE(list, expected);
    }

    void codePageFileRefused_data() {
        QTest::addColumn<QByteArray>("bytes"); // "-" for no file
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray("-")
                                 << "Cannot open file \"%1\". No such file or directory";
        QTest::newRow("empty") << QByteArray() << "Cannot read file \"%1\". The file is empty.";
        QTest::newRow("only a BOM")
            << QByteArray("\xEF\xBB\xBF") << "Cannot read file \"%1\". The file is empty.";
    }

    // The drop-down keeps its list, and the error names the file by its full path.
    void codePageFileRefused() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = QDir(dir.path()).absoluteFilePath("codepage.ini");
        if (bytes != "-")
            QVERIFY(WriteFile(path, bytes));
        QStringList list = BuiltInCodePages();
        QString error;
        QVERIFY(!LoadCodePageList(path, list, &error));
        QCOMPARE(error, message.arg(QDir::toNativeSeparators(path)));
        QCOMPARE(list, BuiltInCodePages());

        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const bool ok = LoadCodePageList("codepage.ini", list, &error);
        QDir::setCurrent(previous);
        QVERIFY(!ok);
        QCOMPARE(error, message.arg(QDir::toNativeSeparators(path)));
    }

    void builtInCodePages() {
        const QStringList list = BuiltInCodePages();
        QCOMPARE(list.size(), 51);
        QCOMPARE(list[0], QString("TRADITIONAL CHINESE"));
        QCOMPARE(list[2], QString("CP437 [U.S.A., Standard Europe]"));
        QCOMPARE(list[9], QString("CP866 Cyrilliec #2 "));
        QCOMPARE(list[11], QString::fromUtf8("CP755 [East Europe\xEF\xBC\x8CLatvian 2]"));
        QCOMPARE(list[21], QString::fromUtf8("CP858 Multilingual Latin \xE2\x85\xA0+Euro)"));
        QCOMPARE(list[25], QString("ISO-8859-1 [West Europe]      "));
        QCOMPARE(list.count("reserve"), 4);
        QCOMPARE(list.indexOf("reserve"), 13); // printer code 11
        QCOMPARE(list[49], QString("Cp874"));
        QCOMPARE(list[50], QString());

        // The built-in list written one entry a line reads back as itself.
        QCOMPARE(CodePagesFromText(list.join("\r\n") + "\r\n"), list);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
