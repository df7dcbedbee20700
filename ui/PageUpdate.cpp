// UPDATE page: firmware programming and the font download.

#include "UniMain.h"

#include "FirmwareImage.h"

#include <QComboBox>
#include <QDir>
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
            FShowMessage(QStringLiteral("NUV-II Print Tool"), QStringLiteral("Invalid file"),
                         QMessageBox::Critical);
            return;
        }
        FComm->FStream.SetPosition(0);
        RunJob(jobProgram);
    });
}

void TfrmMain::btFontClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        // "font.bin" is named relative to the program's folder.
        QDir::setCurrent(FAppPath);
        TakeTopBarAsTyped();
        FComm->FFileNames = QStringList{QStringLiteral("font.bin")};
        FComm->FFileLabels = QStringList{QStringLiteral("font.bin")};
        FComm->FFileCommands = QStringList{QStringLiteral("$63")};
        FComm->FFileBases = QStringList{QStringLiteral("0")};
        RunJob(jobDownload);
    });
}
