#include "LiveTable.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int kRedrawMs = 250;

// A line longer than the terminal would wrap, and the table would no longer know how many
// lines to go back up.
int TerminalColumns(std::FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

TLiveTable::TLiveTable(std::FILE* out, bool enabled) : FOut(out), FEnabled(enabled) {
    FTimer.setInterval(kRedrawMs);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
        if (FDirty)
            Draw();
    });
    if (FEnabled)
        FTimer.start();
}

void TLiveTable::SetLines(const QStringList& lines) {
    if (lines == FLines)
        return;
    FLines = lines;
    FDirty = true;
}

void TLiveTable::Erase() {
    if (!FEnabled || FDrawn == 0)
        return;
    std::fprintf(FOut, "\x1b[%dA\r\x1b[J", FDrawn);
    std::fflush(FOut);
    FDrawn = 0;
    FDirty = true;
}

void TLiveTable::Draw() {
    if (!FEnabled)
        return;
    const int columns = TerminalColumns(FOut) - 1;
    QByteArray text;
    if (FDrawn > 0)
        text += QByteArray("\x1b[") + QByteArray::number(FDrawn) + "A";
    for (const QString& line : FLines)
        text += '\r' + line.left(columns).toLocal8Bit() + "\x1b[K\n";
    // A table that shrank leaves no old lines below it.
    text += "\x1b[J";
    std::fwrite(text.constData(), 1, size_t(text.size()), FOut);
    std::fflush(FOut);
    FDrawn = int(FLines.size());
    FDirty = false;
}
