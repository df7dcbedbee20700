#include "EngineRig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <atomic>

namespace {

using TReceiver = TRigReceiver;

} // namespace

class TestWorker : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(FDir.isValid());
        FLogPath = FDir.filePath(QStringLiteral("debug.log"));
        QFile::remove(FLogPath);
    }

    void unknownJobCompletesWithEmptyLog() {
        TJobOrigin origin;
        TReceiver receiver; // outlives the worker, which may post to it to the last
        TCommThread worker(&origin);
        worker.SetLogPath(FLogPath);
        QVERIFY(!worker.FDoneEvent.WaitFor(0));
        for (uint8_t code : {uint8_t(0), uint8_t(9)}) {
            worker.PostJob(code, &receiver);
            QVERIFY(worker.FDoneEvent.WaitFor(5000));
            QVERIFY(!worker.FDoneEvent.WaitFor(0)); // auto-reset
            QCOMPARE(worker.FErrorCode, uint8_t(0));
            QCOMPARE(worker.FJobCode, uint8_t(0));
            QCOMPARE(ReadFile(FLogPath), QByteArray());
        }
        QTRY_COMPARE_WITH_TIMEOUT(receiver.FDone, 2, 5000);
    }

    void secondJobReplacesTheLog() {
        TJobOrigin origin;
        origin.FPortName = QStringLiteral("/nonexistent/port");
        TReceiver receiver; // outlives the worker, which may post to it to the last
        TCommThread worker(&origin);
        worker.SetLogPath(FLogPath);
        worker.PostJob(jobCommand, &receiver);
        QVERIFY(worker.FDoneEvent.WaitFor(5000));
        QCOMPARE(worker.FErrorCode, errOpenFailed);
        // No OPEN line, but the job's close still logs, and the log ends with the reason.
        const QList<QByteArray> first = ReadFile(FLogPath).split('\n');
        QCOMPARE(first.size(), 3);
        QVERIFY(first.at(0).startsWith("CLOSE  "));
        QVERIFY(first.at(1).startsWith("ERROR Cannot open the port /nonexistent/port: there is no "
                                       "such port."));

        worker.PostJob(0, &receiver);
        QVERIFY(worker.FDoneEvent.WaitFor(5000));
        QCOMPARE(worker.FErrorCode, uint8_t(0));
        QCOMPARE(ReadFile(FLogPath), QByteArray());
    }

    void postRightAfterTheEndIsNotLost() {
        TJobOrigin origin;
        TReceiver receiver; // outlives the worker, which may post to it to the last
        TCommThread worker(&origin);
        worker.SetLogPath(FLogPath);
        for (int i = 0; i < 200; ++i) {
            worker.PostJob(0, &receiver);
            QVERIFY2(worker.FDoneEvent.WaitFor(5000), qPrintable(QString::number(i)));
        }
    }

    void progressIsThrottled() {
        TJobOrigin origin;
        TReceiver receiver;
        TCommThread worker(&origin);
        worker.PostJob(0, &receiver); // the job's notification target is taken from here
        QVERIFY(worker.FDoneEvent.WaitFor(5000));
        QCoreApplication::sendPostedEvents(&receiver);
        int64_t now = 1'000'000'000;
        worker.FClock = [&now] { return now; };

        worker.ReportProgress(QString(), 256, 1024, false); // first call always posts
        now += 10'000'000;
        worker.ReportProgress(QString(), 512, 1024, false); // 10 ms later: dropped
        now += 60'900'000;
        worker.ReportProgress(QString(), 600, 1024, false);  // 70.9 ms after the first: dropped
        worker.ReportProgress(QString(), 1024, 1024, false); // the final one always posts
        now += 71'000'000;
        worker.ReportProgress(QString(), 100, 2048, false); // more than 70 ms: posts
        worker.ReportProgress(QStringLiteral("DOWNLOAD font.bin"), 0, 0, true);
        QCoreApplication::sendPostedEvents(&receiver);
        const QList<QPair<int, int>> expected{{256, 1024}, {1024, 1024}, {100, 2048}};
        QCOMPARE(receiver.FProgress, expected);
        QCOMPARE(receiver.FStatus, QStringList{QStringLiteral("DOWNLOAD font.bin")});
    }

    void destroyingASleepingWorkerIsPrompt() {
        QElapsedTimer timer;
        timer.start();
        {
            TJobOrigin origin;
            TCommThread worker(&origin);
        }
        QVERIFY(timer.elapsed() < 2000);
    }

    void destroyingDuringAJobWaitsForIt() {
        // A peer that never answers keeps the identification busy for three tries.
        QUdpSocket peer;
        peer.setProxy(QNetworkProxy::NoProxy);
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        TJobOrigin origin;
        origin.FPortName = QStringLiteral("TCP/IP");
        origin.FPeerHost = QStringLiteral("127.0.0.1");
        origin.FPeerPort = peer.localPort();
        TReceiver receiver;
        {
            TCommThread worker(&origin);
            worker.SetLogPath(FLogPath);
            worker.PostJob(jobCommand, &receiver);
            QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingDatagrams(), 5000);
        }
        QCoreApplication::sendPostedEvents(&receiver);
        QCOMPARE(receiver.FDone, 1);
        QCOMPARE(ReadFile(FLogPath).count("Send 20 bytes"), 3);
    }

    void exceptionFailsTheJobAndKeepsItsLog() {
        // A peer whose system refuses the datagram: the socket layer throws, the job fails with
        // its log and the reason kept.
        QUdpSocket closed;
        closed.setProxy(QNetworkProxy::NoProxy);
        QVERIFY(closed.bind(QHostAddress::LocalHost, 0));
        const quint16 port = closed.localPort();
        closed.close();
        TJobOrigin origin;
        origin.FPortName = QStringLiteral("TCP/IP 127.0.0.1:%1").arg(port);
        TReceiver receiver; // outlives the worker, which may post to it to the last
        TCommThread worker(&origin);
        worker.SetLogPath(FLogPath);
        worker.PostJob(jobCommand, &receiver);
        QVERIFY(worker.FDoneEvent.WaitFor(5000));
        QCOMPARE(worker.FErrorCode, errOpenFailed);
        QCOMPARE(worker.FErrorStep, TFailStep::Open);
        const QList<QByteArray> lines = ReadFile(FLogPath).split('\n');
        QVERIFY(lines.at(0).startsWith("OPEN TCP/IP 127.0.0.1:"));
        QVERIFY(lines.at(1).startsWith("Send 20 bytes "));
        QVERIFY2(lines.at(lines.size() - 2)
                     .startsWith("ERROR The printer at 127.0.0.1:" + QByteArray::number(port) +
                                 " is not reachable"),
                 lines.at(lines.size() - 2).constData());

        // The worker goes on serving jobs.
        worker.PostJob(0, &receiver);
        QVERIFY(worker.FDoneEvent.WaitFor(5000));
        QCOMPARE(worker.FErrorCode, uint8_t(0));
        QVERIFY(worker.FErrorText.isEmpty());
    }

private:
    QTemporaryDir FDir;
    QString FLogPath;
};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
