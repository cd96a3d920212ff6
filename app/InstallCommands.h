#pragma once

#include <QString>

// The installation commands of the command line: "r" associates every
// archive type with the program, "ur" withdraws that and removes the log
// folder, "rc" is kept for scripts written for other systems. Each works
// without a display and returns the program's exit code.
bool isInstallCommand(const QString& command);
int runInstallCommand(const QString& command);
