#include "CliHistory.h"

#include "AppFolder.h"
#include "CliRequest.h"
#include "Events.h"
#include "ExitStatus.h"
#include "FailureText.h"
#include "HistoryLog.h"
#include "LocalTime.h"
#include "PortJobs.h"
#include "PortList.h"
#include "PortStep.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <cmath>

namespace {

// Chosen only when needed: the rule may create the per-user folder.
const TAppFolder& DefaultFilesFolder() {
    static const TAppFolder folder = ChooseAppFolder(QCoreApplication::applicationDirPath());
    return folder;
}

// Listing the ports present takes a while; jobs starting on several ports at once, or one
// after another on one printer, share one list rather than each wait for its own.
const QList<TPortInfo>& PresentPorts() {
    constexpr qint64 kFreshMs = 1000;
    static QList<TPortInfo> ports;
    static QElapsedTimer age;
    if (!age.isValid() || age.elapsed() > kFreshMs) {
        ports = AvailablePorts();
        age.start();
    }
    return ports;
}

} // namespace

QString FilesFolder(const TCliRequest& r) {
    return r.FFilesFolder.isEmpty() ? DefaultFilesFolder().FPath : r.FFilesFolder;
}

TJobReport JobStart(const QString& port, const QString& job, const QString& peerHost,
                    uint16_t peerPort) {
    TJobReport report;
    report.FPort = port;
    THistoryRecord& h = report.FRecord;
    h.FTime = QDateTime::currentDateTime();
    const TRecordedPort recorded = RecordedPort(port, peerHost, peerPort, PresentPorts);
    h.FPort = recorded.FName;
    h.FUsbId = recorded.FUsbId;
    h.FUsbSerial = recorded.FUsbSerial;
    h.FJob = job;
    return report;
}

TJobReport StepStart(const QString& port, const TPortStep& step) {
    TJobReport report = JobStart(port, step.FJob, step.FPeerHost, step.FPeerPort);
    report.FRecord.FFiles = step.FFiles;
    report.FSha256 = step.FSha256;
    return report;
}

void JobEnded(TJobReport& report, const TPortRunner& runner) {
    report.FStarted = runner.FStarted;
    report.FStatus = runner.FStatus;
    report.FDeviceId = runner.FDeviceId;
    THistoryRecord& h = report.FRecord;
    h.FReason = runner.FStatus == exitOk ? QString() : runner.FMessage;
    h.FSeconds = runner.FSeconds;
    h.FBytes = runner.FBytes;
    h.FRetries = runner.FRetries;
    h.FSerial = runner.FSerial;
}

namespace {

void AddStep(TJsonLine& line, const TJobReport& r) {
    if (r.FStep > 0)
        line.Add(QStringLiteral("step"), r.FStep).Add(QStringLiteral("steps"), r.FSteps);
    if (r.FPrinter > 0)
        line.Add(QStringLiteral("printer"), r.FPrinter);
}

} // namespace

TJsonLine StartEvent(const TJobReport& r) {
    TJsonLine line = Event(event::Start);
    line.Add(QStringLiteral("time"), LocalTimeText(r.FRecord.FTime))
        .Add(QStringLiteral("port"), r.FPort)
        .Add(QStringLiteral("job"), r.FRecord.FJob);
    AddStep(line, r);
    return line;
}

TJsonLine EndEvent(const TJobReport& r) {
    const THistoryRecord& h = r.FRecord;
    TJsonLine line = Event(event::End);
    line.Add(QStringLiteral("port"), r.FPort)
        .Add(QStringLiteral("identification"), IdentificationText(r.FDeviceId))
        .Add(QStringLiteral("job"), h.FJob)
        .Add(QStringLiteral("status"), r.FStatus)
        .Add(QStringLiteral("result"),
             r.FSkipped ? QStringLiteral("skipped") : ResultWord(r.FStatus))
        .Add(QStringLiteral("reason"), h.FReason)
        .AddSeconds(QStringLiteral("seconds"), h.FSeconds)
        .Add(QStringLiteral("bytes"), qint64(h.FBytes))
        .Add(QStringLiteral("retries"), h.FRetries)
        .Add(QStringLiteral("serial"), h.FSerial)
        .Add(QStringLiteral("sha256"), QString::fromLatin1(r.FSha256));
    AddStep(line, r);
    if (r.FRate > 0)
        line.Add(QStringLiteral("rate"), r.FRate);
    return line;
}

void AppendHistory(const TCliRequest& r, const TJobReport& report,
                   const std::function<void(const QString&)>& note) {
    THistoryRecord h = report.FRecord;
    h.FProgram = QCoreApplication::applicationName();
    h.FVersion = QCoreApplication::applicationVersion();
    h.FIdentification = IdentificationText(report.FDeviceId);
    h.FResult = ResultWord(report.FStatus);
    QString error;
    if (THistoryLog(FilesFolder(r)).Append(h, &error))
        return;
    // A station writes a line a job all day long: one sentence for each reason is enough.
    static QSet<QString> told;
    if (told.contains(error))
        return;
    told.insert(error);
    QString text = THistoryLog::NotWrittenText(error);
    // Why no folder at all could be written, as the window says it.
    if (r.FFilesFolder.isEmpty() && !DefaultFilesFolder().FProblem.isEmpty())
        text += u' ' + DefaultFilesFolder().FProblem;
    note(text);
}
