#pragma once

// A gzip-compressed tar archive in the POSIX ustar format, written as it goes into any device:
// what every tar and every unpacking program reads, without an external program.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>

class QIODevice;

class TTarGzWriter {
public:
    explicit TTarGzWriter(QIODevice& out);
    ~TTarGzWriter();
    TTarGzWriter(const TTarGzWriter&) = delete;
    TTarGzWriter& operator=(const TTarGzWriter&) = delete;

    // name: a relative path of at most 100 bytes in UTF-8; a folder's ends in "/". false on
    // the first failure, which ErrorString() says; every call after it fails too.
    bool AddFolder(const QString& name, const QDateTime& modified);
    bool AddFile(const QString& name, const QByteArray& data, const QDateTime& modified);
    // Ends the archive and the compressed stream; the device is left open.
    bool Finish();
    QString ErrorString() const { return FError; }

private:
    bool AddEntry(const QString& name, char type, int mode, const QByteArray& data,
                  const QDateTime& modified);
    bool Deflate(const char* data, qsizetype size, bool finish);
    bool Failed(const QString& error);

    QIODevice& FOut;
    struct TStream;
    std::unique_ptr<TStream> FStream;
    QString FError;
};
