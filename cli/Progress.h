#pragma once

// The transfer progress bar on stderr: bytes, rate and time left, redrawn in place. Only on a
// terminal; elsewhere it draws nothing.

#include <QElapsedTimer>
#include <cstdint>
#include <deque>
#include <utility>

class TProgressBar {
public:
    // enabled: stderr is a terminal and the user did not ask for quiet.
    explicit TProgressBar(bool enabled);
    bool Enabled() const { return FEnabled; }
    // done and total over every port; ports still running and all ports.
    void Update(int64_t done, int64_t total, int running, int ports);
    // Erases the bar, so that other lines on stderr start in column 0.
    void Clear();

private:
    void Draw(int64_t done, int64_t total, int running, int ports);
    bool FEnabled;
    // (ms, done) over the last few seconds: the rate now, not the average since the start
    // that a slow handshake or a port that ended early would skew.
    std::deque<std::pair<int64_t, int64_t>> FSamples;
    bool FShown = false;
    QElapsedTimer FTimer;
    int64_t FLastDrawMs = -1;
};
