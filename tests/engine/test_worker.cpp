#include "EngineRig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <atomic>

class TestWorker : public QObject {
    Q_OBJECT

private slots:
    void unknownJobCompletesWithEmptyLog() {
        TEngineRig rig{TNoPrinter{}};
        QVERIFY(!rig.FWorker.FDoneEvent.WaitFor(0));
        for (uint8_t code : {uint8_t(0), uint8_t(9)}) {
            QCOMPARE(rig.Run(code, 5000), 0);
            QVERIFY(!rig.FWorker.FDoneEvent.WaitFor(0)); // auto-reset
            QCOMPARE(rig.FWorker.FJobCode, uint8_t(0));
            QCOMPARE(ReadFile(rig.FWorker.LogPath()), QByteArray());
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.FReceiver.FDone, 2, 5000);
    }

    void secondJobReplacesTheLog() {
        TEngineRig rig{TNoPrinter{}};
        rig.FOrigin.FPortName = QStringLiteral("/nonexistent/port");
        QCOMPARE(rig.Run(jobCommand, 5000), int(errOpenFailed));
        // No OPEN line, but the job's close still logs, and the log ends with the reason.
        const QList<QByteArray> first = ReadFile(rig.FWorker.LogPath()).split('\n');
        QCOMPARE(first.size(), 3);
        QVERIFY(first.at(0).startsWith("CLOSE  "));
        QVERIFY(first.at(1).startsWith("ERROR Cannot open the port /nonexistent/port: there is no "
                                       "such port."));

        QCOMPARE(rig.Run(0, 5000), 0);
        QCOMPARE(ReadFile(rig.FWorker.LogPath()), QByteArray());
    }

    void postRightAfterTheEndIsNotLost() {
        TEngineRig rig{TNoPrinter{}};
        for (int i = 0; i < 200; ++i) {
            rig.FWorker.PostJob(0, &rig.FReceiver);
            QVERIFY2(rig.FWorker.FDoneEvent.WaitFor(5000), qPrintable(QString::number(i)));
        }
    }

    void progressIsThrottled() {
        TEngineRig rig{TNoPrinter{}};
        TCommThread& worker = rig.FWorker;
        QCOMPARE(rig.Run(0, 5000), 0); // the job's notification target is taken from here
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
        QCoreApplication::sendPostedEvents(&rig.FReceiver);
        const QList<QPair<int, int>> expected{{256, 1024}, {1024, 1024}, {100, 2048}};
        QCOMPARE(rig.FReceiver.FProgress, expected);
        QCOMPARE(rig.FReceiver.FStatus, QStringList{QStringLiteral("DOWNLOAD font.bin")});
    }

    void destroyingASleepingWorkerIsPrompt() {
        QElapsedTimer timer;
        timer.start();
        { TEngineRig rig{TNoPrinter{}}; }
        QVERIFY(timer.elapsed() < 2000);
    }

    void destroyingDuringAJobWaitsForIt() {
        // A peer that never answers keeps the identification busy for three tries.
        QUdpSocket peer;
        peer.setProxy(QNetworkProxy::NoProxy);
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        TEngineRig rig{TNoPrinter{}};
        rig.FOrigin.FPortName = QStringLiteral("TCP/IP");
        rig.FOrigin.FPeerHost = QStringLiteral("127.0.0.1");
        rig.FOrigin.FPeerPort = peer.localPort();
        // A second worker, destroyed mid-job while the rig's receiver and log outlive it.
        {
            TCommThread worker(&rig.FOrigin);
            worker.SetLogPath(rig.FWorker.LogPath());
            worker.PostJob(jobCommand, &rig.FReceiver);
            QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingDatagrams(), 5000);
        }
        QCoreApplication::sendPostedEvents(&rig.FReceiver);
        QCOMPARE(rig.FReceiver.FDone, 1);
        QCOMPARE(ReadFile(rig.FWorker.LogPath()).count("Send 20 bytes"), 3);
    }

    void exceptionFailsTheJobAndKeepsItsLog() {
        // A peer whose system refuses the datagram: the socket layer throws, the job fails with
        // its log and the reason kept.
        QUdpSocket closed;
        closed.setProxy(QNetworkProxy::NoProxy);
        QVERIFY(closed.bind(QHostAddress::LocalHost, 0));
        const quint16 port = closed.localPort();
        closed.close();
        TEngineRig rig{TNoPrinter{}};
        rig.FOrigin.FPortName = QStringLiteral("TCP/IP 127.0.0.1:%1").arg(port);
        QCOMPARE(rig.Run(jobCommand, 5000), int(errOpenFailed));
        QCOMPARE(rig.FWorker.FErrorStep, TFailStep::Open);
        const QList<QByteArray> lines = ReadFile(rig.FWorker.LogPath()).split('\n');
        QVERIFY(lines.at(0).startsWith("OPEN TCP/IP 127.0.0.1:"));
        QVERIFY(lines.at(1).startsWith("Send 20 bytes "));
        QVERIFY2(lines.at(lines.size() - 2)
                     .startsWith("ERROR The printer at 127.0.0.1:" + QByteArray::number(port) +
                                 " is not reachable"),
                 lines.at(lines.size() - 2).constData());

        // The worker goes on serving jobs.
        QCOMPARE(rig.Run(0, 5000), 0);
        QVERIFY(rig.FWorker.FErrorText.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
