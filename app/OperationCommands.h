#pragma once

#include "app/CCompressOptions.h"

#include <QString>
#include <QStringList>

// The archive commands of the command line ("a", "as", "xml", "e", "eh",
// "ed", "em", "em_here", "em_to_archive_dir"): each runs its operations
// through the operation driver and returns the program's exit code.
bool isOperationCommand(const QString& command);

// Whether a command value (any, also one that is no command: it opens the
// main window) needs a display, because it shows a dialog or the window
// before anything else happens.
bool commandNeedsDisplay(const QString& command);

// Runs an operation command on its positional arguments (at least one):
// 0 when everything it was asked to do was done; 1 when anything failed,
// was cancelled (a dialog too) or was left out.
int runOperationCommand(const QString& command, const QStringList& paths);

// The compress request of "a" and "as": the files as given, beside the first
// of them, with a suggested archive name.
CompressOptions compressRequestFromArguments(QStringList paths);

// Runs an XML operation file in silent mode: 0 when its operation succeeded,
// 1 when it failed, was cancelled, or the file names no archive to extract.
int runXmlOperationFile(const QString& xmlPath);
