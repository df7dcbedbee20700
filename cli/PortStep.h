#pragma once

// A command made ready for printers: everything it sends read, converted and checked once,
// before any printer is touched, so that it can start on each port the moment that port's
// printer is there. A single command runs one step on its ports; a recipe runs several in
// turn on each printer.

#include "HistoryRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

struct TCliRequest;
class TCommThread;
struct TDownloadFile;
class TJobSet;
class TPortRunner;

class TPortStep {
public:
    // The request's command, rate, datagram peer and log; the job and what it puts into the
    // worker.
    TPortStep(const TCliRequest& r, uint8_t job, std::function<void(TCommThread&)> fill);
    virtual ~TPortStep();
    TPortStep(const TPortStep&) = delete;
    TPortStep& operator=(const TPortStep&) = delete;

    QString FJob;               // the command's name, for the history and the events
    QList<THistoryFile> FFiles; // what it sends, as read
    QByteArray FSha256;         // of the image or file it sends; empty when none
    int64_t FTransferBytes = 0; // per printer; 0: no transfer
    bool FData = false;         // its result lines are the command's output (query)
    const QString FPeerHost;    // the datagram peer "TCP/IP" reaches
    const uint16_t FPeerPort;

    // Starts the step on the runner's printer (its result cleared first). done runs on the main
    // thread once the step has ended, its result in the runner, exactly once; false, and done
    // never runs, when nothing could start (a stop signal came).
    virtual bool Start(TJobSet& set, TPortRunner& pr, std::function<void()> done);

protected:
    // Sets the runner's link and fills its worker, then starts the job; onEnd as for Start.
    bool StartJob(TJobSet& set, TPortRunner& pr, std::function<void()> onEnd);

private:
    uint8_t FJobCode;
    std::function<void(TCommThread&)> FFill;
    int32_t FBaudRate;
    QString FLogPath;
};

// One command block, as the SET pages send it (-v shows it).
std::unique_ptr<TPortStep> CommandStep(const TCliRequest& r, uint16_t code, const uint8_t* block,
                                       int32_t length);
// One file downloaded, bytes long.
std::unique_ptr<TPortStep> DownloadStep(const TCliRequest& r, const TDownloadFile& file,
                                        int64_t bytes);
