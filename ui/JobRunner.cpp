// The window's side of a job: posting, waiting, reporting, progress.

#include "UniMain.h"

#include "FileNames.h"
#include "HistoryLog.h"
#include "PortName.h"
#include "TextToInt.h"
#include "WidgetValues.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>

namespace {

// "11.2 kB/s, 0:21 left"
QString SpeedText(double bytesPerSecond, int64_t bytesLeft) {
    const int64_t seconds =
        static_cast<int64_t>(static_cast<double>(bytesLeft) / bytesPerSecond + 0.5);
    const QString speed = bytesPerSecond >= 1000
                              ? QStringLiteral("%1 kB/s").arg(bytesPerSecond / 1000, 0, 'f', 1)
                              : QStringLiteral("%1 B/s").arg(qRound(bytesPerSecond));
    return QStringLiteral("%1, %2:%3 left")
        .arg(speed)
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// A transfer's speed means something once a few blocks have gone.
constexpr int32_t SpeedAfterBytes = 3 * 256;
constexpr int64_t SpeedAfterNs = 300'000'000;

// A rate: the text converted, refused when it does not convert or is not positive.
int32_t PositiveRate(const QString& text, const QString& field, QWidget* widget) {
    const TRateValue rate = ConvertRate(text);
    if (rate.FProblem == TRateProblem::NotNumber)
        throw EFieldError(EConvertError(text).Message(), field, widget);
    if (rate.FProblem == TRateProblem::NotPositive)
        throw EFieldError(QStringLiteral("%1 must be a positive number of bits per second, not "
                                         "%2.")
                              .arg(field)
                              .arg(rate.FValue),
                          field, widget);
    return rate.FValue;
}

} // namespace

int32_t TfrmMain::TopBarRate() const {
    return PositiveRate(TrimCtl(ComboBaud->currentText()),
                        QStringLiteral("BAUD RATE in the top bar"), ComboBaud);
}

QString TfrmMain::FieldName(const QWidget* field) const {
    const auto* label = findChild<QLabel*>(QStringLiteral("lb_") + field->objectName());
    QString name = label ? label->text() : field->objectName();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    for (int i = 0; i < PageControl1->count(); ++i)
        if (PageControl1->widget(i)->isAncestorOf(field))
            return QStringLiteral("%1 on the %2 page").arg(name, PageControl1->tabText(i));
    return name;
}

int32_t TfrmMain::RateField(QComboBox* combo) const {
    // Converted as it stands: leading blanks are skipped, trailing ones are not allowed.
    return PositiveRate(combo->currentText(), FieldName(combo), combo);
}

int32_t TfrmMain::NumberField(QLineEdit* edit) const {
    const QString text = EditValueText(edit);
    const auto value = TryTextToInt(text);
    if (!value)
        throw EFieldError(EConvertError(text).Message(), FieldName(edit), edit);
    return *value;
}

void TfrmMain::RunCommandJob(const TJobRecord& record) {
    FPortName = TrimCtl(ComboPort->currentText());
    FBaudRate = TopBarRate();
    RunJob(jobCommand, record);
}

void TfrmMain::TakeTopBarAsTyped() {
    FPortName = ComboPort->currentText();
    FBaudRate = TopBarRate();
}

void TfrmMain::TakeTypedPeer() {
    if (const auto peer = ParseDatagramPeer(ComboPort->currentText())) {
        FPeerHost = peer->FHost;
        FPeerPort = peer->FPort;
    }
}

void TfrmMain::RunJob(uint8_t jobCode, const TJobRecord& record) {
    if (!FComm || FJobRunning)
        return;
    TakeTypedPeer();
    {
        SetJobRunning(true);
        // Whatever happens, the buttons come back and a close can take effect.
        struct TRunningGuard {
            TfrmMain* FWindow;
            ~TRunningGuard() {
                FWindow->SetJobRunning(false);
                FWindow->ProgressBar1->hide();
            }
        } guard{this};
        FBeforeJob = false;
        ForgetLastJob();
        FTransferTotal = -1;
        const THistoryRecord history = HistoryStart(record);
        QElapsedTimer timer;
        timer.start();
        FPostJob(jobCode);
        WaitForJob();
        ReportJobResult(AppendHistory(history, static_cast<double>(timer.nsecsElapsed()) / 1e9));
    }
    if (FCloseRequested) {
        FCloseRequested = false;
        close();
    }
}

void TfrmMain::SetJobRunning(bool running) {
    FJobRunning = running;
    // A disabled button hands the focus on (to PORT, as often as not); it comes back after the
    // job, so Enter presses the same button again.
    if (running)
        FFocusBeforeJob = focusWidget();
    for (QWidget* button : FJobButtons)
        button->setEnabled(!running);
    if (actSupportBundle)
        actSupportBundle->setEnabled(!running);
    if (!running && FFocusBeforeJob && FFocusBeforeJob->isEnabled())
        FFocusBeforeJob->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::WaitForJob() {
    // Sleeps in the event dispatcher; the worker's end-of-job event (posted after the done
    // event is set) or any other event wakes it to test the done event again.
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (FComm->FDoneEvent.WaitFor(0))
            break;
    }
    // The job's last progress and status texts may still be queued behind the wake-up; show
    // them before the result.
    QCoreApplication::sendPostedEvents(this, WM_PROGRESS);
    QCoreApplication::sendPostedEvents(this, WM_STATUSTEXT);
}

void TfrmMain::ReportJobResult(const QString& historyError) {
    const bool ok = FComm->FErrorCode == 0;
    const QString result = ok ? QStringLiteral("OK") : QStringLiteral("ERROR");
    const QString reason = ok ? QString() : FComm->FErrorText;
    // What could not be kept of the job leaves its result as it was; the panel says it.
    QStringList unkept;
    if (!FComm->FLogError.isEmpty())
        unkept << QStringLiteral("debug.log was not written: %1").arg(FComm->FLogError);
    if (!historyError.isEmpty())
        unkept << THistoryLog::NotWrittenText(historyError);
    QString status = reason;
    if (!unkept.isEmpty()) {
        const QString notes = unkept.join(QStringLiteral("; "));
        status = status.isEmpty() ? notes : status + QStringLiteral(" (") + notes + u')';
    }
    if (!ok) {
        SetFailure({AppTitle(), result, QMessageBox::NoIcon, reason, QDateTime::currentDateTime()},
                   status);
        // A speed and a time left mean nothing once the transfer has stopped.
        ProgressBar1->setFormat(QStringLiteral("%p%"));
    } else if (!status.isEmpty()) {
        FStatusPanels[1]->Show(status);
    }
    FPlaySound(FAppPath + (ok ? filename::OkSound : filename::ErrorSound));
    ShowBox(AppTitle(), result, QMessageBox::NoIcon, reason);
}

void TfrmMain::WMProgress(int32_t done, int32_t total) {
    if (total == 0)
        return;
    int64_t permille = int64_t(done) * 1000 / total;
    permille = std::clamp<int64_t>(permille, 0, 1000);
    const int p = static_cast<int>(permille);
    FStatusPanels[0]->Show(
        QString::asprintf("Finished: %d.%d%%(%d/%d)", p / 10, p % 10, done / 256, total / 256));
    FPanel0Progress = true;

    // The bar only while a job runs: a stray message afterwards changes the text alone.
    if (!FJobRunning)
        return;
    const int64_t now = FNowNs();
    if (total != FTransferTotal || done < FTransferStartDone) {
        // A new transfer (each file of a download starts at 0 again).
        FTransferTotal = total;
        FTransferStartDone = done;
        FTransferStartNs = now;
    }
    const int64_t moved = int64_t(done) - FTransferStartDone;
    const int64_t elapsed = now - FTransferStartNs;
    if (moved >= SpeedAfterBytes && elapsed >= SpeedAfterNs) {
        const double speed = double(moved) * 1e9 / double(elapsed);
        ProgressBar1->setFormat(SpeedText(speed, std::max<int64_t>(0, int64_t(total) - done)));
    } else {
        ProgressBar1->setFormat(QStringLiteral("%p%"));
    }
    ProgressBar1->setValue(p);
    ProgressBar1->show();
}
