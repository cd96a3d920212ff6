#include "engine/ExtractConflictHandler.h"

#include "engine/EngineTypes.h"
#include "engine/filearchive.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"

#include <QFileInfo>

namespace {

QString renamedName(const QString& path)
{
    return getRenameFileName(path, QStringLiteral("_%1"), false);
}

} // namespace

int ExtractConflictHandler::handleFileExists(FileArchive* operation, QString& path, const QDateTime& entryTime)
{
    if (!isPathTaken(path))
        return kGoOn;
    if (operation && operation->isFileExtracted(path))
        return kGoOn;
    const int renamed = renameExistingFileIfNeeded(operation, path);
    if (renamed != kGoOn)
        return renamed;
    if (!isPathTaken(path))
        return kGoOn;

    if (UserActions::isChosenForAll(UA_RENAME)) {
        path = renamedName(path);
        return kGoOn;
    }
    if (UserActions::isChosenForAll(UA_REPLACE))
        return kGoOn;
    if (UserActions::isChosenForAll(UA_SKIP))
        return kSkip;

    // A question nobody answered keeps the file: only a chosen Replace
    // replaces it.
    if (operation && !operation->handleFileExists(path, entryTime))
        return E_ABORT;
    if (UserActions::isChosen(UA_RENAME)) {
        path = renamedName(path);
        return kGoOn;
    }
    if (UserActions::isChosen(UA_CANCEL))
        return E_ABORT;
    if (UserActions::isChosen(UA_SKIP))
        return kSkip;
    return UserActions::isChosen(UA_REPLACE) ? kGoOn : E_ABORT;
}

int ExtractConflictHandler::renameExistingFileIfNeeded(FileArchive* operation, const QString& path)
{
    if (!UserActions::isChosen(UA_RENAME_EXISTING) || !isPathTaken(path))
        return kGoOn;
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return kGoOn;
    const QString newName = renamedName(path);
    bool autoElevated = false;
    for (;;) {
        if (renameFileGeneric(path, newName))
            return kGoOn;
        if (!operation)
            return kSkip;
        switch (operation->resolveAccessProblem(newName, autoElevated)) {
        case UA_RETRY:
            break;
        case UA_SKIP:
            return kSkip;
        default:
            return E_ABORT;
        }
    }
}
