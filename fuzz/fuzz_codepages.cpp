// The code-page list reader: one entry per line whatever the line ends, the text read back in
// its own encoding, and the file reader agreeing with the text reader.
#include "CodePageList.h"
#include "FuzzSupport.h"
#include "SettingsText.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TSettingsText decoded = DecodeSettingsFile(bytes);
    FUZZ_CHECK(EncodeSettingsText(decoded.FText, decoded.FMarks, decoded.FLatin1) == bytes);

    const QStringList entries = CodePagesFromText(decoded.FText);
    QString lines = decoded.FText;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    if (lines.endsWith(u'\n'))
        lines.chop(1);
    FUZZ_CHECK(decoded.FText.isEmpty() ? entries.isEmpty() : entries.join(u'\n') == lines);
    for (const QString& entry : entries)
        FUZZ_CHECK(!entry.contains(u'\r') && !entry.contains(u'\n'));

    QStringList fromFile = {QStringLiteral("kept")};
    QString error;
    const bool ok =
        LoadCodePageList(WriteFuzzFile(QStringLiteral("codepage.ini"), bytes), fromFile, &error);
    FUZZ_CHECK(ok == !entries.isEmpty());
    FUZZ_CHECK(ok ? fromFile == entries && error.isEmpty()
                  : fromFile == QStringList{QStringLiteral("kept")} && !error.isEmpty());
    return 0;
}
