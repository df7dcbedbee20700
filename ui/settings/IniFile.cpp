#include "IniFile.h"

#include "SettingsText.h"
#include "TextToInt.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

// Names compare without regard to ASCII case only, so the result never depends on the locale.
bool SameName(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i].unicode()) != AsciiUpper(b[i].unicode()))
            return false;
    }
    return true;
}

bool IsBlankLine(const QString& text) {
    return TrimCtl(text).isEmpty();
}

// A line break inside a name or value would split it into lines of its own and could forge
// section headers or keys; it becomes a blank instead.
QString OneLine(const QString& text) {
    QString out = text;
    out.replace(u'\r', u' ');
    out.replace(u'\n', u' ');
    return out;
}

QString ValueOf(const QString& keyLine) {
    return TrimCtl(keyLine.mid(keyLine.indexOf(u'=') + 1));
}

// Replacing the old file can fail without the system's reason reaching the file object; the step
// that failed is then the best reason there is.
QString SaveErrorText(const QSaveFile& file) {
    const QString text = file.errorString();
    if (!text.isEmpty() && text != QIODevice::tr("Unknown error"))
        return text;
    switch (file.error()) {
    case QFileDevice::OpenError:
        return QStringLiteral("Cannot create the new file");
    case QFileDevice::RenameError:
        return QStringLiteral("Cannot replace the old file with the new one");
    default:
        return QStringLiteral("Cannot write the new file");
    }
}

// A folder that takes no new file but holds a writable file is an administrator's set-up: the
// file is rewritten where it lies. Should that fail part way, the old contents go back; they fit
// in the space the file already had.
bool SaveInPlace(const QString& path, const QByteArray& bytes, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray old = file.readAll();
    if (file.seek(0) && file.write(bytes) == bytes.size() && file.flush() &&
        file.resize(bytes.size()))
        return true;
    if (error)
        *error = file.errorString();
    if (file.seek(0) && file.write(old) == old.size() && file.flush())
        file.resize(old.size());
    return false;
}

} // namespace

TIniFile::TLine TIniFile::ParseLine(const QString& text, const QString& end) {
    TLine line;
    line.FText = text;
    line.FEnd = end;
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() <= 32)
        ++i;
    if (i == text.size())
        return line;
    const QChar first = text[i];
    if (first == u'[') {
        // "[name]" with anything after the bracket; a "[" without "]" is not a header.
        const qsizetype close = text.indexOf(u']', i + 1);
        if (close >= 0) {
            line.FIsSection = true;
            line.FSection = TrimCtl(text.mid(i + 1, close - i - 1));
        }
        return line;
    }
    if (first == u';' || first == u'#')
        return line;
    const qsizetype eq = text.indexOf(u'=', i);
    if (eq < 0)
        return line;
    const QString key = TrimCtl(text.mid(i, eq - i));
    if (key.isEmpty())
        return line;
    line.FIsKey = true;
    line.FKey = key;
    return line;
}

bool TIniFile::Load(const QString& path, QString* error) {
    FLines.clear();
    FLineEnd = "\r\n";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(path))
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    LoadFromBytes(bytes);
    return true;
}

void TIniFile::LoadFromBytes(const QByteArray& bytes) {
    FLines.clear();
    FLineEnd = "\r\n";
    bool styleKnown = false;
    for (const TTextLine& l : SplitTextLines(DecodeSettingsText(bytes))) {
        if (!styleKnown && !l.FEnd.isEmpty()) {
            FLineEnd = l.FEnd.toLatin1();
            styleKnown = true;
        }
        FLines.append(ParseLine(l.FText, l.FEnd));
    }
}

int TIniFile::FindSection(const QString& section) const {
    const QString name = TrimCtl(section);
    for (int i = 0; i < FLines.size(); ++i) {
        if (FLines[i].FIsSection && SameName(FLines[i].FSection, name))
            return i;
    }
    return -1;
}

// A section may appear more than once; its keys are looked up in all its parts, in file order.
int TIniFile::FindKey(const QString& section, const QString& key) const {
    const QString sectionName = TrimCtl(section);
    const QString keyName = TrimCtl(key);
    bool inSection = false;
    for (int i = 0; i < FLines.size(); ++i) {
        const TLine& line = FLines[i];
        if (line.FIsSection)
            inSection = SameName(line.FSection, sectionName);
        else if (inSection && line.FIsKey && SameName(line.FKey, keyName))
            return i;
    }
    return -1;
}

bool TIniFile::HasValue(const QString& section, const QString& key) const {
    return FindKey(section, key) >= 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const int i = FindKey(section, key);
    return i < 0 ? def : ValueOf(FLines[i].FText);
}

int32_t TIniFile::ReadInteger(const QString& section, const QString& key, int32_t def) const {
    const int i = FindKey(section, key);
    if (i < 0)
        return def;
    const QString value = ValueOf(FLines[i].FText);
    // "0x" needs digits after it; a bare "0x" falls through to the general rule and fails there.
    // Like "$" hexadecimal, the digits may use the full unsigned 32-bit range ("0xFFFFFFFF" is
    // -1), and anything larger does not fit and gives the default.
    if (value.size() > 2 && value[0] == u'0' && (value[1] == u'x' || value[1] == u'X'))
        return TryTextToInt(QLatin1Char('$') + value.mid(2)).value_or(def);
    return TryTextToInt(value).value_or(def);
}

bool TIniFile::SectionHasKeys(const QString& section) const {
    const QString name = TrimCtl(section);
    bool inSection = false;
    for (const TLine& line : FLines) {
        if (line.FIsSection)
            inSection = SameName(line.FSection, name);
        else if (inSection && line.FIsKey)
            return true;
    }
    return false;
}

// New keys go after the last key of the section's first part, so comments and blank lines that
// follow it (often describing the next section) stay below. Without keys they go under the
// header and the lines directly below it, up to the first blank line.
int TIniFile::KeyInsertPos(int header) const {
    int end = header + 1;
    while (end < FLines.size() && !FLines[end].FIsSection)
        ++end;
    for (int i = end - 1; i > header; --i) {
        if (FLines[i].FIsKey)
            return i + 1;
    }
    int pos = header + 1;
    while (pos < end && !IsBlankLine(FLines[pos].FText))
        ++pos;
    return pos;
}

void TIniFile::InsertLine(int at, const QString& text) {
    const QString lineEnd = QString::fromLatin1(FLineEnd);
    if (at > 0 && FLines[at - 1].FEnd.isEmpty())
        FLines[at - 1].FEnd = lineEnd;
    FLines.insert(at, ParseLine(text, lineEnd));
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = TrimCtl(OneLine(section));
    const QString keyName = TrimCtl(OneLine(key));
    const QString text = OneLine(value);
    const int i = FindKey(sectionName, keyName);
    if (i >= 0) {
        TLine& line = FLines[i];
        // A value that reads back the same leaves the line as it is, so saving unchanged
        // settings gives the same bytes.
        if (ValueOf(line.FText) == TrimCtl(text))
            return;
        // Keep the line's own spelling and spacing of "key = ".
        qsizetype cut = line.FText.indexOf(u'=') + 1;
        while (cut < line.FText.size() && (line.FText[cut] == u' ' || line.FText[cut] == u'\t'))
            ++cut;
        line.FText = line.FText.left(cut) + text;
        return;
    }
    const QString keyLine = keyName + u'=' + text;
    const int header = FindSection(sectionName);
    if (header >= 0) {
        InsertLine(KeyInsertPos(header), keyLine);
        return;
    }
    if (!FLines.isEmpty() && !IsBlankLine(FLines.last().FText))
        InsertLine(FLines.size(), QString());
    InsertLine(FLines.size(), u'[' + sectionName + u']');
    InsertLine(FLines.size(), keyLine);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int32_t value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::EraseSection(const QString& section) {
    const QString name = TrimCtl(section);
    bool erasing = false;
    for (int i = 0; i < FLines.size();) {
        if (FLines[i].FIsSection)
            erasing = SameName(FLines[i].FSection, name);
        if (erasing)
            FLines.removeAt(i);
        else
            ++i;
    }
}

QByteArray TIniFile::ToBytes() const {
    QString text;
    for (const TLine& line : FLines) {
        text += line.FText;
        text += line.FEnd;
    }
    return text.toUtf8();
}

bool TIniFile::Save(const QString& path, QString* error) const {
    const QFileInfo target(path);
    if (target.isFile() && target.isWritable() && !QFileInfo(target.absolutePath()).isWritable())
        return SaveInPlace(path, ToBytes(), error);

    QSaveFile file(path);
    // Never fall back to writing the target in place: a failure then would leave it cut short.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = SaveErrorText(file);
        return false;
    }
    const QByteArray bytes = ToBytes();
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = SaveErrorText(file);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = SaveErrorText(file);
        return false;
    }
    return true;
}
