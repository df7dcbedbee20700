#include "CommThread.h"

#include "LineRates.h"

#include "FileError.h"

#include <QCoreApplication>
#include <chrono>
#include <exception>

// Qt hands a posted event to the receiving thread under a lock of its own that ThreadSanitizer
// cannot see (Debian's Qt is not instrumented), so it would take every event the worker posts
// for a race. The worker releases each event as it posts it, and the receiving thread acquires
// it before anything reads it: ThreadSanitizer then checks the hand-over instead of ignoring it.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define NUV_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(NUV_THREAD_SANITIZER)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
namespace {
class TTsanHandOver : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* e) override {
        __tsan_acquire(e);
        return false;
    }
};
// Application filters see every event of the main thread's objects before they do.
void WatchHandOvers() {
    static TTsanHandOver* filter = [] {
        auto* f = new TTsanHandOver;
        if (QCoreApplication* app = QCoreApplication::instance())
            app->installEventFilter(f);
        return f;
    }();
    (void)filter;
}
void ReleaseHandOver(QEvent* event) {
    __tsan_release(event);
}
} // namespace
#else
namespace {
void WatchHandOvers() {}
void ReleaseHandOver(QEvent*) {}
} // namespace
#endif

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
    WatchHandOvers();
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
        FCancel.store(false);
        FPending = true;
    }
    FWake.notify_all();
}

void TCommThread::run() {
    for (;;) {
        uint8_t job = 0;
        {
            std::unique_lock<std::mutex> lock(FWakeMutex);
            FWake.wait(lock, [this] { return FPending || FTerminate; });
            if (!FPending)
                break;
            FPending = false;
            FJobNotifyWnd = FNotifyWnd;
            job = FJobCode;
        }
        RunOneJob(job);
    }
    // The port was opened on this thread; close it here too.
    FUart.Close();
    // Notify under the lock: the destructor may free the condition as soon as it sees this.
    std::lock_guard<std::mutex> lock(FWakeMutex);
    FFinished = true;
    FWake.notify_all();
}

void TCommThread::Fail(uint8_t code, TFailStep step, const QString& reason) {
    FErrorCode = code;
    FErrorStep = step;
    FErrorText = reason;
    if (FPeerRefused)
        FErrorText += QStringLiteral(" The printer's system refused the datagrams: nothing "
                                     "listens at %1 any more.")
                          .arg(PeerText(FLink.FActivePeer.FHost, FLink.FActivePeer.FPort));
}

bool TCommThread::StopsHere(const QString& reason) {
    if (!FCancel.load())
        return false;
    Fail(errCancelled, TFailStep::Cancelled, reason);
    return true;
}

void TCommThread::RunOneJob(uint8_t job) {
    try {
        FLog.Clear();
        FLinkOpened = false;
        FLinkWorked = false;
        FPeerRefused = false;
        FPortName = FOrigin ? FOrigin->FPortName : QString();
        FBaudRate = FOrigin ? FOrigin->FBaudRate : DeliveredRate;
        FLink.FPeerHost = FOrigin ? FOrigin->FPeerHost : QString();
        FLink.FPeerPort = FOrigin ? FOrigin->FPeerPort : 0;
        FReader = FOrigin ? FOrigin->FReader : TReader::Window;
        FReportFrames = FOrigin && FOrigin->FReportFrames;
        FErrorCode = 0;
        FErrorStep = TFailStep::None;
        FErrorText.clear();
        FDeviceId.clear();
        FCommandSent = false;
        FRetries = 0;
        FBytesAcknowledged = 0;
        switch (job) {
        case jobDownload:
            DoDownload();
            break;
        case jobCommand:
            DoCommand();
            break;
        case jobProgram:
            DoProgram();
            break;
        case jobQuery:
            DoQuery();
            break;
        default:
            break;
        }
    } catch (const EDatagramError& e) {
        // No peer, an unknown host or a refused datagram: the link never worked.
        const bool open = e.FKind != EDatagramError::Failed;
        Fail(open ? errOpenFailed : errJobFailed, open ? TFailStep::Open : TFailStep::Job,
             QString::fromStdString(e.what()));
    } catch (const EFileError& e) {
        Fail(errJobFailed, TFailStep::File, QString::fromStdString(e.what()));
    } catch (const std::exception& e) {
        // A job cut short must never pass for success, and its traffic must still be seen.
        Fail(errJobFailed, TFailStep::Job, QString::fromStdString(e.what()));
    } catch (...) {
        Fail(errJobFailed, TFailStep::Job, QStringLiteral("unknown exception"));
    }
    if (FLinkOpened) {
        try {
            CloseLink();
        } catch (...) {
        }
    }
    if (FErrorCode != 0) {
        // The log sent to support explains itself.
        if (FErrorText.isEmpty())
            FErrorText = QStringLiteral("The job failed (error code %1).").arg(FErrorCode);
        FLog.AddLog("ERROR " + FErrorText.toLocal8Bit() + TTrafficLog::TimeStamp());
    }
    try {
        FLogError.clear();
        if (!FLogPath.isEmpty())
            FLog.SaveToFile(FLogPath);
    } catch (const std::exception& e) {
        // An unwritable log leaves the job's result as it was; the window says so.
        FLogError = QString::fromStdString(e.what());
    }
    {
        std::lock_guard<std::mutex> lock(FWakeMutex);
        // A job posted meanwhile keeps its code.
        if (!FPending)
            FJobCode = 0;
    }
    FDoneEvent.Set();
    Post(new TJobDoneEvent);
}

void TCommThread::Post(QEvent* event) {
    QObject* target = FJobNotifyWnd;
    if (!target) {
        delete event;
        return;
    }
    ReleaseHandOver(event);
    // Workers of several ports post at once (the command-line program); Qt's list of posted
    // events grows under its own lock, which ThreadSanitizer cannot see, and no suppression can
    // name that list's growth without hiding any QList's. One lock of ours lets it see the
    // order; posts are short.
    static std::mutex posting;
    std::lock_guard<std::mutex> lock(posting);
    QCoreApplication::postEvent(target, event);
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

void TCommThread::ReportBrokenOff(int32_t acknowledged, int32_t total) {
    // Past the throttle: the last figure shown is the one the printer acknowledged.
    FHaveProgressTime = false;
    ReportProgress(QString(), acknowledged, total, false);
}
