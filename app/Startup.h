#pragma once

#include <QString>

class QCoreApplication;

// Keeps the toolkit's notice about a missing runtime folder off standard
// error, where scripts read it as a failure; every other message stays.
void installToolkitMessageFilter();

// What every run does first, with windows or without: file names as bytes,
// the version, the resources, whether anyone can answer questions.
void startQuenvar(bool unattended);

// Reads the settings and the command line and runs what it asks for: one
// operation, an installation command or (through showMainWindow, which runs
// the window on the archive given or on none) the main window. A program
// without windows passes no showMainWindow; it then needs a display for the
// window, as every run without one does. Returns the exit code.
int runCommandLine(QCoreApplication& app, bool unattended, int (*showMainWindow)(const QString& archive));
