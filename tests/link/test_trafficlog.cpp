#include "TrafficLog.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestTrafficLog : public QObject {
    Q_OBJECT

private slots:
    void dumpLayouts_data();
    void dumpLayouts();
    void characterColumn();
    void nothingForZeroBytes();
    void timeStampFormat();
    void saveJoinsWithCrLf();
};

void TestTrafficLog::dumpLayouts_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lines");
    QTest::newRow("3") << 3 << 1;
    QTest::newRow("12") << 12 << 1;
    QTest::newRow("16") << 16 << 1;
    QTest::newRow("17") << 17 << 2;
    QTest::newRow("40") << 40 << 3;
}

void TestTrafficLog::dumpLayouts() {
    QFETCH(int, count);
    QFETCH(int, lines);
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(static_cast<char>(0x41 + i));
    TTrafficLog log;
    log.DumpHex(reinterpret_cast<const uint8_t*>(bytes.constData()), count);
    QCOMPARE(log.Lines().size(), lines);
    for (const QByteArray& line : log.Lines()) {
        QCOMPARE(line.size(), 79);
        QCOMPARE(line.at(62), ';');
        QVERIFY(line.startsWith("    41") || line.startsWith("    51") ||
                line.startsWith("    61"));
    }
}

void TestTrafficLog::characterColumn() {
    // "abc": nine hex characters, blanks to the semicolon, the letters, thirteen blanks.
    TTrafficLog log;
    const uint8_t abc[] = {0x61, 0x62, 0x63};
    log.DumpHex(abc, 3);
    const QByteArray expected =
        QByteArray("    61 62 63 ") + QByteArray(45, ' ') + "    ;abc" + QByteArray(13, ' ');
    QCOMPARE(log.Lines().at(0), expected);

    // 17 bytes: a full line, then one byte padded as if the rest were there.
    TTrafficLog log17;
    uint8_t bytes[17];
    for (int i = 0; i < 17; ++i)
        bytes[i] = static_cast<uint8_t>(i * 16 + 1);
    log17.DumpHex(bytes, 17);
    QCOMPARE(log17.Lines().at(0),
             QByteArray("    01 11 21 31 41 51 61 71    81 91 A1 B1 C1 D1 E1 F1    ") +
                 QByteArray("    ;  !1AQaq") + QByteArray("\x81\x91\xA1\xB1\xC1\xD1\xE1\xF1"));
    QCOMPARE(log17.Lines().at(1),
             QByteArray("    01 ") + QByteArray(51, ' ') + "    ; " + QByteArray(15, ' '));

    // Control bytes and blank show as blanks, 0x21 and above as themselves.
    TTrafficLog controls;
    const uint8_t mixed[] = {0x00, 0x0A, 0x20, 0x21, 0x7F, 0xFF};
    controls.DumpHex(mixed, 6);
    QCOMPARE(controls.Lines().at(0).mid(63, 6), QByteArray("   !\x7F\xFF"));
}

void TestTrafficLog::nothingForZeroBytes() {
    TTrafficLog log;
    log.DumpHex(nullptr, 0);
    QVERIFY(log.Lines().isEmpty());
}

void TestTrafficLog::timeStampFormat() {
    // The same moment formatted by other means, before and after: the stamp lies between, so a
    // midnight (or any other) crossing during the call is allowed for.
    const QString format = QStringLiteral(" yy-MM-dd hh:mm:ss zzz ");
    const QString before = QDateTime::currentDateTime().toString(format);
    const QString stamp = QString::fromLatin1(TTrafficLog::TimeStamp());
    const QString after = QDateTime::currentDateTime().toString(format);
    QVERIFY2(QRegularExpression(QStringLiteral(R"(^ \d\d-\d\d-\d\d \d\d:\d\d:\d\d \d\d\d $)"))
                 .match(stamp)
                 .hasMatch(),
             qPrintable(stamp));
    QVERIFY2(before <= stamp && stamp <= after,
             qPrintable(QStringLiteral("%1 <= %2 <= %3").arg(before, stamp, after)));
}

void TestTrafficLog::saveJoinsWithCrLf() {
    QTemporaryDir dir;
    TTrafficLog log;
    log.AddLog("OPEN COM1");
    log.AddLog("x\xE9");
    const QString path = dir.filePath(QStringLiteral("debug.log"));
    log.SaveToFile(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("OPEN COM1\r\nx\xE9\r\n"));

    // A folder that does not exist cannot take the file: an exception, not silence.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             log.SaveToFile(dir.filePath(QStringLiteral("no/such/debug.log"))));
}

QTEST_GUILESS_MAIN(TestTrafficLog)
#include "test_trafficlog.moc"
