// The history: its lines, the shared append with rotation, and what `nuvctl history` shows.
#include "HistoryLog.h"
#include "HistoryQuery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

Q_DECLARE_METATYPE(THistoryRecord)
Q_DECLARE_METATYPE(THistoryFilter)

namespace {

QDateTime At(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs);
}

THistoryRecord Record(const QString& serial, const QString& port = QStringLiteral("/dev/ttyUSB0"),
                      const QString& result = historyresult::Ok,
                      const char* time = "2026-12-09T10:14:03.118+01:00") {
    THistoryRecord r;
    r.FTime = At(time);
    r.FProgram = QStringLiteral("nuvctl");
    r.FVersion = QStringLiteral("0.1.0");
    r.FPort = port;
    r.FIdentification = QStringLiteral("PRN 6104");
    r.FJob = historyjob::SetFactory;
    r.FResult = result;
    r.FReason = result == historyresult::Ok ? QString() : QStringLiteral("No reply.");
    r.FSerial = serial;
    return r;
}

QStringList Serials(const QList<THistoryRecord>& records) {
    QStringList serials;
    for (const THistoryRecord& r : records)
        serials << r.FSerial;
    return serials;
}

bool AppendBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::Append) && f.write(bytes) == bytes.size();
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    // The day filters name local days; the records are written in several zones.
    void initTestCase() {
        qputenv("TZ", "UTC");
        tzset();
    }

    void linesRoundTrip_data() {
        QTest::addColumn<THistoryRecord>("record");
        THistoryRecord full = Record(QStringLiteral("1042"));
        full.FUsbId = QStringLiteral("0403:6001");
        full.FUsbSerial = QStringLiteral("A50285BI");
        full.FJob = historyjob::Program;
        full.FFiles = {{QStringLiteral("/srv/line 1/firmware.bin"), 262144, QByteArray(64, 'a')},
                       {QStringLiteral("/srv/font.bin"), 7, QByteArray(64, '0')}};
        full.FBytes = 262144;
        full.FRetries = 3;
        full.FSeconds = 25.931;
        QTest::newRow("every field") << full;
        THistoryRecord failed = Record(QString(), QStringLiteral("TCP/IP 127.0.0.1:9100"),
                                       historyresult::Failed, "2026-06-01T23:59:59.999-04:30");
        failed.FReason = QStringLiteral("No reply from \"PRN\"\n\tafter 3 tries.");
        QTest::newRow("failure without USB or files") << failed;
    }
    void linesRoundTrip() {
        QFETCH(THistoryRecord, record);
        const QByteArray line = HistoryLine(record);
        QVERIFY(!line.contains('\n'));
        const auto back = ParseHistoryLine(line);
        QVERIFY(back);
        QCOMPARE(*back, record);
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        // Local time with its offset always spelt out, to the millisecond.
        const QRegularExpression time(
            QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
        QVERIFY(time.match(o[QStringLiteral("time")].toString()).hasMatch());
        // The adapter's fields appear only when the port has them.
        QCOMPARE(o.contains(QStringLiteral("usb")), !record.FUsbId.isEmpty());
        QCOMPARE(o.contains(QStringLiteral("usb_serial")), !record.FUsbSerial.isEmpty());
    }

    // Scripts read these names; renaming one breaks them.
    void fieldNamesAreStable() {
        THistoryRecord r = Record(QStringLiteral("7"));
        r.FUsbId = QStringLiteral("0403:6001");
        r.FUsbSerial = QStringLiteral("X");
        r.FFiles = {{QStringLiteral("/a"), 1, "00"}};
        const QByteArray line = HistoryLine(r);
        QVERIFY(line.startsWith("{\"time\":\""));
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QCOMPARE(o.keys(), (QStringList{"bytes", "files", "identification", "job", "port",
                                        "program", "reason", "result", "retries", "seconds",
                                        "serial", "time", "usb", "usb_serial", "version"}));
        QCOMPARE(o[QStringLiteral("files")].toArray().first().toObject().keys(),
                 (QStringList{"path", "sha256", "size"}));
    }

    void notALine_data() {
        QTest::addColumn<QByteArray>("line");
        const QByteArray good = HistoryLine(Record(QStringLiteral("1")));
        QTest::newRow("cut short") << good.left(good.size() / 2);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("an array") << QByteArray("[1,2]");
        QTest::newRow("no time") << QByteArray(R"({"job":"program"})");
        QTest::newRow("bad time") << QByteArray(R"({"time":"yesterday"})");
    }
    void notALine() {
        QFETCH(QByteArray, line);
        QVERIFY(!ParseHistoryLine(line));
    }

    // Lines come back oldest first; a line a power cut left unfinished is skipped and does
    // not swallow the next one.
    void appendAndReadBack() {
        QTemporaryDir dir;
        const THistoryLog log(dir.path());
        QVERIFY(log.Append(Record(QStringLiteral("1"))));
        QVERIFY(AppendBytes(log.Path(), HistoryLine(Record(QStringLiteral("torn"))).left(30)));
        QString error;
        QVERIFY2(log.Append(Record(QStringLiteral("2")), &error), qPrintable(error));
        QList<THistoryRecord> records;
        int skipped = -1;
        QVERIFY(log.Read(records, &skipped));
        QCOMPARE(Serials(records), (QStringList{"1", "2"}));
        QCOMPARE(skipped, 1);
        QCOMPARE(records.first(), Record(QStringLiteral("1")));
    }

    void unwritableHistorySaysWhy() {
        QTemporaryDir dir;
        const THistoryLog log(dir.filePath(QStringLiteral("missing")));
        QString error;
        QVERIFY(!log.Append(Record(QStringLiteral("1")), &error));
        QVERIFY2(error.contains(QStringLiteral("history.jsonl")), qPrintable(error));
        QList<THistoryRecord> records;
        QVERIFY(log.Read(records)); // nothing there is an empty history
        QVERIFY(records.isEmpty());
    }

    // The file is renamed before it would pass the limit; one older generation is kept.
    void rotatesAtTheLimit() {
        QTemporaryDir dir;
        const qsizetype line = HistoryLine(Record(QStringLiteral("10"))).size() + 1;
        const THistoryLog log(dir.path(), 3 * line);
        for (int serial = 10; serial < 17; ++serial) {
            QVERIFY(log.Append(Record(QString::number(serial))));
            QVERIFY(QFileInfo(log.Path()).size() <= 3 * line);
        }
        QList<THistoryRecord> records;
        QVERIFY(log.Read(records));
        // 10-12 went with the second rotation; 13-15 are history.1.jsonl, 16 the new file.
        QCOMPARE(Serials(records), (QStringList{"13", "14", "15", "16"}));
        QCOMPARE(QFileInfo(log.OldPath()).size(), 3 * line);
    }

    // Writers in several threads, each with its own descriptors (flock locks are taken per
    // opening, as by separate processes), across one rotation: every line lands whole, once.
    void sharedAppendsLoseNoLine() {
        QTemporaryDir dir;
        constexpr int Writers = 4;
        constexpr int Lines = 50;
        const qsizetype line = HistoryLine(Record(QStringLiteral("0-00"))).size() + 1;
        const THistoryLog log(dir.path(), Writers * Lines * line * 6 / 10);
        std::vector<std::thread> threads;
        std::atomic<int> failures{0};
        for (int w = 0; w < Writers; ++w)
            threads.emplace_back([&, w] {
                for (int i = 0; i < Lines; ++i)
                    if (!log.Append(
                            Record(QStringLiteral("%1-%2").arg(w).arg(i, 2, 10, QLatin1Char('0')))))
                        ++failures;
            });
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(failures.load(), 0);
        QVERIFY(QFileInfo::exists(log.OldPath()));
        QList<THistoryRecord> records;
        int skipped = -1;
        QVERIFY(log.Read(records, &skipped));
        QCOMPARE(skipped, 0);
        const QStringList serials = Serials(records);
        QCOMPARE(serials.size(), Writers * Lines);
        QCOMPARE(QSet<QString>(serials.begin(), serials.end()).size(), Writers * Lines);
    }

    void filters_data() {
        QTest::addColumn<THistoryFilter>("filter");
        QTest::addColumn<QStringList>("serials");
        QTest::newRow("all") << THistoryFilter{} << QStringList{"1", "2", "3", "4"};
        QTest::newRow("port") << THistoryFilter{QStringLiteral("COM2"), false, {}}
                              << QStringList{"2", "4"};
        QTest::newRow("failed, cancelled too")
            << THistoryFilter{{}, true, {}} << QStringList{"3", "4"};
        QTest::newRow("since a day")
            << THistoryFilter{{}, false, ParseHistoryDate(QStringLiteral("2026-12-10"))}
            << QStringList{"3", "4"};
        QTest::newRow("since a moment, another zone")
            << THistoryFilter{{}, false, ParseHistoryDate(QStringLiteral("2026-12-10T09:00Z"))}
            << QStringList{"4"};
        QTest::newRow("all three")
            << THistoryFilter{QStringLiteral("COM2"), true,
                              ParseHistoryDate(QStringLiteral("2026-12-01 00:00:00"))}
            << QStringList{"4"};
    }
    void filters() {
        QFETCH(THistoryFilter, filter);
        QFETCH(QStringList, serials);
        const QList<THistoryRecord> records{
            Record("1", "COM1", historyresult::Ok, "2026-12-09T08:00:00.000+00:00"),
            Record("2", "COM2", historyresult::Ok, "2026-12-09T23:00:00.000+00:00"),
            Record("3", "COM1", historyresult::Failed, "2026-12-10T08:30:00.000+00:00"),
            Record("4", "COM2", historyresult::Cancelled, "2026-12-10T09:30:00.000+00:00")};
        QCOMPARE(Serials(FilterHistory(records, filter)), serials);
    }

    void dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime midnight(QDate(2026, 12, 9), QTime(0, 0));
        QTest::newRow("day") << "2026-12-09" << midnight;
        QTest::newRow("minute") << "2026-12-09T10:30"
                                << QDateTime(QDate(2026, 12, 9), QTime(10, 30));
        QTest::newRow("blank for T")
            << " 2026-12-09 10:30:15 " << QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15));
        QTest::newRow("offset") << "2026-12-09T10:30+01:00" << At("2026-12-09T09:30:00.000Z");
        QTest::newRow("no day") << "2026-13-09" << QDateTime();
        QTest::newRow("words") << "yesterday" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
        QTest::newRow("time alone") << "10:30" << QDateTime();
    }
    void dates() {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const auto parsed = ParseHistoryDate(text);
        QCOMPARE(parsed.has_value(), expected.isValid());
        if (parsed)
            QCOMPARE(*parsed, expected);
    }

    void tableAlignsColumnsAndKeepsTheReason() {
        THistoryRecord failed = Record("", "/dev/serial/by-id/usb-FTDI", historyresult::Failed);
        failed.FReason = QStringLiteral("No reply from the printer after 3 tries.");
        failed.FSeconds = 1.26;
        const QStringList lines =
            HistoryTable({Record("1042"), failed}).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith(QStringLiteral("TIME")));
        const qsizetype reason = lines[0].indexOf(QStringLiteral("REASON"));
        QCOMPARE(lines[2].mid(reason), failed.FReason);
        QCOMPARE(lines[0].indexOf(QStringLiteral("RESULT")), lines[2].indexOf(u"failed"));
        QVERIFY(lines[2].contains(QStringLiteral(" 1.3 ")));
        QVERIFY(lines[1].contains(
            Record("").FTime.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"
