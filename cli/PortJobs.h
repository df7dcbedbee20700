#pragma once

// Jobs on several ports at once: one worker thread per port, all started together, their
// ends, progress and status texts collected on the main thread.

#include "CommThread.h"
#include "Progress.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

struct TCliRequest;
class TJobSet;

// The traffic log of each port: logPath itself for one port, with several the port's name put
// before the extension (FILE-ttyUSB0.log); all empty without logPath.
QStringList PortLogPaths(const QString& logPath, const QStringList& ports);

// One port: its worker, and what its jobs ended with.
class TPortRunner : public QObject {
public:
    TPortRunner(TJobSet& set, const QString& port, const TJobOrigin& origin,
                const QString& logPath);
    ~TPortRunner() override;

    TCommThread& Worker() { return *FWorker; }
    const QString FPort;

    // Fills nothing: the caller fills the worker's job inputs first. onDone runs on the main
    // thread after the worker has signalled the end of the job, and may start another job.
    // After a stop signal nothing starts: false.
    bool Start(uint8_t job, std::function<void(TPortRunner&)> onDone = {});
    void SetRate(int32_t rate) { FOrigin.FBaudRate = rate; }
    // What the next job opens: the rate, the datagram peer for "TCP/IP", the traffic log.
    // frames: report each frame (-v).
    void SetLink(int32_t rate, const QString& peerHost, uint16_t peerPort, const QString& logPath,
                 bool frames);
    // Forgets the last job's result, before a step of its own starts.
    void ClearResult();
    bool Running() const { return FRunning; }

    // The last job's result, valid from onDone on.
    bool FStarted = false;
    int FStatus = 0;
    QString FMessage; // why it failed, in the technician's words
    QByteArray FDeviceId;
    bool FCommandSent = false; // the command job's block went out (TCommThread::FCommandSent)
    double FSeconds = 0;       // from the first job's start to the last one's end
    int64_t FDone = 0;         // transfer bytes acknowledged
    int64_t FTotal = 0;        // transfer bytes expected
    QString FNote;             // added to the result, e.g. the serial number it was given
    int64_t FBytes = 0;        // data bytes the printer acknowledged in the last job
    int FRetries = 0;          // frames of the last job sent again
    QString FSerial;           // the serial number the last job wrote (or may have)

protected:
    bool event(QEvent* e) override;

private:
    TJobSet& FSet;
    TJobOrigin FOrigin; // read by the worker at the start of each job; outlives it
    std::unique_ptr<TCommThread> FWorker;
    std::function<void(TPortRunner&)> FOnDone;
    QElapsedTimer FTimer;
    bool FRunning = false;
};

class TJobSet {
public:
    // One runner per port, in the order given. progress: draw the bar for transfers.
    TJobSet(const TCliRequest& request, const QStringList& ports, bool progress);
    ~TJobSet();

    const std::vector<std::unique_ptr<TPortRunner>>& Runners() const { return FRunners; }
    // A port watched from now on (a station's).
    TPortRunner& AddPort(const QString& port);
    // The traffic log of a runner's jobs for a log named logPath (see PortLogPaths).
    QString LogPathFor(const QString& logPath, const TPortRunner& runner) const;
    // Called on each progress report of a runner's transfer.
    std::function<void(TPortRunner&)> FOnProgress;
    // Called before a line goes to stderr: whatever is drawn in place gives way to it.
    std::function<void()> FClearDisplay;
    // Returns when no job runs any more, including those started from onDone.
    void Wait();
    // A line on stderr that the progress bar must not overwrite.
    void Note(const QString& line);
    // A sentence about one port: with several ports it starts with the port's name.
    void PortNote(const TPortRunner& runner, const QString& text);
    bool Verbose() const { return FVerbose; }
    // Wall time since the set was made.
    double Seconds() const { return double(FTimer.nsecsElapsed()) / 1e9; }

private:
    friend class TPortRunner;
    void JobStarted();
    void JobEnded();
    void ProgressChanged(TPortRunner& runner);
    void Stop();

    bool FVerbose;
    TJobOrigin FOrigin; // what each new runner starts with
    TProgressBar FProgress;
    std::vector<std::unique_ptr<TPortRunner>> FRunners;
    int FRunning = 0;
    QEventLoop FLoop;
    QElapsedTimer FTimer;
    // Receives the stop signal; goes before the runners it reaches.
    QObject FStopContext;
};
