#pragma once

#include <QString>

// nuvctl --help: the commands, their options and the global ones from their tables.
QString HelpText();
