#pragma once

// The exit statuses scripts rely on; "nuvctl --help" and README.md list the same.

#include "CommThread.h"

#include <QString>
#include <stdexcept>

enum TExitStatus : int {
    exitOk = 0,
    exitInternal = 1,    // a fault of nuvctl itself
    exitUsage = 2,       // bad argument
    exitFile = 3,        // a file missing or invalid, the serial counter file included
    exitOpen = 4,        // the port or the datagram link could not be opened
    exitNoReply = 5,     // the printer did not answer
    exitWrongDevice = 6, // a device answered that is not a printer of this series
    exitRateChange = 7,  // the printer or the port refused the rate change
    exitMode = 8,        // the printer refused programming or download mode
    exitJob = 9,         // a transfer or the job itself failed
    // Stopped by a signal: 128 + its number, as a shell reports it.
    exitSigHup = 129,
    exitSigInt = 130,
    exitSigTerm = 143,
};

// The status of a finished job.
int ExitStatusFor(uint8_t errorCode, TFailStep step);
// A few words for the result line: "OK", "no reply", ...
QString StatusWord(int status);
// Why a job failed: its own reason, else the status word.
QString FailureReason(int status, const QString& reason);

// Ends the command with a status and one sentence for stderr.
class ECliError : public std::runtime_error {
public:
    ECliError(int status, const QString& message)
        : std::runtime_error(message.toStdString()), FStatus(status) {}
    QString Message() const { return QString::fromStdString(what()); }
    int FStatus;
};
