#include "app/OperationCommands.h"

#include "app/XmlReader.h"
#include "app/globals.h"
#include "app/settings.h"
#include "engine/OperationWindows.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {

QString trCommand(const char* text)
{
    return QCoreApplication::translate("main", text);
}

QString absolutePath(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

ExtractOptions extractRequest(const QString& archive, const QString& target)
{
    ExtractOptions options;
    options.archivePath = absolutePath(archive);
    options.targetDirectory = target;
    return options;
}

QString folderOf(const QString& path)
{
    return QFileInfo(absolutePath(path)).path();
}

QString ownFolderOf(const QString& path)
{
    return directoryToExtractAccordingToArchive(absolutePath(path), true);
}

// "em": one dialog for the first archive; its choices hold for the others.
// False when an extraction failed or the dialog was cancelled.
bool extractSeveral(const QStringList& archives)
{
    bool allDone = true;
    ExtractOptions options;
    for (int i = 0; i < archives.size(); ++i) {
        options.archivePath = absolutePath(archives.at(i));
        if (i == 0) {
            options.targetDirectory = folderOf(archives.at(i));
        } else {
            // The progress dialog forgets the answers after each archive.
            UserActions::select(E_UserAction(options.overwriteMode), true);
        }
        bool rejected = false;
        const bool done = guiExtract(options, i == 0, &rejected);
        // Cancelling the dialog cancels the whole command.
        if (rejected) {
            qDebug() << "extraction of several archives cancelled in the dialog";
            return false;
        }
        allDone = allDone && done;
    }
    return allDone;
}

// 0 only when everything asked for was extracted: a failure, an entry left
// out for a reason other than the user's choice, a cancelled dialog or a
// cancelled extraction end the command with 1, as they do for XML files.
int extractionExitCode(bool done)
{
    return done ? 0 : 1;
}

} // namespace

bool isOperationCommand(const QString& command)
{
    static const QStringList commands = {
        QStringLiteral("a"),  QStringLiteral("as"), QStringLiteral("xml"),     QStringLiteral("e"),
        QStringLiteral("eh"), QStringLiteral("ed"), QStringLiteral("em"),      QStringLiteral("em_here"),
        QStringLiteral("em_to_archive_dir"),
    };
    return commands.contains(command);
}

bool commandNeedsDisplay(const QString& command)
{
    static const QStringList withoutDisplay = {
        QStringLiteral("xml"),     QStringLiteral("eh"), QStringLiteral("ed"), QStringLiteral("em_here"),
        QStringLiteral("em_to_archive_dir"), QStringLiteral("r"), QStringLiteral("rc"), QStringLiteral("ur"),
    };
    return !withoutDisplay.contains(command);
}

CompressOptions compressRequestFromArguments(QStringList paths)
{
    CompressOptions options;
    // A shell on another system may turn a trailing backslash into a quote;
    // a name that exists as given is a real name with a quote in it.
    if (!paths.isEmpty() && !QFileInfo::exists(paths.first()))
        paths.first().replace(QLatin1Char('"'), QLatin1Char('\\'));
    for (QString& path : paths)
        path = absolutePath(path);
    options.files = paths;
    if (!paths.isEmpty())
        options.baseDirectory = QFileInfo(paths.first()).absolutePath();
    options.archivePath = getSuggestedArchivePath(options.files, options.baseDirectory);
    return options;
}

int runXmlOperationFile(const QString& xmlPath)
{
    printTime(QStringLiteral("xml path: ") + xmlPath);
    if (!QFileInfo(xmlPath).isReadable()) {
        qDebug().noquote() << "cannot read the operation file" << xmlPath;
        printToStandardError(
            trCommand(QT_TRANSLATE_NOOP("main", "quenvar: cannot read the operation file %1")).arg(xmlPath));
        return 1;
    }
    CompressOptions* compressRequest = nullptr;
    ExtractOptions* extractRequest = nullptr;
    QString invalidVolume;
    parseXml(xmlPath, &compressRequest, &extractRequest, &invalidVolume);
    std::unique_ptr<CompressOptions> compress(compressRequest);
    std::unique_ptr<ExtractOptions> extract(extractRequest);
    if (compress && !invalidVolume.isEmpty()) {
        qDebug().noquote() << "invalid volume size" << invalidVolume << "in" << xmlPath;
        printToStandardError(trCommand(QT_TRANSLATE_NOOP("main", "quenvar: the volume size \"%1\" in %2 is not a "
                                                                 "whole number of MiB; nothing was written"))
                                 .arg(invalidVolume, xmlPath));
        return 1;
    }

    CSettings::setSilent(true);
    if (compress) {
        bool failed = true;
        bool leftOut = false;
        guiCompress(*compress, false, false, &failed, &leftOut);
        if (leftOut)
            printToStandardError(
                trCommand(QT_TRANSLATE_NOOP("main", "quenvar: the archive %1 was written without the files it could not read"))
                    .arg(compress->archivePath));
        else if (failed)
            printToStandardError(trCommand(QT_TRANSLATE_NOOP("main", "quenvar: the archive %1 was not written"))
                                     .arg(compress->archivePath));
        return failed ? 1 : 0;
    }
    if (extract->archivePath.isEmpty()) {
        qDebug().noquote() << "the operation file names no archive to extract:" << xmlPath;
        printToStandardError(
            trCommand(QT_TRANSLATE_NOOP("main", "quenvar: the operation file %1 names no archive to extract"))
                .arg(xmlPath));
        return 1;
    }
    if (guiExtract(*extract, false))
        return 0;
    printToStandardError(trCommand(QT_TRANSLATE_NOOP("main", "quenvar: the extraction of %1 did not complete"))
                             .arg(extract->archivePath));
    return 1;
}

int runOperationCommand(const QString& command, const QStringList& paths)
{
    if (command == QLatin1String("a") || command == QLatin1String("as")) {
        bool failed = true;
        const bool started = guiCompress(compressRequestFromArguments(paths), command == QLatin1String("as"), true,
                                         &failed);
        return started && !failed ? 0 : 1;
    }
    if (command == QLatin1String("xml"))
        return runXmlOperationFile(paths.first());
    if (command == QLatin1String("e") || command == QLatin1String("eh")) {
        ExtractOptions options = extractRequest(paths.first(), folderOf(paths.first()));
        return extractionExitCode(guiExtract(options, command == QLatin1String("e")));
    }
    if (command == QLatin1String("ed")) {
        ExtractOptions options = extractRequest(paths.first(), ownFolderOf(paths.first()));
        return extractionExitCode(guiExtract(options, false));
    }
    if (command == QLatin1String("em"))
        return extractionExitCode(extractSeveral(paths));
    const bool ownFolders = command == QLatin1String("em_to_archive_dir");
    bool allDone = true;
    for (const QString& archive : paths) {
        ExtractOptions options = extractRequest(archive, ownFolders ? ownFolderOf(archive) : folderOf(archive));
        allDone = guiExtract(options, false) && allDone;
    }
    return extractionExitCode(allDone);
}
