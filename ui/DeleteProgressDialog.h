#pragma once

#include "fileops/WorkerQuestions.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

// What the deleter and its progress dialog share: the deleter writes the
// progress, the dialog reads it on its timer and sets the cancel flag.
class DeleteProgress
{
public:
    // How many paths have been handled (the index after the last one deleted).
    std::atomic<int> handled{0};
    std::atomic<bool> cancel{false};
    // Kept for the dialog's own use (it is closing).
    std::atomic<bool> closing{false};

    void setCurrentPath(const QString& path);
    QString currentPath() const;

private:
    mutable QMutex m_mutex;
    QString m_currentPath;
};

// Deletes a list of paths (to the trash or for good) on a worker thread. A
// path that cannot be deleted raises cannotAccessFile with the system's
// reason, emitted on the thread of the question receiver (the dialog) while
// the worker waits: the answer (UserActions, the cancel flag) is there when
// the slot returns. cancel() wakes that wait and stops the deletion, as
// does the receiver's end.
class FileDeleter : public QObject
{
    Q_OBJECT
public:
    FileDeleter(const QStringList& paths, bool toTrash, DeleteProgress* progress, QObject* parent = nullptr);

    // The paths that were skipped or given up.
    QStringList failedPaths() const;
    // The object on whose thread cannotAccessFile is emitted.
    void setQuestionReceiver(QObject* receiver) { m_questions.setReceiver(receiver); }
    // Stops the deletion from any thread, waking a wait for an answer.
    void cancel();

public slots:
    void deletePaths();

signals:
    void cannotAccessFile(const QString& path, const QString& reason);
    void finished();

private:
    bool isCanceled() const;
    void finish();

    QStringList m_paths;
    bool m_toTrash;
    DeleteProgress* m_progress;
    mutable QMutex m_failedMutex;
    QStringList m_failed;
    WorkerQuestions m_questions;
};
