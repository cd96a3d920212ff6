#include "fileops/ElevatedAccess.h"

#include <QDebug>

// No elevated client is wired in yet: every request fails, so callers fall
// back to their own error handling instead of reporting a false success.
namespace ElevatedAccess {

namespace {
void logUnavailable(const char* what)
{
    qDebug() << "elevated file server is not available for" << what;
}
} // namespace

int64_t read(const QString&, char*, int64_t, int64_t, int64_t* remaining)
{
    logUnavailable("read");
    if (remaining)
        *remaining = 0;
    return -1;
}

int64_t write(const QString&, const char*, int64_t, int64_t)
{
    logUnavailable("write");
    return -1;
}

int64_t size(const QString&)
{
    logUnavailable("size");
    return -1;
}

bool canFileBeOpened(const QString&, bool)
{
    logUnavailable("canFileBeOpened");
    return false;
}

bool createFile(const QString&)
{
    logUnavailable("createFile");
    return false;
}

bool remove(const QString&, bool)
{
    logUnavailable("remove");
    return false;
}

bool createFolder(const QString&)
{
    logUnavailable("createFolder");
    return false;
}

bool rename(const QString&, const QString&)
{
    logUnavailable("rename");
    return false;
}

QStringList getNestedFiles(const QString&, QDir::Filters, bool* ok)
{
    logUnavailable("getNestedFiles");
    if (ok)
        *ok = false;
    return QStringList();
}

} // namespace ElevatedAccess
