#include "ExitStatus.h"

#include "StopSignals.h"

int ExitStatusFor(uint8_t errorCode, TFailStep step) {
    if (errorCode == 0)
        return exitOk;
    switch (step) {
    case TFailStep::Open:
        return exitOpen;
    case TFailStep::NoReply:
        return exitNoReply;
    case TFailStep::WrongDevice:
        return exitWrongDevice;
    case TFailStep::RateChange:
        return exitRateChange;
    case TFailStep::Mode:
        return exitMode;
    case TFailStep::Transfer:
    case TFailStep::Job:
        return exitJob;
    case TFailStep::File:
        return exitFile;
    case TFailStep::Cancelled:
        return StopStatus() != 0 ? StopStatus() : exitJob;
    case TFailStep::None:
        break;
    }
    return exitInternal;
}

QString StatusWord(int status) {
    switch (status) {
    case exitOk:
        return QStringLiteral("OK");
    case exitUsage:
        return QStringLiteral("bad argument");
    case exitFile:
        return QStringLiteral("file error");
    case exitOpen:
        return QStringLiteral("cannot open");
    case exitNoReply:
        return QStringLiteral("no reply");
    case exitWrongDevice:
        return QStringLiteral("wrong device");
    case exitRateChange:
        return QStringLiteral("rate change refused");
    case exitMode:
        return QStringLiteral("mode refused");
    case exitJob:
        return QStringLiteral("job failed");
    case exitSigHup:
    case exitSigInt:
    case exitSigTerm:
        return QStringLiteral("cancelled");
    default:
        return QStringLiteral("internal error");
    }
}

QString FailureReason(int status, const QString& reason) {
    return reason.isEmpty() ? StatusWord(status) : reason;
}
