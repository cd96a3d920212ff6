#include "engine/OperationWindows.h"

#include "app/globals.h"
#include "engine/HeadlessOperation.h"

#include <QDebug>
#include <QFileInfo>

#include <atomic>

namespace {

std::atomic<const OperationWindows*> g_windows{nullptr};

const OperationWindows* shownWindows()
{
    return isUnattended() ? nullptr : g_windows.load();
}

} // namespace

void setOperationWindows(const OperationWindows* windows)
{
    g_windows = windows;
}

const OperationWindows* operationWindows()
{
    return g_windows;
}

bool guiCompress(CompressOptions options, bool sendMail, bool showDialog, bool* operationFailed,
                 bool* sourcesLeftOut)
{
    if (operationFailed)
        *operationFailed = true;
    if (sourcesLeftOut)
        *sourcesLeftOut = false;
    if (const OperationWindows* windows = shownWindows()) {
        if (!windows->compress(options, showDialog, operationFailed, sourcesLeftOut))
            return false;
    } else {
        HeadlessOperation operation;
        operation.compress(options);
        if (operationFailed)
            *operationFailed = operation.failed();
        if (sourcesLeftOut)
            *sourcesLeftOut = operation.sourcesLeftOut();
    }
    if (sendMail)
        SendMail(options.archivePath);
    return true;
}

bool guiExtract(ExtractOptions& options, bool showDialog, bool* dialogRejected)
{
    if (dialogRejected)
        *dialogRejected = false;
    if (options.targetDirectory.isEmpty())
        options.targetDirectory = QFileInfo(options.archivePath).path();
    if (const OperationWindows* windows = shownWindows())
        return windows->extract(options, showDialog, dialogRejected);
    HeadlessOperation operation;
    operation.extract(options);
    return !operation.failed();
}

bool SendMail(const QString& archivePath)
{
    qDebug().noquote() << "no mail program to hand the archive to:" << archivePath;
    return true;
}
