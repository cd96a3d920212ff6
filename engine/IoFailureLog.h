#pragma once

#include "fileops/utils.h"

#include <QList>
#include <QMutex>
#include <QString>

// What went wrong with one file of an operation: which step, which file (as
// the user knows it) and the system's own words for it.
struct IoFailure
{
    enum Kind
    {
        Open,
        Read,
        Write,
        // Data handed to the system was lost when the file was closed.
        Close,
    };
    Kind kind = Read;
    QString path;
    QString reason;
};

// The failures met by the files of one operation. Streams note them from
// the operation's thread, background closers from theirs; the operation
// reads them when its engine call returns. Shared (std::shared_ptr) so that a
// closer still running cannot outlive it.
class IoFailureLog
{
public:
    void note(IoFailure::Kind kind, const QString& path, const QString& reason);
    // errorNumber is an errno value.
    void noteSystemError(IoFailure::Kind kind, const QString& path, int errorNumber);
    bool isEmpty() const;
    QList<IoFailure> failures() const;
    // The failures noted so far; the log is empty afterwards.
    QList<IoFailure> takeAll();
    void clear();

private:
    mutable QMutex m_mutex;
    QList<IoFailure> m_failures;
};

