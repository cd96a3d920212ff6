#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/InstallCommands.h"
#include "app/Logger.h"
#include "app/OperationCommands.h"
#include "app/globals.h"
#include "app/settings.h"
#include "desktop/RegistryUtils.h"
#include "fileops/FileNameCodec.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLocale>

#include <cstdio>

namespace {

int needsDisplay(const QString& command)
{
    qDebug() << "command" << command << "needs a display and there is none";
    // Any value that is no command opens the main window.
    if (isOperationCommand(command) || command == QLatin1String("o") || command == QLatin1String("t"))
        printToStandardError(
            trMain(QT_TRANSLATE_NOOP("main", "quenvar: the command \"%1\" needs a display")).arg(command));
    else
        printToStandardError(trMain(QT_TRANSLATE_NOOP("main", "quenvar: the main window needs a display")));
    return 1;
}

int missingArgument(const QString& command)
{
    qDebug() << "command" << command << "needs a file argument and got none";
    printToStandardError(
        trMain(QT_TRANSLATE_NOOP("main", "quenvar: the command \"%1\" needs a file or archive path")).arg(command));
    return 1;
}

QtMessageHandler g_toolkitMessages = nullptr;

void withoutRuntimeFolderNotice(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    g_toolkitMessages(type, context, message);
}

} // namespace

void installToolkitMessageFilter()
{
    // Until the log takes the messages over, the toolkit's own go to
    // standard error.
    g_toolkitMessages = qInstallMessageHandler(&withoutRuntimeFolderNotice);
}

void startQuenvar(bool unattended)
{
    // Before the first path or argument is turned into a QString.
    installFileNameCodec();
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENVAR_VERSION));
    setUnattended(unattended);
    initQuenvarResources();
}

int runCommandLine(QCoreApplication& app, bool unattended, int (*showMainWindow)(const QString& archive))
{
    Logger logger(QStringLiteral("Quenvar.log"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    installLanguage(static_cast<QLocale::Language>(CSettings::getIntValue(QStringLiteral("DefaultLanguage"))));
    SetApplicationExeName(QCoreApplication::arguments().value(0));
    CSettings::initSettings();

    const QStringList arguments = QCoreApplication::arguments();
    for (const QString& argument : arguments)
        qDebug().noquote() << argument;

    CommandLine commandLine;
    commandLine.process(app);
    if (commandLine.helpRequested()) {
        std::fputs(commandLine.helpText().toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return 0;
    }
    registerLocalAssociationsIfNeeded();

    const QString command = commandLine.command();
    const QStringList positional = commandLine.positionalArguments();

    static const QStringList needsArgument = {
        QStringLiteral("a"),  QStringLiteral("as"), QStringLiteral("xml"),     QStringLiteral("e"),
        QStringLiteral("eh"), QStringLiteral("ed"), QStringLiteral("em"),      QStringLiteral("em_here"),
        QStringLiteral("em_to_archive_dir"),        QStringLiteral("o"),
    };
    if (needsArgument.contains(command) && positional.isEmpty())
        return missingArgument(command);
    if ((unattended || !showMainWindow) && commandNeedsDisplay(command))
        return needsDisplay(command);

    if (isOperationCommand(command))
        return runOperationCommand(command, positional);
    if (isInstallCommand(command))
        return runInstallCommand(command);

    const QString archive = mainWindowArchive(command, arguments, positional);
    qDebug().noquote() << "archive to open: " + archive;
    return showMainWindow(archive);
}
