#pragma once

#include <QFile>
#include <QMutex>
#include <QString>
#include <QtGlobal>

// Replaces Qt's message handler with one that appends every message, time
// stamped, to the log file; only when the environment asks for it.
class Logger
{
public:
    explicit Logger(const QString& logFileName);

    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg);
    static QString getLogFilePath();
    // Uninstall clean-up: keeps the last log as "b.log" in the temporary folder.
    static void removeLogFolder();

private:
    static QString m_logFileName;
    static QFile g_logFile;
    static QMutex m_dataMutex;
};
