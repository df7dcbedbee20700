#pragma once

// A simulated receipt printer that speaks the request/reply frame protocol over a
// pseudo-terminal or UDP on the loopback address. It runs on a thread of its own; every
// public method may be called from any thread.

#include "SimFaults.h"
#include "SimFrame.h"
#include "SimMemory.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// Where the time of a serial exchange goes, summed since the last ClearFrames().
struct TSimTiming {
    int64_t FTurnaroundUs = 0; // our reply's last write begun -> the tool's next request begins
    int FTurnarounds = 0;
    int64_t FLatenessUs = 0; // our replies written later than the paced line allows
    int FReplies = 0;
};

// What the printer keeps. Frames that get no answer (silence, ignored tries, stopped,
// unanswered rate switch) are recorded in Frames() but change nothing else: the printer
// did not take them. Frames answered with corrupted replies were taken.
class TPrinterSim {
public:
    TPrinterSim();
    ~TPrinterSim(); // stops
    TPrinterSim(const TPrinterSim&) = delete;
    TPrinterSim& operator=(const TPrinterSim&) = delete;

    // Creates a raw pseudo-terminal; the tool opens SlavePath() as its serial port.
    bool StartPty(QString* error = nullptr);
    QString SlavePath() const;
    // Symlinks path to the slave (replacing an older symlink, never a real file); the link
    // is removed again by Stop().
    bool LinkPath(const QString& path, QString* error = nullptr);
    // Binds 127.0.0.1:port (0 = any free port) and answers each datagram to its sender.
    bool StartUdp(uint16_t port = 0, QString* error = nullptr);
    uint16_t UdpPort() const;
    // Ends both transports and the thread; what was received stays readable.
    void Stop();

    void SetIdentification(const QByteArray& id);
    QByteArray Identification() const;
    // The rate the printer listens at on the pseudo-terminal (0 = whatever the line carries,
    // the default). A request sent while the tool's side of the line is set to another rate
    // is noise to the printer: not answered and not recorded. A rate switch it answers moves
    // it to the new rate. Datagrams have no rate.
    void SetListenRate(int32_t rate);
    int32_t ListenRate() const;
    // Also restarts the counts behind FIgnoreFirstTries and FStopAfterFrames.
    void SetFaults(const TSimFaults& faults);

    // Called on the simulator's thread with one line per request frame (what it was and
    // what the printer did with it). Must not call back into the simulator.
    void SetLogCallback(std::function<void(const QString&)> callback);

    QList<TSimFrame> Frames() const; // every valid request frame received, repeats included
    bool WaitForFrames(int count, int timeoutMs) const;
    void ClearFrames();         // also restarts Timing()
    TSimTiming Timing() const;  // serial link only
    int AnsweredFrames() const; // replies sent or scheduled since start or SetFaults

    QByteArray LastBlock(uint16_t command) const; // data of the last taken frame with it
    QByteArray ProgramImage() const;              // firmware blocks assembled by offset
    bool ProgramEnded() const;                    // end-of-programming selection seen
    // Blocks of that command assembled by address from the lowest address received; gaps
    // read as 0xFF. A new download-mode selection starts each file afresh at its next block.
    // Images and files stop growing at TSimMemory::kMaxImageSize.
    QByteArray DownloadedFile(uint16_t command) const;
    uint32_t DownloadBase(uint16_t command) const;
    QList<uint16_t> DownloadedCommands() const;
    int32_t LinkRate() const; // last rate the printer was switched to, 0 = never
    int64_t Mode() const;     // last mode selected, -1 if none
    // Grows whenever something that WriteOutput() writes has changed.
    uint64_t ChangeCount() const;

    // Writes TSimMemory::OutputFiles() into dir, which is created if need be.
    bool WriteOutput(const QString& dir, QString* error = nullptr) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};
