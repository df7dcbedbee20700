#pragma once

// What one job did on one printer, once: its result line, its events and its history line
// are all made from it.

#include "HistoryRecord.h"
#include "JsonLine.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

struct TCliRequest;
class TPortRunner;
class TPortStep;

struct TJobReport {
    // The job's history line, but for what AppendHistory adds (the program, its version, the
    // identification and the result word).
    THistoryRecord FRecord;
    QString FPort; // as given: "TCP/IP" stays plain in the events
    QByteArray FSha256;
    int FStep = 0;     // the recipe's step, from 1; 0: a single command
    int FSteps = 0;    // the recipe's steps
    int FPrinter = 0;  // a station's printer, from 1; 0: none
    int32_t FRate = 0; // find: the rate the printer answered at; 0: none
    // The outcome.
    bool FStarted = false;
    bool FSkipped = false; // an earlier step of the recipe failed
    int FStatus = 0;
    QByteArray FDeviceId;
};

// The files folder: --files, else the window's rule.
QString FilesFolder(const TCliRequest& r);

// A job starting now on port, reaching the datagram peer given for plain "TCP/IP".
TJobReport JobStart(const QString& port, const QString& job, const QString& peerHost,
                    uint16_t peerPort);
TJobReport StepStart(const QString& port, const TPortStep& step);
// The runner's last job's outcome.
void JobEnded(TJobReport& report, const TPortRunner& runner);

// {"event":"start",...} and {"event":"end",...}.
TJsonLine StartEvent(const TJobReport& report);
TJsonLine EndEvent(const TJobReport& report);

// Appends the job's line to history.jsonl in the files folder. A history that cannot be
// written leaves the job's result as it was; note says so, once for each reason.
void AppendHistory(const TCliRequest& r, const TJobReport& report,
                   const std::function<void(const QString&)>& note);
