#include "TextToInt.h"

#include <QTest>

class TestTextToInt : public QObject {
    Q_OBJECT

private slots:
    void convert_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("decimal") << "45" << true << 45;
        QTest::newRow("dollar hex") << "$63" << true << 99;
        QTest::newRow("leading blanks") << "  9600" << true << 9600;
        QTest::newRow("trailing blank") << "9600 " << false << 0;
        QTest::newRow("sign") << "-12" << true << -12;
        QTest::newRow("plus") << "+7" << true << 7;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blank") << "   " << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("dollar only") << "$" << false << 0;
        QTest::newRow("letter") << "12a" << false << 0;
        QTest::newRow("0x is not ours") << "0x10" << false << 0;
        QTest::newRow("max") << "2147483647" << true << 2147483647;
        QTest::newRow("min") << "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("overflow") << "2147483648" << false << 0;
        QTest::newRow("hex wraps") << "$FFFFFFFF" << true << -1;
        QTest::newRow("hex too long") << "$100000000" << false << 0;
    }
    void convert() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const auto v = TryTextToInt(text);
        QCOMPARE(v.has_value(), ok);
        if (ok)
            QCOMPARE(*v, value);
    }
    void wideAndErrors() {
        QCOMPARE(*TryTextToInt64(QStringLiteral("9223372036854775807")), INT64_MAX);
        QVERIFY(!TryTextToInt64(QStringLiteral("9223372036854775808")));
        QCOMPARE(*TryTextToInt64(QStringLiteral("-9223372036854775808")), INT64_MIN);
        // The message holds the whole text, a NUL character and what follows it included.
        for (const QString& text :
             {QStringLiteral("9600 "), QStringLiteral("@") + QChar(0) + "1"}) {
            try {
                TextToInt(text);
                QFAIL("no exception");
            } catch (const EConvertError& e) {
                QCOMPARE(e.Message(),
                         QStringLiteral("'%1' is not a valid integer value").arg(text));
            }
        }
        QCOMPARE(TrimCtl(QStringLiteral("\x01 a b\t\r\n")), QStringLiteral("a b"));
    }
};

QTEST_GUILESS_MAIN(TestTextToInt)
#include "test_texttoint.moc"
