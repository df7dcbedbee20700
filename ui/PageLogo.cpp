// NVRAM page: the logo list, its image, the space line and the download.

#include "UniMain.h"

#include "FileError.h"

#include "LogoImage.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QSaveFile>

bool TfrmMain::BuildLogoImage() {
    const TLogoBuild build = ::BuildLogoImage(FLogoFiles, FLogoSize, FLogoWidth);
    FLogoImage = build.FImage;
    FLogoBuildOk = build.FOk;
    if (!build.FOk) {
        if (build.FDecodeError)
            ShowError(build.FMessage);
        else
            FShowMessage(AppTitle(), build.FMessage, QMessageBox::NoIcon, QString());
    }
    return build.FOk;
}

void TfrmMain::SetLogoSpaceLine() {
    FStatusPanels[0]->setText(LogoSpaceText(FLogoImage.size(), FLogoSize));
}

void TfrmMain::actAddLogoUpdate() {
    const qsizetype count = FLogoFiles.size();
    actAddLogo->setEnabled(count <= FLogoQuantity && count < MaxLogoEntries);
}

void TfrmMain::actDeleteUpdate() {
    actDelete->setEnabled(!FLogoFiles.isEmpty());
}

void TfrmMain::UpdateActions() {
    actAddLogoUpdate();
    actDeleteUpdate();
}

void TfrmMain::actAddLogoExecute() {
    // The list's count byte must stay true, whatever calls this.
    if (FLogoFiles.size() >= MaxLogoEntries)
        return;
    const QString chosen = FOpenPictureName();
    if (chosen.isEmpty())
        return;
    const QString path = QFileInfo(chosen).absoluteFilePath();
    FLogoFiles.append(path);
    ListLogo->addItem(QDir::toNativeSeparators(QDir(FAppPath).relativeFilePath(path)));
    UpdateActions();
    if (!BuildLogoImage()) {
        // Whatever entry failed, the one just added goes again.
        ListLogo->setCurrentRow(ListLogo->count() - 1);
        actDeleteExecute();
    }
    SetLogoSpaceLine();
}

void TfrmMain::actDeleteExecute() {
    if (FLogoFiles.isEmpty())
        return;
    const QList<QListWidgetItem*> selected = ListLogo->selectedItems();
    const int index = selected.isEmpty() ? ListLogo->count() - 1 : ListLogo->row(selected.first());
    FLogoFiles.removeAt(index);
    delete ListLogo->takeItem(index);
    // Nothing stays selected, so a further DELETE takes the last entry again.
    ListLogo->clearSelection();
    ListLogo->setCurrentRow(-1);
    UpdateActions();
    BuildLogoImage();
    SetLogoSpaceLine();
}

void TfrmMain::btLOGOClick() {
    if (FJobRunning || !FComm)
        return;
    Guarded([this] {
        // A bad rate is reported before anything is written.
        TakeTopBarAsTyped();
        // An image from a failed build counts entries it does not hold; never send one.
        if (!FLogoBuildOk && !BuildLogoImage())
            return;

        const QString logoPath = FAppPath + QStringLiteral("logo.bin");
        QSaveFile file(logoPath);
        // A folder we may not create files in still lets a writable logo.bin be rewritten.
        file.setDirectWriteFallback(true);
        if (!file.open(QIODevice::WriteOnly) || file.write(FLogoImage) != FLogoImage.size() ||
            !file.commit()) {
            ShowError(FileErrorText("create", logoPath, file.errorString()),
                      QStringLiteral("Neither logo.bin nor its folder %1 may be written.")
                          .arg(QDir::toNativeSeparators(FAppPath)));
            return;
        }
        QDir::setCurrent(FAppPath);
        FComm->FFileNames = QStringList{logoPath};
        FComm->FFileLabels = QStringList{QStringLiteral("logo.bin")};
        FComm->FFileCommands = QStringList{QString::number(FLogoCommand)};
        FComm->FFileBases = QStringList{QString::number(FLogoPara)};
        RunJob(jobDownload);
    });
}
