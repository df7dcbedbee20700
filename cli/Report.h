#pragma once

// Running one job on every port at once, and what nuvctl prints about it.

#include "CommThread.h"
#include "ExitStatus.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

struct TCliRequest;
class TJobSet;

// A line of data on stdout.
void Out(const QString& line);
// Each line on stderr, after "nuvctl: ".
void Err(const QString& text);

// The identification as the result line shows it; "-" for none.
QString IdText(const QByteArray& id);
// A serial port this user may not open, and why.
QString NoAccess(const QString& why);
QString Seconds(double s);
// "OK", or the status word with the exit status.
QString ResultText(int status);
QString Hex(const uint8_t* data, int32_t length);
// "command 0x64, 9 bytes: 4E ..." for -v.
QString BlockText(uint16_t code, const uint8_t* block, int32_t length);

// Printers counted as they end: how many went well, and the first failure's status.
struct TTally {
    qsizetype FPrinters = 0;
    qsizetype FOk = 0;
    int FFirst = exitOk;
    // A failure without a status of its own (it never started) counts as nuvctl's fault.
    void Add(bool ok, int status) {
        ++FPrinters;
        if (ok)
            ++FOk;
        else if (FFirst == exitOk)
            FFirst = status != exitOk ? status : exitInternal;
    }
};

// The result lines (unless quiet and not data; not with --json), one sentence per failure on
// stderr (the runner's reason) and with several ports a summary. Returns the status of the
// first port that failed.
int Report(const TCliRequest& r, TJobSet& set, bool data = false);
// "N of M printers OK, K failed (exit S); T s", or the summary event; nothing when quiet.
// perHour: a station's printers an hour; < 0: none.
void Summary(const TCliRequest& r, const TTally& tally, double seconds, double perHour = -1);
