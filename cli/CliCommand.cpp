#include "CliCommand.h"

#include "commands/Commands.h"

QString TCliOption::Dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString TCliOption::Spelling() const {
    const QString dashed = Dashed(FNames.constFirst());
    return FValueName.isEmpty() ? dashed : dashed + QLatin1Char(' ') + FValueName;
}

const QList<TCliCommand>& CliCommands() {
    static const QList<TCliCommand> commands = {
        ListPortsCommand(),    QueryCommand(),     FindCommand(),          SetParamsCommand(),
        SetBluetoothCommand(), SetIrCommCommand(), SetFactoryCommand(),    ProgramCommand(),
        FontCommand(),         LogoBuildCommand(), LogoDownloadCommand(),  RunCommand(),
        StationCommand(),      HistoryCommand(),   SupportBundleCommand(),
    };
    return commands;
}

const TCliCommand* FindCliCommand(const QString& name) {
    for (const TCliCommand& c : CliCommands())
        if (c.FName == name)
            return &c;
    return nullptr;
}
