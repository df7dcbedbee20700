// NVRAM page: the logo list, its image, the space line and the download.

#include "UniMain.h"

#include "FileError.h"

#include "FileNames.h"
#include "LogoImage.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

bool TfrmMain::BuildLogoImage() {
    const TLogoBuild build = ::BuildLogoImage(FLogoFiles, FLogoSize, FLogoWidth, &FLogoConverter);
    FLogoConverter.Retain(FLogoFiles);
    FLogoImage = build.FImage;
    FLogoBuildOk = build.FOk;
    if (!build.FOk) {
        if (build.FDecodeError)
            ShowError(build.FMessage, build.FDetail);
        else
            ShowBox(AppTitle(), build.FMessage,
                    build.FMessage == PictureInvalidText ? QMessageBox::Warning
                                                         : QMessageBox::NoIcon,
                    build.FDetail);
    }
    ShowLogoPreview();
    return build.FOk;
}

namespace {

// Shrinks a one-bit picture into size by averaging the dots under each pixel, so that thin
// lines stay visible and a tall picture costs no more than its own bits.
QImage ShrinkDots(const QImage& paper, QSize size) {
    const int w = paper.width(), h = paper.height();
    const auto width = static_cast<size_t>(size.width());
    QImage grey(size, QImage::Format_Grayscale8);
    std::vector<uint32_t> dots(width * static_cast<size_t>(size.height()), 0);
    // Which target column and row each source column and row falls in, and how many fall in
    // each, so that every target pixel is the share of dots under it.
    std::vector<int> column(static_cast<size_t>(w));
    std::vector<uint32_t> columns(static_cast<size_t>(size.width()), 0);
    std::vector<uint32_t> rows(static_cast<size_t>(size.height()), 0);
    for (int x = 0; x < w; ++x) {
        column[size_t(x)] = int(int64_t(x) * size.width() / w);
        ++columns[size_t(column[size_t(x)])];
    }
    for (int y = 0; y < h; ++y) {
        const int ty = int(int64_t(y) * size.height() / h);
        ++rows[size_t(ty)];
        uint32_t* cells = dots.data() + size_t(ty) * width;
        const uchar* line = paper.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            if (line[x >> 3] & (0x80 >> (x & 7)))
                ++cells[column[size_t(x)]];
        }
    }
    for (int y = 0; y < size.height(); ++y) {
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const double area = std::max(1.0, double(columns[size_t(x)]) * rows[size_t(y)]);
            const double share = std::min(1.0, dots[size_t(y) * width + size_t(x)] / area);
            out[x] = uchar(255 - qRound(255 * share));
        }
    }
    return grey;
}

} // namespace

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
    const auto shape = picture.FOk ? LogoRecordShape(picture.FRecord) : std::nullopt;
    if (!shape) {
        LogoPreview->setText(picture.FDetail.isEmpty()
                                 ? picture.FMessage
                                 : picture.FMessage + QLatin1Char('\n') + picture.FDetail);
        return;
    }
    FPreviewImage = LogoRecordImage(picture.FRecord, std::clamp(FLogoWidth, 1, MaxLogoDots));
    const QSize box = LogoPreview->contentsRect().size();
    const QSize fitted = FPreviewImage.size().scaled(box, Qt::KeepAspectRatio).expandedTo({1, 1});
    // Enlarged, the dots stay sharp; reduced, they are averaged.
    const QImage shown =
        fitted.width() >= FPreviewImage.width()
            ? FPreviewImage.scaled(fitted, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            : ShrinkDots(FPreviewImage, fitted);
    LogoPreview->setPixmap(QPixmap::fromImage(shown));

    // Whether it fits after the entries before it.
    int64_t used = LogoImageHeadBytes;
    for (int i = 0; i <= row; ++i) {
        const TLogoRecord r =
            FLogoConverter.Convert(FLogoFiles[i], FLogoWidth, std::numeric_limits<int64_t>::max());
        used += r.FRecord.size();
    }
    QString text = QStringLiteral("%1 x %2 dots, %3 bytes")
                       .arg(shape->Width())
                       .arg(shape->Height())
                       .arg(picture.FRecord.size());
    if (used > FLogoSize)
        text += QStringLiteral("; does not fit in SIZE (%1 bytes)").arg(FLogoSize);
    LogoPreviewText->setText(text);
}

void TfrmMain::SetLogoSpaceLine() {
    FStatusPanels[0]->Show(LogoSpaceText(FLogoImage.size(), FLogoSize));
    FPanel0Progress = false;
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

        const QString logoPath = FAppPath + filename::Logo;
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
        FComm->SetDownload(LogoDownload(logoPath, FLogoCommand, FLogoPara));
        RunJob(jobDownload, {historyjob::LogoDownload, {logoPath}, {}});
    });
}
