#include "fileops/PasswordCache.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>

namespace {

// Archive workers and the GUI thread (browsing) both use the cache.
QMutex g_passwordsMutex;

QMap<QString, QString>& passwords()
{
    static QMap<QString, QString> m_passwords;
    return m_passwords;
}

QString cacheKey(const QString& archivePath)
{
    const QFileInfo info(archivePath);
    QString created;
    if (info.exists()) {
        // Qt's text date format keeps only seconds; a file replaced within the
        // same second would share the key, so the birth time goes in whole.
        const QDateTime birth = info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime();
        created = birth.toString(Qt::TextDate) + QLatin1Char('.') + QString::number(birth.time().msec());
    }
    return archivePath + QStringLiteral("___") + created;
}

} // namespace

QString getPasswordFromCache(const QString& archivePath)
{
    const QString key = cacheKey(archivePath);
    QMutexLocker lock(&g_passwordsMutex);
    return passwords().value(key);
}

void setPasswordInTheCache(const QString& archivePath, const QString& password)
{
    const QString key = cacheKey(archivePath);
    QMutexLocker lock(&g_passwordsMutex);
    passwords().insert(key, password);
}
