#pragma once

#include <QList>
#include <QSet>

// Lowers and restores the scheduling priority of the threads one archive
// operation runs on: its worker and the threads the engine starts from it.
// They are told apart from the rest of the process by when they appeared:
// every thread that exists when the operation starts is left alone, so the
// GUI keeps its priority. Linux keeps a nice value per thread.
class OperationPriority
{
public:
    static constexpr int kLowNice = 19;

    // Notes the threads that exist now and the nice value of the calling
    // thread, to which restore() returns.
    void noteStart();
    // False when no thread of the operation could be lowered.
    bool lower();
    // False when the system refused: without the right to raise priorities
    // a process may lower a thread's but not give it back. The threads then
    // stay low until the operation ends with them.
    bool restore();
    bool isLowered() const { return m_lowered; }
    int startNice() const { return m_startNice; }

    // The kernel ids of the threads that appeared since noteStart().
    QList<long> operationThreads() const;

    // The kernel ids of this process's threads, and the calling thread's.
    static QList<long> processThreads();
    static long currentThread();
    // The thread's nice value; false in ok when it cannot be read.
    static int threadNice(long threadId, bool* ok = nullptr);
    static bool setThreadNice(long threadId, int nice);

private:
    QSet<long> m_before;
    int m_startNice = 0;
    bool m_lowered = false;
};
