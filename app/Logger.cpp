#include "app/Logger.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTextStream>

#include <ctime>

QString Logger::m_logFileName;
QFile Logger::g_logFile;
QMutex Logger::m_dataMutex;

Logger::Logger(const QString& logFileName)
{
    m_logFileName = logFileName;
    qInstallMessageHandler(&Logger::messageHandler);
}

QString Logger::getLogFilePath()
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    const QString dataDir = locations.isEmpty() ? QDir::homePath() : locations.first();
    const QString logDir = dataDir + QStringLiteral("/Logs");
    QDir().mkpath(logDir);
    return logDir + QLatin1Char('/') + m_logFileName;
}

void Logger::messageHandler(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    if (qgetenv("QuenvarLog") != "1")
        return;

    const QString text = QStringLiteral("%1").arg(msg);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%02d/%02d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1, local.tm_hour,
                  local.tm_min, local.tm_sec);

    QMutexLocker lock(&m_dataMutex);
    if (g_logFile.fileName().isEmpty()) {
        g_logFile.setFileName(getLogFilePath());
        if (!g_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return;
    }
    if (!g_logFile.isOpen())
        return;
    QTextStream out(&g_logFile);
    out.setCodec("UTF-8");
    out << stamp << ' ' << text << '\n';
    out.flush();
}

void Logger::removeLogFolder()
{
    QMutexLocker lock(&m_dataMutex);
    g_logFile.close();
    const QString path = getLogFilePath();
    const QString backup = QDir::tempPath() + QStringLiteral("/b.log");
    QFile::remove(backup);
    QFile::rename(path, backup);
    QDir dataDir = QFileInfo(path).absoluteDir();
    if (dataDir.cdUp())
        dataDir.removeRecursively();
}
