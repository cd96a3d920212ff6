#pragma once

// The copier's worker: its request queue, the thread that works through it
// and the chain of small decisions each request passes.

#include "fileops/qtfilecopier.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVector>
#include <QWaitCondition>

#include <atomic>
#include <functional>

struct CopyRequest
{
    QList<int> childRequests; // a folder's contents, in processing order
    QString source;
    QString dest;
    bool move = false;
    bool dir = false;
    int copyFlags = 0;
};

class QtCopyThread : public QThread
{
    Q_OBJECT
public:
    struct Request
    {
        CopyRequest copyRequest;
        bool canceled = false;  // skip or cancel was chosen for it
        bool overwrite = false; // overwrite was chosen for it
        bool copied = false;    // a move whose data is there but whose source is not yet removed
    };

    explicit QtCopyThread(QtFileCopier* copier);
    ~QtCopyThread() override;

    // Queues the requests whose ids are not queued yet and wakes the worker.
    void setRequests(const QMap<int, CopyRequest>& requests);
    QList<int> queuedIds() const;

    void cancelAll();
    void cancel(int id);
    // The answers to a stopped request.
    void skip();
    void skipAll();
    void overwrite();
    void overwriteAll();
    void rename();
    void renameAll();
    void retry();

    void resetSkip();
    void resetOverwrite();
    void setAutoReset(bool on);
    void requestProgress();
    // The copier is going away: cancel what is left, ask nothing more, end.
    void stop();

    // Used by the chain nodes while a request is handled.
    bool isCanceled(int id) const;
    bool progressRequested() const { return m_progressRequest.load() != 0; }
    void emitProgress(int id, qint64 bytes);
    void setCopied(int id, bool copied);
    void removeDescendants(int id);
    void reportMovedTree(int id);
    // The destination of a file request after a rename answer: the first free
    // name base_N.ext when the destination is taken.
    QString destinationFor(int id, const Request& record) const;
    // Handles one request (folders call it for their children).
    void handle(int id);

    // What the worker reports, gathered for the GUI thread.
    struct Notice
    {
        enum Kind
        {
            Started,
            Finished,
            StoppedError,
            EndError,
            Progress,
            Canceled,
        } kind;
        int id;
        qint64 value;
        // The system's words for an error, when it gave any.
        QString reason;
    };

signals:
    // Emitted on the thread object's own (GUI) thread, in the worker's order.
    void error(int id, QtFileCopier::Error error, bool stopped, const QString& reason);
    void started(int id);
    void dataTransferProgress(int id, qint64 progress);
    void finished(int id, bool error);
    void canceled();

protected:
    void run() override;

private:
    void post(const Notice& notice);
    void deliverNotices();
    // Runs before (under the lock) and wakes the worker when it waits for an
    // answer; false when it does not.
    bool answer(const std::function<void()>& before = nullptr);
    void markTree(int id, bool Request::*flag);
    void collectDescendants(int id, QList<int>* ids) const;

    QtFileCopier* m_copier;
    QMap<int, Request> m_requestQueue;
    mutable QMutex m_mutex;
    QWaitCondition m_newRequestCondition;
    QWaitCondition m_interactionCondition;
    bool m_waitingForInteraction = false;
    bool m_stopRequest = false;
    bool m_skipAllRequest = false;
    QSet<int> m_skipAllErrors;
    bool m_overwriteAllRequest = false;
    bool m_renameRequest = false;
    int m_renameId = -1;
    bool m_renameAllRequest = false;
    bool m_cancelRequest = false;
    int m_currentId = -1;
    std::atomic<int> m_progressRequest{0};
    bool m_autoReset = true;

    QMutex m_noticeMutex;
    QVector<Notice> m_notices;
    bool m_drainScheduled = false;
};

class QtFileCopierPrivate : public QObject
{
    Q_OBJECT
public:
    explicit QtFileCopierPrivate(QtFileCopier* copier);
    ~QtFileCopierPrivate() override;

    CopyRequest prepareRequest(bool checkTargetDir, const QString& source, const QString& dest,
                               QtFileCopier::CopyFlags flags, bool move, bool dir) const;
    int queueFile(const CopyRequest& request);
    QList<int> queueDirectory(const QString& source, const QString& dest, QtFileCopier::CopyFlags flags,
                              bool move);
    int copyDirectoryContents(const QString& source, const QString& dest, QtFileCopier::CopyFlags flags,
                              bool move, QMap<int, CopyRequest>* made);
    struct DirectoryEntry
    {
        QString name;
        bool isLink = false;
        bool isDir = false; // also a link to a folder
    };
    static QList<DirectoryEntry> listDirectory(const QString& path);
    void hand(const QMap<int, CopyRequest>& requests);
    void startThread();
    void setState(QtFileCopier::E_State state);
    // Passes an answer on to a waiting worker, which then is busy again.
    void answer(void (QtCopyThread::*pass)());
    void removeDescendants(int id);

    QtFileCopier* q;
    QtCopyThread* thread;
    QTimer progressTimer;
    QtFileCopier::E_State state = QtFileCopier::Idle;
    bool error = false;
    int idCounter = 0;
    QList<int> startedIds;
    QMap<int, CopyRequest> requests;
    bool autoReset = true;
    // Canonical paths of the folders being listed, outermost first.
    QStringList visiting;

public slots:
    void copyStarted(int id);
    void copyFinished(int id, bool error);
    void copyError(int id, QtFileCopier::Error error, bool stopped, const QString& reason);
    void copyCanceled();
};

// One decision about a request. Each node either settles the request or
// passes it on; the last node of the chain holds the request, the thread,
// the id and the error.
class ChainNode
{
public:
    explicit ChainNode(ChainNode* successor = nullptr);
    virtual ~ChainNode();
    ChainNode(const ChainNode&) = delete;
    ChainNode& operator=(const ChainNode&) = delete;

    virtual bool handle();
    virtual QtCopyThread::Request* request();
    virtual QtCopyThread* thread();
    virtual int currentId();

    QtFileCopier::Error error();
    // The system's words for the error, when it gave any.
    QString reason();
    void setError(QtFileCopier::Error error, const QString& reason = QString());

protected:
    // What one look at the source (not following a link) told; asked once
    // per pass of the chain, as every file of a large copy passes it.
    struct SourceFacts
    {
        bool known = false;
        bool exists = false;
        bool isLink = false;
    };
    const SourceFacts& sourceFacts();

    bool passOn();
    bool fail(QtFileCopier::Error error, const QString& reason = QString());
    // Fails with errno's text as the reason.
    bool failErrno(QtFileCopier::Error error, int errorNumber);
    const CopyRequest& copyRequest() { return request()->copyRequest; }
    bool hasFlag(QtFileCopier::CopyFlag flag) { return (copyRequest().copyFlags & flag) != 0; }

    ChainNode* m_successor;
    QtFileCopier::Error m_error = QtFileCopier::NoError;
    QString m_reason;

private:
    SourceFacts* factsOfLastNode();
    SourceFacts m_sourceFacts; // used in the last node only
};

class CanceledNode : public ChainNode
{
public:
    using ChainNode::ChainNode;
    bool handle() override;
};

class SourceExistsNode : public ChainNode
{
public:
    using ChainNode::ChainNode;
    bool handle() override;
};

class OverwriteNode : public ChainNode
{
public:
    OverwriteNode(ChainNode* successor, bool overwriteAll, bool renameAll, bool renameThis);
    bool handle() override;

private:
    bool m_overwriteAll;
    bool m_renameAll;
    bool m_renameThis;
};

class MakeLinksNode : public ChainNode
{
public:
    using ChainNode::ChainNode;
    bool handle() override;
};

class RenameNode : public ChainNode
{
public:
    using ChainNode::ChainNode;
    bool handle() override;
};

class MoveNode : public ChainNode
{
public:
    using ChainNode::ChainNode;
    bool handle() override;
};

class CopyDirNode : public ChainNode
{
public:
    using ChainNode::ChainNode;
    bool handle() override;
};

class CopyFileNode : public ChainNode
{
public:
    CopyFileNode(QtCopyThread* thread, int id, const QtCopyThread::Request& request);
    bool handle() override;
    QtCopyThread::Request* request() override { return &m_request; }
    QtCopyThread* thread() override { return m_thread; }
    int currentId() override { return m_id; }

private:
    bool copyFileLocal(const QString& source, const QString& dest);
    bool copyFileRemote(const QString& source, const QString& dest);

    QtCopyThread* m_thread;
    int m_id;
    QtCopyThread::Request m_request;
};
