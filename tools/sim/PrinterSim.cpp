#include "PrinterSim.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A reply the tool does not drain would fill the pty; give up on it rather than stall.
constexpr int64_t kWriteStallUs = 1000 * 1000;
// How long before a due reply the simulator stops sleeping and spins.
constexpr int64_t kSpinUs = 1500;

int SpeedToRate(speed_t s) {
    switch (s) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    case B460800:
        return 460800;
    case B921600:
        return 921600;
    default:
        return 0;
    }
}

// The rate the tool set on its side of the pseudo-terminal; -1 when it cannot be read.
int LineRate(int slaveFd) {
    termios tio{};
    if (slaveFd < 0 || tcgetattr(slaveFd, &tio) != 0)
        return -1;
    return SpeedToRate(cfgetospeed(&tio));
}

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString ErrnoText(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

struct TOut {
    int64_t FAtUs = 0;
    bool FUdp = false;
    sockaddr_in FTo{};
    QByteArray FBytes;
};

} // namespace

struct TPrinterSim::TImpl {
    // State shared with the caller's threads.
    mutable std::mutex FLock;
    mutable std::condition_variable FFramesChanged;
    TSimMemory FMemory;
    TSimFaults FFaults;
    QHash<QByteArray, int> FTries; // counted receptions of each distinct frame
    int FAnswered = 0;
    std::function<void(const QString&)> FLog;
    QList<TSimFrame> FFrames;
    TSimTiming FTiming;
    int64_t FLastReplyDoneUs = -1; // when the last reply's final write began
    int FMasterFd = -1;
    int FSlaveFd = -1;
    int FUdpFd = -1;
    QString FSlavePath;
    QString FLinkPath;
    uint16_t FUdpPort = 0;

    // Start and stop are serialised on their own lock so the thread can be joined without
    // holding the state lock.
    std::mutex FLifeLock;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    int FWake[2] = {-1, -1};
    int64_t FStartUs = SimNowUs();

    // Used by the simulator's thread only.
    TSimFrameReader FPtyReader;
    std::deque<TOut> FOut;
    int64_t FLineFreeUs = 0;
    int64_t FStallSinceUs = -1;

    bool EnsureThread(QString* error);
    void Wake();
    void Run();
    void ReadPty(int fd);
    void ReadUdp(int fd);
    void Handle(const TSimReceived& r, bool udp, const sockaddr_in& from);
    void Flush(int masterFd, int udpFd);
    // Closes the datagram socket once the last answer before a stop is out, when the faults
    // say the printer goes away then.
    void GoneAfterStop();
};

TPrinterSim::TPrinterSim() : F(std::make_unique<TImpl>()) {}

TPrinterSim::~TPrinterSim() {
    Stop();
}

bool TPrinterSim::TImpl::EnsureThread(QString* error) {
    if (FThread.joinable()) {
        Wake();
        return true;
    }
    if (FWake[0] < 0 && pipe2(FWake, O_NONBLOCK | O_CLOEXEC) != 0) {
        SetError(error, ErrnoText("pipe"));
        FWake[0] = FWake[1] = -1;
        return false;
    }
    FStop = false;
    FPtyReader.Clear();
    FOut.clear();
    FLineFreeUs = 0;
    FStallSinceUs = -1;
    FThread = std::thread([this] { Run(); });
    return true;
}

void TPrinterSim::TImpl::Wake() {
    if (FWake[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = write(FWake[1], &c, 1);
    }
}

bool TPrinterSim::StartPty(QString* error) {
    std::lock_guard life(F->FLifeLock);
    {
        std::lock_guard lock(F->FLock);
        if (F->FMasterFd >= 0) {
            SetError(error, QStringLiteral("pseudo-terminal already started"));
            return false;
        }
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        SetError(error, ErrnoText("posix_openpt"));
        return false;
    }
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        SetError(error, ErrnoText("pseudo-terminal setup"));
        close(master);
        return false;
    }
    // Our own slave descriptor keeps the terminal alive while the tool closes and reopens it,
    // so the master never sees a hang-up; it is never read.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave < 0 || tcgetattr(slave, &tio) != 0) {
        SetError(error, ErrnoText("open slave"));
        if (slave >= 0)
            close(slave);
        close(master);
        return false;
    }
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    if (tcsetattr(slave, TCSANOW, &tio) != 0) {
        SetError(error, ErrnoText("tcsetattr"));
        close(slave);
        close(master);
        return false;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard lock(F->FLock);
        F->FMasterFd = master;
        F->FSlaveFd = slave;
        F->FSlavePath = QString::fromLocal8Bit(name);
    }
    if (!F->EnsureThread(error)) {
        std::lock_guard lock(F->FLock);
        F->FMasterFd = F->FSlaveFd = -1;
        F->FSlavePath.clear();
        close(slave);
        close(master);
        return false;
    }
    return true;
}

QString TPrinterSim::SlavePath() const {
    std::lock_guard lock(F->FLock);
    return F->FSlavePath;
}

bool TPrinterSim::LinkPath(const QString& path, QString* error) {
    std::lock_guard life(F->FLifeLock);
    const QString slave = SlavePath();
    if (slave.isEmpty()) {
        SetError(error, QStringLiteral("no pseudo-terminal to link to"));
        return false;
    }
    const QByteArray p = QFile::encodeName(path);
    struct stat st {};
    if (lstat(p.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            SetError(error, QStringLiteral("%1 exists and is not a symbolic link").arg(path));
            return false;
        }
        if (unlink(p.constData()) != 0) {
            SetError(error, ErrnoText("unlink"));
            return false;
        }
    }
    if (symlink(QFile::encodeName(slave).constData(), p.constData()) != 0) {
        SetError(error, ErrnoText("symlink"));
        return false;
    }
    std::lock_guard lock(F->FLock);
    F->FLinkPath = path;
    return true;
}

bool TPrinterSim::StartUdp(uint16_t port, QString* error) {
    std::lock_guard life(F->FLifeLock);
    {
        std::lock_guard lock(F->FLock);
        if (F->FUdpFd >= 0) {
            SetError(error, QStringLiteral("UDP already started"));
            return false;
        }
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetError(error, ErrnoText("socket"));
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        SetError(error, ErrnoText("bind"));
        close(fd);
        return false;
    }
    {
        std::lock_guard lock(F->FLock);
        F->FUdpFd = fd;
        F->FUdpPort = ntohs(addr.sin_port);
    }
    if (!F->EnsureThread(error)) {
        std::lock_guard lock(F->FLock);
        F->FUdpFd = -1;
        F->FUdpPort = 0;
        close(fd);
        return false;
    }
    return true;
}

uint16_t TPrinterSim::UdpPort() const {
    std::lock_guard lock(F->FLock);
    return F->FUdpPort;
}

void TPrinterSim::Stop() {
    std::lock_guard life(F->FLifeLock);
    if (F->FThread.joinable()) {
        F->FStop = true;
        F->Wake();
        F->FThread.join();
    }
    std::lock_guard lock(F->FLock);
    if (!F->FLinkPath.isEmpty()) {
        // Only remove the link if it still points at our terminal.
        const QByteArray p = QFile::encodeName(F->FLinkPath);
        char target[512] = {};
        const ssize_t n = readlink(p.constData(), target, sizeof target - 1);
        if (n > 0 && QString::fromLocal8Bit(target, int(n)) == F->FSlavePath)
            unlink(p.constData());
        F->FLinkPath.clear();
    }
    for (int* fd : {&F->FMasterFd, &F->FSlaveFd, &F->FUdpFd, &F->FWake[0], &F->FWake[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    F->FSlavePath.clear();
    F->FUdpPort = 0;
}

void TPrinterSim::SetIdentification(const QByteArray& id) {
    std::lock_guard lock(F->FLock);
    F->FMemory.FId = id.left(0xFFFF);
}

QByteArray TPrinterSim::Identification() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FId;
}

void TPrinterSim::SetListenRate(int32_t rate) {
    std::lock_guard lock(F->FLock);
    F->FMemory.FListenRate = std::max(0, rate);
}

int32_t TPrinterSim::ListenRate() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FListenRate;
}

void TPrinterSim::SetFaults(const TSimFaults& faults) {
    std::lock_guard lock(F->FLock);
    F->FFaults = faults;
    F->FTries.clear();
    F->FAnswered = 0;
}

void TPrinterSim::SetLogCallback(std::function<void(const QString&)> callback) {
    std::lock_guard lock(F->FLock);
    F->FLog = std::move(callback);
}

QList<TSimFrame> TPrinterSim::Frames() const {
    std::lock_guard lock(F->FLock);
    return F->FFrames;
}

bool TPrinterSim::WaitForFrames(int count, int timeoutMs) const {
    std::unique_lock lock(F->FLock);
    return F->FFramesChanged.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                                      [&] { return F->FFrames.size() >= count; });
}

TSimTiming TPrinterSim::Timing() const {
    std::lock_guard lock(F->FLock);
    return F->FTiming;
}

void TPrinterSim::ClearFrames() {
    std::lock_guard lock(F->FLock);
    F->FFrames.clear();
    F->FTiming = TSimTiming();
    F->FLastReplyDoneUs = -1;
}

int TPrinterSim::AnsweredFrames() const {
    std::lock_guard lock(F->FLock);
    return F->FAnswered;
}

QByteArray TPrinterSim::LastBlock(uint16_t command) const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FLast.value(command);
}

QByteArray TPrinterSim::ProgramImage() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FImage.FBytes;
}

bool TPrinterSim::ProgramEnded() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FEnded;
}

QByteArray TPrinterSim::DownloadedFile(uint16_t command) const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FFiles.value(command).FBytes;
}

uint32_t TPrinterSim::DownloadBase(uint16_t command) const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FFiles.value(command).FBase;
}

QList<uint16_t> TPrinterSim::DownloadedCommands() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FFiles.keys();
}

int32_t TPrinterSim::LinkRate() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FRate;
}

int64_t TPrinterSim::Mode() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FMode;
}

uint64_t TPrinterSim::ChangeCount() const {
    std::lock_guard lock(F->FLock);
    return F->FMemory.FChanges;
}

bool TPrinterSim::WriteOutput(const QString& dir, QString* error) const {
    QList<QPair<QString, QByteArray>> files;
    {
        std::lock_guard lock(F->FLock);
        files = F->FMemory.OutputFiles();
    }
    if (!QDir().mkpath(dir)) {
        SetError(error, QStringLiteral("cannot create %1").arg(dir));
        return false;
    }
    for (const auto& [name, bytes] : files) {
        QSaveFile file(QDir(dir).filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
            !file.commit()) {
            SetError(error, QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
            return false;
        }
    }
    return true;
}

// --- the simulator's thread -------------------------------------------------------------

void TPrinterSim::TImpl::Run() {
    std::vector<TSimReceived> parsed;
    const sockaddr_in none{};
    while (!FStop) {
        int master = -1;
        int udp = -1;
        {
            std::lock_guard lock(FLock);
            master = FMasterFd;
            udp = FUdpFd;
        }
        pollfd fds[3] = {};
        int n = 0;
        fds[n++] = {FWake[0], POLLIN, 0};
        const int masterAt = master >= 0 ? n : -1;
        if (master >= 0)
            fds[n++] = {master, short(POLLIN | (FStallSinceUs >= 0 ? POLLOUT : 0)), 0};
        const int udpAt = udp >= 0 ? n : -1;
        if (udp >= 0)
            fds[n++] = {udp, POLLIN, 0};

        int64_t dueUs = -1;
        if (!FOut.empty())
            dueUs = FStallSinceUs >= 0 ? FStallSinceUs + kWriteStallUs : FOut.front().FAtUs;
        int64_t staleUs = 0;
        if (FPtyReader.StaleAt(staleUs))
            dueUs = dueUs < 0 ? staleUs : std::min(dueUs, staleUs);
        // A paced reply is due at a given microsecond; waking from a sleep on a virtual machine
        // can take half a millisecond, which would pass for the tool's own slowness. So sleep to
        // just before a reply is due and spin the rest.
        const bool replyDue = !FOut.empty() && FStallSinceUs < 0 && dueUs == FOut.front().FAtUs;
        if (replyDue && dueUs - SimNowUs() <= kSpinUs) {
            while (SimNowUs() < dueUs && !FStop) {
            }
        }
        timespec ts{};
        timespec* timeout = nullptr;
        if (dueUs >= 0) {
            int64_t wait = std::max<int64_t>(0, dueUs - SimNowUs());
            if (replyDue)
                wait = std::max<int64_t>(0, wait - kSpinUs);
            ts.tv_sec = time_t(wait / 1000000);
            ts.tv_nsec = long(wait % 1000000) * 1000;
            timeout = &ts;
        }
        if (ppoll(fds, nfds_t(n), timeout, nullptr) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(FWake[0], drain, sizeof drain) > 0) {
            }
        }
        if (FStop)
            break;
        if (masterAt >= 0 && (fds[masterAt].revents & POLLIN))
            ReadPty(master);
        if (udpAt >= 0 && (fds[udpAt].revents & POLLIN))
            ReadUdp(udp);
        parsed.clear();
        FPtyReader.Expire(SimNowUs(), parsed);
        for (const TSimReceived& r : parsed)
            Handle(r, false, none);
        Flush(master, udp);
    }
}

void TPrinterSim::TImpl::ReadPty(int fd) {
    std::vector<TSimReceived> parsed;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        FPtyReader.Feed(buf, int(n), SimNowUs());
        FPtyReader.Parse(parsed);
    }
    const sockaddr_in none{};
    for (const TSimReceived& r : parsed)
        Handle(r, false, none);
}

void TPrinterSim::TImpl::ReadUdp(int fd) {
    static thread_local std::vector<char> buf(65536);
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            break;
        // Each datagram stands alone: a partial frame in it is not continued by the next.
        TSimFrameReader reader;
        reader.Feed(buf.data(), int(n), SimNowUs());
        std::vector<TSimReceived> parsed;
        reader.Parse(parsed);
        for (const TSimReceived& r : parsed)
            Handle(r, true, from);
    }
}

void TPrinterSim::TImpl::Handle(const TSimReceived& r, bool udp, const sockaddr_in& from) {
    const TSimFrame& f = r.FFrame;
    TSimFaults faults;
    TSimCounters counters;
    QByteArray id;
    int32_t listen = 0;
    int slave = -1;
    std::function<void(const QString&)> log;
    {
        std::lock_guard lock(FLock);
        faults = FFaults;
        counters.FTries = FTries.value(f.FRaw);
        counters.FAnswered = FAnswered;
        id = FMemory.FId;
        listen = FMemory.FListenRate;
        slave = FSlaveFd;
        log = FLog;
    }
    const int line = udp ? -1 : LineRate(slave);
    // The tool set its side of the line; at another rate the printer would only see noise.
    if (!udp && listen > 0 && std::max(0, line) != listen) {
        if (log)
            log(QStringLiteral("%1 pty cmd %2: not heard (line at %3, listening at %4)")
                    .arg(double(r.FLastUs - FStartUs) / 1e6, 10, 'f', 3)
                    .arg(f.FCommand, 2, 16, QLatin1Char('0'))
                    .arg(std::max(0, line))
                    .arg(listen));
        return;
    }
    // The filter is the caller's code: it runs with no lock held.
    const TSimAnswer answer = SimDecide(f, faults, counters, id);

    // The frame becomes visible together with its effects, so a caller that has waited for
    // it finds the printer's state already updated.
    int32_t switched = 0; // the rate the printer was last switched to, this frame included
    {
        std::lock_guard lock(FLock);
        FFrames.append(f);
        // The tool's turnaround: from our last reply written to its next request's first byte.
        if (FLastReplyDoneUs >= 0 && r.FFirstUs >= FLastReplyDoneUs) {
            FFrames.last().FTurnaroundUs = r.FFirstUs - FLastReplyDoneUs;
            FTiming.FTurnaroundUs += r.FFirstUs - FLastReplyDoneUs;
            ++FTiming.FTurnarounds;
        }
        FLastReplyDoneUs = -1;
        if (answer.FCountsTry)
            ++FTries[f.FRaw];
        if (answer.FTaken) {
            FMemory.Take(f);
            ++FAnswered;
        }
        switched = FMemory.FRate;
    }
    FFramesChanged.notify_all();

    if (!answer.FPieces.isEmpty()) {
        // A line carries 10 bits a byte: the reply cannot end before the request has
        // fully arrived and the reply itself has been on the line.
        // Paced at the tool's side of the line; without one, at the rate switched to.
        const int rate = faults.FPacingBaud >= 0 ? faults.FPacingBaud
                         : line >= 0             ? line
                                                 : std::max(0, int(switched));
        int64_t startUs = r.FLastUs;
        int64_t replyUs = 0;
        if (rate > 0) {
            startUs = std::max(startUs, r.FFirstUs + int64_t(f.FRaw.size()) * 10000000 / rate);
            replyUs = int64_t(answer.Size()) * 10000000 / rate;
        }
        startUs += int64_t(answer.FDelayMs) * 1000;
        const int64_t firstAt = std::max(startUs, FLineFreeUs) + replyUs;
        const int64_t gapUs = int64_t(answer.FGapMs) * 1000;
        for (int i = 0; i < answer.FPieces.size(); ++i) {
            TOut out;
            out.FAtUs = firstAt + gapUs * i;
            out.FUdp = udp;
            out.FTo = from;
            out.FBytes = answer.FPieces[i];
            FLineFreeUs = std::max(FLineFreeUs, out.FAtUs);
            FOut.push_back(std::move(out));
        }
    }

    if (log) {
        const double t = double(r.FLastUs - FStartUs) / 1e6;
        log(QStringLiteral("%1 %2 cmd %3 arg %4 len %5: %6")
                .arg(t, 10, 'f', 3)
                .arg(udp ? QStringLiteral("udp") : QStringLiteral("pty"))
                .arg(f.FCommand, 2, 16, QLatin1Char('0'))
                .arg(f.FArgument, 8, 16, QLatin1Char('0'))
                .arg(f.FData.size())
                .arg(answer.FFate));
    }
}

void TPrinterSim::TImpl::GoneAfterStop() {
    std::lock_guard lock(FLock);
    if (FFaults.FGoneAfterStop && FFaults.FStopAfterFrames >= 0 &&
        FAnswered >= FFaults.FStopAfterFrames && FUdpFd >= 0) {
        close(FUdpFd);
        FUdpFd = -1;
    }
}

void TPrinterSim::TImpl::Flush(int masterFd, int udpFd) {
    while (!FOut.empty()) {
        TOut& out = FOut.front();
        const int64_t now = SimNowUs();
        if (out.FAtUs > now)
            return;
        if (out.FUdp) {
            if (udpFd >= 0)
                sendto(udpFd, out.FBytes.constData(), size_t(out.FBytes.size()), MSG_DONTWAIT,
                       reinterpret_cast<const sockaddr*>(&out.FTo), sizeof out.FTo);
            FOut.pop_front();
            if (FOut.empty())
                GoneAfterStop();
            continue;
        }
        if (masterFd < 0) {
            FOut.pop_front();
            continue;
        }
        // Turnarounds count from the start of the reply's last write: the tool cannot have the
        // reply before it, so a busy machine that delays this thread never makes the tool's own
        // wait look shorter than it was.
        const int64_t writeUs = SimNowUs();
        const ssize_t n = write(masterFd, out.FBytes.constData(), size_t(out.FBytes.size()));
        if (n > 0)
            out.FBytes.remove(0, int(n));
        if (out.FBytes.isEmpty()) {
            {
                std::lock_guard lock(FLock);
                FLastReplyDoneUs = writeUs;
                FTiming.FLatenessUs += writeUs - out.FAtUs;
                ++FTiming.FReplies;
            }
            FOut.pop_front();
            FStallSinceUs = -1;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            FOut.pop_front();
            continue;
        }
        // The terminal is full: nobody reads it. Wait for room, but not for ever.
        if (FStallSinceUs < 0)
            FStallSinceUs = now;
        if (now - FStallSinceUs >= kWriteStallUs) {
            FOut.pop_front();
            FStallSinceUs = -1;
            continue;
        }
        return;
    }
}
