#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

// The traffic of one job: lines of 8-bit text, written to disk once at the job's end.
class TTrafficLog {
public:
    void Clear() { FLines.clear(); }
    void AddLog(const QByteArray& line) { FLines.append(line); }
    // 16 bytes a line, 79 characters, semicolon in column 63.
    void DumpHex(const uint8_t* data, int32_t count);
    const QList<QByteArray>& Lines() const { return FLines; }
    // All lines, each followed by CR LF.
    QByteArray ToBytes() const;
    // Writes the file whole; throws EFileError when it cannot.
    void SaveToFile(const QString& path) const;

    // " yy-mm-dd hh:nn:ss zzz " of the local time now.
    static QByteArray TimeStamp();

private:
    QList<QByteArray> FLines;
};
