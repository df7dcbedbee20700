#include "UniMain.h"

#include "AppFolder.h"
#include "TextToInt.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QSoundEffect>
#include <QTabWidget>
#include <QUrl>
#include <chrono>
#include <stdexcept>

TfrmMain::TfrmMain(const QString& appPath, QWidget* parent) : QMainWindow(parent) {
    FAppPath =
        appPath.isEmpty() ? ResolveAppFolder(QCoreApplication::applicationDirPath()) : appPath;
    if (!FAppPath.endsWith(QLatin1Char('/')))
        FAppPath += QLatin1Char('/');

    FShowMessage = FDefaultSeams.FShowMessage;
    if (!FShowMessage)
        FShowMessage = [this](const QString& title, const QString& text, QMessageBox::Icon icon,
                              const QString& informative) {
            QMessageBox box(icon, title, text, QMessageBox::Ok, this);
            box.setInformativeText(informative);
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
    FListPorts = FDefaultSeams.FListPorts;
    if (!FListPorts)
        FListPorts = AvailablePorts;
    FPostJob = [this](uint8_t jobCode) { FComm->PostJob(jobCode, this); };
    FNowNs = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };

    CreateControls();
    // An installed program keeps its files elsewhere than a build does: say where.
    FStatusPanels[1]->setText(
        QStringLiteral("Files: %1").arg(QDir::toNativeSeparators(QDir::cleanPath(FAppPath))));
    FormCreate();
}

TfrmMain::~TfrmMain() {
    FormDestroy();
    // Controls going away emit signals (a focus leaving PORT activates its text); none may
    // reach a window that is half destroyed.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
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
        // Once a close is waiting, that is what the panel says.
        if (!FCloseRequested)
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
        FStatusPanels[1]->setText(QStringLiteral("Closing after the current job..."));
        e->ignore();
        return;
    }
    FormDestroy();
    e->accept();
}

void TfrmMain::Guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const EFieldError& e) {
        ShowFieldError(e);
    } catch (const EConvertError& e) {
        ShowError(e.Message());
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

void TfrmMain::ShowError(const QString& text, const QString& informative) {
    FShowMessage(AppTitle(), text, QMessageBox::Critical, informative);
}

void TfrmMain::ShowFieldError(const EFieldError& e) {
    ShowError(e.Message(), e.FFieldName);
    if (!e.FField)
        return;
    // Show the field's page first, so the focus lands where the technician looks.
    for (int i = 0; i < PageControl1->count(); ++i) {
        if (PageControl1->widget(i)->isAncestorOf(e.FField))
            PageControl1->setCurrentIndex(i);
    }
    e.FField->setFocus(Qt::OtherFocusReason);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* e) {
    // Enter presses the focused button, as Space does.
    if (e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !key->isAutoRepeat()) {
            if (button->isEnabled())
                button->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
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
