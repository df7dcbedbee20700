#include "SettingsText.h"

#include <QStringDecoder>

QString DecodeSettingsText(const QByteArray& bytes) {
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    // Stateless: an incomplete sequence at the end counts as invalid instead of being held back.
    // Any further byte-order mark is ordinary text and must survive a round trip.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(body);
    if (!decoder.hasError())
        return text;
    return QString::fromLatin1(body);
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
