// The text-to-integer rule against a plain reading of it: an optional sign, then decimal digits
// or "$" and hexadecimal digits; leading blanks skipped; nothing may follow. Hexadecimal may use
// the unsigned range of the width and wraps; decimal must fit the signed range.
#include "FuzzSupport.h"
#include "TextToInt.h"

#include <optional>

namespace {

int DigitValue(char16_t c, int base) {
    int d = 99;
    if (c >= u'0' && c <= u'9')
        d = c - u'0';
    else if (c >= u'a' && c <= u'f')
        d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        d = c - u'A' + 10;
    return d < base ? d : -1;
}

std::optional<int64_t> Rule(const QString& text, int bits) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // The magnitude, held exactly while it matters; anything above 2^64 is too large anyway.
    unsigned __int128 magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i].unicode(), base);
        if (d < 0)
            return std::nullopt;
        magnitude = magnitude * base + d;
        if (magnitude > (unsigned __int128)1 << 65)
            magnitude = (unsigned __int128)1 << 65;
    }
    const unsigned __int128 range = (unsigned __int128)1 << bits;
    if (base == 16) {
        if (magnitude >= range)
            return std::nullopt;
        unsigned __int128 v = negative ? range - magnitude : magnitude;
        v %= range;
        // Into the signed range of the width.
        if (v >= range / 2)
            return static_cast<int64_t>(static_cast<__int128>(v) - static_cast<__int128>(range));
        return static_cast<int64_t>(v);
    }
    if (magnitude > (negative ? range / 2 : range / 2 - 1))
        return std::nullopt;
    return negative ? static_cast<int64_t>(-static_cast<__int128>(magnitude))
                    : static_cast<int64_t>(magnitude);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& text : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        const std::optional<int32_t> narrow = TryTextToInt(text);
        const std::optional<int64_t> expected = Rule(text, 32);
        FUZZ_CHECK(narrow.has_value() == expected.has_value());
        FUZZ_CHECK(!narrow || *narrow == *expected);
        FUZZ_CHECK(TryTextToInt64(text) == Rule(text, 64));

        bool threw = false;
        try {
            FUZZ_CHECK(TextToInt(text) == narrow.value());
        } catch (const EConvertError& e) {
            threw = true;
            FUZZ_CHECK(e.Message() ==
                       QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
        FUZZ_CHECK(threw == !narrow.has_value());
    }
    return 0;
}
