#include "UniMain.h"

#include <QApplication>
#include <QDialog>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QtMessageHandler PreviousHandler = nullptr;

// A machine without a sound device, or without the optional sound files, is normal for this
// tool; Qt's audio layer says so on every start and every sound, partly outside its logging
// categories.
bool IsAudioNoise(const QMessageLogContext& context, const QString& text) {
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    return category.startsWith(QLatin1String("qt.multimedia")) ||
           text.startsWith(QLatin1String("PulseAudioService")) ||
           text.startsWith(QLatin1String("No audio device")) ||
           text.startsWith(QLatin1String("QSoundEffect"));
}

void MessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg && type != QtCriticalMsg && IsAudioNoise(context, text))
        return;
    if (PreviousHandler)
        PreviousHandler(type, context, text);
}

// SIGTERM and SIGINT (a session ending, a test harness, Ctrl+C) close the window the normal way,
// so that the settings are saved. The handler only writes a byte; the event loop does the rest.
int SignalFds[2] = {-1, -1};

void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(SignalFds[0], &byte, 1);
    errno = saved;
}

bool CatchTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, SignalFds) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

QPointer<TfrmMain> Window;
bool CloseRequested = false;

// Open dialogs are dismissed first: a close while one runs its own loop would leave the process
// waiting on it. A job in progress defers the close itself until the job has ended.
void CloseWhenFree() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(10, &CloseWhenFree);
        return;
    }
    if (Window)
        Window->close();
}

} // namespace

int main(int argc, char* argv[]) {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.multimedia*=false"));
    PreviousHandler = qInstallMessageHandler(MessageHandler);
    // Before anything else, so that a signal that comes during start-up waits for the loop.
    const bool catching = CatchTerminationSignals();
    QApplication app(argc, argv);
    if (catching) {
        auto* notifier = new QSocketNotifier(SignalFds[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char bytes[16];
            [[maybe_unused]] const auto read = ::read(SignalFds[1], bytes, sizeof bytes);
            CloseRequested = true;
            // Nobody may be there to answer a box from now on.
            if (Window)
                Window->SendMessagesToStderr();
            CloseWhenFree();
        });
    }
    TfrmMain window;
    Window = &window;
    window.show();
    // Asked for while the window was being built (and perhaps showing a start-up message).
    if (CloseRequested) {
        window.SendMessagesToStderr();
        QTimer::singleShot(0, &CloseWhenFree);
    }
    return app.exec();
}
