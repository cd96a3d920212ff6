#include "app/CommandLine.h"
#include "app/InstallCommands.h"
#include "app/Logger.h"
#include "app/OperationCommands.h"
#include "app/globals.h"
#include "app/settings.h"
#include "desktop/RegistryUtils.h"
#include "fileops/FileNameCodec.h"
#include "ui/mainwindow.h"
#include "ui/settingsdialog.h"

#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QLocale>

#include <cstdio>
#include <memory>

namespace {

QString trMain(const char* text)
{
    return QCoreApplication::translate("main", text);
}

void printError(const QString& message)
{
    printToStandardError(message);
}

int needsDisplay(const QString& command)
{
    qDebug() << "command" << command << "needs a display and there is none";
    // Any value that is no command opens the main window.
    if (isOperationCommand(command) || command == QLatin1String("o") || command == QLatin1String("t"))
        printError(trMain(QT_TRANSLATE_NOOP("main", "quenvar: the command \"%1\" needs a display")).arg(command));
    else
        printError(trMain(QT_TRANSLATE_NOOP("main", "quenvar: the main window needs a display")));
    return 1;
}

int missingArgument(const QString& command)
{
    qDebug() << "command" << command << "needs a file argument and got none";
    printError(trMain(QT_TRANSLATE_NOOP("main", "quenvar: the command \"%1\" needs a file or archive path"))
                   .arg(command));
    return 1;
}

QtMessageHandler g_toolkitMessages = nullptr;

// The toolkit picks a runtime folder of its own when the environment names
// none, and says so on standard error, which scripts read as a failure.
void withoutRuntimeFolderNotice(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    g_toolkitMessages(type, context, message);
}

int showMainWindow(const QString& path)
{
    qDebug().noquote() << "archive to open: " + path;
    if (!MainWindow::getInstance()->show(path))
        return 1;
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    // Until the log takes the messages over, the toolkit's own go to
    // standard error, all but the one every run as root or from a service
    // would print.
    g_toolkitMessages = qInstallMessageHandler(&withoutRuntimeFolderNotice);

    // Commands that need no window still run on machines without a display;
    // their questions are answered as Cancel there. Such a run makes no
    // widget at all, so it starts without the window system's share of the
    // toolkit (platform, fonts, styles).
    const bool unattended = !hasDisplay();
    std::unique_ptr<QCoreApplication> application;
    if (unattended)
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication& app = *application;
    // Before the first path or argument is turned into a QString.
    installFileNameCodec();
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENVAR_VERSION));
    setUnattended(unattended);
    initQuenvarResources();
    if (!unattended) {
        QGuiApplication::setDesktopFileName(QStringLiteral("Quenvar"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":ico/Quenvar.ico")));
    }
    Logger logger(QStringLiteral("Quenvar.log"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    SettingsDialog::setLanguage(static_cast<QLocale::Language>(CSettings::getIntValue(QStringLiteral("DefaultLanguage"))));
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
    if (unattended && commandNeedsDisplay(command))
        return needsDisplay(command);

    if (isOperationCommand(command))
        return runOperationCommand(command, positional);
    if (isInstallCommand(command))
        return runInstallCommand(command);

    return showMainWindow(mainWindowArchive(command, arguments, positional));
}
