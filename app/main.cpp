#include "app/Logger.h"
#include "app/OperationCommands.h"
#include "app/globals.h"
#include "app/settings.h"
#include "fileops/utils.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QLocale>

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

int notAvailable(const QString& what)
{
    qDebug() << "not available in this build:" << what;
    printError(trMain(QT_TRANSLATE_NOOP("main", "quenvar: %1 is not available in this build")).arg(what));
    return 2;
}

int missingArgument(const QString& command)
{
    qDebug() << "command" << command << "needs a file argument and got none";
    printError(trMain(QT_TRANSLATE_NOOP("main", "quenvar: the command \"%1\" needs a file or archive path"))
                   .arg(command));
    return 1;
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
    // Commands that need no window still run on machines without a display;
    // their questions are answered as Cancel there.
    const bool unattended = !hasDisplay();
    if (unattended)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    setUnattended(unattended);
    initQuenvarResources();
    Logger logger(QStringLiteral("Quenvar.log"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    installInterfaceLanguage(static_cast<QLocale::Language>(CSettings::getIntValue(QStringLiteral("DefaultLanguage"))));
    SetApplicationExeName(QCoreApplication::arguments().value(0));
    CSettings::initSettings();

    const QStringList arguments = QCoreApplication::arguments();
    for (const QString& argument : arguments)
        qDebug().noquote() << argument;

    QCommandLineParser parser;
    QCommandLineOption sourceOption(QStringList{QStringLiteral("s"), QStringLiteral("source-directory")},
                                    trMain(QT_TRANSLATE_NOOP("main", "Source directory <directory>.")),
                                    trMain(QT_TRANSLATE_NOOP("main", "directory")));
    QCommandLineOption commandOption(QStringList{QStringLiteral("c"), QStringLiteral("command")},
                                     trMain(QT_TRANSLATE_NOOP("main", "command")),
                                     trMain(QT_TRANSLATE_NOOP("main", "command")));
    QCommandLineOption targetOption(QStringList{QStringLiteral("t"), QStringLiteral("target")},
                                    trMain(QT_TRANSLATE_NOOP("main", "output archive or dir")),
                                    trMain(QT_TRANSLATE_NOOP("main", "output archive or dir")));
    parser.addOption(sourceOption);
    parser.addOption(commandOption);
    parser.addOption(targetOption);
    parser.process(app);

    const QString command = parser.value(commandOption);
    const QStringList positional = parser.positionalArguments();

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
    if (command == QLatin1String("r") || command == QLatin1String("ur"))
        return notAvailable(trMain(QT_TRANSLATE_NOOP("main", "registering file associations")));
    if (command == QLatin1String("rc")) {
        removeSharedDllCounter();
        return 0;
    }

    return showMainWindow(mainWindowArchive(command, arguments, positional));
}
