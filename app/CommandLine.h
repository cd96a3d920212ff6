#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// A text of the command line's context ("main").
QString trMain(const char* text);

// The program's command line: the options "-s", "-c" and "-t", "--help"
// with every command and its meaning, "--version", and the paths.
class CommandLine
{
public:
    CommandLine();

    // Parses the application's arguments. An unknown option or a missing
    // value ends the program with the parser's own message; "--version"
    // prints the version and ends it with 0.
    void process(const QCoreApplication& app);

    bool helpRequested() const;
    // Usage, options, paths and the table of commands.
    QString helpText() const;

    QString command() const;
    QStringList positionalArguments() const;

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_sourceOption;
    QCommandLineOption m_commandOption;
    QCommandLineOption m_targetOption;
    QCommandLineOption m_helpOption;
};
