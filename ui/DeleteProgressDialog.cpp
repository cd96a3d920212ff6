#include "ui/DeleteProgressDialog.h"

#include "app/settings.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"

#include <QCoreApplication>
#include <QMutexLocker>

void DeleteProgress::setCurrentPath(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    m_currentPath = path;
}

QString DeleteProgress::currentPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_currentPath;
}

FileDeleter::FileDeleter(const QStringList& paths, bool toTrash, DeleteProgress* progress, QObject* parent)
    : QObject(parent)
    , m_paths(paths)
    , m_toTrash(toTrash)
    , m_progress(progress)
{
}

QStringList FileDeleter::failedPaths() const
{
    QMutexLocker lock(&m_failedMutex);
    return m_failed;
}

bool FileDeleter::isCanceled() const
{
    return m_progress->cancel.load() || UserActions::isChosen(UA_CANCEL) || m_questions.isCanceled();
}

void FileDeleter::cancel()
{
    m_progress->cancel.store(true);
    m_questions.cancel();
}

void FileDeleter::finish()
{
    emit finished();
    QCoreApplication::processEvents();
}

void FileDeleter::deletePaths()
{
    if (m_paths.isEmpty() || UserActions::isChosen(UA_CANCEL)) {
        finish();
        return;
    }
    for (int index = 0; index < m_paths.size(); ++index) {
        const QString& path = m_paths.at(index);
        UserActions::resetAfterSingleAction();
        m_progress->setCurrentPath(path);
        if (m_progress->cancel.load())
            break;

        for (;;) {
            const bool elevatedAttempt = isElevationInForce();
            QString reason;
            if (deleteFileGeneric(path, m_toTrash, &reason)) {
                m_progress->handled.store(index + 1);
                break;
            }
            if (UserActions::isChosen(UA_SKIP)) {
                QMutexLocker lock(&m_failedMutex);
                m_failed << path;
                break;
            }
            // "As administrator for all" switches elevation on for the rest.
            // A failure that was already elevated goes back to the user
            // instead of being retried without end.
            if (UserActions::isChosenForAll(UA_AS_ADMIN)) {
                CSettings::setElevated(true);
                if (!elevatedAttempt)
                    continue;
            }
            // Nobody left to answer is a cancel.
            if (!m_questions.ask([this, path, reason] { emit cannotAccessFile(path, reason); }))
                m_progress->cancel.store(true);
            if (isCanceled()) {
                QMutexLocker lock(&m_failedMutex);
                m_failed << path;
                break;
            }
        }
        if (isCanceled())
            break;
    }
    finish();
}
