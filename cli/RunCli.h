#pragma once

#include <QStringList>

// Runs nuvctl with its arguments (the program's name first) and returns the exit status.
int RunCli(const QStringList& arguments);
