// UPDATE page: firmware programming and the font download.

#include "UniMain.h"

#include "FileError.h"
#include "FileNames.h"
#include "FirmwareImage.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

void TfrmMain::btUpdateClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        QDir::setCurrent(FAppPath);
        // The port name goes as typed here, unlike the SET pages.
        TakeTopBarAsTyped();
        const QString path = FOpenFileName();
        if (path.isEmpty() || !QFileInfo(path).isFile())
            return;
        FComm->FStream.LoadFromFile(path);
        if (!CheckFirmwareImage(FComm->FStream.Data())) {
            ShowBox(QStringLiteral("NUV-II Print Tool"), QStringLiteral("Invalid file"),
                    QMessageBox::Critical, FirmwareImageProblem(FComm->FStream.Data()));
            return;
        }
        FComm->FStream.SetPosition(0);
        RunJob(jobProgram, {historyjob::Program, {path}, {}});
    });
}

void TfrmMain::btFontClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        QDir::setCurrent(FAppPath);
        TakeTopBarAsTyped();
        // The download job would skip a missing file and report success having sent nothing.
        const QString path = FAppPath + filename::Font;
        QFile font(path);
        if (!font.open(QIODevice::ReadOnly)) {
            ShowError(FileErrorText("open", path, font.errorString()));
            return;
        }
        font.close();
        FComm->SetDownload(FontDownload(path));
        RunJob(jobDownload, {historyjob::Font, {path}, {}});
    });
}
