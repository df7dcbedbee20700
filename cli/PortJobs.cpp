#include "PortJobs.h"

#include "CliOptions.h"
#include "ExitStatus.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <cstdio>
#include <unistd.h>

namespace {

// With several ports each gets its own log: the port's name goes before the extension.
QString LogPathFor(const QString& logPath, const QString& port, int ports, QSet<QString>& used) {
    if (logPath.isEmpty())
        return {};
    if (ports == 1)
        return logPath;
    const QFileInfo info(logPath);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem =
        info.dir().filePath(info.completeBaseName() + QLatin1Char('-') + PortFileTag(port));
    QString path = stem + suffix;
    for (int n = 2; used.contains(path); ++n)
        path = stem + QLatin1Char('-') + QString::number(n) + suffix;
    used.insert(path);
    return path;
}

} // namespace

TPortRunner::TPortRunner(TJobSet& set, const QString& port, const TJobOrigin& origin,
                         const QString& logPath)
    : FPort(port), FSet(set), FOrigin(origin) {
    FWorker = std::make_unique<TCommThread>(&FOrigin);
    FWorker->SetLogPath(logPath);
}

TPortRunner::~TPortRunner() {
    // The worker may post to this object until its thread has ended.
    FWorker.reset();
}

void TPortRunner::Start(uint8_t job, std::function<void(TPortRunner&)> onDone) {
    if (!FStarted)
        FTimer.start();
    FStarted = true;
    FOnDone = std::move(onDone);
    FSet.JobStarted();
    FWorker->PostJob(job, this);
}

bool TPortRunner::event(QEvent* e) {
    if (e->type() == WM_PROGRESS) {
        const auto* p = static_cast<TProgressEvent*>(e);
        FDone = p->FDone;
        if (p->FTotal > 0)
            FTotal = p->FTotal;
        FSet.ProgressChanged();
        return true;
    }
    if (e->type() == WM_STATUSTEXT) {
        if (FSet.Verbose())
            FSet.Note(
                QStringLiteral("%1: %2").arg(FPort, static_cast<TStatusTextEvent*>(e)->FText));
        return true;
    }
    if (e->type() != WM_USER)
        return QObject::event(e);
    // The end-of-job event is posted after the done event is set; seeing the latter hands the
    // results over.
    TCommThread& w = *FWorker;
    if (w.FDoneEvent.WaitFor(1000)) {
        FStatus = ExitStatusFor(w.FErrorCode, w.FErrorStep);
        FMessage = w.FErrorText;
        FDeviceId = w.FDeviceId;
        if (!w.FLogError.isEmpty())
            FSet.Note(
                QStringLiteral("%1: the traffic log was not written: %2").arg(FPort, w.FLogError));
    } else {
        FStatus = exitInternal;
        FMessage = QStringLiteral("%1: the job's end was not signalled.").arg(FPort);
    }
    FSeconds = double(FTimer.nsecsElapsed()) / 1e9;
    if (FStatus == exitOk)
        FDone = FTotal;
    FSet.ProgressChanged();
    const std::function<void(TPortRunner&)> onDone = std::move(FOnDone);
    FOnDone = nullptr;
    if (onDone)
        onDone(*this);
    FSet.JobEnded();
    return true;
}

TJobSet::TJobSet(const TCliRequest& request, const QStringList& ports, bool progress)
    : FVerbose(request.FVerbose),
      FProgress(progress && !request.FQuiet && ::isatty(STDERR_FILENO) == 1) {
    TJobOrigin origin;
    origin.FBaudRate = request.FBaudRate;
    origin.FPeerHost = request.FSettings.FPeerHost;
    origin.FPeerPort = request.FSettings.FPeerPort;
    FTimer.start();
    QSet<QString> logs;
    for (const QString& port : ports) {
        origin.FPortName = port;
        FRunners.push_back(std::make_unique<TPortRunner>(
            *this, port, origin, LogPathFor(request.FLogPath, port, int(ports.size()), logs)));
    }
}

TJobSet::~TJobSet() {
    FProgress.Clear();
}

void TJobSet::Wait() {
    if (FRunning > 0)
        FLoop.exec();
    FProgress.Clear();
}

void TJobSet::Note(const QString& line) {
    FProgress.Clear();
    std::fprintf(stderr, "nuvctl: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

void TJobSet::JobStarted() {
    ++FRunning;
}

void TJobSet::JobEnded() {
    if (--FRunning == 0)
        FLoop.quit();
}

void TJobSet::ProgressChanged() {
    if (!FProgress.Enabled())
        return;
    int64_t done = 0;
    int64_t total = 0;
    for (const auto& r : FRunners) {
        done += r->FDone;
        total += r->FTotal;
    }
    FProgress.Update(done, total, FRunning, int(FRunners.size()));
}
