// The window's side of a job: posting, waiting, reporting, progress.

#include "UniMain.h"

#include "TextToInt.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

void TfrmMain::RunCommandJob() {
    FPortName = TrimCtl(ComboPort->currentText());
    FBaudRate = TextToInt(TrimCtl(ComboBaud->currentText()));
    RunJob(jobCommand);
}

void TfrmMain::TakeTopBarAsTyped() {
    FPortName = ComboPort->currentText();
    FBaudRate = TextToInt(TrimCtl(ComboBaud->currentText()));
}

void TfrmMain::RunJob(uint8_t jobCode) {
    if (!FComm || FJobRunning)
        return;
    {
        SetJobRunning(true);
        // Whatever happens, the buttons come back and a close can take effect.
        struct TRunningGuard {
            TfrmMain* FWindow;
            ~TRunningGuard() { FWindow->SetJobRunning(false); }
        } guard{this};
        FPostJob(jobCode);
        WaitForJob();
        ReportJobResult();
    }
    if (FCloseRequested) {
        FCloseRequested = false;
        close();
    }
}

void TfrmMain::SetJobRunning(bool running) {
    FJobRunning = running;
    for (QWidget* button : FJobButtons)
        button->setEnabled(!running);
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

void TfrmMain::ReportJobResult() {
    const bool ok = FComm->FErrorCode == 0;
    FPlaySound(FAppPath + (ok ? QStringLiteral("ok.wav") : QStringLiteral("error.wav")));
    FShowMessage(AppTitle(), ok ? QStringLiteral("OK") : QStringLiteral("ERROR"),
                 QMessageBox::NoIcon);
}

void TfrmMain::WMProgress(int32_t done, int32_t total) {
    if (total == 0)
        return;
    int64_t permille = int64_t(done) * 1000 / total;
    permille = std::clamp<int64_t>(permille, 0, 1000);
    const int p = static_cast<int>(permille);
    FStatusPanels[0]->setText(
        QString::asprintf("Finished: %d.%d%%(%d/%d)", p / 10, p % 10, done / 256, total / 256));
}
