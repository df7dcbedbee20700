#include "CommThread.h"

#include <QCoreApplication>
#include <chrono>
#include <exception>

void TAutoResetEvent::Set() {
    std::lock_guard<std::mutex> lock(FMutex);
    FSignalled = true;
    FCond.notify_all();
}

bool TAutoResetEvent::WaitFor(int ms) {
    std::unique_lock<std::mutex> lock(FMutex);
    if (!FSignalled && ms > 0)
        FCond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FSignalled; });
    const bool was = FSignalled;
    FSignalled = false;
    return was;
}

namespace {
int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

TCommThread::TCommThread(const TJobOrigin* origin, QObject* parent)
    : QThread(parent), FClock(SteadyNanoseconds), FOrigin(origin), FLink(FUart, FLog) {
    FLogPath = QCoreApplication::applicationDirPath() + QStringLiteral("/debug.log");
    start();
}

TCommThread::~TCommThread() {
    {
        std::lock_guard<std::mutex> lock(FWakeMutex);
        FTerminate = true;
    }
    FWake.notify_all();
    if (isRunning() || isFinished()) {
        std::unique_lock<std::mutex> lock(FWakeMutex);
        FWake.wait(lock, [this] { return FFinished; });
    }
    wait();
}

void TCommThread::PostJob(uint8_t jobCode, QObject* notifyWnd) {
    {
        std::lock_guard<std::mutex> lock(FWakeMutex);
        FNotifyWnd = notifyWnd;
        FJobCode = jobCode;
        FPending = true;
    }
    FWake.notify_all();
}

void TCommThread::run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(FWakeMutex);
            FWake.wait(lock, [this] { return FPending || FTerminate; });
            if (!FPending)
                break;
            FPending = false;
            FJobNotifyWnd = FNotifyWnd;
        }
        RunOneJob();
    }
    // The port was opened on this thread; close it here too.
    FUart.Close();
    // Notify under the lock: the destructor may free the condition as soon as it sees this.
    std::lock_guard<std::mutex> lock(FWakeMutex);
    FFinished = true;
    FWake.notify_all();
}

void TCommThread::RunOneJob() {
    try {
        FLog.Clear();
        FLinkOpened = false;
        FPortName = FOrigin ? FOrigin->FPortName : QString();
        FBaudRate = FOrigin ? FOrigin->FBaudRate : 9600;
        FLink.FPeerHost = FOrigin ? FOrigin->FPeerHost : QString();
        FLink.FPeerPort = FOrigin ? FOrigin->FPeerPort : 0;
        FErrorCode = 0;
        switch (FJobCode) {
        case jobDownload:
            DoDownload();
            break;
        case jobCommand:
            DoCommand();
            break;
        case jobProgram:
            DoProgram();
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        // A job cut short must never pass for success, and its traffic must still be seen.
        FErrorCode = errJobFailed;
        if (FLinkOpened)
            CloseLink();
        FLog.AddLog("ERROR " + QByteArray(e.what()) + TTrafficLog::TimeStamp());
    } catch (...) {
        FErrorCode = errJobFailed;
        if (FLinkOpened)
            CloseLink();
        FLog.AddLog("ERROR unknown exception" + TTrafficLog::TimeStamp());
    }
    try {
        FLog.SaveToFile(FLogPath);
    } catch (...) {
        // An unwritable log leaves the job's result as it was.
    }
    FJobCode = 0;
    FDoneEvent.Set();
    Post(new TJobDoneEvent);
}

void TCommThread::Post(QEvent* event) {
    QObject* target = FJobNotifyWnd;
    if (target)
        QCoreApplication::postEvent(target, event);
    else
        delete event;
}

void TCommThread::ReportProgress(const QString& text, int32_t done, int32_t total, bool statusBar) {
    if (statusBar) {
        Post(new TStatusTextEvent(text));
        return;
    }
    const int64_t now = FClock();
    const int64_t spanMs = (now - FLastProgressTime) / 1000000;
    if (!FHaveProgressTime || spanMs > 70 || done >= total) {
        FHaveProgressTime = true;
        FLastProgressTime = now;
        Post(new TProgressEvent(done, total));
    }
}
