#include "TarGzWriter.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace {

constexpr qsizetype Block = 512;
constexpr qsizetype NameField = 100;

// An octal number right-aligned in a field of `width` bytes, the last a NUL.
bool PutOctal(char* field, qsizetype width, uint64_t value) {
    field[width - 1] = '\0';
    for (qsizetype i = width - 2; i >= 0; --i) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
    return value == 0;
}

} // namespace

struct TTarGzWriter::TStream {
    z_stream FZ{};
    bool FOpen = false;
};

TTarGzWriter::TTarGzWriter(QIODevice& out) : FOut(out), FStream(std::make_unique<TStream>()) {
    // 15 window bits, plus 16: a gzip header and trailer rather than zlib's.
    if (deflateInit2(&FStream->FZ, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8,
                     Z_DEFAULT_STRATEGY) == Z_OK)
        FStream->FOpen = true;
    else
        FError = QStringLiteral("The compression could not be started.");
}

TTarGzWriter::~TTarGzWriter() {
    if (FStream->FOpen)
        deflateEnd(&FStream->FZ);
}

bool TTarGzWriter::Failed(const QString& error) {
    if (FError.isEmpty())
        FError = error;
    return false;
}

bool TTarGzWriter::Deflate(const char* data, qsizetype size, bool finish) {
    if (!FError.isEmpty())
        return false;
    z_stream& z = FStream->FZ;
    char out[1 << 15];
    qsizetype offset = 0;
    for (;;) {
        // zlib counts in unsigned int: hand it the data in pieces it can count.
        const qsizetype piece = std::min<qsizetype>(size - offset, 1 << 20);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data + offset));
        z.avail_in = static_cast<uInt>(piece);
        const bool last = finish && offset + piece == size;
        int status = Z_OK;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR)
                return Failed(QStringLiteral("The compression failed."));
            const auto produced = static_cast<qint64>(sizeof out - z.avail_out);
            if (produced > 0 && FOut.write(out, produced) != produced)
                return Failed(FOut.errorString());
        } while (z.avail_out == 0 || (last && status != Z_STREAM_END));
        offset += piece;
        if (offset >= size)
            return true;
    }
}

bool TTarGzWriter::AddEntry(const QString& name, char type, int mode, const QByteArray& data,
                            const QDateTime& modified) {
    const QByteArray path = name.toUtf8();
    if (path.isEmpty() || path.size() > NameField)
        return Failed(QStringLiteral("The name \"%1\" does not fit an archive entry.").arg(name));
    char header[Block] = {};
    std::memcpy(header, path.constData(), static_cast<size_t>(path.size()));
    PutOctal(header + 100, 8, static_cast<uint64_t>(mode));
    PutOctal(header + 108, 8, 0); // owner
    PutOctal(header + 116, 8, 0); // group
    if (!PutOctal(header + 124, 12, static_cast<uint64_t>(data.size())))
        return Failed(QStringLiteral("\"%1\" is too large for the archive.").arg(name));
    PutOctal(header + 136, 12,
             static_cast<uint64_t>(std::max<qint64>(0, modified.toSecsSinceEpoch())));
    header[156] = type;
    std::memcpy(header + 257, "ustar", 6); // with its NUL
    std::memcpy(header + 263, "00", 2);
    // The checksum is taken with its own field read as blanks.
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : header)
        sum += static_cast<unsigned char>(c);
    PutOctal(header + 148, 7, sum);
    if (!Deflate(header, Block, false) || !Deflate(data.constData(), data.size(), false))
        return false;
    const qsizetype padding = (Block - data.size() % Block) % Block;
    const char zeros[Block] = {};
    return Deflate(zeros, padding, false);
}

bool TTarGzWriter::AddFolder(const QString& name, const QDateTime& modified) {
    return AddEntry(name.endsWith(u'/') ? name : name + u'/', '5', 0755, {}, modified);
}

bool TTarGzWriter::AddFile(const QString& name, const QByteArray& data, const QDateTime& modified) {
    return AddEntry(name, '0', 0644, data, modified);
}

bool TTarGzWriter::Finish() {
    // Two blocks of zeros end a tar archive.
    const char zeros[2 * Block] = {};
    return Deflate(zeros, sizeof zeros, true);
}
