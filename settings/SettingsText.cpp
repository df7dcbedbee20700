#include "SettingsText.h"

#include <QStringDecoder>

namespace {

constexpr QByteArrayView Utf8Mark("\xEF\xBB\xBF");

// Stateless: an incomplete sequence at the end counts as invalid instead of being held back.
// A byte-order mark inside the text is ordinary text and must survive a round trip.
constexpr auto Utf8Flags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

} // namespace

bool IsValidUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, Utf8Flags);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

TSettingsText DecodeSettingsFile(const QByteArray& bytes) {
    TSettingsText out;
    QByteArrayView body(bytes);
    while (body.startsWith(Utf8Mark))
        body = body.sliced(Utf8Mark.size());
    out.FMarks = bytes.left(bytes.size() - body.size());
    QStringDecoder decoder(QStringConverter::Utf8, Utf8Flags);
    out.FText = decoder.decode(body);
    if (decoder.hasError()) {
        out.FText = QString::fromLatin1(body);
        out.FLatin1 = true;
    }
    return out;
}

QByteArray EncodeSettingsText(const QString& text, const QByteArray& marks, bool latin1) {
    if (latin1) {
        bool fits = true;
        bool high = false;
        for (const QChar c : text) {
            fits = fits && c.unicode() <= 0xFF;
            high = high || c.unicode() >= 0x80;
        }
        // Latin-1 bytes that happen to form valid UTF-8 would be read as other characters.
        if (fits) {
            QByteArray body = text.toLatin1();
            if (!high || !IsValidUtf8(body))
                return marks + body;
        }
    }
    return marks + text.toUtf8();
}

QList<TTextLine> SplitTextLines(const QString& text) {
    QList<TTextLine> lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype i = start;
        while (i < n && text[i] != u'\r' && text[i] != u'\n')
            ++i;
        TTextLine line;
        line.FText = text.mid(start, i - start);
        if (i < n) {
            const qsizetype endLen =
                (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') ? 2 : 1;
            line.FEnd = text.mid(i, endLen);
            i += endLen;
        }
        lines.append(line);
        start = i;
    }
    return lines;
}
