#pragma once

#include <QString>
#include <QStringList>

// The code-page drop-down's entries as the program knows them without "codepage.ini": 51
// entries, the last one empty. Trailing blanks belong to the texts.
QStringList BuiltInCodePages();

// One entry per line of the text, empty lines included; see SplitTextLines for line ends.
QStringList CodePagesFromText(const QString& text);

// Reads "codepage.ini": each line is one entry, in order. When the file cannot be read, or holds
// nothing (byte-order marks aside), returns false, leaves `out` as it was and sets `error` to
// the file-error text ("Cannot open file "<full path>". <reason>", "Cannot read file ... The
// file is empty.").
bool LoadCodePageList(const QString& path, QStringList& out, QString* error = nullptr);
