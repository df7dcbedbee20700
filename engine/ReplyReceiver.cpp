#include "ReplyReceiver.h"

#include "PrinterCommands.h"

#include <algorithm>
#include <cstring>

namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

int32_t TReplyReceiver::Wanted() const {
    if (FResult >= 0 || FTaken > ByteBound)
        return 0;
    int32_t want = 1;
    if (FState == TState::Header)
        want = 10;
    else if (FState == TState::Data)
        want = std::min(FDataLength, BufferSize - FTaken);
    if (want <= 0 || FTaken + want > BufferSize)
        return 0;
    return want;
}

void TReplyReceiver::Feed(const uint8_t* bytes) {
    const int32_t want = Wanted();
    if (want == 0)
        return;
    std::memcpy(ReadTarget(), bytes, static_cast<size_t>(want));
    Took();
}

// A reply with a bad header or data checksum is never accepted, and no new frame start is looked
// for after it: the reads that follow only use up the rest of the try.
void TReplyReceiver::Took() {
    const int32_t want = Wanted();
    if (want == 0)
        return;
    const int32_t at = FTaken;
    FTaken += want;
    switch (FState) {
    case TState::Hunt:
        if (FBuffer[at] == 0x03) {
            FStart = at;
            FState = TState::Direction;
        }
        break;
    case TState::Direction:
        if (FBuffer[at] == 0xFE) {
            FState = TState::Header;
        } else if (FBuffer[at] == 0x03) {
            FStart = at;
        } else {
            FState = TState::Hunt;
        }
        break;
    case TState::Header:
        if (FrameChecksum(FBuffer + FStart, 11) == 0) {
            FDataLength = Le16(FBuffer + FStart + 8);
            if (FDataLength == 0)
                FResult = 0;
            else
                FState = TState::Data;
        }
        break;
    case TState::Data:
        // Data that would not fit the caller's room or this buffer is never taken; the try then
        // runs out like one with a bad checksum.
        if (FDataLength <= FCapacity && FStart + 12 + FDataLength <= BufferSize &&
            (FBuffer[FStart + 11] ^ FrameChecksum(FBuffer + FStart + 12, FDataLength)) == 0) {
            std::memcpy(FData, FBuffer + FStart + 12, static_cast<size_t>(FDataLength));
            FResult = FDataLength;
        }
        break;
    }
}

int32_t TakeDatagramReply(const uint8_t* buffer, int32_t kept, int32_t size, uint8_t* data,
                          int32_t capacity) {
    if (size != kept || kept < 12 || buffer[0] != 0x03 || buffer[1] != 0xFE)
        return -1;
    const int32_t length = Le16(buffer + 8);
    if (12 + length > kept || length > capacity)
        return -1;
    if (length > 0)
        std::memcpy(data, buffer + 12, static_cast<size_t>(length));
    return length;
}
