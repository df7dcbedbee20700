#include "CodePageList.h"
#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <unistd.h>

namespace {

TIniFile FromText(const char* text) {
    TIniFile ini;
    ini.LoadFromBytes(QByteArray(text));
    return ini;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
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
        const QStringList values = {
            "a,b,c", "x=y=z", "; not a comment", "[NOT]", "C:\\logos\\a.bmp",
            "\"q\"", "",      "tab\there"};
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
        QVERIFY(WriteAll(path, text));

        TIniFile ini;
        QVERIFY(ini.Load(path));
        QCOMPARE(ini.ToBytes(), text);
        // Writing back the values as read changes nothing either.
        ini.WriteString("APP", "CAPTION", ini.ReadString("APP", "CAPTION", ""));
        ini.WriteInteger("PARA", "BAUDRATE", ini.ReadInteger("PARA", "BAUDRATE", 0));
        ini.WriteInteger("PARA", "IDLE TIME", 50);
        QVERIFY(ini.Save(path));
        QCOMPARE(ReadAll(path), text);

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

    void encodings() {
        // A byte-order mark is skipped and not written back.
        TIniFile bom;
        bom.LoadFromBytes("\xEF\xBB\xBF[S]\r\nK=v\r\n");
        QCOMPARE(bom.ReadString("S", "K", ""), QString("v"));
        QCOMPARE(bom.ToBytes(), QByteArray("[S]\r\nK=v\r\n"));

        // Bytes that are not UTF-8 are read as Latin-1 and saved as UTF-8.
        TIniFile latin;
        latin.LoadFromBytes("[S]\r\nK=Caf\xE9\r\n");
        QCOMPARE(latin.ReadString("S", "K", ""), QString::fromUtf8("Caf\xC3\xA9"));
        QCOMPARE(latin.ToBytes(), QByteArray("[S]\r\nK=Caf\xC3\xA9\r\n"));

        // A UTF-8 sequence cut off at the very end is not UTF-8 either.
        TIniFile cut;
        cut.LoadFromBytes("[S]\nK=\xC3");
        QCOMPARE(cut.ReadString("S", "K", ""), QString::fromLatin1("\xC3"));
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
        QVERIFY(WriteAll(longPath, old));
        error.clear();
        QVERIFY(!ini.Save(longPath, &error));
        QVERIFY2(!error.isEmpty() && !error.contains("Unknown"), qPrintable(error));
        QCOMPARE(ReadAll(longPath), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);

        // The target is a folder.
        QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
        error.clear();
        QVERIFY(!ini.Save(dir.filePath("folder.ini"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(dir.filePath("folder.ini")).isDir());

        // A folder without write access (meaningless for root, who may write anyway).
        if (geteuid() != 0) {
            const QString sub = dir.filePath("ro");
            QVERIFY(QDir(dir.path()).mkdir("ro"));
            const QString path = sub + "/config.ini";
            QVERIFY(WriteAll(path, old));
            QVERIFY(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            error.clear();
            const bool saved = ini.Save(path, &error);
            QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
            QVERIFY(!saved);
            QVERIFY(!error.isEmpty());
            QCOMPARE(ReadAll(path), old);
        }

        // And a save that can happen replaces the file.
        const QString good = dir.filePath("config.ini");
        QVERIFY(WriteAll(good, old));
        QVERIFY(ini.Save(good, &error));
        QCOMPARE(ReadAll(good), QByteArray("[PARA]\nBAUDRATE=38400\n"));
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
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBFx\n") << QStringList{"x"};
        QTest::newRow("Latin-1") << QByteArray("Caf\xE9\n")
                                 << QStringList{QString::fromUtf8("Caf\xC3\xA9")};
    }

    void codePageLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("codepage.ini");
        QVERIFY(WriteAll(path, bytes));
        QStringList list = {"previous"};
        QString error;
        QVERIFY(LoadCodePageList(path, list, &error));
        QCOMPARE(list, expected);
    }

    void codePageFileMissing() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = QDir(dir.path()).absoluteFilePath("codepage.ini");
        QStringList list = BuiltInCodePages();
        QString error;
        QVERIFY(!LoadCodePageList(path, list, &error));
        QCOMPARE(error, QString("Cannot open file \"%1\". No such file or directory")
                            .arg(QDir::toNativeSeparators(path)));
        QCOMPARE(list, BuiltInCodePages());

        // A relative name is reported with its full path.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const bool ok = LoadCodePageList("codepage.ini", list, &error);
        QDir::setCurrent(previous);
        QVERIFY(!ok);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
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
