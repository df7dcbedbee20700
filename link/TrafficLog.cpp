#include "TrafficLog.h"

#include <QDateTime>
#include <QSaveFile>
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
        throw std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
    const QByteArray bytes = ToBytes();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(QStringLiteral("Cannot write file \"%1\". %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
}

QByteArray TTrafficLog::TimeStamp() {
    return QDateTime::currentDateTime()
        .toString(QStringLiteral(" yy-MM-dd hh:mm:ss zzz "))
        .toLatin1();
}
