#pragma once

#include "app/CCompressOptions.h"

#include <QString>

// What an operation shows on screen: the compress and extract dialogs, the
// progress window and the password question. The window program puts them
// here before main(); a program without windows leaves this empty, so that a
// run without a display loads none of the toolkit's window code.
struct OperationWindows
{
    // Runs the request in the progress window, after its dialog when
    // showDialog is set. False only when that dialog was not accepted.
    bool (*compress)(CompressOptions& options, bool showDialog, bool* operationFailed, bool* sourcesLeftOut);
    // False when the dialog was not accepted (*dialogRejected) or the
    // extraction failed or was cancelled.
    bool (*extract)(ExtractOptions& options, bool showDialog, bool* dialogRejected);
    // Asks on the GUI thread; false when the question was cancelled.
    bool (*askPassword)(QString& password);
};

void setOperationWindows(const OperationWindows* windows);
// Null in a program without windows.
const OperationWindows* operationWindows();

// Runs a compress or update request in the progress window, after the
// compress dialog when showDialog is set; without a display (isUnattended)
// or windows in a HeadlessOperation instead. False only when that dialog was
// not accepted; whether the operation itself failed (or was cancelled, or
// refused) goes to *operationFailed when given, and whether it was written
// without sources it could not read to *sourcesLeftOut. With sendMail the
// archive is handed to SendMail afterwards.
bool guiCompress(CompressOptions options, bool sendMail, bool showDialog, bool* operationFailed = nullptr,
                 bool* sourcesLeftOut = nullptr);

// Runs an extract request in the progress window (without a display in a
// HeadlessOperation), after the extract dialog when showDialog is set; what
// the user chose there is written back into options. An empty target means
// the folder that holds the archive. False when the dialog was not accepted
// (*dialogRejected, when given, tells this case apart) or the extraction
// failed or was cancelled.
bool guiExtract(ExtractOptions& options, bool showDialog, bool* dialogRejected = nullptr);

// Hook for handing a new archive to a mail program; there is none on this
// platform, so it only reports success.
bool SendMail(const QString& archivePath);
