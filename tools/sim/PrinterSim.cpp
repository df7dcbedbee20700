#include "PrinterSim.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
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

constexpr uint8_t kStart = 0x03;
constexpr uint8_t kRequest = 0xFF;
constexpr uint8_t kReply = 0xFE;
constexpr int kHeaderSize = 12;

// The printer's own copy of the command set, kept apart from the tool's on purpose: a wrong
// code in the tool must show up as a printer that does not understand it.
constexpr uint16_t cmdQueryDevice = 0x20;
constexpr uint16_t cmdSetLinkRate = 0x2B;
constexpr uint16_t cmdWriteLogo = 0x2D;
constexpr uint16_t cmdWriteProgram = 0x2E;
constexpr uint16_t cmdSelectMode = 0x2F;
constexpr uint16_t cmdSetParameters = 0x60;
constexpr uint16_t cmdSetBluetooth = 0x61;
constexpr uint16_t cmdSetIrRate = 0x62;
constexpr uint16_t cmdWriteFont = 0x63;
constexpr uint16_t cmdSetFactoryInfo = 0x64;

constexpr uint32_t modeProgram = 0;
constexpr uint32_t modeDownload = 1;
constexpr uint32_t modeProgramEnd = 0xFFFFFFFFu;

// A reply the tool does not drain would fill the pty; give up on it rather than stall.
constexpr int64_t kWriteStallUs = 1000 * 1000;
// How long before a due reply the simulator stops sleeping and spins.
constexpr int64_t kSpinUs = 1500;

int64_t NowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

uint8_t Byte(const QByteArray& b, int i) {
    return uint8_t(b[i]);
}

uint16_t Get16(const QByteArray& b, int i) {
    return uint16_t(Byte(b, i) | (Byte(b, i + 1) << 8));
}

uint32_t Get32(const QByteArray& b, int i) {
    return uint32_t(Byte(b, i)) | (uint32_t(Byte(b, i + 1)) << 8) |
           (uint32_t(Byte(b, i + 2)) << 16) | (uint32_t(Byte(b, i + 3)) << 24);
}

uint8_t Xor(const char* p, int n) {
    uint8_t x = 0;
    for (int i = 0; i < n; ++i)
        x ^= uint8_t(p[i]);
    return x;
}

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

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString ErrnoText(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

// A request frame with the times its first and last bytes arrived.
struct TParsed {
    TSimFrame FFrame;
    int64_t FFirstUs = 0;
    int64_t FLastUs = 0;
};

// Finds request frames in a byte stream: hunt for 03 FF, check the header, then the data.
// A candidate that fails either check gives up only its first byte, so a frame that starts
// inside a broken one is still found.
class TParser {
public:
    void Feed(const char* p, int n, int64_t us) {
        FBuf.append(p, n);
        FTimes.insert(FTimes.end(), size_t(n), us);
    }

    void Parse(std::vector<TParsed>& out) {
        for (;;) {
            int i = 0;
            while (i < FBuf.size() && !(Byte(FBuf, i) == kStart &&
                                        (i + 1 == FBuf.size() || Byte(FBuf, i + 1) == kRequest)))
                ++i;
            Drop(i);
            if (FBuf.size() < kHeaderSize)
                return;
            const int length = Get16(FBuf, 8);
            if (Xor(FBuf.constData(), 11) != 0 || length > TPrinterSim::kMaxRequestData) {
                Drop(1);
                continue;
            }
            if (FBuf.size() < kHeaderSize + length)
                return;
            if ((Xor(FBuf.constData() + kHeaderSize, length) ^ Byte(FBuf, 11)) != 0) {
                Drop(1);
                continue;
            }
            TParsed p;
            p.FFrame.FCommand = Get16(FBuf, 2);
            p.FFrame.FArgument = Get32(FBuf, 4);
            p.FFrame.FData = FBuf.mid(kHeaderSize, length);
            p.FFrame.FRaw = FBuf.left(kHeaderSize + length);
            p.FFirstUs = FTimes.front();
            p.FLastUs = FTimes[size_t(kHeaderSize + length - 1)];
            p.FFrame.FTimeMs = p.FLastUs / 1000;
            out.push_back(std::move(p));
            Drop(kHeaderSize + length);
        }
    }

    // When the rest of a partial frame never comes, hunt on from its second byte.
    bool StaleAt(int64_t& atUs) const {
        if (FBuf.isEmpty())
            return false;
        atUs = FTimes.back() + int64_t(TPrinterSim::kStaleFrameMs) * 1000;
        return true;
    }
    void Expire(int64_t nowUs, std::vector<TParsed>& out) {
        int64_t at = 0;
        while (StaleAt(at) && at <= nowUs) {
            Drop(1);
            Parse(out);
        }
    }
    void Clear() {
        FBuf.clear();
        FTimes.clear();
    }

private:
    void Drop(int n) {
        if (n <= 0)
            return;
        FBuf.remove(0, n);
        FTimes.erase(FTimes.begin(), FTimes.begin() + n);
    }

    QByteArray FBuf;
    std::vector<int64_t> FTimes;
};

// Bytes written at an address, from the lowest address seen; gaps read as 0xFF.
struct TSparse {
    bool FHas = false;
    uint32_t FBase = 0;
    QByteArray FBytes;
    uint64_t FSession = 0;

    bool Write(uint32_t address, const QByteArray& data) {
        if (!FHas) {
            if (uint64_t(data.size()) > uint64_t(TPrinterSim::kMaxImageSize))
                return false;
            FHas = true;
            FBase = address;
            FBytes = data;
            return true;
        }
        const uint64_t lo = std::min<uint64_t>(FBase, address);
        const uint64_t hi = std::max<uint64_t>(uint64_t(FBase) + uint64_t(FBytes.size()),
                                               uint64_t(address) + uint64_t(data.size()));
        if (hi - lo > uint64_t(TPrinterSim::kMaxImageSize))
            return false;
        if (address < FBase) {
            FBytes.prepend(QByteArray(int(FBase - address), char(0xFF)));
            FBase = address;
        }
        const int at = int(uint64_t(address) - FBase);
        if (at + data.size() > FBytes.size())
            FBytes.append(QByteArray(at + data.size() - FBytes.size(), char(0xFF)));
        FBytes.replace(at, data.size(), data);
        return true;
    }
};

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
    QByteArray FId = QByteArrayLiteral("PRN 6104");
    TSimFaults FFaults;
    std::function<void(const QString&)> FLog;
    QList<TSimFrame> FFrames;
    QHash<QByteArray, int> FTries;
    int FAnswered = 0;
    QHash<uint16_t, QByteArray> FLast;
    QHash<uint16_t, QByteArray> FKept; // the four settings blocks
    QByteArray FImage;
    bool FEnded = false;
    QMap<uint16_t, TSparse> FFiles;
    uint64_t FSession = 0;
    int32_t FRate = 0;
    int32_t FListenRate = 0;
    int64_t FMode = -1;
    uint64_t FChanges = 0;
    TSimTiming FTiming;
    int64_t FLastReplyDoneUs = -1; // when the last reply's final byte was written
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
    int64_t FStartUs = NowUs();

    // Used by the simulator's thread only.
    TParser FPtyParser;
    std::deque<TOut> FOut;
    int64_t FLineFreeUs = 0;
    int64_t FStallSinceUs = -1;

    bool EnsureThread(QString* error);
    void Wake();
    void Run();
    void ReadPty(int fd);
    void ReadUdp(int fd);
    void Handle(const TParsed& p, bool udp, const sockaddr_in& from);
    void Take(const TSimFrame& f);
    void Flush(int masterFd, int udpFd);
    int PacingRate(const TSimFaults& faults, bool udp) const;
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
    FPtyParser.Clear();
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
    F->FId = id.left(0xFFFF);
}

QByteArray TPrinterSim::Identification() const {
    std::lock_guard lock(F->FLock);
    return F->FId;
}

void TPrinterSim::SetListenRate(int32_t rate) {
    std::lock_guard lock(F->FLock);
    F->FListenRate = std::max(0, rate);
}

int32_t TPrinterSim::ListenRate() const {
    std::lock_guard lock(F->FLock);
    return F->FListenRate;
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
    return F->FLast.value(command);
}

QByteArray TPrinterSim::ProgramImage() const {
    std::lock_guard lock(F->FLock);
    return F->FImage;
}

bool TPrinterSim::ProgramEnded() const {
    std::lock_guard lock(F->FLock);
    return F->FEnded;
}

QByteArray TPrinterSim::DownloadedFile(uint16_t command) const {
    std::lock_guard lock(F->FLock);
    return F->FFiles.value(command).FBytes;
}

uint32_t TPrinterSim::DownloadBase(uint16_t command) const {
    std::lock_guard lock(F->FLock);
    return F->FFiles.value(command).FBase;
}

QList<uint16_t> TPrinterSim::DownloadedCommands() const {
    std::lock_guard lock(F->FLock);
    return F->FFiles.keys();
}

int32_t TPrinterSim::LinkRate() const {
    std::lock_guard lock(F->FLock);
    return F->FRate;
}

int64_t TPrinterSim::Mode() const {
    std::lock_guard lock(F->FLock);
    return F->FMode;
}

uint64_t TPrinterSim::ChangeCount() const {
    std::lock_guard lock(F->FLock);
    return F->FChanges;
}

bool TPrinterSim::WriteOutput(const QString& dir, QString* error) const {
    QList<QPair<QString, QByteArray>> files;
    {
        std::lock_guard lock(F->FLock);
        const QList<QPair<uint16_t, const char*>> kept = {{cmdSetParameters, "parameters.bin"},
                                                          {cmdSetBluetooth, "bluetooth.bin"},
                                                          {cmdSetIrRate, "ircomm.bin"},
                                                          {cmdSetFactoryInfo, "factory.bin"}};
        for (const auto& [command, name] : kept)
            if (F->FKept.contains(command))
                files.append({QLatin1String(name), F->FKept.value(command)});
        if (!F->FImage.isEmpty())
            files.append({QStringLiteral("firmware.bin"), F->FImage});
        for (auto it = F->FFiles.cbegin(); it != F->FFiles.cend(); ++it) {
            QString name =
                it.key() == cmdWriteFont ? QStringLiteral("font.bin")
                : it.key() == cmdWriteLogo
                    ? QStringLiteral("logo.bin")
                    : QStringLiteral("download-%1.bin").arg(it.key(), 4, 16, QLatin1Char('0'));
            files.append({name, it.value().FBytes});
        }
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
    std::vector<TParsed> parsed;
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
        if (FPtyParser.StaleAt(staleUs))
            dueUs = dueUs < 0 ? staleUs : std::min(dueUs, staleUs);
        // A paced reply is due at a given microsecond; waking from a sleep on a virtual machine
        // can take half a millisecond, which would pass for the tool's own slowness. So sleep to
        // just before a reply is due and spin the rest.
        const bool replyDue = !FOut.empty() && FStallSinceUs < 0 && dueUs == FOut.front().FAtUs;
        if (replyDue && dueUs - NowUs() <= kSpinUs) {
            while (NowUs() < dueUs && !FStop) {
            }
        }
        timespec ts{};
        timespec* timeout = nullptr;
        if (dueUs >= 0) {
            int64_t wait = std::max<int64_t>(0, dueUs - NowUs());
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
        FPtyParser.Expire(NowUs(), parsed);
        for (const TParsed& p : parsed)
            Handle(p, false, none);
        Flush(master, udp);
    }
}

void TPrinterSim::TImpl::ReadPty(int fd) {
    std::vector<TParsed> parsed;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        FPtyParser.Feed(buf, int(n), NowUs());
        FPtyParser.Parse(parsed);
    }
    const sockaddr_in none{};
    for (const TParsed& p : parsed)
        Handle(p, false, none);
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
        TParser parser;
        parser.Feed(buf.data(), int(n), NowUs());
        std::vector<TParsed> parsed;
        parser.Parse(parsed);
        for (const TParsed& p : parsed)
            Handle(p, true, from);
    }
}

int TPrinterSim::TImpl::PacingRate(const TSimFaults& faults, bool udp) const {
    if (faults.FPacingBaud >= 0)
        return faults.FPacingBaud;
    int slave = -1;
    int32_t rate = 0;
    {
        std::lock_guard lock(FLock);
        slave = FSlaveFd;
        rate = FRate;
    }
    termios tio{};
    if (!udp && slave >= 0 && tcgetattr(slave, &tio) == 0)
        return SpeedToRate(cfgetospeed(&tio));
    return std::max(0, int(rate));
}

void TPrinterSim::TImpl::Handle(const TParsed& p, bool udp, const sockaddr_in& from) {
    const TSimFrame& f = p.FFrame;
    TSimFaults faults;
    QByteArray id;
    int32_t listen = 0;
    int slave = -1;
    std::function<void(const QString&)> log;
    {
        std::lock_guard lock(FLock);
        faults = FFaults;
        id = FId;
        listen = FListenRate;
        slave = FSlaveFd;
        log = FLog;
    }
    if (!udp && listen > 0) {
        // The tool set its side of the line; at another rate the printer would only see noise.
        termios tio{};
        const int line =
            slave >= 0 && tcgetattr(slave, &tio) == 0 ? SpeedToRate(cfgetospeed(&tio)) : 0;
        if (line != listen) {
            if (log)
                log(QStringLiteral("%1 pty cmd %2: not heard (line at %3, listening at %4)")
                        .arg(double(p.FLastUs - FStartUs) / 1e6, 10, 'f', 3)
                        .arg(f.FCommand, 2, 16, QLatin1Char('0'))
                        .arg(line)
                        .arg(listen));
            return;
        }
    }
    const bool match = !faults.FFilter || faults.FFilter(f);

    // The frame becomes visible together with its effects, so a caller that has waited for
    // it finds the printer's state already updated.
    QString fate;
    {
        std::lock_guard lock(FLock);
        FFrames.append(f);
        // The tool's turnaround: from our last reply written to its next request's first byte.
        if (FLastReplyDoneUs >= 0 && p.FFirstUs >= FLastReplyDoneUs) {
            FFrames.last().FTurnaroundUs = p.FFirstUs - FLastReplyDoneUs;
            FTiming.FTurnaroundUs += p.FFirstUs - FLastReplyDoneUs;
            ++FTiming.FTurnarounds;
        }
        FLastReplyDoneUs = -1;
        int tries = 0;
        if (match && faults.FIgnoreFirstTries > 0)
            tries = ++FTries[f.FRaw];
        if (tries > 0 && tries <= faults.FIgnoreFirstTries)
            fate =
                QStringLiteral("ignored (try %1 of %2)").arg(tries).arg(faults.FIgnoreFirstTries);
        else if (faults.FStopAfterFrames >= 0 && FAnswered >= faults.FStopAfterFrames)
            fate = QStringLiteral("not answered (stopped)");
        else if (match && faults.FSilent)
            fate = QStringLiteral("not answered (silent)");
        else if (f.FCommand == cmdSetLinkRate && faults.FNoRateSwitchReply)
            fate = QStringLiteral("not answered (no rate reply)");
        else {
            Take(f);
            ++FAnswered;
        }
    }
    FFramesChanged.notify_all();

    QByteArray reply;
    int64_t firstAt = 0;
    int pieces = 1;
    int64_t gapUs = 0;
    if (fate.isEmpty()) {
        QByteArray data = id;
        if (f.FCommand != cmdQueryDevice) {
            data = QByteArray(std::clamp(faults.FReplyDataLength, 0, 0xFFFF), Qt::Uninitialized);
            for (int i = 0; i < data.size(); ++i)
                data[i] = char(i);
        }
        if (match && faults.FBadDataChecksum && data.isEmpty())
            data = QByteArrayLiteral("\x01\x02\x03\x04");
        QByteArray frame = SimBuildFrame(kReply, f.FCommand, f.FArgument, data);
        if (match && faults.FBadHeaderChecksum)
            frame[10] = char(Byte(frame, 10) ^ 0x5A);
        if (match && faults.FBadDataChecksum)
            frame[11] = char(Byte(frame, 11) ^ 0xA5);
        reply = (match ? faults.FJunkBefore : QByteArray()) + frame;

        // A line carries 10 bits a byte: the reply cannot end before the request has
        // fully arrived and the reply itself has been on the line.
        const int rate = PacingRate(faults, udp);
        int64_t startUs = p.FLastUs;
        int64_t replyUs = 0;
        if (rate > 0) {
            startUs = std::max(startUs, p.FFirstUs + int64_t(f.FRaw.size()) * 10000000 / rate);
            replyUs = int64_t(reply.size()) * 10000000 / rate;
        }
        if (match)
            startUs += int64_t(std::max(0, faults.FDelayMs)) * 1000;
        firstAt = std::max(startUs, FLineFreeUs) + replyUs;
        if (match && faults.FSplitPieces > 1) {
            pieces = std::min<int>(faults.FSplitPieces, int(reply.size()));
            gapUs = int64_t(std::max(0, faults.FSplitGapMs)) * 1000;
        }
        fate = QStringLiteral("answered, %1 bytes").arg(reply.size());
        if (match && faults.FDelayMs > 0)
            fate += QStringLiteral(", delay %1 ms").arg(faults.FDelayMs);
        if (pieces > 1)
            fate += QStringLiteral(", %1 pieces").arg(pieces);
        if (match && (faults.FBadHeaderChecksum || faults.FBadDataChecksum))
            fate += QStringLiteral(", bad checksum");
    }

    for (int i = 0; i < pieces; ++i) {
        const int from0 = int(int64_t(reply.size()) * i / pieces);
        const int to0 = int(int64_t(reply.size()) * (i + 1) / pieces);
        TOut out;
        out.FAtUs = firstAt + gapUs * i;
        out.FUdp = udp;
        out.FTo = from;
        out.FBytes = reply.mid(from0, to0 - from0);
        FOut.push_back(std::move(out));
        FLineFreeUs = std::max(FLineFreeUs, firstAt + gapUs * i);
    }

    if (log) {
        const double t = double(p.FLastUs - FStartUs) / 1e6;
        log(QStringLiteral("%1 %2 cmd %3 arg %4 len %5: %6")
                .arg(t, 10, 'f', 3)
                .arg(udp ? QStringLiteral("udp") : QStringLiteral("pty"))
                .arg(f.FCommand, 2, 16, QLatin1Char('0'))
                .arg(f.FArgument, 8, 16, QLatin1Char('0'))
                .arg(f.FData.size())
                .arg(fate));
    }
}

// Called with FLock held for a frame the printer accepted.
void TPrinterSim::TImpl::Take(const TSimFrame& f) {
    FLast.insert(f.FCommand, f.FData);
    switch (f.FCommand) {
    case cmdQueryDevice:
        return;
    case cmdSetLinkRate:
        FRate = int32_t(f.FArgument);
        if (FListenRate > 0)
            FListenRate = FRate;
        return;
    case cmdSelectMode:
        FMode = f.FArgument;
        if (f.FArgument == modeProgram) {
            FImage.clear();
            FEnded = false;
            ++FChanges;
        } else if (f.FArgument == modeDownload) {
            ++FSession;
        } else if (f.FArgument == modeProgramEnd) {
            FEnded = true;
            ++FChanges;
        }
        return;
    case cmdWriteProgram: {
        if (FEnded) {
            // Blocks after the end belong to a new programming run.
            FImage.clear();
            FEnded = false;
        }
        const uint64_t end = uint64_t(f.FArgument) + uint64_t(f.FData.size());
        if (end > uint64_t(kMaxImageSize))
            return;
        if (end > uint64_t(FImage.size()))
            FImage.append(QByteArray(int(end) - FImage.size(), char(0xFF)));
        FImage.replace(int(f.FArgument), f.FData.size(), f.FData);
        ++FChanges;
        return;
    }
    default:
        break;
    }
    const bool file = f.FCommand == cmdWriteFont || f.FCommand == cmdWriteLogo ||
                      (FMode == modeDownload && !f.FData.isEmpty());
    if (file) {
        TSparse& s = FFiles[f.FCommand];
        if (s.FSession != FSession) {
            s = TSparse();
            s.FSession = FSession;
        }
        if (s.Write(f.FArgument, f.FData))
            ++FChanges;
        return;
    }
    if (f.FCommand == cmdSetParameters || f.FCommand == cmdSetBluetooth ||
        f.FCommand == cmdSetIrRate || f.FCommand == cmdSetFactoryInfo) {
        FKept.insert(f.FCommand, f.FData);
        ++FChanges;
    }
}

void TPrinterSim::TImpl::Flush(int masterFd, int udpFd) {
    while (!FOut.empty()) {
        TOut& out = FOut.front();
        const int64_t now = NowUs();
        if (out.FAtUs > now)
            return;
        if (out.FUdp) {
            if (udpFd >= 0)
                sendto(udpFd, out.FBytes.constData(), size_t(out.FBytes.size()), MSG_DONTWAIT,
                       reinterpret_cast<const sockaddr*>(&out.FTo), sizeof out.FTo);
            FOut.pop_front();
            continue;
        }
        if (masterFd < 0) {
            FOut.pop_front();
            continue;
        }
        const ssize_t n = write(masterFd, out.FBytes.constData(), size_t(out.FBytes.size()));
        if (n > 0)
            out.FBytes.remove(0, int(n));
        if (out.FBytes.isEmpty()) {
            {
                std::lock_guard lock(FLock);
                FLastReplyDoneUs = NowUs();
                FTiming.FLatenessUs += FLastReplyDoneUs - out.FAtUs;
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

// --- helpers ----------------------------------------------------------------------------

QByteArray SimBuildFrame(uint8_t direction, uint16_t command, uint32_t argument,
                         const QByteArray& data) {
    const QByteArray d = data.left(0xFFFF);
    QByteArray f(kHeaderSize, '\0');
    f[0] = char(kStart);
    f[1] = char(direction);
    f[2] = char(command & 0xFF);
    f[3] = char(command >> 8);
    for (int i = 0; i < 4; ++i)
        f[4 + i] = char((argument >> (8 * i)) & 0xFF);
    f[8] = char(d.size() & 0xFF);
    f[9] = char(d.size() >> 8);
    f[10] = char(Xor(f.constData(), 10));
    f[11] = char(Xor(d.constData(), int(d.size())));
    return f + d;
}

bool SimParseFrame(const QByteArray& bytes, uint8_t direction, TSimFrame* frame) {
    if (bytes.size() < kHeaderSize || Byte(bytes, 0) != kStart || Byte(bytes, 1) != direction)
        return false;
    const int length = Get16(bytes, 8);
    if (bytes.size() != kHeaderSize + length || Xor(bytes.constData(), 11) != 0 ||
        (Xor(bytes.constData() + kHeaderSize, length) ^ Byte(bytes, 11)) != 0)
        return false;
    if (frame) {
        frame->FCommand = Get16(bytes, 2);
        frame->FArgument = Get32(bytes, 4);
        frame->FData = bytes.mid(kHeaderSize);
        frame->FRaw = bytes;
        frame->FTimeMs = SimNowMs();
    }
    return true;
}

int64_t SimNowMs() {
    return NowUs() / 1000;
}

QString SimHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QByteArray SimFirmwareImage(int size, uint32_t seed) {
    QByteArray image(qMax(size, 12), Qt::Uninitialized);
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((uint32_t(i) * (7 + 2 * seed) + 3 + seed) & 0xFF);
    const auto put = [&image](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            image[at + k] = static_cast<char>(v >> (8 * k));
    };
    put(4, static_cast<uint32_t>(size));
    put(8, 0);
    uint32_t sum = 0;
    for (int at = 0; at + 4 <= image.size(); at += 4)
        sum += uint32_t(uint8_t(image[at])) | uint32_t(uint8_t(image[at + 1])) << 8 |
               uint32_t(uint8_t(image[at + 2])) << 16 | uint32_t(uint8_t(image[at + 3])) << 24;
    put(8, 0u - sum);
    image.truncate(size);
    return image;
}
