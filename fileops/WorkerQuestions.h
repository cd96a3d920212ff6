#pragma once

#include <QObject>

#include <functional>
#include <memory>

// How a worker thread puts a question to the user and waits for the answer
// with a way out, after the copier's pattern: the question runs on the
// thread of a receiver (the dialog, on the GUI thread) through a queued call
// guarded by the receiver's life, and the worker waits on a wait condition
// of its own that cancel() wakes, as does the receiver's end. A blocking
// queued connection would wait for ever once the dialog is gone.
//
// The question must not write to the asking thread's stack: when the wait
// is cancelled the worker goes on while the question may still be open.
// Answers go to shared state (a std::shared_ptr the question holds).
//
// All copies of one object share its state.
class WorkerQuestions
{
public:
    WorkerQuestions();

    // The object whose thread answers. Its owner calls cancel() before it
    // goes; its destruction also ends every wait. Null: questions run on the
    // asking thread.
    void setReceiver(QObject* receiver);
    // Runs question on the receiver's thread and returns true once it has
    // returned; false at once, or as soon as it happens, when the questions
    // were cancelled or the receiver went away. On the receiver's own
    // thread, or without a receiver, runs question directly.
    bool ask(const std::function<void()>& question);
    // Wakes a waiting ask; every later one returns false at once.
    void cancel();
    bool isCanceled() const;

private:
    struct State;
    std::shared_ptr<State> d;
};
