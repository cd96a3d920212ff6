#pragma once

#include <QDateTime>
#include <QString>

class FileArchive;

// What to do when an extracted file's target exists. Shared by the engine's
// extraction callback and the own container's extraction (whose conflict
// check has the signature of handleFileExists).
class ExtractConflictHandler
{
public:
    ExtractConflictHandler() = delete;

    // Go on and write to path (which may have been changed to a new name).
    static constexpr int kGoOn = 0xFFF;
    // Leave this entry out.
    static constexpr int kSkip = 0xFF0;

    // kGoOn, kSkip or E_ABORT. A file written earlier by the same extraction
    // is replaced without a question; otherwise the answers chosen for all
    // decide, or the user is asked through the operation.
    static int handleFileExists(FileArchive* operation, QString& path, const QDateTime& entryTime);
    // With "Rename existing" chosen, moves an existing file out of the way
    // (a_1.txt, a_2.txt, ...). kGoOn, kSkip or E_ABORT.
    static int renameExistingFileIfNeeded(FileArchive* operation, const QString& path);
};
