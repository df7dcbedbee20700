#pragma once

// The request/reply frame as the simulated printer reads and writes it: 03, direction,
// command (2 bytes), argument (4), data length (2), header check, data check, then the data.
// Numbers are little-endian; the header check makes bytes 0..10 XOR to 0, the data check is
// the XOR of the data.

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <vector>

constexpr uint8_t kSimRequest = 0xFF;
constexpr uint8_t kSimReply = 0xFE;
constexpr int kSimHeaderSize = 12;
constexpr int kSimHeaderCheckAt = 10;
constexpr int kSimDataCheckAt = 11;

// The printer's own copy of the command set, kept apart from the tool's on purpose: a wrong
// code in the tool must show up as a printer that does not understand it.
namespace SimCmd {
constexpr uint16_t QueryDevice = 0x20;
constexpr uint16_t SetLinkRate = 0x2B;
constexpr uint16_t WriteLogo = 0x2D;
constexpr uint16_t WriteProgram = 0x2E;
constexpr uint16_t SelectMode = 0x2F;
constexpr uint16_t SetParameters = 0x60;
constexpr uint16_t SetBluetooth = 0x61;
constexpr uint16_t SetIrRate = 0x62;
constexpr uint16_t WriteFont = 0x63;
constexpr uint16_t SetFactoryInfo = 0x64;
} // namespace SimCmd

// One valid request frame as the printer received it.
struct TSimFrame {
    uint16_t FCommand = 0;
    uint32_t FArgument = 0;
    QByteArray FData;
    QByteArray FRaw;
    int64_t FTimeMs = 0; // SimNowMs() when the frame's last byte had arrived
    // Serial link: from the start of our previous reply's last write to this frame's first byte, in
    // microseconds; -1 when no reply came before it.
    int64_t FTurnaroundUs = -1;
};

// Frame helpers, also used by tests.
// direction 0xFF = request, 0xFE = reply; data longer than 65535 bytes is cut.
QByteArray SimBuildFrame(uint8_t direction, uint16_t command, uint32_t argument,
                         const QByteArray& data);
// True when bytes hold exactly one frame of that direction with both checksums right.
bool SimParseFrame(const QByteArray& bytes, uint8_t direction, TSimFrame* frame = nullptr);
inline QByteArray SimRequest(uint16_t command, uint32_t argument, const QByteArray& data = {}) {
    return SimBuildFrame(kSimRequest, command, argument, data);
}
inline QByteArray SimReply(uint16_t command, uint32_t argument, const QByteArray& data = {}) {
    return SimBuildFrame(kSimReply, command, argument, data);
}
// Monotonic clock of TSimFrame::FTimeMs.
int64_t SimNowMs();
int64_t SimNowUs();
// FTimeMs of the first of frames with that command; -1 when none came.
int64_t SimFirstFrameMs(const QList<TSimFrame>& frames, uint16_t command);

// A request frame with the times its first and last bytes arrived.
struct TSimReceived {
    TSimFrame FFrame;
    int64_t FFirstUs = 0;
    int64_t FLastUs = 0;
};

// Finds request frames in a byte stream: hunt for 03 FF, check the header, then the data.
// A candidate that fails either check gives up only its first byte, so a frame that starts
// inside a broken one is still found.
class TSimFrameReader {
public:
    // Request headers that announce more data than this are taken for noise.
    static constexpr int kMaxRequestData = 4096;
    // A partial request that sees no new byte for this long is given up (stale bytes).
    static constexpr int kStaleFrameMs = 500;

    void Feed(const char* p, int n, int64_t us);
    void Parse(std::vector<TSimReceived>& out);
    // When the rest of a partial frame never comes, hunt on from its second byte.
    bool StaleAt(int64_t& atUs) const;
    void Expire(int64_t nowUs, std::vector<TSimReceived>& out);
    void Clear();

private:
    void Drop(int n);

    QByteArray FBuf;
    std::vector<int64_t> FTimes; // arrival of each byte in FBuf
};
