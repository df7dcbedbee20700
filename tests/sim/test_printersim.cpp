#include "Files.h"
#include "PrinterSim.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QByteArray kQuery = Hex("03FF2000000000000800D418444556494345 3F3F");
// Reply to the query with the default identification "PRN 6104".
const QByteArray kQueryReply = Hex("03FE2000000000000800D56F50524E2036313034");

QByteArray Pattern(int size, int seed) {
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + seed) & 0xFF);
    return b;
}

// The tool's side of a serial line, opened the way a serial port would be.
class TPtyPort {
public:
    explicit TPtyPort(const QString& path, speed_t speed = B9600) {
        FFd = open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (FFd >= 0 && tcgetattr(FFd, &tio) == 0) {
            cfmakeraw(&tio);
            cfsetspeed(&tio, speed);
            tcsetattr(FFd, TCSANOW, &tio);
        }
    }
    ~TPtyPort() { Close(); }
    void Close() {
        if (FFd >= 0)
            close(FFd);
        FFd = -1;
    }
    bool IsOpen() const { return FFd >= 0; }
    bool Send(const QByteArray& bytes) {
        return write(FFd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Reads until count bytes have come or timeoutMs has passed; notes when each read came.
    QByteArray Read(int count, int timeoutMs, QList<QPair<qint64, int>>* chunks = nullptr) {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < count) {
            const qint64 left = timeoutMs - t.elapsed();
            if (left < 0)
                break;
            pollfd p{FFd, POLLIN, 0};
            if (poll(&p, 1, int(left)) <= 0)
                break;
            char buf[4096];
            const ssize_t n = read(FFd, buf, size_t(std::min<int>(count - got.size(), 4096)));
            if (n <= 0)
                break;
            got.append(buf, int(n));
            if (chunks)
                chunks->append({SimNowMs(), int(n)});
        }
        return got;
    }
    QByteArray Exchange(const QByteArray& request, int replySize, int timeoutMs = 2000) {
        return Send(request) ? Read(replySize, timeoutMs) : QByteArray();
    }

private:
    int FFd = -1;
};

class TUdpPort {
public:
    explicit TUdpPort(uint16_t port) {
        FFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(FFd);
            FFd = -1;
        }
    }
    ~TUdpPort() {
        if (FFd >= 0)
            close(FFd);
    }
    bool Send(const QByteArray& bytes) {
        return send(FFd, bytes.constData(), size_t(bytes.size()), 0) == bytes.size();
    }
    // One datagram, or null after the time-out.
    QByteArray Receive(int timeoutMs) {
        pollfd p{FFd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return {};
        char buf[65536];
        const ssize_t n = recv(FFd, buf, sizeof buf, 0);
        return n < 0 ? QByteArray() : QByteArray(buf, int(n));
    }

private:
    int FFd = -1;
};

} // namespace

class TestPrinterSim : public QObject {
    Q_OBJECT

private slots:
    void init() {
        FSim = std::make_unique<TPrinterSim>();
        QString error;
        QVERIFY2(FSim->StartPty(&error), qPrintable(error));
        FPort = std::make_unique<TPtyPort>(FSim->SlavePath());
        QVERIFY(FPort->IsOpen());
    }
    void cleanup() {
        FPort.reset();
        FSim.reset();
    }

    void frameHelpers() {
        QCOMPARE(SimRequest(0x2F, 1), Hex("03FF2F0001000000 0000D200"));
        QCOMPARE(SimRequest(0x61, 0, "abc"), Hex("03FF610000000000 03009E60616263"));
        QCOMPARE(SimRequest(0x2B, 115200), Hex("03FF2B0000C20100 00001400"));
        QCOMPARE(SimRequest(0x2F, 0xFFFFFFFF), Hex("03FF2F00FFFFFFFF 0000D300"));
        QCOMPARE(SimRequest(0x63, 0x1000, Pattern(256, 1)).left(11),
                 Hex("03FF630000100000 00018E"));
        QCOMPARE(SimRequest(0x63, 0x1100, Pattern(44, 1)).left(11), Hex("03FF630000110000 2C00A2"));
        QCOMPARE(SimRequest(0x20, 0, "DEVICE??"), kQuery);

        TSimFrame f;
        QVERIFY(SimParseFrame(kQueryReply, 0xFE, &f));
        QCOMPARE(f.FCommand, uint16_t(0x20));
        QCOMPARE(f.FData, QByteArray("PRN 6104"));
        QVERIFY(!SimParseFrame(kQueryReply, 0xFF));
        QByteArray bad = kQueryReply;
        bad[11] = char(bad[11] ^ 1);
        QVERIFY(!SimParseFrame(bad, 0xFE));
        QVERIFY(!SimParseFrame(kQueryReply.chopped(1), 0xFE));
    }

    void identificationOverPty() {
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QVERIFY(FSim->WaitForFrames(1, 1000));
        const TSimFrame f = FSim->Frames().constFirst();
        QCOMPARE(f.FRaw, kQuery);
        QCOMPARE(f.FData, QByteArray("DEVICE??"));
        QVERIFY(f.FTimeMs <= SimNowMs());

        for (const QByteArray& id : {QByteArray("PRN 610"), QByteArray("PRN 6104ABCD"),
                                     QByteArray("prn 61xx"), QByteArray()}) {
            FSim->SetIdentification(id);
            const QByteArray expected = SimReply(0x20, 0, id);
            QCOMPARE(FPort->Exchange(kQuery, expected.size()), expected);
        }
    }

    void identificationOverUdp() {
        QVERIFY(FSim->StartUdp());
        QVERIFY(FSim->UdpPort() != 0);
        TUdpPort udp(FSim->UdpPort());
        QVERIFY(udp.Send(kQuery));
        QCOMPARE(udp.Receive(2000), kQueryReply);

        FSim->SetIdentification("PRN 61XX1234");
        QVERIFY(udp.Send(kQuery));
        QCOMPARE(udp.Receive(2000), SimReply(0x20, 0, "PRN 61XX1234"));

        // Both transports serve at once, and a bad datagram gets no answer.
        QByteArray bad = kQuery;
        bad[10] = char(bad[10] ^ 0x10);
        QVERIFY(udp.Send(bad));
        QVERIFY(udp.Send(SimRequest(0x2F, 1)));
        QCOMPARE(udp.Receive(2000), SimReply(0x2F, 1));
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 0), 12), SimReply(0x2F, 0));
        QCOMPARE(FSim->Frames().size(), 4);
    }

    // A printer listening at one rate hears nothing sent at another, and follows a rate switch.
    void listensAtItsRate() {
        FPort.reset();
        FSim->SetListenRate(38400);
        {
            TPtyPort wrong(FSim->SlavePath(), B9600);
            QVERIFY(wrong.Send(kQuery));
            QCOMPARE(wrong.Read(1, 300), QByteArray());
        }
        QVERIFY(FSim->Frames().isEmpty());
        TPtyPort right(FSim->SlavePath(), B38400);
        QCOMPARE(right.Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QCOMPARE(right.Exchange(SimRequest(0x2B, 115200), 12), SimReply(0x2B, 115200));
        QCOMPARE(FSim->ListenRate(), 115200);
        QVERIFY(right.Send(kQuery));
        QCOMPARE(right.Read(1, 300), QByteArray());
        right.Close();
        TPtyPort fast(FSim->SlavePath(), B115200);
        QCOMPARE(fast.Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QCOMPARE(FSim->Frames().size(), 3);
    }

    // Broken requests are never answered, and the printer finds the next good frame.
    void brokenRequestsIgnored() {
        QByteArray badHeader = kQuery;
        badHeader[10] = char(badHeader[10] ^ 0x01);
        QByteArray badData = kQuery;
        badData[19] = char(badData[19] ^ 0x01);
        const QByteArray huge = Hex("03FF2000000000000020") + QByteArray(2, '\0');
        QByteArray hugeValid = huge;
        hugeValid[10] = char(0x03 ^ 0xFF ^ 0x20 ^ 0x20);
        // Noise, the 03 03 FF restart, broken frames, then one good frame.
        QVERIFY(FPort->Send(Hex("5503") + badHeader + badData + hugeValid + Hex("0303") +
                            SimRequest(0x2F, 1)));
        QCOMPARE(FPort->Read(12, 2000), SimReply(0x2F, 1));
        QCOMPARE(FPort->Read(1, 50), QByteArray());
        const QList<TSimFrame> frames = FSim->Frames();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].FArgument, 1u);
    }

    // The tool opens and closes the port for every job and may leave half a frame behind.
    void survivesReopenAndStaleBytes() {
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QVERIFY(FPort->Send(SimRequest(0x60, 0, Pattern(16, 3)).left(9)));
        FPort->Close();
        for (int job = 0; job < 3; ++job) {
            TPtyPort port(FSim->SlavePath());
            QVERIFY(port.IsOpen());
            QCOMPARE(port.Exchange(kQuery, kQueryReply.size()), kQueryReply);
        }
        // A stale half frame whose header swallows the next frame's start.
        TPtyPort port(FSim->SlavePath());
        QVERIFY(port.Send(SimRequest(0x60, 0, Pattern(16, 3)).left(14)));
        QCOMPARE(port.Exchange(kQuery, kQueryReply.size()), kQueryReply);
        // A partial header whose data never come is given up after a quiet spell; a short
        // frame behind it could not otherwise complete it.
        QVERIFY(port.Send(SimRequest(0x60, 0, Pattern(16, 3)).left(12)));
        QCOMPARE(port.Exchange(SimRequest(0x2F, 1), 12, 3000), SimReply(0x2F, 1));
    }

    void junkAndReplyData() {
        TSimFaults faults;
        faults.FJunkBefore = Hex("5503");
        faults.FReplyDataLength = 5;
        FSim->SetFaults(faults);
        const QByteArray expected = Hex("5503") + SimReply(0x60, 0, Hex("0001020304"));
        QCOMPARE(FPort->Exchange(SimRequest(0x60, 0, Pattern(16, 0)), expected.size()), expected);
        // The identification reply carries the identification only.
        const QByteArray expectedId = Hex("5503") + kQueryReply;
        QCOMPARE(FPort->Exchange(kQuery, expectedId.size()), expectedId);
    }

    void badChecksumReplies() {
        TSimFaults faults;
        faults.FBadHeaderChecksum = true;
        FSim->SetFaults(faults);
        QByteArray got = FPort->Exchange(SimRequest(0x2F, 1), 12);
        QCOMPARE(got.size(), 12);
        QVERIFY(!SimParseFrame(got, 0xFE));
        got[10] = SimReply(0x2F, 1)[10];
        QCOMPARE(got, SimReply(0x2F, 1));

        faults = {};
        faults.FBadDataChecksum = true;
        FSim->SetFaults(faults);
        got = FPort->Exchange(SimRequest(0x2F, 1), 16);
        QCOMPARE(got.size(), 16);
        QVERIFY(!SimParseFrame(got, 0xFE));
        QCOMPARE(char(got[8]), char(4)); // data added so the data check has something to fail
        QCOMPARE(got.left(11), SimReply(0x2F, 1, got.mid(12)).left(11));
        QVERIFY(got[11] != SimReply(0x2F, 1, got.mid(12))[11]);
    }

    void splitDelayAndPacing() {
        TSimFaults faults;
        faults.FSplitPieces = 3;
        faults.FSplitGapMs = 60;
        FSim->SetFaults(faults);
        QList<QPair<qint64, int>> chunks;
        QVERIFY(FPort->Send(kQuery));
        QCOMPARE(FPort->Read(kQueryReply.size(), 2000, &chunks), kQueryReply);
        // The last piece leaves two gaps after the request; the reader sees more than one.
        QVERIFY(FSim->WaitForFrames(1, 1000));
        QVERIFY(chunks.last().first >= FSim->Frames().constFirst().FTimeMs + 120);
        QVERIFY2(chunks.size() >= 2, qPrintable(QString::number(chunks.size())));
        QVERIFY(chunks.first().second < kQueryReply.size());

        faults = {};
        faults.FDelayMs = 150;
        FSim->SetFaults(faults);
        QElapsedTimer t;
        t.start();
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QVERIFY2(t.elapsed() >= 150, qPrintable(QString::number(t.elapsed())));

        // 20 bytes each way at 9600 bits per second, 10 bits a byte: at least 41.7 ms.
        faults = {};
        faults.FPacingBaud = 9600;
        FSim->SetFaults(faults);
        t.restart();
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QVERIFY2(t.elapsed() >= 41, qPrintable(QString::number(t.elapsed())));

        // Paced at the rate the port is set to: 4800 doubles it.
        faults.FPacingBaud = -1;
        FSim->SetFaults(faults);
        TPtyPort slow(FSim->SlavePath(), B4800);
        t.restart();
        QCOMPARE(slow.Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QVERIFY2(t.elapsed() >= 83, qPrintable(QString::number(t.elapsed())));
    }

    void splitOverUdpSendsPieces() {
        QVERIFY(FSim->StartUdp());
        TUdpPort udp(FSim->UdpPort());
        TSimFaults faults;
        faults.FSplitPieces = 2;
        FSim->SetFaults(faults);
        QVERIFY(udp.Send(kQuery));
        const QByteArray first = udp.Receive(2000);
        const QByteArray second = udp.Receive(2000);
        QCOMPARE(first.size(), 10);
        QCOMPARE(first + second, kQueryReply);
    }

    // Silence, ignored tries and the frame filter: only answers in order tell what happened.
    void ignoredTriesAndFilter() {
        TSimFaults faults;
        faults.FIgnoreFirstTries = 2;
        faults.FFilter = [](const TSimFrame& f) { return f.FCommand == 0x60; };
        FSim->SetFaults(faults);
        const QByteArray block = SimRequest(0x60, 0, Pattern(16, 9));
        QVERIFY(FPort->Send(block + block));
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QVERIFY(FPort->Send(block));
        QCOMPARE(FPort->Exchange(kQuery, 12 + kQueryReply.size()), SimReply(0x60, 0) + kQueryReply);
        QCOMPARE(FSim->Frames().size(), 5);
        QCOMPARE(FSim->AnsweredFrames(), 3);
        // A different frame has its own count.
        const QByteArray other = SimRequest(0x60, 0, Pattern(16, 10));
        QVERIFY(FPort->Send(other));
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);
        QCOMPARE(FSim->LastBlock(0x60), Pattern(16, 9)); // ignored frames are not taken

        faults = {};
        faults.FSilent = true;
        faults.FFilter = [](const TSimFrame& f) { return f.FCommand == 0x61; };
        FSim->SetFaults(faults);
        QVERIFY(FPort->Send(SimRequest(0x61, 0, "abc")));
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);

        faults.FFilter = nullptr;
        FSim->SetFaults(faults);
        const int seen = FSim->Frames().size();
        QVERIFY(FPort->Send(kQuery));
        QVERIFY(FSim->WaitForFrames(seen + 1, 2000));
        FSim->SetFaults({});
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 1), 12), SimReply(0x2F, 1));
    }

    // A request the printer does not answer puts nothing on the line: no reply to time and
    // no empty datagram.
    void unansweredSendsNothing() {
        QVERIFY(FSim->StartUdp());
        TUdpPort udp(FSim->UdpPort());
        TSimFaults silent;
        silent.FSilent = true;
        FSim->SetFaults(silent);
        QVERIFY(FPort->Send(kQuery));
        QVERIFY(udp.Send(kQuery));
        QVERIFY(FSim->WaitForFrames(2, 2000));
        FSim->SetFaults({});
        QVERIFY(udp.Send(kQuery));
        QCOMPARE(udp.Receive(2000), kQueryReply);
        QCOMPARE(FPort->Exchange(kQuery, kQueryReply.size()), kQueryReply);

        QCOMPARE(FSim->Frames().at(3).FTurnaroundUs, int64_t(-1));
        QTRY_COMPARE_WITH_TIMEOUT(FSim->Timing().FReplies, 1, 2000);
        QCOMPARE(FSim->Timing().FTurnarounds, 0);
        QVERIFY(FSim->Timing().FLatenessUs < 1000000);
    }

    void stopAfterAndRateReply() {
        TSimFaults faults;
        faults.FStopAfterFrames = 2;
        FSim->SetFaults(faults);
        QVERIFY(FPort->Send(kQuery + kQuery + kQuery));
        QCOMPARE(FPort->Read(2 * kQueryReply.size(), 2000), kQueryReply + kQueryReply);
        QVERIFY(FSim->WaitForFrames(3, 2000));
        QCOMPARE(FSim->AnsweredFrames(), 2);

        faults = {};
        faults.FNoRateSwitchReply = true;
        FSim->SetFaults(faults);
        QVERIFY(FPort->Send(SimRequest(0x2B, 115200)));
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 1), 12), SimReply(0x2F, 1));
        QCOMPARE(FSim->LinkRate(), 0); // not answered, not switched

        FSim->SetFaults({});
        QCOMPARE(FSim->Mode(), int64_t(1));
        QCOMPARE(FPort->Exchange(SimRequest(0x2B, 115200), 12), SimReply(0x2B, 115200));
        QCOMPARE(FSim->LinkRate(), 115200);
        QCOMPARE(FPort->Exchange(SimRequest(0x2B, 9600), 12), SimReply(0x2B, 9600));
        QCOMPARE(FSim->LinkRate(), 9600);
    }

    void firmwareImageByOffset() {
        QCOMPARE(FSim->Mode(), int64_t(-1));
        QVERIFY(!FSim->ProgramEnded());
        const QByteArray a = Pattern(256, 1), b = Pattern(256, 2);
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 0), 12), SimReply(0x2F, 0));
        QCOMPARE(FSim->Mode(), int64_t(0));
        QCOMPARE(FPort->Exchange(SimRequest(0x2E, 256, b), 12), SimReply(0x2E, 256));
        QCOMPARE(FPort->Exchange(SimRequest(0x2E, 0, a), 12), SimReply(0x2E, 0));
        // A wild offset is answered but not kept.
        QCOMPARE(FPort->Exchange(SimRequest(0x2E, 0xFFFFFF00, a), 12), SimReply(0x2E, 0xFFFFFF00));
        QVERIFY(!FSim->ProgramEnded());
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 0xFFFFFFFF), 12), SimReply(0x2F, 0xFFFFFFFF));
        QCOMPARE(FSim->ProgramImage(), a + b);
        QVERIFY(FSim->ProgramEnded());
        QCOMPARE(FSim->Mode(), int64_t(0xFFFFFFFF));

        // A new program mode starts a new image; a gap reads as erased flash.
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 0), 12), SimReply(0x2F, 0));
        QVERIFY(!FSim->ProgramEnded());
        QCOMPARE(FPort->Exchange(SimRequest(0x2E, 512, a), 12), SimReply(0x2E, 512));
        QCOMPARE(FSim->ProgramImage(), QByteArray(512, char(0xFF)) + a);
    }

    void downloadedFilesByAddress() {
        const QByteArray font = Pattern(300, 5), logo = Pattern(600, 6);
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 1), 12), SimReply(0x2F, 1));
        QCOMPARE(FPort->Exchange(SimRequest(0x63, 0x1100, font.mid(256)), 12),
                 SimReply(0x63, 0x1100));
        QCOMPARE(FPort->Exchange(SimRequest(0x63, 0x1000, font.left(256)), 12),
                 SimReply(0x63, 0x1000));
        for (int at = 0; at < logo.size(); at += 256)
            QCOMPARE(FPort->Exchange(SimRequest(0x2D, uint32_t(at), logo.mid(at, 256)), 12),
                     SimReply(0x2D, uint32_t(at)));
        // A logo command moved to another code still lands in a file in download mode.
        QCOMPARE(FPort->Exchange(SimRequest(0x45, 0x80, "xyz"), 12), SimReply(0x45, 0x80));
        QCOMPARE(FSim->DownloadedFile(0x63), font);
        QCOMPARE(FSim->DownloadBase(0x63), 0x1000u);
        QCOMPARE(FSim->DownloadedFile(0x2D), logo);
        QCOMPARE(FSim->DownloadBase(0x2D), 0u);
        QCOMPARE(FSim->DownloadedFile(0x45), QByteArray("xyz"));
        QCOMPARE(FSim->DownloadedCommands(), (QList<uint16_t>{0x2D, 0x45, 0x63}));

        // The next download session replaces the font but leaves the logo.
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 1), 12), SimReply(0x2F, 1));
        QCOMPARE(FPort->Exchange(SimRequest(0x63, 0x2000, "new"), 12), SimReply(0x63, 0x2000));
        QCOMPARE(FSim->DownloadedFile(0x63), QByteArray("new"));
        QCOMPARE(FSim->DownloadBase(0x63), 0x2000u);
        QCOMPARE(FSim->DownloadedFile(0x2D), logo);
        // A block too far away for one file is answered but dropped.
        QCOMPARE(FPort->Exchange(SimRequest(0x63, 0xFFFFFF00, "far"), 12),
                 SimReply(0x63, 0xFFFFFF00));
        QCOMPARE(FSim->DownloadedFile(0x63), QByteArray("new"));
    }

    void settingsBlocksAndWriteOutput() {
        const QByteArray para = Hex("0001C20000010000 32000000C800C800");
        QCOMPARE(FPort->Exchange(SimRequest(0x60, 0, Pattern(16, 1)), 12), SimReply(0x60, 0));
        QCOMPARE(FPort->Exchange(SimRequest(0x60, 0, para), 12), SimReply(0x60, 0));
        QCOMPARE(FPort->Exchange(SimRequest(0x61, 0, QByteArray("AB\0\0", 4)), 12),
                 SimReply(0x61, 0));
        QCOMPARE(FPort->Exchange(SimRequest(0x62, 0, Hex("00002580")), 12), SimReply(0x62, 0));
        QCOMPARE(FSim->LastBlock(0x60), para);
        QCOMPARE(FSim->LastBlock(0x20), QByteArray());
        const uint64_t changes = FSim->ChangeCount();
        QCOMPARE(FPort->Exchange(SimRequest(0x2F, 1), 12), SimReply(0x2F, 1));
        QCOMPARE(FPort->Exchange(SimRequest(0x63, 0, "font"), 12), SimReply(0x63, 0));
        QVERIFY(FSim->ChangeCount() > changes);

        QTemporaryDir tmp;
        const QString dir = tmp.filePath("out/sub");
        QString error;
        QVERIFY2(FSim->WriteOutput(dir, &error), qPrintable(error));
        auto read = [&](const char* name) {
            QFile f(QDir(dir).filePath(name));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
        };
        QCOMPARE(read("parameters.bin"), para);
        QCOMPARE(read("bluetooth.bin"), QByteArray("AB\0\0", 4));
        QCOMPARE(read("ircomm.bin"), Hex("00002580"));
        QCOMPARE(read("font.bin"), QByteArray("font"));
        for (const char* absent : {"factory.bin", "firmware.bin", "logo.bin"})
            QVERIFY2(!QFile::exists(QDir(dir).filePath(absent)), absent);
    }

    void linkPathAndStop() {
        QTemporaryDir tmp;
        const QString link = tmp.filePath("ttyPRN0");
        QVERIFY(FSim->LinkPath(link));
        QVERIFY(FSim->LinkPath(link)); // an older link is replaced
        {
            TPtyPort port(link);
            QCOMPARE(port.Exchange(kQuery, kQueryReply.size()), kQueryReply);
        }
        const QString file = tmp.filePath("plain");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(!FSim->LinkPath(file)); // never replaces a real file
        QVERIFY(QFile::exists(file));

        FPort.reset();
        FSim->Stop();
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(FSim->SlavePath().isEmpty());
        QCOMPARE(FSim->Frames().size(), 1); // what was received stays readable
        FSim->Stop();
        QVERIFY(FSim->StartPty());
        TPtyPort port(FSim->SlavePath());
        QCOMPARE(port.Exchange(kQuery, kQueryReply.size()), kQueryReply);
        FSim->ClearFrames();
        QVERIFY(!FSim->WaitForFrames(1, 10));
    }

    void program() {
        QProcess version;
        version.start(PRINTER_SIM_PROGRAM, {"--version"});
        QVERIFY(version.waitForFinished(5000));
        QCOMPARE(version.readAllStandardOutput().trimmed(),
                 QByteArray("printer-sim " PROJECT_VERSION));

        QTemporaryDir tmp;
        const QString link = tmp.filePath("ttyPRN0");
        const QString out = tmp.filePath("out");
        QProcess sim;
        sim.start(PRINTER_SIM_PROGRAM, {"--pty", "--link", link, "--udp", "0", "--id", "PRN 61XX",
                                        "--out", out, "--verbose"});
        QVERIFY(sim.waitForStarted(5000));
        QByteArray text;
        uint16_t udpPort = 0;
        QElapsedTimer t;
        t.start();
        while (udpPort == 0 && t.elapsed() < 5000 && sim.waitForReadyRead(5000)) {
            text += sim.readAllStandardOutput();
            const int at = text.indexOf("udp: 127.0.0.1:");
            if (at >= 0 && text.indexOf('\n', at) > at)
                udpPort = uint16_t(text.mid(at + 15, text.indexOf('\n', at) - at - 15).toUInt());
        }
        QVERIFY2(udpPort != 0, text.constData());
        QVERIFY(text.contains("pty: /dev/pts/"));

        const QByteArray reply = SimReply(0x20, 0, "PRN 61XX");
        TUdpPort udp(udpPort);
        QVERIFY(udp.Send(kQuery));
        QCOMPARE(udp.Receive(2000), reply);
        {
            TPtyPort port(link);
            QCOMPARE(port.Exchange(kQuery, reply.size()), reply);
            QCOMPARE(port.Exchange(SimRequest(0x64, 0, "MODEL1"), 12), SimReply(0x64, 0));
        }
        QTRY_VERIFY_WITH_TIMEOUT((text += sim.readAllStandardOutput()).count("cmd ") >= 3, 5000);
        QVERIFY(text.contains("cmd 64 arg 00000000 len 6: answered"));

        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QFile factory(QDir(out).filePath("factory.bin"));
        QVERIFY(factory.open(QIODevice::ReadOnly));
        QCOMPARE(factory.readAll(), QByteArray("MODEL1"));

        QProcess bad;
        bad.start(PRINTER_SIM_PROGRAM, {"--junk", "5x"});
        QVERIFY(bad.waitForFinished(5000));
        QCOMPARE(bad.exitCode(), 2);
    }

private:
    std::unique_ptr<TPrinterSim> FSim;
    std::unique_ptr<TPtyPort> FPort;
};

QTEST_GUILESS_MAIN(TestPrinterSim)
#include "test_printersim.moc"
