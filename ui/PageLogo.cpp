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
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <limits>

bool TfrmMain::BuildLogoImage() {
    const TLogoBuild build = ::BuildLogoImage(FLogoFiles, FLogoSize, FLogoWidth, &FLogoConverter);
    FLogoConverter.Retain(FLogoFiles);
    FLogoImage = build.FImage;
    FLogoBuildOk = build.FOk;
    if (!build.FOk) {
        if (build.FDecodeError)
            ShowError(build.FMessage);
        else
            FShowMessage(AppTitle(), build.FMessage, QMessageBox::NoIcon, QString());
    }
    ShowLogoPreview();
    return build.FOk;
}

void TfrmMain::ShowLogoPreview() {
    const int row = ListLogo->currentRow();
    FPreviewImage = QImage();
    LogoPreview->clear();
    LogoPreviewText->clear();
    if (row < 0 || row >= FLogoFiles.size())
        return;
    // The picture alone, whatever room the entries before it leave.
    const TLogoRecord picture =
        FLogoConverter.Convert(FLogoFiles[row], FLogoWidth, std::numeric_limits<int64_t>::max());
    if (!picture.FOk) {
        LogoPreview->setText(picture.FMessage);
        return;
    }
    int bytesPerRow = 0, bands = 0;
    LogoRecordGeometry(picture.FRecord, bytesPerRow, bands);
    const QImage dots = LogoRecordImage(picture.FRecord);
    const int paperWidth = std::max(int(std::clamp(FLogoWidth, 1, MaxLogoDots)), dots.width());
    FPreviewImage = QImage(paperWidth, dots.height(), QImage::Format_RGB32);
    FPreviewImage.fill(Qt::white);
    {
        QPainter painter(&FPreviewImage);
        painter.drawImage(0, 0, dots);
    }
    // Dots stay sharp when enlarged; a reduced picture is smoothed so thin lines stay visible.
    const QSize box = LogoPreview->contentsRect().size();
    const bool enlarge =
        FPreviewImage.width() <= box.width() && FPreviewImage.height() <= box.height();
    LogoPreview->setPixmap(QPixmap::fromImage(FPreviewImage.scaled(
        box, Qt::KeepAspectRatio, enlarge ? Qt::FastTransformation : Qt::SmoothTransformation)));

    // Whether it fits after the entries before it.
    int64_t used = 3;
    for (int i = 0; i <= row; ++i) {
        const TLogoRecord r =
            FLogoConverter.Convert(FLogoFiles[i], FLogoWidth, std::numeric_limits<int64_t>::max());
        used += r.FRecord.size();
    }
    QString text = QStringLiteral("%1 x %2 dots, %3 bytes")
                       .arg(bytesPerRow * 8)
                       .arg(bands * 8)
                       .arg(picture.FRecord.size());
    if (used > FLogoSize)
        text += QStringLiteral("; does not fit in SIZE (%1 bytes)").arg(FLogoSize);
    LogoPreviewText->setText(text);
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
