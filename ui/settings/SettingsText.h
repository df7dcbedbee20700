#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Text of a settings file: UTF-8 when the bytes are valid UTF-8, otherwise Latin-1, so a file
// saved by a Windows editor in its ANSI code page still loads. A leading UTF-8 byte-order mark
// is skipped.
QString DecodeSettingsText(const QByteArray& bytes);

struct TTextLine {
    QString FText; // without its line end
    QString FEnd;  // "\r\n", "\n", "\r", or empty for a last line that has none
};

// Splits at CR, LF and CR LF. A line end at the very end of the text does not start another
// (empty) line, and an empty text has no lines.
QList<TTextLine> SplitTextLines(const QString& text);
