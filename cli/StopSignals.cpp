#include "StopSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<int> FirstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "read and written in a signal handler");
// The handler writes one byte; the event loop reads it.
int WakeFds[2] = {-1, -1};

void OnStopSignal(int signal) {
    int none = 0;
    if (!FirstSignal.compare_exchange_strong(none, signal))
        ::_exit(128 + signal);
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(WakeFds[0], &byte, 1);
    errno = saved;
}

QSocketNotifier* Notifier() {
    static QSocketNotifier* notifier = [] {
        auto* n =
            new QSocketNotifier(WakeFds[1], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(n, &QSocketNotifier::activated, n, [n] {
            char bytes[16];
            [[maybe_unused]] const auto read = ::read(WakeFds[1], bytes, sizeof bytes);
            n->setEnabled(false);
        });
        return n;
    }();
    return notifier;
}

} // namespace

bool CatchStopSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, WakeFds) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        if (::sigaction(signal, &action, nullptr) != 0)
            return false;
    return true;
}

int StopSignal() {
    return FirstSignal.load();
}

int StopStatus() {
    const int signal = FirstSignal.load();
    return signal == 0 ? 0 : 128 + signal;
}

QString SignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

void WhenStopped(QObject* context, const std::function<void()>& onStop) {
    if (StopSignal() != 0) {
        QTimer::singleShot(0, context, onStop);
        return;
    }
    if (WakeFds[1] < 0)
        return;
    QObject::connect(Notifier(), &QSocketNotifier::activated, context, onStop);
}
