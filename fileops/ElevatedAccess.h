#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <cstdint>

// The one door through which file work goes when the user asked to retry
// with higher rights. Every operation fails (false, -1, empty) when no
// elevated file server can be reached (or its connection is lost).
namespace ElevatedAccess {

// Reads up to count bytes at offset; *remaining receives the bytes the server
// says are left after the read. Returns the count read, -1 on failure.
int64_t read(const QString& path, char* data, int64_t offset, int64_t count, int64_t* remaining);
// Returns the count written, -1 on failure.
int64_t write(const QString& path, const char* data, int64_t offset, int64_t count);
// The file's size, -1 on failure.
int64_t size(const QString& path);
bool canFileBeOpened(const QString& path, bool forReading);
bool createFile(const QString& path);
bool remove(const QString& path, bool toTrash);
bool createFolder(const QString& path);
bool rename(const QString& from, const QString& to);
// The paths below path as the server lists them; *ok tells whether it answered.
QStringList getNestedFiles(const QString& path, QDir::Filters filters, bool* ok);

} // namespace ElevatedAccess
