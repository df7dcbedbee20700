#include "TextToInt.h"

EConvertError::EConvertError(const QString& text)
    : std::runtime_error(
          QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString()),
      FMessage(QStringLiteral("'%1' is not a valid integer value").arg(text)) {}

namespace {

// Parses into an unsigned magnitude bounded by `limit`; returns nullopt on any fault.
std::optional<int64_t> Parse(const QString& text, bool wide) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && text[i] == QLatin1Char('$')) {
        hex = true;
        ++i;
    }
    if (i >= n)
        return std::nullopt;
    const uint64_t hexLimit = wide ? UINT64_MAX : 0xFFFFFFFFull;
    const uint64_t decLimit = wide ? (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX))
                                   : (negative ? uint64_t(INT32_MAX) + 1 : uint64_t(INT32_MAX));
    const uint64_t limit = hex ? hexLimit : decLimit;
    const unsigned base = hex ? 16 : 10;
    uint64_t value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        if (value > (limit - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    if (hex) {
        // Hexadecimal wraps into the signed range of the width.
        int64_t v = wide ? static_cast<int64_t>(value)
                         : static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(value)));
        if (negative)
            v = static_cast<int64_t>(0ull - static_cast<uint64_t>(v));
        if (!wide)
            v = static_cast<int32_t>(static_cast<uint32_t>(v));
        return v;
    }
    if (negative)
        return static_cast<int64_t>(0ull - value);
    return static_cast<int64_t>(value);
}

} // namespace

std::optional<int32_t> TryTextToInt(const QString& text) {
    auto v = Parse(text, false);
    if (!v)
        return std::nullopt;
    return static_cast<int32_t>(*v);
}

std::optional<int64_t> TryTextToInt64(const QString& text) {
    return Parse(text, true);
}

int32_t TextToInt(const QString& text) {
    auto v = TryTextToInt(text);
    if (!v)
        throw EConvertError(text);
    return *v;
}

QString TrimCtl(const QString& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && text[b].unicode() <= 32)
        ++b;
    while (e > b && text[e - 1].unicode() <= 32)
        --e;
    return text.mid(b, e - b);
}
