#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>

// The conversion error the user sees: "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& text);
    // Whole, whatever the text holds; what() ends at a NUL character.
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

// Optional sign, then decimal digits or "$" and hexadecimal digits; leading blanks skipped,
// nothing may follow the digits. Hexadecimal may use the unsigned range of the width and wraps
// (as "$FFFFFFFF" is -1); decimal must fit the signed range.
std::optional<int32_t> TryTextToInt(const QString& text);
std::optional<int64_t> TryTextToInt64(const QString& text);
// As above, throwing EConvertError when the text does not convert.
int32_t TextToInt(const QString& text);

// Removes leading and trailing characters with codes 0 to 32.
QString TrimCtl(const QString& text);
