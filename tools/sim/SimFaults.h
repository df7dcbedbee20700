#pragma once

// How the simulated printer misbehaves, and what it answers to one request because of it.

#include "SimFrame.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

struct TSimFaults {
    bool FSilent = false;            // answer nothing
    bool FBadHeaderChecksum = false; // replies with a wrong byte 10
    bool FBadDataChecksum = false;   // replies with a wrong byte 11 (and non-empty data)
    QByteArray FJunkBefore;          // bytes sent before each reply, e.g. "\x55\x03"
    int FSplitPieces = 0;            // >1: send each reply in that many pieces ...
    int FSplitGapMs = 0;             // ... with this gap between pieces
    int FDelayMs = 0;                // delay every reply by N ms
    int FIgnoreFirstTries = 0;       // ignore the first K receptions of each distinct frame
    int FStopAfterFrames = -1;       // stop answering after N answered frames (-1 = never)
    // With FStopAfterFrames: the printer goes away as soon as its last answer is out. Over UDP
    // its socket closes, so the tool's system refuses whatever it sends next.
    bool FGoneAfterStop = false;
    bool FNoRateSwitchReply = false; // no answer to 0x2B
    // >0: pace like a line at this rate, 10 bits a byte (request and reply).
    // -1: pace at the rate the tool set on the pseudo-terminal (over UDP: the last rate the
    // printer was switched to; no pacing before the first switch).
    int FPacingBaud = 0;
    int FReplyDataLength = 0; // extra data bytes carried by ordinary replies
    // Only frames for which this returns true get the per-frame faults: silence, ignored
    // tries, junk, split, delay and bad checksums (empty = all frames). It runs on the
    // simulator's thread and must not block.
    std::function<bool(const TSimFrame&)> FFilter;
};

// What the printer has counted since the faults were set.
struct TSimCounters {
    int FTries = 0;    // earlier receptions of this very frame that counted as tries
    int FAnswered = 0; // frames answered
};

// What the printer does with one request. Pacing to the line's rate is left to the transport.
struct TSimAnswer {
    bool FTaken = false;     // the printer takes the request (its memory changes) and answers
    bool FCountsTry = false; // this reception counts towards FIgnoreFirstTries
    // What goes out, in order: junk and the reply frame, in one or more pieces; none when
    // the printer does not answer.
    QList<QByteArray> FPieces;
    int FDelayMs = 0; // before the first piece
    int FGapMs = 0;   // between pieces
    QString FFate;    // for the log

    int Size() const; // bytes in all pieces
};

// The printer's answer to request under faults, given what it has counted; identification is
// the data of its reply to the device query. Calls faults.FFilter and nothing else that is
// not pure.
TSimAnswer SimDecide(const TSimFrame& request, const TSimFaults& faults,
                     const TSimCounters& counters, const QByteArray& identification);
