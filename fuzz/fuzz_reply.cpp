// The reply receiver fed as a link delivers: the serial receiver read by read, in the sizes it
// asks for, or one datagram. Whatever arrives, nothing is written past the caller's room, a
// returned length fits it, and the data returned are those of a valid frame that arrived.
//
// Input: a byte whose bit 0 picks the datagram link, two bytes of the caller's room (little-
// endian, up to 4095), then the bytes as they arrive.
#include "FuzzSupport.h"
#include "ReplyReceiver.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

uint8_t Xor(const uint8_t* p, int32_t n) {
    uint8_t x = 0;
    for (int32_t i = 0; i < n; ++i)
        x ^= p[i];
    return x;
}

constexpr uint8_t Untouched = 0xA5;

// The caller's buffer is exactly `capacity` bytes long, so any write past it is caught.
void CheckResult(int32_t result, const uint8_t* frame, int32_t available, const uint8_t* data,
                 int32_t capacity, bool checksums) {
    FUZZ_CHECK(result >= -1 && result <= capacity);
    const int32_t copied = result < 0 ? 0 : result;
    for (int32_t i = copied; i < capacity; ++i)
        FUZZ_CHECK(data[i] == Untouched);
    if (result < 0)
        return;
    FUZZ_CHECK(available >= 12 + result);
    FUZZ_CHECK(frame[0] == 0x03 && frame[1] == 0xFE);
    FUZZ_CHECK((frame[8] | frame[9] << 8) == result);
    FUZZ_CHECK(std::memcmp(data, frame + 12, static_cast<size_t>(result)) == 0);
    if (checksums) {
        FUZZ_CHECK(Xor(frame, 11) == 0);
        // A reply without data is complete after its header; byte 11 is not looked at then.
        FUZZ_CHECK(result == 0 || (frame[11] ^ Xor(frame + 12, result)) == 0);
    }
}

void Serial(const uint8_t* bytes, int32_t size, int32_t capacity) {
    auto data = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));
    std::memset(data.get(), Untouched, static_cast<size_t>(capacity));
    TReplyReceiver receiver(data.get(), capacity);
    int32_t fed = 0;
    for (;;) {
        const int32_t want = receiver.Wanted();
        FUZZ_CHECK(want >= 0 && receiver.Taken() + want <= TReplyReceiver::BufferSize);
        // No more bytes is a read that comes back short: the receiver stops.
        if (want == 0 || size - fed < want)
            break;
        receiver.Feed(bytes + fed);
        fed += want;
        FUZZ_CHECK(receiver.Taken() == fed);
    }
    FUZZ_CHECK(std::memcmp(receiver.Buffer(), bytes, static_cast<size_t>(fed)) == 0);
    FUZZ_CHECK(fed <= TReplyReceiver::BufferSize);
    const int32_t result = receiver.Result();
    const int32_t start = receiver.FrameStart();
    FUZZ_CHECK(start >= 0 && (start < fed || start == 0));
    CheckResult(result, bytes + start, fed - start, data.get(), capacity, true);
    // A reply ends the reading with its last data byte.
    FUZZ_CHECK(result < 0 || fed == start + 12 + result);
}

void Datagram(const uint8_t* bytes, int32_t size, int32_t capacity) {
    auto data = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));
    std::memset(data.get(), Untouched, static_cast<size_t>(capacity));
    // A datagram longer than the buffer is cut, and never taken.
    const int32_t kept = std::min(size, TReplyReceiver::BufferSize);
    auto buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(kept));
    std::memcpy(buffer.get(), bytes, static_cast<size_t>(kept));
    const int32_t result = TakeDatagramReply(buffer.get(), kept, size, data.get(), capacity);
    CheckResult(result, bytes, kept, data.get(), capacity, false);
    FUZZ_CHECK(result < 0 || kept == size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const bool datagram = data[0] & 1;
    const int32_t capacity = (data[1] | data[2] << 8) % 4096;
    const auto length = static_cast<int32_t>(std::min<size_t>(size - 3, 1 << 20));
    if (datagram)
        Datagram(data + 3, length, capacity);
    else
        Serial(data + 3, length, capacity);
    return 0;
}
