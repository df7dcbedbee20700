#include "UniMain.h"

#include "AppFolder.h"
#include "TextToInt.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QSoundEffect>
#include <QStyle>
#include <QTabWidget>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace {

// Zero width; no line may break on either side of it.
constexpr QChar WordJoiner(0x2060);

// Ctrl+C copies the box's texts as given, without the joiners that keep its paths whole: a
// reason to paste into a message to support.
class TMessageBox : public QMessageBox {
public:
    TMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                const QString& informative, QWidget* parent)
        : QMessageBox(icon, title, QString(), QMessageBox::Ok, parent), FText(text),
          FInformative(informative) {}

protected:
    void keyPressEvent(QKeyEvent* e) override {
#ifndef QT_NO_CLIPBOARD
        if (e->matches(QKeySequence::Copy)) {
            QGuiApplication::clipboard()->setText(
                FInformative.isEmpty() ? FText : FText + QStringLiteral("\n\n") + FInformative);
            e->accept();
            return;
        }
#endif
        QMessageBox::keyPressEvent(e);
    }

private:
    QString FText;
    QString FInformative;
};

// A box's text and its informative text as one line of the status bar.
QString PanelLine(const QString& text, const QString& informative) {
    if (informative.isEmpty())
        return text;
    const bool sentence = text.endsWith(u'.') || text.endsWith(u'!') || text.endsWith(u'?');
    return text + (sentence ? QStringLiteral(" ") : QStringLiteral(": ")) + informative;
}

} // namespace

QString TfrmMain::KeepPathsWhole(const QString& text) {
    // Qt's line breaking allows a break after "/" and "-"; in a path that splits a name in two.
    // Words without a "/" keep their breaks.
    QString out;
    out.reserve(text.size() * 2);
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i).isSpace()) {
            out += text.at(i++);
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !text.at(end).isSpace())
            ++end;
        const QStringView word = QStringView(text).sliced(i, end - i);
        const bool path = word.contains(u'/');
        for (qsizetype k = 0; k < word.size(); ++k) {
            out += word.at(k);
            if (path && k + 1 < word.size() && !word.at(k).isLetterOrNumber())
                out += WordJoiner;
        }
        i = end;
    }
    return out;
}

std::unique_ptr<QMessageBox> TfrmMain::NewMessageBox(QWidget* parent, const QString& title,
                                                     const QString& text, QMessageBox::Icon icon,
                                                     const QString& informative) {
    auto box = std::make_unique<TMessageBox>(icon, title, text, informative, parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(KeepPathsWhole(text));
    box->setInformativeText(KeepPathsWhole(informative));
    return box;
}

QString TStatusPanel::ShownText() const {
    const int width = contentsRect().width() - 2 * margin();
    return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(width, 0));
}

QSize TStatusPanel::minimumSizeHint() const {
    // Any width will do: the text is cut to fit.
    return {fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) + 2 * margin() +
                2 * frameWidth(),
            QLabel::minimumSizeHint().height()};
}

void TStatusPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const auto flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment()));
    style()->drawItemText(&painter, area, flags, palette(), isEnabled(), ShownText(),
                          foregroundRole());
}

void TStatusPanel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && FOnClick)
        FOnClick();
}

TfrmMain::TfrmMain(const QString& appPath, QWidget* parent) : QMainWindow(parent) {
    if (appPath.isEmpty()) {
        const TAppFolder folder = FDefaultSeams.FAppFolder
                                      ? FDefaultSeams.FAppFolder()
                                      : ChooseAppFolder(QCoreApplication::applicationDirPath());
        FAppPath = folder.FPath;
        FFolderProblem = folder.FProblem;
    } else {
        FAppPath = appPath;
    }
    if (!FAppPath.endsWith(QLatin1Char('/')))
        FAppPath += QLatin1Char('/');

    FShowMessage = FDefaultSeams.FShowMessage;
    if (!FShowMessage)
        FShowMessage = [this](const QString& title, const QString& text, QMessageBox::Icon icon,
                              const QString& informative) {
            NewMessageBox(this, title, text, icon, informative)->exec();
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
    FSaveBundleName = FDefaultSeams.FSaveBundleName;
    if (!FSaveBundleName)
        FSaveBundleName = [this](const QString& suggested) {
            return QFileDialog::getSaveFileName(this, QStringLiteral("Save a support bundle"),
                                                suggested,
                                                QStringLiteral("Support bundles (*.tar.gz)"));
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
    CreateSupportAction();
    // An installed program keeps its files elsewhere than a build does: say where, or why
    // nothing can be kept.
    FStatusPanels[1]->Show(
        FFolderProblem.isEmpty()
            ? QStringLiteral("Files: %1").arg(QDir::toNativeSeparators(QDir::cleanPath(FAppPath)))
            : FFolderProblem);
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
            FStatusPanels[1]->Show(static_cast<TStatusTextEvent*>(e)->FText);
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
        FStatusPanels[1]->Show(QStringLiteral("Closing after the current job..."));
        e->ignore();
        return;
    }
    FormDestroy();
    e->accept();
}

void TfrmMain::Guarded(const std::function<void()>& body) {
    FBeforeJob = true;
    struct TBeforeJobGuard {
        bool& FFlag;
        ~TBeforeJobGuard() { FFlag = false; }
    } guard{FBeforeJob};
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

void TfrmMain::ShowBox(const QString& title, const QString& text, QMessageBox::Icon icon,
                       const QString& informative) {
    if (FBeforeJob) {
        ForgetLastJob();
        SetFailure({title, text, icon, informative, QDateTime::currentDateTime()},
                   PanelLine(text, informative));
    }
    if (FMessagesToStderr) {
        // Nobody is there to press OK.
        const QString line = PanelLine(text, informative);
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(line));
        return;
    }
    FShowMessage(title, text, icon, informative);
}

void TfrmMain::ShowError(const QString& text, const QString& informative) {
    ShowBox(AppTitle(), text, QMessageBox::Critical, informative);
}

void TfrmMain::ForgetLastJob() {
    if (FPanel0Progress) {
        FStatusPanels[0]->Show(QString());
        FPanel0Progress = false;
    }
    FStatusPanels[1]->Show(QString());
    FStatusPanels[1]->unsetCursor();
    FLastFailure.reset();
}

void TfrmMain::SetFailure(const TFailureBox& box, const QString& panelText) {
    FLastFailure = box;
    if (!panelText.isEmpty())
        FStatusPanels[1]->Show(panelText);
    FStatusPanels[1]->setCursor(Qt::PointingHandCursor);
}

void TfrmMain::ShowLastFailure() {
    if (!FLastFailure || FJobRunning)
        return;
    const TFailureBox& box = *FLastFailure;
    const QString when = QStringLiteral("Failed at %1.")
                             .arg(box.FTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    ShowBox(box.FTitle, box.FText, box.FIcon,
            box.FInformative.isEmpty() ? when : box.FInformative + QStringLiteral("\n\n") + when);
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
