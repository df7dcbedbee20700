#pragma once

// A simulated receipt printer that speaks the request/reply frame protocol over a
// pseudo-terminal or UDP on the loopback address. It runs on a thread of its own; every
// public method may be called from any thread.

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// One valid request frame as the printer received it.
struct TSimFrame {
    uint16_t FCommand = 0;
    uint32_t FArgument = 0;
    QByteArray FData;
    QByteArray FRaw;
    int64_t FTimeMs = 0; // SimNowMs() when the frame's last byte had arrived
    // Serial link: from our previous reply's last byte written to this frame's first byte, in
    // microseconds; -1 when no reply came before it.
    int64_t FTurnaroundUs = -1;
};

// Where the time of a serial exchange goes, summed since the last ClearFrames().
struct TSimTiming {
    int64_t FTurnaroundUs = 0; // our reply fully written -> the tool's next request begins
    int FTurnarounds = 0;
    int64_t FLatenessUs = 0; // our replies written later than the paced line allows
    int FReplies = 0;
};

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
    QByteArray DownloadedFile(uint16_t command) const;
    uint32_t DownloadBase(uint16_t command) const;
    QList<uint16_t> DownloadedCommands() const;
    int32_t LinkRate() const; // last rate the printer was switched to, 0 = never
    int64_t Mode() const;     // last mode selected, -1 if none
    // Grows whenever something that WriteOutput() writes has changed.
    uint64_t ChangeCount() const;

    // Writes what exists of: parameters.bin, bluetooth.bin, ircomm.bin, factory.bin,
    // firmware.bin, font.bin, logo.bin, and download-XXXX.bin for other download commands.
    bool WriteOutput(const QString& dir, QString* error = nullptr) const;

    // Firmware images and downloaded files stop growing at this size; blocks beyond it are
    // answered but dropped, so a wild address cannot exhaust memory.
    static constexpr int kMaxImageSize = 16 * 1024 * 1024;
    // Request headers that announce more data than this are taken for noise.
    static constexpr int kMaxRequestData = 4096;
    // A partial request that sees no new byte for this long is given up (stale bytes).
    static constexpr int kStaleFrameMs = 500;

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

// Frame helpers, also used by tests.
// direction 0xFF = request, 0xFE = reply; data longer than 65535 bytes is cut.
QByteArray SimBuildFrame(uint8_t direction, uint16_t command, uint32_t argument,
                         const QByteArray& data);
// True when bytes hold exactly one frame of that direction with both checksums right.
bool SimParseFrame(const QByteArray& bytes, uint8_t direction, TSimFrame* frame = nullptr);
// Monotonic clock of TSimFrame::FTimeMs.
int64_t SimNowMs();
QString SimHex(const QByteArray& bytes);
// A firmware image the tool accepts: size bytes of a pattern that depends on seed, its length at
// offset 4 and the word at offset 8 chosen so that its 32-bit words add up to 0.
QByteArray SimFirmwareImage(int size, uint32_t seed = 0);
