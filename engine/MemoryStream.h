#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Bytes with a read position: a firmware image or a file being downloaded.
class TMemoryStream {
public:
    // Replaces the contents with the file's bytes; throws EFileError naming the file
    // and the reason when it cannot be read whole.
    void LoadFromFile(const QString& path);
    void SetData(const QByteArray& data) {
        FData = data;
        FPosition = 0;
    }
    const QByteArray& Data() const { return FData; }
    int64_t Size() const { return FData.size(); }
    int64_t Position() const { return FPosition; }
    void SetPosition(int64_t position) { FPosition = position; }
    // Copies up to count bytes from the position on and advances; returns the number copied.
    int32_t Read(uint8_t* buffer, int32_t count);

private:
    QByteArray FData;
    int64_t FPosition = 0;
};
