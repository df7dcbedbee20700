#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// A settings file's text and how it was stored, so that it can be written back the same way.
struct TSettingsText {
    QString FText;
    QByteArray FMarks;    // the UTF-8 byte-order marks it began with, as they were
    bool FLatin1 = false; // the bytes were not valid UTF-8 and were read as Latin-1
};

// UTF-8 when the bytes are valid UTF-8, otherwise Latin-1, so a file saved by a Windows editor in
// its ANSI code page still loads. Every leading UTF-8 byte-order mark is skipped.
TSettingsText DecodeSettingsFile(const QByteArray& bytes);
inline QString DecodeSettingsText(const QByteArray& bytes) {
    return DecodeSettingsFile(bytes).FText;
}

// The bytes for `text`, with `marks` in front: Latin-1 when asked and when every character fits
// and the result would be read back as Latin-1 again; UTF-8 otherwise, so nothing is lost.
QByteArray EncodeSettingsText(const QString& text, const QByteArray& marks, bool latin1);

bool IsValidUtf8(QByteArrayView bytes);

struct TTextLine {
    QString FText; // without its line end
    QString FEnd;  // "\r\n", "\n", "\r", or empty for a last line that has none
};

// Splits at CR, LF and CR LF. A line end at the very end of the text does not start another
// (empty) line, and an empty text has no lines.
QList<TTextLine> SplitTextLines(const QString& text);
