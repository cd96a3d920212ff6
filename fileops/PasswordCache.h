#pragma once

#include <QString>

// Passwords of archives opened during this run, in memory only. The key
// includes the file's creation time, so a replaced file misses the cache.
QString getPasswordFromCache(const QString& archivePath);
void setPasswordInTheCache(const QString& archivePath, const QString& password);
