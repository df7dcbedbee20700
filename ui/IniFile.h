#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// An INI file kept line by line: section and key names match without regard to case, unknown
// sections and keys, comments and the order of lines survive a load and save.
class TIniFile {
public:
    // A missing file is an empty one. Returns false (with the reason) when the file exists but
    // cannot be read.
    bool Load(const QString& path, QString* error = nullptr);
    void LoadFromBytes(const QByteArray& bytes);

    bool HasValue(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // "0x"/"0X" hexadecimal for values longer than two characters, otherwise the text-to-integer
    // rule; missing or bad values give def.
    int32_t ReadInteger(const QString& section, const QString& key, int32_t def) const;
    // Present only when it holds at least one key.
    bool SectionHasKeys(const QString& section) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int32_t value);
    void EraseSection(const QString& section);

    QByteArray ToBytes() const;
    // Writes a temporary file beside the target and replaces it in one step, so the old file
    // stays whole when anything fails; in a folder that takes no new file, a writable target is
    // rewritten in place instead. Returns false with the reason.
    bool Save(const QString& path, QString* error = nullptr) const;

private:
    struct TLine {
        QString FText;    // the line as read or written
        QString FSection; // for a section header: its name
        QString FKey;     // for a key line: its name (trimmed)
        QString FEnd;     // the line's own line end; empty only for a last line without one
        bool FIsSection = false;
        bool FIsKey = false;
    };
    int FindSection(const QString& section) const;
    int FindKey(const QString& section, const QString& key) const;
    static TLine ParseLine(const QString& text, const QString& end);
    int KeyInsertPos(int header) const;
    void InsertLine(int at, const QString& text);
    QList<TLine> FLines;
    QByteArray FLineEnd = "\r\n";
};
