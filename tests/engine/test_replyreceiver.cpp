// The reply receiver without a link: bytes fed in the sizes it asks for.
#include "ReplyReceiver.h"

#include <QTest>

namespace {

QByteArray Frame(uint16_t command, const QByteArray& data, bool badHeader = false,
                 bool badData = false) {
    QByteArray f(12, '\0');
    f[0] = 0x03;
    f[1] = static_cast<char>(0xFE);
    f[2] = static_cast<char>(command);
    f[8] = static_cast<char>(data.size());
    f[9] = static_cast<char>(data.size() >> 8);
    uint8_t x = 0;
    for (int i = 0; i < 10; ++i)
        x ^= static_cast<uint8_t>(f[i]);
    f[10] = static_cast<char>(badHeader ? x ^ 0x5A : x);
    x = 0;
    for (const char c : data)
        x ^= static_cast<uint8_t>(c);
    f[11] = static_cast<char>(badData ? x ^ 0x33 : x);
    return f + data;
}

const QByteArray Ident = Frame(0x20, "PRN 6104");

} // namespace

class TestReplyReceiver : public QObject {
    Q_OBJECT

private slots:
    void serial_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("taken");
        QTest::addColumn<int>("start");
        QTest::newRow("reply") << Ident << 4095 << 8 << 20 << 0;
        QTest::newRow("junk and a second start") << "\x55\x03" + Ident << 4095 << 8 << 22 << 2;
        QTest::newRow("no data") << Frame(0x2B, {}) << 255 << 0 << 12 << 0;
        QTest::newRow("no data, byte 11 unchecked")
            << Frame(0x2B, {}, false, true) << 255 << 0 << 12 << 0;
        QTest::newRow("data exactly fill the room") << Frame(0x61, "abc") << 3 << 3 << 15 << 0;
        // Bad replies are not left for a later frame: the rest of the input is used up.
        QTest::newRow("bad header") << Frame(0x61, "AB", true) + Ident << 4095 << -1 << 32 << 0;
        QTest::newRow("bad data") << Frame(0x61, "ABCD", false, true) + Ident << 4095 << -1 << 36
                                  << 0;
        QTest::newRow("more data than room") << Frame(0x61, "abcd") << 3 << -1 << 16 << 0;
        QTest::newRow("cut short") << Ident.left(15) << 4095 << -1 << 12 << 0;
        QTest::newRow("2000-byte bound") << QByteArray(2100, '\x55') << 4095 << -1 << 2001 << 0;
        QTest::newRow("frame past the buffer")
            << QByteArray(100, '\x55') + Frame(0x63, QByteArray(2000, 'x')) << 4095 << -1 << 2048
            << 100;
    }

    void serial() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, capacity);
        QFETCH(int, result);
        QFETCH(int, taken);
        QFETCH(int, start);
        QByteArray data(capacity + 1, '\x7E'); // one guard byte past the room
        TReplyReceiver receiver(reinterpret_cast<uint8_t*>(data.data()), capacity);
        qsizetype fed = 0;
        while (receiver.Wanted() > 0 && bytes.size() - fed >= receiver.Wanted()) {
            const int32_t want = receiver.Wanted();
            receiver.Feed(reinterpret_cast<const uint8_t*>(bytes.constData() + fed));
            fed += want;
        }
        QCOMPARE(receiver.Result(), result);
        QCOMPARE(receiver.Taken(), taken);
        QCOMPARE(receiver.FrameStart(), start);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(receiver.Buffer()), taken),
                 bytes.left(taken));
        const int copied = std::max(result, 0);
        QCOMPARE(data.left(copied), bytes.mid(start + 12, copied));
        QCOMPARE(data.mid(copied), QByteArray(capacity + 1 - copied, '\x7E'));
    }

    void datagram_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("size"); // as received; more than the bytes when it was cut
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("result");
        QTest::newRow("reply") << Ident << 20 << 4095 << 8;
        QTest::newRow("checksums not checked") << Frame(0x61, "AB", true, true) << 14 << 4095 << 2;
        QTest::newRow("shorter than declared") << Ident.left(19) << 19 << 4095 << -1;
        QTest::newRow("shorter than a header") << Ident.left(11) << 11 << 4095 << -1;
        QTest::newRow("request") << QByteArray(Ident).replace(1, 1, "\xFF") << 20 << 4095 << -1;
        QTest::newRow("more data than room") << Ident << 20 << 7 << -1;
        QTest::newRow("cut to the buffer") << Ident << 3000 << 4095 << -1;
    }

    void datagram() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, size);
        QFETCH(int, capacity);
        QFETCH(int, result);
        QByteArray data(capacity + 1, '\x7E');
        QCOMPARE(TakeDatagramReply(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   static_cast<int32_t>(bytes.size()), size,
                                   reinterpret_cast<uint8_t*>(data.data()), capacity),
                 result);
        const int copied = std::max(result, 0);
        QCOMPARE(data.left(copied), bytes.mid(12, copied));
        QCOMPARE(data.mid(copied), QByteArray(capacity + 1 - copied, '\x7E'));
    }
};

QTEST_GUILESS_MAIN(TestReplyReceiver)
#include "test_replyreceiver.moc"
