#pragma once

#include "CommThread.h"
#include "Files.h"
#include "PrinterSim.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Writes name in dir; returns its path, empty when it could not be written.
inline QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    return WriteFile(path, bytes) ? path : QString();
}

// Stands in for the window: collects what the worker posts.
class TRigReceiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == WM_USER) {
            ++FDone;
            return true;
        }
        if (e->type() == WM_PROGRESS) {
            auto* p = static_cast<TProgressEvent*>(e);
            FProgress.append({p->FDone, p->FTotal});
            return true;
        }
        if (e->type() == WM_STATUSTEXT) {
            FStatus.append(static_cast<TStatusTextEvent*>(e)->FText);
            return true;
        }
        return QObject::event(e);
    }
    int FDone = 0;
    QList<QPair<int, int>> FProgress;
    QStringList FStatus;
};

// Asks the rig for a worker with no printer behind it.
struct TNoPrinter {};

// A worker talking to a simulated printer over a pseudo-terminal or UDP loopback.
class TEngineRig {
public:
    explicit TEngineRig(TNoPrinter) {
        FWorker.SetLogPath(FDir.filePath(QStringLiteral("debug.log")));
    }
    explicit TEngineRig(bool udp = false) {
        if (udp) {
            QVERIFY(FSim.StartUdp());
            FOrigin.FPortName = QStringLiteral("TCP/IP");
            FOrigin.FPeerHost = QStringLiteral("127.0.0.1");
            FOrigin.FPeerPort = FSim.UdpPort();
        } else {
            QString error;
            QVERIFY2(FSim.StartPty(&error), qPrintable(error));
            FOrigin.FPortName = FSim.SlavePath();
        }
        FWorker.SetLogPath(FDir.filePath(QStringLiteral("debug.log")));
    }

    // Runs one job to its end and returns its error code.
    int Run(uint8_t job, int timeoutMs = 30000) {
        FWorker.PostJob(job, &FReceiver);
        if (!FWorker.FDoneEvent.WaitFor(timeoutMs))
            return -1;
        QCoreApplication::sendPostedEvents(&FReceiver);
        return FWorker.FErrorCode;
    }

    void SetCommand(uint16_t code, const QByteArray& data) {
        FWorker.FCmdCode = code;
        FWorker.FCmdArg = 0;
        FWorker.FCmdLength = static_cast<int32_t>(data.size());
        std::memcpy(FWorker.FCmdData, data.constData(), static_cast<size_t>(data.size()));
    }

    // One file to download, written as name in FDir.
    void SetDownload(const QString& name, const QByteArray& bytes,
                     const QString& command = QStringLiteral("$63"),
                     const QString& base = QStringLiteral("0")) {
        const QString path = WriteFile(FDir, name, bytes);
        QVERIFY(!path.isEmpty());
        FWorker.FFileNames = {path};
        FWorker.FFileLabels = {name};
        FWorker.FFileCommands = {command};
        FWorker.FFileBases = {base};
    }

    QList<QByteArray> LogLines() const {
        QList<QByteArray> lines = ReadFile(FWorker.LogPath()).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (QByteArray& line : lines) {
            if (line.endsWith('\r'))
                line.chop(1);
        }
        return lines;
    }

    QList<QByteArray> RawFrames() const {
        QList<QByteArray> raw;
        for (const TSimFrame& f : FSim.Frames())
            raw.append(f.FRaw);
        return raw;
    }

    QList<uint16_t> Commands() const {
        QList<uint16_t> codes;
        for (const TSimFrame& f : FSim.Frames())
            codes.append(f.FCommand);
        return codes;
    }

    QTemporaryDir FDir;
    TPrinterSim FSim;
    TJobOrigin FOrigin;
    // Outlives the worker: the end-of-job event may still be posted after the job's event.
    TRigReceiver FReceiver;
    TCommThread FWorker{&FOrigin};
};
