#pragma once

// Assembles one reply frame from the bytes of the serial link as they arrive, and checks the
// reply carried by one datagram. No clock and no port: the caller reads, the receiver says how
// many bytes it wants next and judges them.

#include <cstdint>

class TReplyReceiver {
public:
    static constexpr int32_t BufferSize = 2048;
    // No more reads once more than this many bytes have been taken in one try.
    static constexpr int32_t ByteBound = 2000;

    // The reply's data go to `data`, which has room for `capacity` bytes; nothing else of it is
    // written.
    TReplyReceiver(uint8_t* data, int32_t capacity) : FData(data), FCapacity(capacity) {}

    // Bytes the next read must deliver in full: 1 while looking for the frame's start and
    // direction, 10 for the rest of the header, then the data length. 0 when the reply is
    // complete or no more bytes may be taken.
    int32_t Wanted() const;
    // Where the next read puts its Wanted() bytes.
    uint8_t* ReadTarget() { return FBuffer + FTaken; }
    // The next read has delivered Wanted() bytes at ReadTarget(). A read that came back short
    // is never handed over: its bytes do not count.
    void Took();
    // Copies Wanted() bytes from `bytes` and takes them.
    void Feed(const uint8_t* bytes);

    // The reply's data length once complete (its data then copied to `data`), otherwise -1.
    int32_t Result() const { return FResult; }
    // Bytes taken in, all of them held in Buffer().
    int32_t Taken() const { return FTaken; }
    // Index of the frame's first byte in Buffer(); 0 when no frame start was seen.
    int32_t FrameStart() const { return FStart; }
    const uint8_t* Buffer() const { return FBuffer; }

private:
    enum class TState { Hunt, Direction, Header, Data };
    uint8_t FBuffer[BufferSize];
    uint8_t* FData;
    int32_t FCapacity;
    TState FState = TState::Hunt;
    int32_t FTaken = 0;
    int32_t FStart = 0;
    int32_t FDataLength = 0;
    int32_t FResult = -1;
};

// The reply in one datagram of `size` bytes, of which the first `kept` are in `buffer`: no
// checksums on this link, but it must begin 03 FE, hold all the data it declares and fit the
// caller's `capacity`. Returns the data length, with the data copied to `data`, or -1.
int32_t TakeDatagramReply(const uint8_t* buffer, int32_t kept, int32_t size, uint8_t* data,
                          int32_t capacity);
