#include "CommandBlocks.h"

#include <cstring>

uint8_t CodePageCode(int position) {
    if (position <= 0)
        return 0xFE;
    if (position == 1)
        return 0xFF;
    return static_cast<uint8_t>(position - 2);
}

int64_t TextPairLength(qsizetype first, qsizetype second, bool trailingZero) {
    return int64_t(first) + 1 + second + (trailingZero ? 1 : 0);
}

QString TextPairTooLong(const QString& firstName, const QString& secondName, int64_t length,
                        int32_t capacity) {
    return QStringLiteral("%1 and %2 are too long: together they take %3 bytes, the printer "
                          "accepts at most %4.")
        .arg(firstName, secondName)
        .arg(length)
        .arg(capacity);
}

int32_t PackTextPair(uint8_t* data, int32_t capacity, const QByteArray& first,
                     const QByteArray& second, bool trailingZero) {
    const int64_t length = TextPairLength(first.size(), second.size(), trailingZero);
    if (length > capacity)
        return -1;
    uint8_t* p = data;
    std::memcpy(p, first.constData(), size_t(first.size()));
    p += first.size();
    *p++ = 0;
    std::memcpy(p, second.constData(), size_t(second.size()));
    p += second.size();
    if (trailingZero)
        *p = 0;
    return static_cast<int32_t>(length);
}

void PackParameterBlock(uint8_t* data, const TParameterValues& v) {
    PutBigEndian32(data, static_cast<uint32_t>(v.FBaudRate));
    data[4] = CodePageCode(v.FCodePage);
    data[5] = static_cast<uint8_t>(v.FDensity);
    data[6] = static_cast<uint8_t>(v.FFont);
    data[7] = static_cast<uint8_t>(v.FLineFeed);
    const int32_t words[] = {v.FIdle, v.FOff, v.FMaxFeed, v.FPage};
    for (int i = 0; i < 4; ++i)
        PutLittleEndian16(data + 8 + 2 * i, static_cast<uint32_t>(words[i]));
}
