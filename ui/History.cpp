// The window's history lines and its support bundle.

#include "UniMain.h"

#include "FailureText.h"
#include "HistoryLog.h"
#include "SupportBundle.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>

QString TfrmMain::ProgramVersion() {
    return QStringLiteral(PROJECT_VERSION);
}

THistoryRecord TfrmMain::HistoryStart(const TJobRecord& record) const {
    THistoryRecord h;
    h.FTime = QDateTime::currentDateTime();
    h.FProgram = ProgramName;
    h.FVersion = ProgramVersion();
    const TRecordedPort port = RecordedPort(FPortName.trimmed(), FPeerHost, FPeerPort, FListPorts);
    h.FPort = port.FName;
    h.FUsbId = port.FUsbId;
    h.FUsbSerial = port.FUsbSerial;
    h.FJob = record.FJob;
    h.FSerial = record.FSerial;
    for (const QString& path : record.FFiles) {
        // A file that cannot be read fails the job; its line still names it.
        const auto entry = HistoryFileEntry(path);
        h.FFiles.append(entry ? *entry : THistoryFile{QFileInfo(path).absoluteFilePath(), 0, {}});
    }
    return h;
}

QString TfrmMain::AppendHistory(THistoryRecord record, double seconds) const {
    record.FIdentification = IdentificationText(FComm->FDeviceId);
    record.FBytes = FComm->FBytesAcknowledged;
    record.FRetries = FComm->FRetries;
    record.FSeconds = seconds;
    record.FResult = FComm->FErrorCode == 0              ? historyresult::Ok
                     : FComm->FErrorCode == errCancelled ? historyresult::Cancelled
                                                         : historyresult::Failed;
    record.FReason = FComm->FErrorCode == 0 ? QString() : FComm->FErrorText;
    QString error;
    if (!THistoryLog(FAppPath).Append(record, &error))
        return error;
    return {};
}

void TfrmMain::CreateSupportAction() {
    actSupportBundle = new QAction(QStringLiteral("Save a support bundle..."), this);
    actSupportBundle->setObjectName(QStringLiteral("actSupportBundle"));
    actSupportBundle->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    actSupportBundle->setShortcutContext(Qt::WindowShortcut);
    // The key works anywhere in the window; a right click on the status bar offers it too.
    addAction(actSupportBundle);
    StatusBar1->setContextMenuPolicy(Qt::ActionsContextMenu);
    StatusBar1->addAction(actSupportBundle);
    connect(actSupportBundle, &QAction::triggered, this, [this] { actSupportBundleExecute(); });
}

void TfrmMain::actSupportBundleExecute() {
    if (FJobRunning)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    QString path =
        FSaveBundleName(QDir::home().filePath(SupportBundleName(now) + QStringLiteral(".tar.gz")));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".tar.gz")) && !path.endsWith(QLatin1String(".tgz")))
        path += QStringLiteral(".tar.gz");
    const TSupportInfo info{FAppPath, ProgramName, ProgramVersion(),
                            FListPorts ? FListPorts() : QList<TPortInfo>(), now};
    QString error;
    if (WriteSupportBundle(path, info, &error))
        ShowBox(AppTitle(), QStringLiteral("OK"), QMessageBox::NoIcon,
                QStringLiteral("The support bundle was saved as %1.")
                    .arg(QDir::toNativeSeparators(path)));
    else
        ShowError(QStringLiteral("The support bundle was not saved."), error);
}
