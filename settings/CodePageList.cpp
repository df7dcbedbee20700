#include "CodePageList.h"

#include "FileError.h"

#include "SettingsText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QStringList BuiltInCodePages() {
    return {
        QStringLiteral("TRADITIONAL CHINESE"),
        QStringLiteral("CHINESE"),
        QStringLiteral("CP437 [U.S.A., Standard Europe]"),
        QStringLiteral("Katakana"),
        QStringLiteral("CP850 [Multilingual]"),
        QStringLiteral("CP860 [Portuguese]"),
        QStringLiteral("CP863 [Canadian-French]"),
        QStringLiteral("CP865 [Nordic]"),
        QStringLiteral("WCP1251 [Cyrillic]"),
        QStringLiteral("CP866 Cyrilliec #2 "),
        QStringLiteral("MIK[Cyrillic /Bulgarian]"),
        QStringLiteral("CP755 [East Europe，Latvian 2]"),
        QStringLiteral("Iran "),
        QStringLiteral("reserve"),
        QStringLiteral("reserve"),
        QStringLiteral("reserve"),
        QStringLiteral("reserve"),
        QStringLiteral("CP862 [Hebrew]"),
        QStringLiteral("WCP1252 Latin I"),
        QStringLiteral("WCP1253 [Greek] "),
        QStringLiteral("CP852 [Latina 2]"),
        QStringLiteral("CP858 Multilingual Latin Ⅰ+Euro)"),
        QStringLiteral("Iran II "),
        QStringLiteral("Latvian"),
        QStringLiteral("CP864 [Arabic]"),
        QStringLiteral("ISO-8859-1 [West Europe]      "),
        QStringLiteral("CP737 [Greek]"),
        QStringLiteral("WCP1257 [Baltic]"),
        QStringLiteral("Thai "),
        QStringLiteral("CP720[Arabic]"),
        QStringLiteral("CP855"),
        QStringLiteral("CP857[Turkish]"),
        QStringLiteral("WCP1250[Central Eurpoe]"),
        QStringLiteral("CP775"),
        QStringLiteral("WCP1254[Turkish]"),
        QStringLiteral("WCP1255[Hebrew]"),
        QStringLiteral("WCP1256[Arabic]"),
        QStringLiteral("WCP1258[Vietnam]"),
        QStringLiteral("ISO-8859-2[Latin 2]"),
        QStringLiteral("ISO-8859-3[Latin 3]"),
        QStringLiteral("ISO-8859-4[Baltic]"),
        QStringLiteral("ISO-8859-5[Cyrillic]"),
        QStringLiteral("ISO-8859-6[Arabic]"),
        QStringLiteral("ISO-8859-7[Greek]"),
        QStringLiteral("ISO-8859-8[Hebrew]"),
        QStringLiteral("ISO-8859-9[Turkish]"),
        QStringLiteral("ISO-8859-15 [Latin 3]"),
        QStringLiteral("Thai2"),
        QStringLiteral("CP856"),
        QStringLiteral("Cp874"),
        QStringLiteral(""),
    };
}

QStringList CodePagesFromText(const QString& text) {
    QStringList entries;
    for (const TTextLine& line : SplitTextLines(text))
        entries.append(line.FText);
    return entries;
}

bool LoadCodePageList(const QString& path, QStringList& out, QString* error) {
    QFile file(path);
    QByteArray bytes;
    bool ok = file.open(QIODevice::ReadOnly);
    if (ok) {
        bytes = file.readAll();
        ok = file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        if (error)
            *error = FileErrorText("open", path, file.errorString());
        return false;
    }
    // An empty list would leave the drop-down with nothing to choose; the built-in one is better.
    const QString text = DecodeSettingsText(bytes);
    if (text.isEmpty()) {
        if (error)
            *error = FileErrorText("read", path, QStringLiteral("The file is empty."));
        return false;
    }
    out = CodePagesFromText(text);
    return true;
}
