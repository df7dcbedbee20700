#include "Progress.h"

#include <QString>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kBarWidth = 24;
constexpr int64_t kRedrawMs = 100;
constexpr int64_t kRateWindowMs = 3000;

QString Bytes(double bytes) {
    if (bytes >= 1024.0 * 1024.0)
        return QString::number(bytes / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MiB");
    if (bytes >= 1024.0)
        return QString::number(bytes / 1024.0, 'f', 1) + QStringLiteral(" KiB");
    return QString::number(qint64(bytes)) + QStringLiteral(" B");
}

} // namespace

TProgressBar::TProgressBar(bool enabled) : FEnabled(enabled) {
    FTimer.start();
}

void TProgressBar::Update(int64_t done, int64_t total, int running, int ports) {
    if (!FEnabled || total <= 0)
        return;
    const int64_t now = FTimer.elapsed();
    FSamples.emplace_back(now, done);
    while (FSamples.size() > 2 && FSamples[1].first <= now - kRateWindowMs)
        FSamples.pop_front();
    // Throttled, except for the last report, which must stand.
    if (FLastDrawMs >= 0 && now - FLastDrawMs < kRedrawMs && done < total)
        return;
    FLastDrawMs = now;
    Draw(done, total, running, ports);
}

void TProgressBar::Draw(int64_t done, int64_t total, int running, int ports) {
    const double fraction = std::clamp(double(done) / double(total), 0.0, 1.0);
    const int filled = int(fraction * kBarWidth);
    const auto& [thenMs, thenDone] = FSamples.front();
    const double seconds = double(FSamples.back().first - thenMs) / 1000.0;
    const double rate = seconds >= 0.2 ? double(done - thenDone) / seconds : 0.0;
    QString left = QStringLiteral("--:--");
    if (rate > 0) {
        const int64_t s = int64_t(double(total - done) / rate + 0.5);
        left = QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    }
    QString line =
        QStringLiteral("\r[%1%2] %3% %4 / %5  %6/s  %7 left")
            .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('.')))
            .arg(fraction * 100.0, 5, 'f', 1)
            .arg(Bytes(double(done)), Bytes(double(total)), Bytes(rate), left);
    if (ports > 1)
        line += QStringLiteral("  %1 of %2 ports running").arg(running).arg(ports);
    line += QStringLiteral("\x1b[K");
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    FShown = true;
}

void TProgressBar::Clear() {
    if (!FShown)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    FShown = false;
}
