#include "app/CommandLine.h"

QString trMain(const char* text)
{
    return QCoreApplication::translate("main", text);
}

namespace {

struct CommandHelp
{
    const char* name;
    const char* meaning;
};

// In the order in which the dispatcher tries them.
const CommandHelp kCommands[] = {
    {"a", QT_TRANSLATE_NOOP("main", "Pack the paths into a new archive beside the first of them, asking for the "
                                    "archive's options first.")},
    {"as", QT_TRANSLATE_NOOP("main", "As \"a\", then offer the archive for mailing (nothing is sent on this system).")},
    {"xml", QT_TRANSLATE_NOOP("main", "Run the XML operation file given as the first path, without dialogs.")},
    {"e", QT_TRANSLATE_NOOP("main", "Extract the first archive, asking for the options first.")},
    {"eh", QT_TRANSLATE_NOOP("main", "Extract the first archive into the folder that holds it.")},
    {"ed", QT_TRANSLATE_NOOP("main", "Extract the first archive into a folder named after it.")},
    {"em", QT_TRANSLATE_NOOP("main", "Extract every archive given, asking for the options once.")},
    {"em_here", QT_TRANSLATE_NOOP("main", "Extract every archive given into the folder that holds it.")},
    {"em_to_archive_dir", QT_TRANSLATE_NOOP("main", "Extract every archive given into a folder named after it.")},
    {"o", QT_TRANSLATE_NOOP("main", "Open the main window showing the first archive.")},
    {"t", QT_TRANSLATE_NOOP("main", "Open the main window without an archive.")},
    {"r", QT_TRANSLATE_NOOP("main", "Make Quenvar the handler of the archive types in the user's mimeapps.list.")},
    {"rc", QT_TRANSLATE_NOOP("main", "Kept for scripts of other systems: only writes a line to the log.")},
    {"ur", QT_TRANSLATE_NOOP("main", "Withdraw those associations and remove the program's log folder.")},
};

constexpr int kLineWidth = 79;

// Words of text filled into lines of the width, each line after the first
// indented like the first's text.
QString wrapped(const QString& text, int indent)
{
    QString result;
    int column = indent;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > indent && column + 1 + word.size() > kLineWidth) {
            result += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
        } else if (column > indent) {
            result += QLatin1Char(' ');
            ++column;
        }
        result += word;
        column += word.size();
    }
    return result;
}

QString commandsHelp()
{
    int nameWidth = 0;
    for (const CommandHelp& command : kCommands)
        nameWidth = qMax(nameWidth, int(qstrlen(command.name)));
    const int indent = 2 + nameWidth + 2;

    QString text = trMain(QT_TRANSLATE_NOOP("main", "Commands (the value of --command):")) + QLatin1Char('\n');
    for (const CommandHelp& command : kCommands) {
        text += QStringLiteral("  ") + QString::fromLatin1(command.name).leftJustified(nameWidth + 2) +
                wrapped(trMain(command.meaning), indent) + QLatin1Char('\n');
    }
    return text;
}

QString exitCodesHelp()
{
    return trMain(QT_TRANSLATE_NOOP("main", "Exit codes:")) + QStringLiteral("\n  0  ") +
           wrapped(trMain(QT_TRANSLATE_NOOP("main", "The command did all it was asked to do.")), 5) +
           QStringLiteral("\n  1  ") +
           wrapped(trMain(QT_TRANSLATE_NOOP(
                       "main", "An operation failed, was cancelled (its dialog too) or left something out: an "
                               "archive that is missing, no archive or damaged, an entry not extracted, a source "
                               "not packed. Also a command without the path it needs, a command that needs a "
                               "display where there is none, and a wrong option.")),
                   5) +
           QLatin1Char('\n');
}

} // namespace

CommandLine::CommandLine()
    : m_sourceOption(QStringList{QStringLiteral("s"), QStringLiteral("source-directory")},
                     trMain(QT_TRANSLATE_NOOP("main", "Source directory <directory>.")),
                     trMain(QT_TRANSLATE_NOOP("main", "directory")))
    , m_commandOption(QStringList{QStringLiteral("c"), QStringLiteral("command")},
                      trMain(QT_TRANSLATE_NOOP("main", "command")), trMain(QT_TRANSLATE_NOOP("main", "command")))
    , m_targetOption(QStringList{QStringLiteral("t"), QStringLiteral("target")},
                     trMain(QT_TRANSLATE_NOOP("main", "output archive or dir")),
                     trMain(QT_TRANSLATE_NOOP("main", "output archive or dir")))
    , m_helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                   trMain(QT_TRANSLATE_NOOP("main", "Show this help: the options and the commands.")))
{
    m_parser.setApplicationDescription(wrapped(
        trMain(QT_TRANSLATE_NOOP("main", "Quenvar, a two-panel file manager and archiver. With a command it runs one "
                                         "operation and exits; without one it opens the main window, showing the "
                                         "archive given last.")),
        0));
    m_parser.addOption(m_sourceOption);
    m_parser.addOption(m_commandOption);
    m_parser.addOption(m_targetOption);
    m_parser.addOption(m_helpOption);
    m_parser.addVersionOption();
    m_parser.addPositionalArgument(trMain(QT_TRANSLATE_NOOP("main", "paths")),
                                   trMain(QT_TRANSLATE_NOOP("main", "The files and archives of the command.")),
                                   trMain(QT_TRANSLATE_NOOP("main", "[paths...]")));
}

void CommandLine::process(const QCoreApplication& app)
{
    m_parser.process(app);
}

bool CommandLine::helpRequested() const
{
    return m_parser.isSet(m_helpOption);
}

QString CommandLine::helpText() const
{
    return m_parser.helpText() + QLatin1Char('\n') + commandsHelp() + QLatin1Char('\n') + exitCodesHelp();
}

QString CommandLine::command() const
{
    return m_parser.value(m_commandOption);
}

QStringList CommandLine::positionalArguments() const
{
    return m_parser.positionalArguments();
}
