#include "MemoryStream.h"

#include "FileError.h"

#include <QFile>
#include <cstring>
#include <stdexcept>

void TMemoryStream::LoadFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(FileErrorText("open", path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFileError(FileErrorText("read", path, file.errorString()));
    FData = std::move(bytes);
    FPosition = 0;
}

int32_t TMemoryStream::Read(uint8_t* buffer, int32_t count) {
    if (count <= 0 || FPosition >= FData.size() || FPosition < 0)
        return 0;
    const int64_t n = std::min<int64_t>(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.constData() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return static_cast<int32_t>(n);
}
