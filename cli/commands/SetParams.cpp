// set-params: the PARA page's block, from the window's defaults, a config.ini and options.

#include "Commands.h"

#include "CliText.h"
#include "CodePageList.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "FileNames.h"
#include "PortStep.h"
#include "PrinterCommands.h"
#include "TextToInt.h"

#include <QDir>
#include <QFileInfo>

namespace {

// An option for each of the page's fields; defaults, limits and entries come from its key.
struct TParamOption {
    const char* FName;
    const char* FValueName;
    const char* FWords; // empty for a drop-down: its entries are listed
    const TIntSetting* FKey;
    int32_t TParameterValues::*FTarget;
};

const TParamOption kParamOptions[] = {
    {"rate", "RATE", "the printer's serial rate", &setting::ParaBaudRate,
     &TParameterValues::FBaudRate},
    {"codepage", "POSITION",
     "position in the code-page list, 0 and 1 are codes 254 and 255,\nn >= 2 is code n-2",
     &setting::CodePage, &TParameterValues::FCodePage},
    {"density", "N", "", &setting::Density, &TParameterValues::FDensity},
    {"font", "N", "", &setting::Font, &TParameterValues::FFont},
    {"linefeed", "N", "", &setting::LineFeed, &TParameterValues::FLineFeed},
    {"idle", "SECONDS", "idle time", &setting::Idle, &TParameterValues::FIdle},
    {"off", "SECONDS", "power-off time", &setting::Off, &TParameterValues::FOff},
    {"max-feed", "MM", "maximum paper feed", &setting::MaxFeed, &TParameterValues::FMaxFeed},
    {"page-length", "MM", "page length", &setting::PageLength, &TParameterValues::FPage},
};

QString OptionHelp(const TParamOption& o) {
    const TIntSetting& key = *o.FKey;
    QString words = QLatin1String(o.FWords);
    if (words.isEmpty()) {
        QStringList entries;
        for (qsizetype i = 0; i < key.FChoices.size(); ++i)
            entries << QStringLiteral("%1 %2").arg(i).arg(ChoiceWord(key.FChoices[i]));
        words = entries.join(QStringLiteral(", "));
    } else if (key.FMax) {
        words += QStringLiteral(", 0 to %1").arg(*key.FMax);
    }
    return QStringLiteral("%1 (%2)").arg(words).arg(key.FDefault);
}

// The code-page list that positions index: the window reads "codepage.ini" from the folder
// that holds its "config.ini".
QStringList CodePages(const QString& configPath) {
    QStringList pages = BuiltInCodePages();
    if (configPath.isEmpty())
        return pages;
    const QString path = QFileInfo(configPath).absoluteDir().filePath(filename::CodePages);
    QString error;
    if (QFileInfo::exists(path) && !LoadCodePageList(path, pages, &error))
        throw ECliError(exitFile, error);
    return pages;
}

// Config values the window would show as they are; a rate it does not list it shows as the
// default, a position outside its list as nothing selected.
TParameterValues ParamsFromSettings(const TToolSettings& s, qsizetype codePages,
                                    const QString& configPath) {
    TParameterValues v;
    for (const TParamOption& o : kParamOptions) {
        const TIntSetting& key = *o.FKey;
        const int32_t value = s.*(key.FField);
        switch (key.FKind) {
        case TValueKind::Rate:
            v.*(o.FTarget) = ShownRate(key, value);
            break;
        case TValueKind::Position: {
            const qsizetype count = key.FChoices.isEmpty() ? codePages : key.FChoices.size();
            v.*(o.FTarget) = ShownPosition(value, count);
            break;
        }
        case TValueKind::Number:
            if (value < 0 || value > key.FMax.value_or(INT32_MAX))
                throw ECliError(exitFile,
                                QStringLiteral("[%1] %2=%3 in %4 is outside 0 to %5; correct it "
                                               "or give the value as an option.")
                                    .arg(key.FSection, key.FKey)
                                    .arg(value)
                                    .arg(QDir::toNativeSeparators(configPath))
                                    .arg(key.FMax.value_or(INT32_MAX)));
            v.*(o.FTarget) = value;
            break;
        }
    }
    return v;
}

void TakeOptions(TCliRequest& r, const TIniFile* config) {
    if (config && !config->SectionHasKeys(secPara))
        throw ECliError(exitFile,
                        QStringLiteral("\"%1\" has no [PARA] section for set-params to take its "
                                       "values from.")
                            .arg(QDir::toNativeSeparators(r.FConfigPath)));
    const QStringList pages = CodePages(r.FConfigPath);
    r.FParams = ParamsFromSettings(r.FSettings, pages.size(), r.FConfigPath);
    for (const TParamOption& o : kParamOptions) {
        const QString name = QLatin1String(o.FName);
        if (!r.FOptions.contains(name))
            continue;
        const QString text = r.Option(name);
        const TIntSetting& key = *o.FKey;
        // The rate converts as typed, the edits trimmed, as on the PARA page.
        if (key.FKind == TValueKind::Rate) {
            r.FParams.*(o.FTarget) = PositiveRate(QStringLiteral("--") + name, text);
            continue;
        }
        const int32_t value = NumberArgument(TrimCtl(text));
        if (key.FKind == TValueKind::Position) {
            const qsizetype count = key.FChoices.isEmpty() ? pages.size() : key.FChoices.size();
            if (value < 0 || value > count - 1)
                Usage(QStringLiteral("--%1 %2: the list has positions 0 to %3.")
                          .arg(name, Quoted(text))
                          .arg(count - 1));
        } else if (value < 0 || value > key.FMax.value_or(INT32_MAX)) {
            Usage(QStringLiteral("--%1 %2: the value must be 0 to %3.")
                      .arg(name, Quoted(text))
                      .arg(key.FMax.value_or(INT32_MAX)));
        }
        r.FParams.*(o.FTarget) = value;
    }
}

std::unique_ptr<TPortStep> SetParams(const TCliRequest& r) {
    uint8_t block[ParameterBlockLength];
    PackParameterBlock(block, r.FParams);
    return CommandStep(r, cmdSetParameters, block, ParameterBlockLength);
}

} // namespace

TCliCommand SetParamsCommand() {
    TCliCommand c;
    c.FName = historyjob::SetParams;
    c.FHelp = {{c.FName, QStringLiteral("write the operating parameters (options below)")}};
    for (const TParamOption& o : kParamOptions)
        c.FOptions.append({{QLatin1String(o.FName)}, QLatin1String(o.FValueName), OptionHelp(o)});
    c.FOptionsTitle = QStringLiteral("set-params options (the window's defaults; --config values "
                                     "replace them, options replace\nboth):");
    c.FTakeOptions = TakeOptions;
    c.FPrepare = SetParams;
    return c;
}
