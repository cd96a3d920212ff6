#include "common/archiveanswerer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

void ArchiveAnswerer::connectTo(FileArchive* archive)
{
    // The questions are asked on this object's thread, as the progress
    // dialog has them asked on the GUI thread.
    archive->setQuestionReceiver(this);
    connect(archive, &FileArchive::fileExists, this, &ArchiveAnswerer::onFileExists);
    connect(archive, &FileArchive::getPassword, this, &ArchiveAnswerer::onPassword);
    connect(archive, &FileArchive::cannotAccessFile, this, &ArchiveAnswerer::onCannotAccess);
    connect(archive, &FileArchive::progressError, this, &ArchiveAnswerer::onError);
}

void ArchiveAnswerer::record(const Answer& answer)
{
    // As the conflict dialog does: the pressed button's action, or cancel
    // for this item and all when the dialog is closed.
    if (answer.action == UA_ASK)
        return;
    if (answer.action == UA_CANCEL)
        UserActions::setAction(UA_CANCEL, true, true);
    else
        UserActions::select(answer.action, answer.forAll);
}

void ArchiveAnswerer::onFileExists(QString path, QDateTime time)
{
    conflicts << path;
    conflictTimes << time;
    record(conflictAnswers.isEmpty() ? defaultConflict : conflictAnswers.takeFirst());
}

void ArchiveAnswerer::onPassword(QString& password, bool& cancel)
{
    ++passwordRequests;
    const QString answer = passwords.isEmpty() ? QString() : passwords.takeFirst();
    cancel = answer.isNull();
    password = answer;
}

void ArchiveAnswerer::onCannotAccess(QString path)
{
    accessQuestions << path;
    if (beforeAccessAnswer)
        beforeAccessAnswer(path);
    record(accessAnswers.isEmpty() ? defaultAccess : accessAnswers.takeFirst());
}

void ArchiveAnswerer::onError(QString message)
{
    errors << message;
}

bool runArchiveOperation(FileArchive* archive, ArchiveAnswerer* answerer,
                         const std::function<void()>& whileRunning, int timeoutMs)
{
    QThread worker;
    QThread* home = QThread::currentThread();
    archive->moveToThread(&worker);
    if (answerer)
        answerer->connectTo(archive);
    bool finished = false;
    QEventLoop loop;
    // Back home from the worker itself, the only thread allowed to move it.
    const QMetaObject::Connection back = QObject::connect(
        archive, &FileArchive::finished, archive, [archive, home] { archive->moveToThread(home); },
        Qt::DirectConnection);
    const QMetaObject::Connection done = QObject::connect(
        archive, &FileArchive::finished, &loop,
        [&] {
            finished = true;
            loop.quit();
        },
        Qt::QueuedConnection);
    const QMetaObject::Connection start =
        QObject::connect(&worker, &QThread::started, archive, &FileArchive::process);

    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (whileRunning)
            whileRunning();
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    poll.start();
    worker.start();
    if (!finished)
        loop.exec();
    if (!finished)
        archive->forceTerminate();
    worker.quit();
    worker.wait();
    QObject::disconnect(back);
    QObject::disconnect(done);
    QObject::disconnect(start);
    if (answerer) {
        QObject::disconnect(archive, nullptr, answerer, nullptr);
        archive->setQuestionReceiver(nullptr);
    }
    return finished;
}
