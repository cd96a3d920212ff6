#include "engine/IoFailureLog.h"

#include <QMutexLocker>


namespace {
// A file that fails once tends to fail at every later step (each read of a
// bad disk, each write to a full one); the first few tell the story.
constexpr int kKeptFailures = 20;
} // namespace

void IoFailureLog::note(IoFailure::Kind kind, const QString& path, const QString& reason)
{
    QMutexLocker lock(&m_mutex);
    for (const IoFailure& known : qAsConst(m_failures)) {
        if (known.path == path && known.kind == kind)
            return;
    }
    if (m_failures.size() < kKeptFailures)
        m_failures.append({kind, path, reason});
}

void IoFailureLog::noteSystemError(IoFailure::Kind kind, const QString& path, int errorNumber)
{
    note(kind, path, systemErrorText(errorNumber));
}

bool IoFailureLog::isEmpty() const
{
    QMutexLocker lock(&m_mutex);
    return m_failures.isEmpty();
}

QList<IoFailure> IoFailureLog::failures() const
{
    QMutexLocker lock(&m_mutex);
    return m_failures;
}

QList<IoFailure> IoFailureLog::takeAll()
{
    QMutexLocker lock(&m_mutex);
    QList<IoFailure> taken;
    taken.swap(m_failures);
    return taken;
}

void IoFailureLog::clear()
{
    QMutexLocker lock(&m_mutex);
    m_failures.clear();
}
