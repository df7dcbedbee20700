#include "SimFrame.h"

#include <ctime>

namespace {

constexpr uint8_t kStart = 0x03;

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

int DataLength(const QByteArray& b) {
    return Get16(b, 8);
}

bool HeaderCheckRight(const QByteArray& b) {
    return Xor(b.constData(), kSimHeaderCheckAt + 1) == 0;
}

// The data must already be there.
bool DataCheckRight(const QByteArray& b) {
    return (Xor(b.constData() + kSimHeaderSize, DataLength(b)) ^ Byte(b, kSimDataCheckAt)) == 0;
}

// The frame at the start of b, checks already passed.
TSimFrame Decode(const QByteArray& b) {
    const int length = DataLength(b);
    TSimFrame f;
    f.FCommand = Get16(b, 2);
    f.FArgument = Get32(b, 4);
    f.FData = b.mid(kSimHeaderSize, length);
    f.FRaw = b.left(kSimHeaderSize + length);
    return f;
}

} // namespace

QByteArray SimBuildFrame(uint8_t direction, uint16_t command, uint32_t argument,
                         const QByteArray& data) {
    const QByteArray d = data.left(0xFFFF);
    QByteArray f(kSimHeaderSize, '\0');
    f[0] = char(kStart);
    f[1] = char(direction);
    f[2] = char(command & 0xFF);
    f[3] = char(command >> 8);
    for (int i = 0; i < 4; ++i)
        f[4 + i] = char((argument >> (8 * i)) & 0xFF);
    f[8] = char(d.size() & 0xFF);
    f[9] = char(d.size() >> 8);
    f[kSimHeaderCheckAt] = char(Xor(f.constData(), kSimHeaderCheckAt));
    f[kSimDataCheckAt] = char(Xor(d.constData(), int(d.size())));
    return f + d;
}

bool SimParseFrame(const QByteArray& bytes, uint8_t direction, TSimFrame* frame) {
    if (bytes.size() < kSimHeaderSize || Byte(bytes, 0) != kStart || Byte(bytes, 1) != direction)
        return false;
    if (bytes.size() != kSimHeaderSize + DataLength(bytes) || !HeaderCheckRight(bytes) ||
        !DataCheckRight(bytes))
        return false;
    if (frame) {
        *frame = Decode(bytes);
        frame->FTimeMs = SimNowMs();
    }
    return true;
}

int64_t SimNowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t SimNowMs() {
    return SimNowUs() / 1000;
}

int64_t SimFirstFrameMs(const QList<TSimFrame>& frames, uint16_t command) {
    for (const TSimFrame& f : frames)
        if (f.FCommand == command)
            return f.FTimeMs;
    return -1;
}

void TSimFrameReader::Feed(const char* p, int n, int64_t us) {
    FBuf.append(p, n);
    FTimes.insert(FTimes.end(), size_t(n), us);
}

void TSimFrameReader::Parse(std::vector<TSimReceived>& out) {
    for (;;) {
        int i = 0;
        while (i < FBuf.size() && !(Byte(FBuf, i) == kStart &&
                                    (i + 1 == FBuf.size() || Byte(FBuf, i + 1) == kSimRequest)))
            ++i;
        Drop(i);
        if (FBuf.size() < kSimHeaderSize)
            return;
        const int length = DataLength(FBuf);
        if (!HeaderCheckRight(FBuf) || length > kMaxRequestData) {
            Drop(1);
            continue;
        }
        if (FBuf.size() < kSimHeaderSize + length)
            return;
        if (!DataCheckRight(FBuf)) {
            Drop(1);
            continue;
        }
        TSimReceived r;
        r.FFrame = Decode(FBuf);
        r.FFirstUs = FTimes.front();
        r.FLastUs = FTimes[size_t(kSimHeaderSize + length - 1)];
        r.FFrame.FTimeMs = r.FLastUs / 1000;
        out.push_back(std::move(r));
        Drop(kSimHeaderSize + length);
    }
}

bool TSimFrameReader::StaleAt(int64_t& atUs) const {
    if (FBuf.isEmpty())
        return false;
    atUs = FTimes.back() + int64_t(kStaleFrameMs) * 1000;
    return true;
}

void TSimFrameReader::Expire(int64_t nowUs, std::vector<TSimReceived>& out) {
    int64_t at = 0;
    while (StaleAt(at) && at <= nowUs) {
        Drop(1);
        Parse(out);
    }
}

void TSimFrameReader::Clear() {
    FBuf.clear();
    FTimes.clear();
}

void TSimFrameReader::Drop(int n) {
    if (n <= 0)
        return;
    FBuf.remove(0, n);
    FTimes.erase(FTimes.begin(), FTimes.begin() + n);
}
