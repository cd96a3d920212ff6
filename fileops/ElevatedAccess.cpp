#include "fileops/ElevatedAccess.h"

#include "fileops/FileClient.h"

// Streams keep one connection each for their many small requests; the other
// operations are rare and open a connection of their own.
namespace ElevatedAccess {

int64_t read(const QString& path, char* data, int64_t offset, int64_t count, int64_t* remaining)
{
    qint64 left = 0;
    const qint64 result = ReadFileClient::read(path, data, offset, count, &left);
    if (remaining)
        *remaining = result < 0 ? 0 : left;
    return result;
}

int64_t write(const QString& path, const char* data, int64_t offset, int64_t count)
{
    return WriteFileClient::write(path, data, offset, count);
}

int64_t size(const QString& path)
{
    return ReadFileClient::size(path);
}

bool canFileBeOpened(const QString& path, bool forReading)
{
    return FileClient(path).canFileBeOpened(path, forReading);
}

bool createFile(const QString& path)
{
    return FileClient().createFile(path);
}

bool remove(const QString& path, bool toTrash)
{
    return FileClient().remove(path, toTrash);
}

bool createFolder(const QString& path)
{
    return FileClient().createFolder(path);
}

bool rename(const QString& from, const QString& to)
{
    return FileClient().rename(from, to);
}

QStringList getNestedFiles(const QString& path, QDir::Filters filters, bool* ok)
{
    QStringList files;
    const bool answered = FileClient().getNestedFiles(path, filters, &files);
    if (ok)
        *ok = answered;
    return answered ? files : QStringList();
}

} // namespace ElevatedAccess
