#include "TrafficLog.h"

#include "FileError.h"

#include <QSaveFile>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>

void TTrafficLog::DumpHex(const uint8_t* data, int32_t count) {
    static const char digits[] = "0123456789ABCDEF";
    for (int32_t lineStart = 0; lineStart < count; lineStart += 16) {
        QByteArray hex("    ");
        QByteArray chars("    ;");
        for (int i = 0; i < 16; ++i) {
            const int32_t k = lineStart + i;
            if (k < count) {
                const uint8_t b = data[k];
                hex.append(digits[b >> 4]).append(digits[b & 0x0F]).append(' ');
                chars.append(b > 0x20 ? static_cast<char>(b) : ' ');
            } else {
                hex.append("   ");
                chars.append(' ');
            }
            if (i == 7 || i == 15)
                hex.append("   ");
        }
        FLines.append(hex + chars);
    }
}

QByteArray TTrafficLog::ToBytes() const {
    QByteArray out;
    qsizetype size = 0;
    for (const QByteArray& line : FLines)
        size += line.size() + 2;
    out.reserve(size);
    for (const QByteArray& line : FLines)
        out.append(line).append("\r\n");
    return out;
}

void TTrafficLog::SaveToFile(const QString& path) const {
    QSaveFile file(path);
    // A writable log in a folder we may not create files in is still replaced.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw EFileError(FileErrorText("create", path, file.errorString()));
    const QByteArray bytes = ToBytes();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EFileError(FileErrorText("write", path, file.errorString()));
}

QByteArray TTrafficLog::TimeStamp() {
    // Every exchange writes two of these; the C library formats them far faster than QDateTime.
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const int n = std::snprintf(text, sizeof text, " %02d-%02d-%02d %02d:%02d:%02d %03d ",
                                local.tm_year % 100, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                local.tm_min, local.tm_sec, static_cast<int>(ms));
    return QByteArray(text, n);
}
