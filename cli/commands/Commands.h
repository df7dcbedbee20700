#pragma once

// The table entry of each command, defined in the command's own file.

#include "CliCommand.h"

TCliCommand ListPortsCommand();
TCliCommand QueryCommand();
TCliCommand FindCommand();
TCliCommand SetParamsCommand();
TCliCommand SetBluetoothCommand();
TCliCommand SetIrCommCommand();
TCliCommand SetFactoryCommand();
TCliCommand ProgramCommand();
TCliCommand FontCommand();
TCliCommand LogoBuildCommand();
TCliCommand LogoDownloadCommand();
TCliCommand RunCommand();
TCliCommand StationCommand();
TCliCommand HistoryCommand();
TCliCommand SupportBundleCommand();
