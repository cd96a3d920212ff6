#include "fileops/WorkerQuestions.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

struct WorkerQuestions::State
{
    QMutex mutex;
    QWaitCondition condition;
    bool canceled = false;
    // Guarded by mutex; cleared, and lost set, when the receiver is destroyed.
    QObject* receiver = nullptr;
    bool lost = false;
    QMetaObject::Connection receiverGone;
};

WorkerQuestions::WorkerQuestions()
    : d(std::make_shared<State>())
{
}

void WorkerQuestions::setReceiver(QObject* receiver)
{
    QMutexLocker lock(&d->mutex);
    QObject::disconnect(d->receiverGone);
    d->receiver = receiver;
    d->lost = false;
    if (!receiver)
        return;
    // Runs on the receiver's thread, as it goes.
    std::weak_ptr<State> weak = d;
    d->receiverGone = QObject::connect(receiver, &QObject::destroyed, [weak] {
        if (std::shared_ptr<State> state = weak.lock()) {
            QMutexLocker lock(&state->mutex);
            state->receiver = nullptr;
            state->lost = true;
            state->condition.wakeAll();
        }
    });
}

bool WorkerQuestions::ask(const std::function<void()>& question)
{
    QMutexLocker lock(&d->mutex);
    // Nobody is left to answer: no answer.
    if (d->canceled || d->lost)
        return false;
    QObject* receiver = d->receiver;
    if (!receiver || receiver->thread() == QThread::currentThread()) {
        lock.unlock();
        question();
        return !isCanceled();
    }
    // Set under the mutex by the receiver's thread once the question
    // returned; the worker may have stopped waiting by then.
    auto answered = std::make_shared<bool>(false);
    std::shared_ptr<State> state = d;
    // Posted while the mutex is held: the receiver cannot be destroyed in
    // between (its end takes the mutex), and a call it never ran is dropped
    // with it.
    QMetaObject::invokeMethod(
        receiver,
        [state, answered, question] {
            question();
            QMutexLocker lock(&state->mutex);
            *answered = true;
            state->condition.wakeAll();
        },
        Qt::QueuedConnection);
    while (!*answered && !d->canceled && d->receiver)
        d->condition.wait(&d->mutex);
    return *answered;
}

void WorkerQuestions::cancel()
{
    QMutexLocker lock(&d->mutex);
    d->canceled = true;
    d->condition.wakeAll();
}

bool WorkerQuestions::isCanceled() const
{
    QMutexLocker lock(&d->mutex);
    return d->canceled;
}
