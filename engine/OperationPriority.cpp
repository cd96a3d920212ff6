#include "engine/OperationPriority.h"

#include <QDebug>
#include <QDir>

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void OperationPriority::noteStart()
{
    const QList<long> threads = processThreads();
    m_before = QSet<long>(threads.begin(), threads.end());
    m_startNice = threadNice(currentThread());
    m_lowered = false;
}

bool OperationPriority::lower()
{
    bool any = false;
    for (long thread : operationThreads())
        any = setThreadNice(thread, kLowNice) || any;
    m_lowered = m_lowered || any;
    return any;
}

bool OperationPriority::restore()
{
    if (!m_lowered)
        return true;
    bool all = true;
    for (long thread : operationThreads()) {
        // A thread that ended meanwhile has nothing left to restore.
        if (!setThreadNice(thread, m_startNice) && errno != ESRCH)
            all = false;
    }
    if (all)
        m_lowered = false;
    else
        qDebug() << "the system did not let the operation's threads return to nice" << m_startNice;
    return all;
}

QList<long> OperationPriority::operationThreads() const
{
    QList<long> threads;
    for (long thread : processThreads()) {
        if (!m_before.contains(thread))
            threads << thread;
    }
    return threads;
}

QList<long> OperationPriority::processThreads()
{
    QList<long> threads;
    const QStringList names = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool ok = false;
        const long id = name.toLong(&ok);
        if (ok)
            threads << id;
    }
    return threads;
}

long OperationPriority::currentThread()
{
    return static_cast<long>(::syscall(SYS_gettid));
}

int OperationPriority::threadNice(long threadId, bool* ok)
{
    // -1 is a valid nice value: only errno tells a failure apart.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(threadId));
    const bool read = errno == 0;
    if (ok)
        *ok = read;
    return read ? nice : 0;
}

bool OperationPriority::setThreadNice(long threadId, int nice)
{
    errno = 0;
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice) == 0;
}
