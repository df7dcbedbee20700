#include "IniFile.h"

#include "SettingsText.h"
#include "SharedFile.h"
#include "TextToInt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace {

// Names compare without regard to ASCII case only, so the result never depends on the locale.
QString Fold(const QString& name) {
    QString out = name;
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(char16_t(c.unicode() - 32));
    }
    return out;
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

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

QString ValueOf(const QString& keyLine) {
    QString value = TrimCtl(keyLine.mid(keyLine.indexOf(u'=') + 1));
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

// Quotes keep what reading would strip: outer blanks, and quotes of the value's own.
QString Encoded(const QString& value) {
    if (value.isEmpty())
        return value;
    const auto edge = [](QChar c) { return c.unicode() <= 32 || IsQuote(c); };
    if (edge(value.front()) || edge(value.back()))
        return u'"' + value + u'"';
    return value;
}

enum class TKind { Other, Header, Key };

// What a line is, and the section or key name it carries.
TKind ParseLine(const QString& text, QString* name) {
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() <= 32)
        ++i;
    if (i == text.size())
        return TKind::Other;
    const QChar first = text[i];
    if (first == u'[') {
        // "[name]" with anything after the bracket; a "[" without "]" is not a header.
        const qsizetype close = text.indexOf(u']', i + 1);
        if (close < 0)
            return TKind::Other;
        *name = TrimCtl(text.mid(i + 1, close - i - 1));
        return TKind::Header;
    }
    if (first == u';' || first == u'#')
        return TKind::Other;
    const qsizetype eq = text.indexOf(u'=', i);
    if (eq < 0)
        return TKind::Other;
    *name = TrimCtl(text.mid(i, eq - i));
    return name->isEmpty() ? TKind::Other : TKind::Key;
}

bool IsKeyName(const QString& key) {
    return !key.isEmpty() && !key.contains(u'=') && key.front() != u'[' && key.front() != u';' &&
           key.front() != u'#';
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

QString OpenErrorText(const QString& path, const QSaveFile& file) {
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (QFileInfo(folder).isDir() && !target.isDir() && !MayCreateFileIn(folder) &&
        !MayWriteFile(path)) {
        return QStringLiteral("Neither the file nor its folder \"%1\" may be written.")
            .arg(QDir::toNativeSeparators(folder));
    }
    return SaveErrorText(file);
}

} // namespace

bool TIniFile::Load(const QString& path, QString* error) {
    LoadFromBytes(QByteArray());
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
    FParts.clear();
    FParts.append(TPart());
    FLineEnd = QStringLiteral("\r\n");
    const TSettingsText decoded = DecodeSettingsFile(bytes);
    FMarks = decoded.FMarks;
    FLatin1 = decoded.FLatin1;
    bool styleKnown = false;
    QString name;
    for (TTextLine& l : SplitTextLines(decoded.FText)) {
        if (!styleKnown && !l.FEnd.isEmpty()) {
            FLineEnd = l.FEnd;
            styleKnown = true;
        }
        const TKind kind = ParseLine(l.FText, &name);
        TLine line{std::move(l.FText), std::move(l.FEnd)};
        if (kind == TKind::Header) {
            TPart part;
            part.FHasHeader = true;
            part.FHeader = std::move(line);
            part.FName = Fold(name);
            FParts.append(std::move(part));
            continue;
        }
        TPart& part = FParts.last();
        if (kind == TKind::Key) {
            // Of equal keys in a part only the first counts.
            const QString folded = Fold(name);
            if (!part.FKeys.contains(folded))
                part.FKeys.insert(folded, part.FLines.size());
            part.FLastKey = part.FLines.size();
        }
        part.FLines.append(std::move(line));
    }
    IndexSections();
}

void TIniFile::IndexSections() {
    FSections.clear();
    for (qsizetype i = 0; i < FParts.size(); ++i) {
        if (FParts[i].FHasHeader)
            FSections[FParts[i].FName].append(i);
    }
}

// A section may appear more than once; its keys are looked up in all its parts, in file order.
TIniFile::TPlace TIniFile::FindKey(const QString& section, const QString& key) const {
    const auto parts = FSections.constFind(Fold(TrimCtl(section)));
    if (parts == FSections.cend())
        return {};
    const QString folded = Fold(TrimCtl(key));
    for (const qsizetype p : *parts) {
        const auto line = FParts[p].FKeys.constFind(folded);
        if (line != FParts[p].FKeys.cend())
            return {p, *line};
    }
    return {};
}

bool TIniFile::HasValue(const QString& section, const QString& key) const {
    return FindKey(section, key).FPart >= 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const TPlace at = FindKey(section, key);
    return at.FPart < 0 ? def : ValueOf(FParts[at.FPart].FLines[at.FLine].FText);
}

int32_t TIniFile::ReadInteger(const QString& section, const QString& key, int32_t def) const {
    const TPlace at = FindKey(section, key);
    if (at.FPart < 0)
        return def;
    const QString value = ValueOf(FParts[at.FPart].FLines[at.FLine].FText);
    // "0x" needs digits after it; a bare "0x" falls through to the general rule and fails there.
    // Like "$" hexadecimal, the digits may use the full unsigned 32-bit range ("0xFFFFFFFF" is
    // -1), and anything larger does not fit and gives the default.
    if (value.size() > 2 && value[0] == u'0' && (value[1] == u'x' || value[1] == u'X'))
        return TryTextToInt(QLatin1Char('$') + value.mid(2)).value_or(def);
    return TryTextToInt(value).value_or(def);
}

bool TIniFile::SectionHasKeys(const QString& section) const {
    const auto parts = FSections.constFind(Fold(TrimCtl(section)));
    if (parts == FSections.cend())
        return false;
    return std::any_of(parts->cbegin(), parts->cend(),
                       [this](qsizetype p) { return !FParts[p].FKeys.isEmpty(); });
}

QStringList TIniFile::SectionNames() const {
    QStringList names;
    QSet<QString> seen;
    QString name;
    for (const TPart& part : FParts) {
        if (part.FHasHeader && !seen.contains(part.FName) &&
            ParseLine(part.FHeader.FText, &name) == TKind::Header) {
            seen.insert(part.FName);
            names.append(name);
        }
    }
    return names;
}

QStringList TIniFile::KeyNames(const QString& section) const {
    QStringList names;
    QSet<QString> seen;
    QString name;
    for (const qsizetype p : FSections.value(Fold(TrimCtl(section)))) {
        const TPart& part = FParts[p];
        for (const TLine& line : part.FLines) {
            if (ParseLine(line.FText, &name) == TKind::Key && !seen.contains(Fold(name))) {
                seen.insert(Fold(name));
                names.append(name);
            }
        }
    }
    return names;
}

TIniFile::TLine* TIniFile::LastLine() {
    for (qsizetype p = FParts.size() - 1; p >= 0; --p) {
        if (!FParts[p].FLines.isEmpty())
            return &FParts[p].FLines.last();
        if (FParts[p].FHasHeader)
            return &FParts[p].FHeader;
    }
    return nullptr;
}

// Only the file's last line can lack a line end, and it gets the file's own before anything
// follows it.
void TIniFile::AppendToPart(TPart& part, qsizetype at, const QString& text) {
    TLine* before = at > 0 ? &part.FLines[at - 1] : part.FHasHeader ? &part.FHeader : nullptr;
    if (before && before->FEnd.isEmpty())
        before->FEnd = FLineEnd;
    part.FLines.insert(at, TLine{text, FLineEnd});
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = TrimCtl(OneLine(section));
    const QString keyName = TrimCtl(OneLine(key));
    if (sectionName.contains(u']') || !IsKeyName(keyName))
        return;
    const QString text = OneLine(value);
    const TPlace at = FindKey(sectionName, keyName);
    if (at.FPart >= 0) {
        TLine& line = FParts[at.FPart].FLines[at.FLine];
        // A value that reads back the same leaves the line as it is, so saving unchanged
        // settings gives the same bytes.
        if (ValueOf(line.FText) == text)
            return;
        // Keep the line's own spelling and spacing of "key = ".
        qsizetype cut = line.FText.indexOf(u'=') + 1;
        while (cut < line.FText.size() && (line.FText[cut] == u' ' || line.FText[cut] == u'\t'))
            ++cut;
        line.FText = line.FText.left(cut) + Encoded(text);
        return;
    }
    const QString keyLine = keyName + u'=' + Encoded(text);
    const QString folded = Fold(sectionName);
    const auto parts = FSections.constFind(folded);
    if (parts != FSections.cend()) {
        // New keys go after the last key of the section's first part, so comments and blank
        // lines that follow it (often describing the next section) stay below. Without keys
        // they go under the header and the lines directly below it, up to the first blank line.
        TPart& part = FParts[parts->front()];
        qsizetype pos = part.FLastKey + 1;
        if (part.FLastKey < 0) {
            while (pos < part.FLines.size() && !IsBlankLine(part.FLines[pos].FText))
                ++pos;
        }
        // Every key line lies before pos, so the key index needs no shifting.
        AppendToPart(part, pos, keyLine);
        part.FKeys.insert(Fold(keyName), pos);
        part.FLastKey = pos;
        return;
    }
    if (const TLine* last = LastLine(); last && !IsBlankLine(last->FText))
        AppendToPart(FParts.last(), FParts.last().FLines.size(), QString());
    if (TLine* last = LastLine(); last && last->FEnd.isEmpty())
        last->FEnd = FLineEnd;
    TPart part;
    part.FHasHeader = true;
    part.FHeader = TLine{u'[' + sectionName + u']', FLineEnd};
    part.FName = folded;
    part.FLines.append(TLine{keyLine, FLineEnd});
    part.FKeys.insert(Fold(keyName), 0);
    part.FLastKey = 0;
    FParts.append(std::move(part));
    FSections[folded].append(FParts.size() - 1);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int32_t value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::EraseSection(const QString& section) {
    const QString name = Fold(TrimCtl(section));
    if (!FSections.contains(name))
        return;
    FParts.removeIf([&](const TPart& part) { return part.FHasHeader && part.FName == name; });
    IndexSections();
}

QByteArray TIniFile::ToBytes() const {
    qsizetype size = 0;
    for (const TPart& part : FParts) {
        size += part.FHeader.FText.size() + part.FHeader.FEnd.size();
        for (const TLine& line : part.FLines)
            size += line.FText.size() + line.FEnd.size();
    }
    QString text;
    text.reserve(size);
    for (const TPart& part : FParts) {
        text += part.FHeader.FText;
        text += part.FHeader.FEnd;
        for (const TLine& line : part.FLines) {
            text += line.FText;
            text += line.FEnd;
        }
    }
    return EncodeSettingsText(text, FMarks, FLatin1);
}

bool TIniFile::Save(const QString& path, QString* error) const {
    const QFileInfo target(path);
    if (target.isFile() && !MayCreateFileIn(target.absolutePath()) && MayWriteFile(path))
        return SaveInPlace(path, ToBytes(), error);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = OpenErrorText(path, file);
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
