#include "UniMain.h"

#include "AppFolder.h"
#include "TextToInt.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSoundEffect>
#include <QTabWidget>
#include <QUrl>
#include <stdexcept>

TfrmMain::TfrmMain(const QString& appPath, QWidget* parent) : QMainWindow(parent) {
    FAppPath =
        appPath.isEmpty() ? ResolveAppFolder(QCoreApplication::applicationDirPath()) : appPath;
    if (!FAppPath.endsWith(QLatin1Char('/')))
        FAppPath += QLatin1Char('/');

    FShowMessage = FDefaultSeams.FShowMessage;
    if (!FShowMessage)
        FShowMessage = [this](const QString& title, const QString& text, QMessageBox::Icon icon) {
            QMessageBox box(icon, title, text, QMessageBox::Ok, this);
            box.exec();
        };
    FPlaySound = FDefaultSeams.FPlaySound;
    if (!FPlaySound)
        FPlaySound = [this](const QString& path) { PlaySoundFile(path); };
    FOpenFileName = FDefaultSeams.FOpenFileName;
    if (!FOpenFileName)
        FOpenFileName = [this] {
            return QFileDialog::getOpenFileName(
                this, QString(), FAppPath, QStringLiteral("BINARY FILE(*.bin);;ALL FILE(*.*)"));
        };
    FOpenPictureName = FDefaultSeams.FOpenPictureName;
    if (!FOpenPictureName)
        FOpenPictureName = [this] {
            // Any file may be tried: it is decoded as a bitmap whatever its extension.
            return QFileDialog::getOpenFileName(
                this, QString(), FAppPath, QStringLiteral("Bitmaps (*.bmp *.dib);;All files (*)"));
        };
    FPostJob = [this](uint8_t jobCode) { FComm->PostJob(jobCode, this); };

    CreateControls();
    // An installed program keeps its files elsewhere than a build does: say where.
    FStatusPanels[1]->setText(
        QStringLiteral("Files: %1").arg(QDir::toNativeSeparators(QDir::cleanPath(FAppPath))));
    FormCreate();
}

TfrmMain::~TfrmMain() {
    FormDestroy();
}

QString TfrmMain::AppTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString TfrmMain::StatusPanelText(int panel) const {
    if (panel < 0 || panel > 1)
        return {};
    return FStatusPanels[panel]->text();
}

bool TfrmMain::FactoryTabShown() const {
    return PageControl1->isTabVisible(PageControl1->indexOf(TabFactory));
}

bool TfrmMain::event(QEvent* e) {
    if (e->type() == WM_PROGRESS) {
        const auto* progress = static_cast<TProgressEvent*>(e);
        WMProgress(progress->FDone, progress->FTotal);
        return true;
    }
    if (e->type() == WM_STATUSTEXT) {
        FStatusPanels[1]->setText(static_cast<TStatusTextEvent*>(e)->FText);
        return true;
    }
    if (e->type() == WM_USER)
        return true; // only wakes WaitForJob
    return QMainWindow::event(e);
}

void TfrmMain::closeEvent(QCloseEvent* e) {
    if (FJobRunning) {
        // The job must end (and be reported) first; RunJob closes the window then.
        FCloseRequested = true;
        e->ignore();
        return;
    }
    FormDestroy();
    e->accept();
}

void TfrmMain::Guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const EConvertError& e) {
        ShowError(e.Message());
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

void TfrmMain::ShowError(const QString& text) {
    FShowMessage(AppTitle(), text, QMessageBox::Critical);
}

void TfrmMain::PlaySoundFile(const QString& path) {
    // Asynchronous and without a fallback: a missing file or a machine without sound plays
    // nothing. Never wait on the effect: without a device it reports "playing" for ever.
    if (!QFileInfo(path).isFile())
        return;
    if (!FSound)
        FSound = new QSoundEffect(this);
    FSound->stop();
    FSound->setSource(QUrl::fromLocalFile(path));
    FSound->play();
}
