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
#include "PortName.h"
#include "PortStep.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <cmath>

QString FilesFolder(const TCliRequest& r) {
    if (!r.FFilesFolder.isEmpty())
        return r.FFilesFolder;
    // Chosen only when needed: the rule may create the per-user folder.
    static const QString folder = ResolveAppFolder(QCoreApplication::applicationDirPath());
    return folder;
}

namespace {

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

TJobReport JobStart(const QString& port, const QString& job) {
    TJobReport report;
    report.FTime = QDateTime::currentDateTime();
    report.FPort = port;
    report.FJob = job;
    if (!IsDatagramPortName(port))
        if (const auto present = PresentPort(port, PresentPorts())) {
            report.FUsbId = UsbIdText(*present);
            report.FUsbSerial = present->FSerialNumber;
        }
    return report;
}

TJobReport StepStart(const QString& port, const TPortStep& step) {
    TJobReport report = JobStart(port, step.FJob);
    report.FFiles = step.FFiles;
    report.FSha256 = step.FSha256;
    return report;
}

void JobEnded(TJobReport& report, const TPortRunner& runner) {
    report.FStarted = runner.FStarted;
    report.FStatus = runner.FStatus;
    report.FReason = runner.FStatus == exitOk ? QString() : runner.FMessage;
    report.FDeviceId = runner.FDeviceId;
    report.FSeconds = double(report.FTime.msecsTo(QDateTime::currentDateTime())) / 1000.0;
    report.FBytes = runner.FBytes;
    report.FRetries = runner.FRetries;
    report.FSerial = runner.FSerial;
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
    line.Add(QStringLiteral("time"), LocalTimeText(r.FTime))
        .Add(QStringLiteral("port"), r.FPort)
        .Add(QStringLiteral("job"), r.FJob);
    AddStep(line, r);
    return line;
}

TJsonLine EndEvent(const TJobReport& r) {
    TJsonLine line = Event(event::End);
    line.Add(QStringLiteral("port"), r.FPort)
        .Add(QStringLiteral("identification"),
             r.FDeviceId.isEmpty() ? QString() : IdentificationText(r.FDeviceId))
        .Add(QStringLiteral("job"), r.FJob)
        .Add(QStringLiteral("status"), r.FStatus)
        .Add(QStringLiteral("result"),
             r.FSkipped ? QStringLiteral("skipped") : ResultWord(r.FStatus))
        .Add(QStringLiteral("reason"), r.FReason)
        .Add(QStringLiteral("seconds"), std::round(r.FSeconds * 1000) / 1000)
        .Add(QStringLiteral("bytes"), qint64(r.FBytes))
        .Add(QStringLiteral("retries"), r.FRetries)
        .Add(QStringLiteral("serial"), r.FSerial)
        .Add(QStringLiteral("sha256"), QString::fromLatin1(r.FSha256));
    AddStep(line, r);
    if (r.FRate > 0)
        line.Add(QStringLiteral("rate"), r.FRate);
    return line;
}

void AppendHistory(const TCliRequest& r, const TJobReport& report,
                   const std::function<void(const QString&)>& note) {
    THistoryRecord h;
    h.FTime = report.FTime;
    h.FProgram = QCoreApplication::applicationName();
    h.FVersion = QCoreApplication::applicationVersion();
    h.FPort = report.FPort;
    h.FUsbId = report.FUsbId;
    h.FUsbSerial = report.FUsbSerial;
    h.FIdentification =
        report.FDeviceId.isEmpty() ? QString() : IdentificationText(report.FDeviceId);
    h.FJob = report.FJob;
    h.FFiles = report.FFiles;
    h.FBytes = report.FBytes;
    h.FRetries = report.FRetries;
    h.FSeconds = report.FSeconds;
    h.FResult = ResultWord(report.FStatus);
    h.FReason = report.FReason;
    h.FSerial = report.FSerial;
    QString error;
    if (THistoryLog(FilesFolder(r)).Append(h, &error))
        return;
    // A station writes a line a job all day long: one sentence for each reason is enough.
    static QSet<QString> told;
    if (told.contains(error))
        return;
    told.insert(error);
    note(QStringLiteral("%1 was not written: %2").arg(THistoryLog::FileName, error));
}
