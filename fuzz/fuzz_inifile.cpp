// The INI reader and writer: a file read, changed, written and read again holds exactly what the
// changes say, and a file written back unchanged keeps every byte.
//
// Input: the file (FuzzedDataProvider's string: "\\" doubles a backslash, "\\" and any other
// byte ends it), then the changes, each a kind, names and a value; the number of changes is
// the input's last byte.
#include "FuzzSupport.h"
#include "IniFile.h"
#include "TextToInt.h"

#include <QMap>
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

namespace {

// Section -> key -> value, names folded to ASCII upper case as the reader matches them.
using TContent = QMap<QString, QMap<QString, QString>>;

QString Fold(const QString& name) {
    QString out = name;
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(char16_t(c.unicode() - 32));
    }
    return out;
}

QString OneLine(QString text) {
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

TContent Read(const TIniFile& ini) {
    TContent content;
    for (const QString& section : ini.SectionNames()) {
        FUZZ_CHECK(!content.contains(Fold(section)));
        QMap<QString, QString>& keys = content[Fold(section)];
        for (const QString& key : ini.KeyNames(section)) {
            FUZZ_CHECK(!keys.contains(Fold(key)));
            FUZZ_CHECK(ini.HasValue(section, key));
            keys.insert(Fold(key), ini.ReadString(section, key, QStringLiteral("\x01missing")));
            (void)ini.ReadInteger(section, key, 0);
        }
        FUZZ_CHECK(ini.SectionHasKeys(section) == !keys.isEmpty());
    }
    return content;
}

QString TakeText(FuzzedDataProvider& in) {
    const std::string bytes = in.ConsumeRandomLengthString(64);
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return in.ConsumeBool() ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
}

// A name the file already has (in any case), or any text.
QString TakeName(FuzzedDataProvider& in, const QStringList& known) {
    if (!known.isEmpty() && in.ConsumeBool()) {
        const QString name = known.at(in.ConsumeIntegralInRange<qsizetype>(0, known.size() - 1));
        return in.ConsumeBool() ? name.toLower() : name;
    }
    return TakeText(in);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int changes = in.ConsumeIntegralInRange<int>(0, 8);
    const std::string fileBytes = in.ConsumeRandomLengthString(size);
    const QByteArray file(fileBytes.data(), static_cast<qsizetype>(fileBytes.size()));

    TIniFile ini;
    ini.LoadFromBytes(file);
    FUZZ_CHECK(ini.ToBytes() == file);
    TContent content = Read(ini);

    // Writing back what was read changes nothing.
    for (const QString& section : ini.SectionNames()) {
        for (const QString& key : ini.KeyNames(section))
            ini.WriteString(section, key, ini.ReadString(section, key, QString()));
    }
    FUZZ_CHECK(ini.ToBytes() == file);

    for (int i = 0; i < changes && in.remaining_bytes() > 0; ++i) {
        const QStringList sections = ini.SectionNames();
        const QString section = TakeName(in, sections);
        if (in.ConsumeIntegralInRange(0, 3) == 0) {
            ini.EraseSection(section);
            content.remove(Fold(TrimCtl(section)));
            continue;
        }
        const QString key = TakeName(in, ini.KeyNames(section));
        const QString value =
            in.ConsumeBool() ? TakeText(in) : QString::number(in.ConsumeIntegral<int32_t>());
        ini.WriteString(section, key, value);
        // Names that could not be read back as themselves are refused.
        const QString s = TrimCtl(OneLine(section));
        const QString k = TrimCtl(OneLine(key));
        if (s.contains(u']') || k.isEmpty() || k.contains(u'=') || k.front() == u'[' ||
            k.front() == u';' || k.front() == u'#')
            continue;
        content[Fold(s)][Fold(k)] = OneLine(value);
    }
    FUZZ_CHECK(Read(ini) == content);

    const QByteArray written = ini.ToBytes();
    TIniFile again;
    again.LoadFromBytes(written);
    FUZZ_CHECK(Read(again) == content);
    FUZZ_CHECK(again.ToBytes() == written);
    return 0;
}
