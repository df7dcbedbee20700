#pragma once

// Lines redrawn in place on a terminal, at most a few times a second: a station's table of
// ports and its totals. Elsewhere it draws nothing.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdio>

class TLiveTable {
public:
    // enabled: out is a terminal.
    TLiveTable(std::FILE* out, bool enabled);
    bool Enabled() const { return FEnabled; }
    // The lines as they are now; drawn with the next redraw.
    void SetLines(const QStringList& lines);
    // Erases what is drawn, so that a line elsewhere on the terminal starts clean; the next
    // redraw brings it back.
    void Erase();
    void Draw();

private:
    std::FILE* FOut;
    bool FEnabled;
    QStringList FLines;
    int FDrawn = 0; // lines on the terminal now
    bool FDirty = false;
    QTimer FTimer;
};
