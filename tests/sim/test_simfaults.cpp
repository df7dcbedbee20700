#include "Files.h"
#include "SimFaults.h"

#include <QTest>

Q_DECLARE_METATYPE(TSimFaults)

namespace {

QByteArray Flip(QByteArray bytes, int at, uint8_t mask) {
    bytes[at] = char(uint8_t(bytes[at]) ^ mask);
    return bytes;
}

TSimFaults Faults(const std::function<void(TSimFaults&)>& set) {
    TSimFaults faults;
    set(faults);
    return faults;
}

const QByteArray kQuery = SimRequest(0x20, 0, "DEVICE??");
const QByteArray kQueryReply = SimReply(0x20, 0, "PRN 6104");
const QByteArray kBlock = SimRequest(0x60, 0, Hex("00112233445566778899AABBCCDDEEFF"));

bool IsBlock(const TSimFrame& f) {
    return f.FCommand == 0x60;
}

} // namespace

// What the printer answers to one request, from the faults and what it has counted.
class TestSimFaults : public QObject {
    Q_OBJECT

private slots:
    void decision_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<TSimFaults>("faults");
        QTest::addColumn<int>("tries");
        QTest::addColumn<int>("answered");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("countsTry");
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<QString>("fate");

        const QByteArray setRate = SimRequest(0x2B, 115200);
        QTest::newRow("query answered with the identification")
            << kQuery << TSimFaults() << 0 << 0 << true << false << QByteArrayList{kQueryReply} << 0
            << 0 << "answered, 20 bytes";
        QTest::newRow("junk and reply data")
            << kBlock << Faults([](TSimFaults& f) {
                   f.FJunkBefore = Hex("5503");
                   f.FReplyDataLength = 3;
               })
            << 0 << 0 << true << false
            << QByteArrayList{Hex("5503") + SimReply(0x60, 0, Hex("000102"))} << 0 << 0
            << "answered, 17 bytes";
        QTest::newRow("try ignored")
            << kBlock << Faults([](TSimFaults& f) { f.FIgnoreFirstTries = 2; }) << 1 << 0 << false
            << true << QByteArrayList() << 0 << 0 << "ignored (try 2 of 2)";
        QTest::newRow("answered after the ignored tries")
            << kBlock << Faults([](TSimFaults& f) { f.FIgnoreFirstTries = 2; }) << 2 << 0 << true
            << true << QByteArrayList{SimReply(0x60, 0)} << 0 << 0 << "answered, 12 bytes";
        QTest::newRow("filter spares other frames") << kQuery << Faults([](TSimFaults& f) {
            f.FIgnoreFirstTries = 2;
            f.FSilent = true;
            f.FDelayMs = 100;
            f.FFilter = IsBlock;
        }) << 0 << 0 << true << false << QByteArrayList{kQueryReply}
                                                    << 0 << 0 << "answered, 20 bytes";
        QTest::newRow("stopped, filter or not") << kQuery << Faults([](TSimFaults& f) {
            f.FStopAfterFrames = 2;
            f.FFilter = IsBlock;
        }) << 0 << 2 << false << false << QByteArrayList()
                                                << 0 << 0 << "not answered (stopped)";
        QTest::newRow("not yet stopped")
            << kQuery << Faults([](TSimFaults& f) { f.FStopAfterFrames = 2; }) << 0 << 1 << true
            << false << QByteArrayList{kQueryReply} << 0 << 0 << "answered, 20 bytes";
        QTest::newRow("silent") << kBlock << Faults([](TSimFaults& f) { f.FSilent = true; }) << 0
                                << 0 << false << false << QByteArrayList() << 0 << 0
                                << "not answered (silent)";
        QTest::newRow("no rate reply")
            << setRate << Faults([](TSimFaults& f) { f.FNoRateSwitchReply = true; }) << 0 << 0
            << false << false << QByteArrayList() << 0 << 0 << "not answered (no rate reply)";
        QTest::newRow("rate reply")
            << setRate << TSimFaults() << 0 << 0 << true << false
            << QByteArrayList{SimReply(0x2B, 115200)} << 0 << 0 << "answered, 12 bytes";
        QTest::newRow("bad header checksum")
            << kQuery << Faults([](TSimFaults& f) { f.FBadHeaderChecksum = true; }) << 0 << 0
            << true << false << QByteArrayList{Flip(kQueryReply, 10, 0x5A)} << 0 << 0
            << "answered, 20 bytes, bad checksum";
        // A wrong data check needs data to be wrong about.
        QTest::newRow("bad data checksum")
            << kBlock << Faults([](TSimFaults& f) { f.FBadDataChecksum = true; }) << 0 << 0 << true
            << false << QByteArrayList{Flip(SimReply(0x60, 0, Hex("01020304")), 11, 0xA5)} << 0 << 0
            << "answered, 16 bytes, bad checksum";
        QTest::newRow("split and delayed")
            << kQuery << Faults([](TSimFaults& f) {
                   f.FSplitPieces = 3;
                   f.FSplitGapMs = 60;
                   f.FDelayMs = 150;
               })
            << 0 << 0 << true << false
            << QByteArrayList{kQueryReply.left(6), kQueryReply.mid(6, 7), kQueryReply.mid(13)}
            << 150 << 60 << "answered, 20 bytes, delay 150 ms, 3 pieces";
        QByteArrayList bytes;
        for (char c : SimReply(0x60, 0))
            bytes.append(QByteArray(1, c));
        QTest::newRow("no more pieces than bytes, no negative times")
            << kBlock << Faults([](TSimFaults& f) {
                   f.FSplitPieces = 100;
                   f.FSplitGapMs = -1;
                   f.FDelayMs = -5;
               })
            << 0 << 0 << true << false << bytes << 0 << 0 << "answered, 12 bytes, 12 pieces";
    }

    void decision() {
        QFETCH(QByteArray, request);
        QFETCH(TSimFaults, faults);
        QFETCH(int, tries);
        QFETCH(int, answered);
        TSimFrame frame;
        QVERIFY(SimParseFrame(request, 0xFF, &frame));

        const TSimAnswer answer = SimDecide(frame, faults, {tries, answered}, "PRN 6104");
        QTEST(answer.FTaken, "taken");
        QTEST(answer.FCountsTry, "countsTry");
        QTEST(QByteArrayList(answer.FPieces), "pieces");
        QTEST(answer.FDelayMs, "delayMs");
        QTEST(answer.FGapMs, "gapMs");
        QTEST(answer.FFate, "fate");
    }
};

QTEST_GUILESS_MAIN(TestSimFaults)
#include "test_simfaults.moc"
