#include "PortJobs.h"

#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "Report.h"
#include "StopSignals.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <unistd.h>

QStringList PortLogPaths(const QString& logPath, const QStringList& ports) {
    QStringList paths;
    QSet<QString> used;
    for (const QString& port : ports) {
        if (logPath.isEmpty() || ports.size() == 1) {
            paths.append(logPath);
            continue;
        }
        const QFileInfo info(logPath);
        const QString suffix =
            info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
        const QString stem =
            info.dir().filePath(info.completeBaseName() + QLatin1Char('-') + PortFileTag(port));
        QString path = stem + suffix;
        for (int n = 2; used.contains(path); ++n)
            path = stem + QLatin1Char('-') + QString::number(n) + suffix;
        used.insert(path);
        paths.append(path);
    }
    return paths;
}

namespace {

// What a frame's argument is: a firmware block's offset, a downloaded block's address, or the
// rate, mode or nothing of the other commands.
QString ArgumentName(uint16_t command) {
    switch (command) {
    case cmdWriteProgram:
        return QStringLiteral("offset");
    case cmdQueryDevice:
    case cmdSetLinkRate:
    case cmdSelectMode:
    case cmdSetParameters:
    case cmdSetBluetooth:
    case cmdSetIrRate:
    case cmdSetFactoryInfo:
        return QStringLiteral("argument");
    default:
        return QStringLiteral("address");
    }
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

void TPortRunner::SetLink(int32_t rate, const QString& peerHost, uint16_t peerPort,
                          const QString& logPath, bool frames) {
    FOrigin.FBaudRate = rate;
    FOrigin.FReportFrames = frames;
    FOrigin.FPeerHost = peerHost;
    FOrigin.FPeerPort = peerPort;
    FWorker->SetLogPath(logPath);
}

void TPortRunner::ClearResult() {
    FStarted = false;
    FStatus = 0;
    FMessage.clear();
    FDeviceId.clear();
    FCommandSent = false;
    FSeconds = 0;
    FDone = FTotal = 0;
    FNote.clear();
    FBytes = 0;
    FRetries = 0;
    FSerial.clear();
}

bool TPortRunner::Start(uint8_t job, std::function<void(TPortRunner&)> onDone) {
    if (StopSignal() != 0)
        return false;
    FRunning = true;
    if (!FStarted)
        FTimer.start();
    FStarted = true;
    FOnDone = std::move(onDone);
    FSet.JobStarted();
    FWorker->PostJob(job, this);
    return true;
}

bool TPortRunner::event(QEvent* e) {
    if (e->type() == WM_PROGRESS) {
        const auto* p = static_cast<TProgressEvent*>(e);
        FDone = p->FDone;
        if (p->FTotal > 0)
            FTotal = p->FTotal;
        FSet.ProgressChanged(*this);
        return true;
    }
    if (e->type() == WM_FRAME) {
        const auto* f = static_cast<TFrameEvent*>(e);
        FSet.PortNote(*this,
                      QStringLiteral("0x%1 %2 %3: %4 bytes, %5 %6%7")
                          .arg(f->FCommand, 2, 16, QLatin1Char('0'))
                          .arg(ArgumentName(f->FCommand))
                          .arg(f->FArgument)
                          .arg(f->FLength)
                          .arg(f->FTries)
                          .arg(f->FTries == 1 ? QStringLiteral("try") : QStringLiteral("tries"))
                          .arg(f->FAnswered ? QString() : QStringLiteral(", no reply")));
        return true;
    }
    if (e->type() == WM_STATUSTEXT) {
        if (FSet.Verbose())
            FSet.PortNote(*this, static_cast<TStatusTextEvent*>(e)->FText);
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
        FCommandSent = w.FCommandSent;
        FBytes = w.FBytesAcknowledged;
        FRetries = w.FRetries;
        if (!w.FLogError.isEmpty())
            FSet.PortNote(*this,
                          QStringLiteral("The traffic log was not written: %1").arg(w.FLogError));
    } else {
        FStatus = exitInternal;
        FMessage = QStringLiteral("The job's end was not signalled.");
    }
    FSeconds = double(FTimer.nsecsElapsed()) / 1e9;
    if (FStatus == exitOk)
        FDone = FTotal;
    FRunning = false;
    FSet.ProgressChanged(*this);
    const std::function<void(TPortRunner&)> onDone = std::move(FOnDone);
    FOnDone = nullptr;
    if (onDone)
        onDone(*this);
    FSet.JobEnded();
    return true;
}

TJobSet::TJobSet(const TCliRequest& request, const QStringList& ports, bool progress)
    : FVerbose(request.FVerbose),
      FProgress(progress && !request.FQuiet && !request.FJson && ::isatty(STDERR_FILENO) == 1) {
    FOrigin.FBaudRate = request.FBaudRate;
    FOrigin.FPeerHost = request.FSettings.FPeerHost;
    FOrigin.FPeerPort = request.FSettings.FPeerPort;
    FOrigin.FReader = TReader::CommandLine;
    FOrigin.FReportFrames = request.FVerbose;
    FTimer.start();
    const QStringList logs = PortLogPaths(request.FLogPath, ports);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        FOrigin.FPortName = ports[i];
        FRunners.push_back(std::make_unique<TPortRunner>(*this, ports[i], FOrigin, logs[i]));
    }
    WhenStopped(&FStopContext, [this] { Stop(); });
}

TPortRunner& TJobSet::AddPort(const QString& port) {
    FOrigin.FPortName = port;
    FRunners.push_back(std::make_unique<TPortRunner>(*this, port, FOrigin, QString()));
    return *FRunners.back();
}

QString TJobSet::LogPathFor(const QString& logPath, const TPortRunner& runner) const {
    QStringList ports;
    qsizetype index = 0;
    for (const auto& r : FRunners) {
        if (r.get() == &runner)
            index = ports.size();
        ports.append(r->FPort);
    }
    return PortLogPaths(logPath, ports).value(index);
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
    if (FClearDisplay)
        FClearDisplay();
    Err(line);
}

void TJobSet::PortNote(const TPortRunner& runner, const QString& text) {
    Note(FRunners.size() > 1 ? runner.FPort + QStringLiteral(": ") + text : text);
}

void TJobSet::Stop() {
    if (FRunning > 0)
        Note(QStringLiteral("%1: each printer stops after its current block; a second signal ends "
                            "nuvctl at once.")
                 .arg(SignalName(StopSignal())));
    for (const auto& r : FRunners)
        r->Worker().RequestCancel();
}

void TJobSet::JobStarted() {
    ++FRunning;
}

void TJobSet::JobEnded() {
    if (--FRunning == 0)
        FLoop.quit();
}

void TJobSet::ProgressChanged(TPortRunner& runner) {
    if (FOnProgress)
        FOnProgress(runner);
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
