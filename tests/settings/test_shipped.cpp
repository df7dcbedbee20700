// Files shipped next to the executable.
#include "CodePageList.h"

#include <QTest>

class TestShipped : public QObject {
    Q_OBJECT

private slots:
    void codePageFileMatchesBuiltInList() {
        QStringList entries;
        QString error;
        QVERIFY2(
            LoadCodePageList(QStringLiteral(NUV_SOURCE_DIR "/app/codepage.ini"), entries, &error),
            qPrintable(error));
        QCOMPARE(entries, BuiltInCodePages());
    }
};

QTEST_GUILESS_MAIN(TestShipped)
#include "test_shipped.moc"
