#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// An INI file kept line by line: section and key names match without regard to case, unknown
// sections and keys, comments and the order of lines survive a load and save, and so does the
// file's encoding (UTF-8 or Latin-1) and any byte-order marks it began with.
class TIniFile {
public:
    // A missing file is an empty one. Returns false (with the reason) when the file exists but
    // cannot be read.
    bool Load(const QString& path, QString* error = nullptr);
    void LoadFromBytes(const QByteArray& bytes);

    bool HasValue(const QString& section, const QString& key) const;
    // Blanks around the value are not part of it; neither are quotes ("..." or '...') that
    // enclose it.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // "0x"/"0X" hexadecimal for values longer than two characters, otherwise the text-to-integer
    // rule; missing or bad values give def.
    int32_t ReadInteger(const QString& section, const QString& key, int32_t def) const;
    // Present only when it holds at least one key.
    bool SectionHasKeys(const QString& section) const;
    // Every section with a header, and every key of a section, once each, spelt and ordered as
    // first written.
    QStringList SectionNames() const;
    QStringList KeyNames(const QString& section) const;

    // A value that would lose its outer blanks or quotes on reading is written in double quotes.
    // Line breaks in names and values become blanks. Names that could not be read back as
    // themselves (an empty key, a key with "=" or beginning with "[", ";" or "#", a section
    // with "]") are not written.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int32_t value);
    void EraseSection(const QString& section);

    QByteArray ToBytes() const;
    // Writes a temporary file beside the target and replaces it in one step, so the old file
    // stays whole when anything fails; when the folder takes no new files but the file may be
    // written, rewrites the file in place. Returns false with the reason.
    bool Save(const QString& path, QString* error = nullptr) const;

private:
    struct TLine {
        QString FText; // the line as read or written
        QString FEnd;  // its own line end; empty only for a last line without one
    };
    // A section header and the lines up to the next one. The first part holds the lines before
    // any header and has none itself.
    struct TPart {
        bool FHasHeader = false;
        TLine FHeader;
        QString FName; // folded
        QList<TLine> FLines;
        QHash<QString, qsizetype> FKeys; // folded key name -> its first line in FLines
        qsizetype FLastKey = -1;         // the last key line in FLines
    };
    struct TPlace {
        qsizetype FPart = -1;
        qsizetype FLine = -1;
    };

    TPlace FindKey(const QString& section, const QString& key) const;
    void IndexSections();
    TLine* LastLine();
    void AppendToPart(TPart& part, qsizetype at, const QString& text);

    QList<TPart> FParts;
    QHash<QString, QList<qsizetype>> FSections; // folded section name -> its parts, in order
    QString FLineEnd = QStringLiteral("\r\n");
    QByteArray FMarks;
    bool FLatin1 = false;
};
