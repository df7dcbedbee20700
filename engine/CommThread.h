#pragma once

#include "FailureText.h"
#include "LineRates.h"
#include "LinkConnection.h"
#include "MemoryStream.h"
#include "PrinterCommands.h"
#include "TrafficLog.h"
#include "UniUart.h"

#include <QEvent>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

// Job codes.
constexpr uint8_t jobDownload = 3;
constexpr uint8_t jobCommand = 4;
constexpr uint8_t jobProgram = 5;
// Opens the link, identifies the printer and closes it again; the window has no use for it.
constexpr uint8_t jobQuery = 6;

// Error codes; within a job the last one written stands.
constexpr uint8_t errOpenFailed = 1;
constexpr uint8_t errJobFailed = 2; // an exception ended the job
constexpr uint8_t errNoReply = 3;
constexpr uint8_t errRateChange = 4;
constexpr uint8_t errWrongDevice = 5;
constexpr uint8_t errDownloadMode = 7;
constexpr uint8_t errProgramMode = 8;
constexpr uint8_t errCancelled = 9; // the job stopped at a cancel request

// Which step of a job failed; scripts tell failures apart by it.
enum class TFailStep : uint8_t {
    None,
    Open,        // the port or the datagram link could not be opened
    NoReply,     // the printer did not answer the identification or the command
    WrongDevice, // it answered as another device
    RateChange,  // it did not take the rate change, or the port could not follow
    Mode,        // it did not take programming or download mode
    Transfer,    // a block of a transfer went unanswered
    File,        // a file could not be read
    Job,         // anything else that ended the job
    Cancelled,   // a cancel request stopped it between two steps or blocks
};

// Window messages the worker posts to its notification target.
constexpr QEvent::Type WM_USER = static_cast<QEvent::Type>(QEvent::User + 0x400);
constexpr QEvent::Type WM_PROGRESS = static_cast<QEvent::Type>(QEvent::User + 0x401);
constexpr QEvent::Type WM_STATUSTEXT = static_cast<QEvent::Type>(QEvent::User + 0x402);
constexpr QEvent::Type WM_FRAME = static_cast<QEvent::Type>(QEvent::User + 0x403);

// End of a job; only wakes the window's wait.
class TJobDoneEvent : public QEvent {
public:
    TJobDoneEvent() : QEvent(WM_USER) {}
};

class TProgressEvent : public QEvent {
public:
    TProgressEvent(int32_t done, int32_t total) : QEvent(WM_PROGRESS), FDone(done), FTotal(total) {}
    int32_t FDone;
    int32_t FTotal;
};

// Text for the status bar's second panel.
class TStatusTextEvent : public QEvent {
public:
    explicit TStatusTextEvent(const QString& text) : QEvent(WM_STATUSTEXT), FText(text) {}
    QString FText;
};

// One request frame exchanged, for readers that asked for them (TJobOrigin::FReportFrames).
class TFrameEvent : public QEvent {
public:
    TFrameEvent(uint16_t command, uint32_t argument, int32_t length, int tries, bool answered)
        : QEvent(WM_FRAME), FCommand(command), FArgument(argument), FLength(length), FTries(tries),
          FAnswered(answered) {}
    uint16_t FCommand;
    uint32_t FArgument; // a transfer block's offset or address
    int32_t FLength;    // data bytes
    int FTries;         // times the frame was sent
    bool FAnswered;
};

// Auto-reset event: a successful wait clears it.
class TAutoResetEvent {
public:
    void Set();
    // true when signalled within ms (0 = just test); clears the event then.
    bool WaitFor(int ms);

private:
    std::mutex FMutex;
    std::condition_variable FCond;
    bool FSignalled = false;
};

// What the window hands to every job: its own FPortName and FBaudRate from the top bar, and the
// datagram link's peer. The worker copies them at the start of each job.
struct TJobOrigin {
    QString FPortName;
    int32_t FBaudRate = DeliveredRate;
    QString FPeerHost;
    uint16_t FPeerPort = 0;
    // Whose words the failure reasons use.
    TReader FReader = TReader::Window;
    // Post a TFrameEvent for every request frame exchanged.
    bool FReportFrames = false;
};

// A file for the download job: where it is, the label it shows ("DOWNLOAD font.bin"), and the
// command and base address as texts (decimal, or hexadecimal after "$"). Given its bytes, the
// job sends those and never reads the path: what was checked is what goes.
struct TDownloadFile {
    QString FPath;
    QString FLabel;
    QString FCommand;
    QString FBase;
    std::optional<QByteArray> FData;
};
// The font file, as the printer takes it: command 0x63 from address 0.
TDownloadFile FontDownload(const QString& path, std::optional<QByteArray> data = {});
// The logo image with the command and base address of the LOGO settings.
TDownloadFile LogoDownload(const QString& path, int32_t command, int32_t base,
                           std::optional<QByteArray> data = {});

class TCommThread : public QThread {
    Q_OBJECT

public:
    // `origin` must outlive the worker; it is read only at the start of a job.
    explicit TCommThread(const TJobOrigin* origin, QObject* parent = nullptr);
    ~TCommThread() override;

    // Called on the window thread while no job is pending.
    void PostJob(uint8_t jobCode, QObject* notifyWnd);
    // Any thread: the job running or posted stops at its next step or block with errCancelled; a
    // frame already sent still gets its reply waited for. The next PostJob starts afresh.
    void RequestCancel() { FCancel.store(true); }
    bool CancelRequested() const { return FCancel.load(); }
    // Called by the jobs on the worker thread.
    void ReportProgress(const QString& text, int32_t done, int32_t total, bool statusBar);
    // A transfer broke off after `acknowledged` bytes: that figure is shown, whatever the
    // throttle dropped before it.
    void ReportBrokenOff(int32_t acknowledged, int32_t total);

    // Where "debug.log" goes; the executable's directory unless set. Empty: no log file.
    void SetLogPath(const QString& path) { FLogPath = path; }
    QString LogPath() const { return FLogPath; }
    // Monotonic nanoseconds for the progress throttle; replaceable so tests can step the clock.
    std::function<int64_t()> FClock;

    // --- link and protocol, worker thread only ---
    bool OpenLink();
    void SendData(const uint8_t* data, int32_t count);
    void CloseLink();
    int32_t SendCommand(uint16_t command, uint32_t argument, uint8_t* data, int32_t capacity,
                        int32_t length, int tries, int timeout);
    int32_t ReceiveReply(uint8_t* data, int32_t capacity, int32_t timeout);
    bool QueryDevice();
    bool SetLinkRate(int32_t rate);
    bool SelectMode(uint32_t mode);
    // One transfer: FStream's bytes in blocks of 256 from address FBase on, each sent with 3
    // tries, with a longer wait where a 4 KiB sector begins.
    struct TTransfer {
        uint16_t FCommand = 0;
        uint32_t FBase = 0;
        int FSectorTimeout = 600;   // ms, for a block at a sector's start
        bool FPadLastBlock = false; // the last block is filled up with 0xFF to 256 bytes
        // Why the job stopped: at a cancel request, or at a block that went unanswered.
        std::function<QString(int64_t done, int64_t size)> FCancelled;
        std::function<QString(uint32_t address, int64_t done, int64_t size)> FUnanswered;
    };
    // True when every block was acknowledged; otherwise the job has failed or stopped.
    bool SendBlocks(const TTransfer& transfer);
    void DoCommand();
    void DoProgram();
    void DoDownload();
    void DoQuery();

    // Records a failure: the code (the last one written stands), the step and why, in the
    // technician's words.
    void Fail(uint8_t code, TFailStep step, const QString& reason);
    // Where the printer of the current job is, as a technician names it: "on PORT", "on PORT
    // (device)" or "at host:port".
    QString LinkPlace() const;

    // --- fields, in the hand-over's terms ---
    TTrafficLog FLog;
    bool FUseDatagram = false;
    uint8_t FErrorCode = 0;
    // Why the last job failed (empty after success) and at which step.
    QString FErrorText;
    TFailStep FErrorStep = TFailStep::None;
    // Why "debug.log" could not be written after the last job; empty when it was.
    QString FLogError;
    QByteArray FDeviceId;
    // What the last job did, for its record: frames sent again (tries beyond the first, over
    // the whole job), and the data bytes of the frames the printer answered, the handshake's
    // (identification, rate change, mode selection) not counted.
    int FRetries = 0;
    int64_t FBytesAcknowledged = 0;
    // The command job wrote its block to the link (the printer may hold it even without a
    // reply); false when it failed or stopped before that.
    bool FCommandSent = false;
    QObject* FNotifyWnd = nullptr; // set by PostJob; must outlive the job it was posted with
    QString FPortName;
    int32_t FBaudRate = DeliveredRate;
    TAutoResetEvent FDoneEvent;
    TMyUart FUart;
    uint8_t FJobCode = 0;
    TMemoryStream FStream;
    QStringList FFileNames, FFileLabels, FFileCommands, FFileBases;
    QList<std::optional<QByteArray>> FFileData; // by index; none: the file is read
    // Makes file the download job's only one.
    void SetDownload(const TDownloadFile& file);
    uint8_t FCmdData[1024] = {};
    uint32_t FCmdCode = 0;
    uint32_t FCmdArg = 0;
    int32_t FCmdLength = 0;

protected:
    void run() override;

private:
    void RunOneJob(uint8_t job);
    // Records a cancel request as the job's end; true when there was one.
    bool StopsHere(const QString& reason);
    void Post(QEvent* event);
    void AddLog(const QByteArray& line) { FLog.AddLog(line); }
    void DumpHex(const uint8_t* data, int32_t count) { FLog.DumpHex(data, count); }

    const TJobOrigin* FOrigin;
    QObject* FJobNotifyWnd = nullptr;  // FNotifyWnd as taken with the current job
    TReader FReader = TReader::Window; // FOrigin's, as taken with the current job
    bool FReportFrames = false;
    bool FLinkOpened = false;  // this job opened the link and has not closed it
    bool FLinkWorked = false;  // a reply came over the link of this job
    bool FPeerRefused = false; // since then, the datagram peer refused a request
    TLinkConnection FLink;
    QString FLogPath;
    bool FHaveProgressTime = false; // the zero time: the first progress call always posts
    int64_t FLastProgressTime = 0;

    // Standard primitives rather than Qt's, so ThreadSanitizer sees every hand-over.
    std::mutex FWakeMutex;
    std::condition_variable FWake;
    bool FPending = false;
    bool FTerminate = false;
    bool FFinished = false; // the loop has ended; set last thing on the worker
    std::atomic<bool> FCancel{false};
};
