#pragma once

#include <QFlags>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QtFileCopierPrivate;

// Copies and moves files and folders on a worker thread. Callers queue
// requests (each gets an id); the worker goes through them one at a time and
// stops to wait for an answer (skip, overwrite, rename, retry ...) when a
// request fails in a way the user can resolve.
class QtFileCopier : public QObject
{
    Q_OBJECT
public:
    enum CopyFlag
    {
        // Never wait for the user: an existing destination is overwritten and
        // any error ends the request at once.
        NonInteractive = 0x01,
        // A destination that cannot be opened is deleted and opened once more.
        Force = 0x02,
        // Create a relative symbolic link to the source instead of copying.
        MakeLinks = 0x04,
        // Copy what a symbolic link points to instead of the link itself.
        FollowLinks = 0x08,
    };
    Q_DECLARE_FLAGS(CopyFlags, CopyFlag)
    Q_FLAG(CopyFlags)

    enum Error : qint32
    {
        NoError = 0,
        SourceNotExists = 1,
        DestinationExists = 2,
        SourceDirectoryOmitted = 3,
        SourceFileOmitted = 4,
        PathToDestinationNotExists = 5,
        CannotCreateDestinationDirectory = 6,
        CannotOpenSourceFile = 7,
        CannotOpenDestinationFile = 8,
        CannotRemoveDestinationFile = 9,
        CannotCreateSymLink = 10,
        CannotReadSourceFile = 11,
        CannotWriteDestinationFile = 12,
        CannotRemoveSource = 13,
        Canceled = 14,
    };
    Q_ENUM(Error)

    enum E_State
    {
        Idle = 0,
        Busy = 1,
        WaitingForInteraction = 2,
    };
    Q_ENUM(E_State)

    explicit QtFileCopier(QObject* parent = nullptr);
    // Cancels what is left and waits for the worker to stop.
    ~QtFileCopier() override;

    // The text shown to the user for an error.
    static QString errorString(Error error);
    // The error's text with the system's reason for it, when there is one:
    // "Cannot read source file: Input/output error."
    static QString errorMessage(Error error, const QString& reason);

    // Files only, and only while Idle; -1 when refused. A destination that is
    // an existing folder receives the file under its own name.
    int copy(const QString& source, const QString& dest, CopyFlags flags = CopyFlags());
    // Files only; queued in any state.
    int move(const QString& source, const QString& dest, CopyFlags flags = CopyFlags());
    QList<int> copyFiles(const QStringList& sources, const QString& destDir, CopyFlags flags = CopyFlags());
    QList<int> moveFiles(const QStringList& sources, const QString& destDir, CopyFlags flags = CopyFlags());
    // A folder with everything below it. When dest is an existing folder the
    // source lands inside it under its own name; otherwise dest names the new
    // folder. Returns the ids of all requests, the folder's own first.
    QList<int> copyDirectory(const QString& source, const QString& dest, CopyFlags flags = CopyFlags());
    QList<int> moveDirectory(const QString& source, const QString& dest, CopyFlags flags = CopyFlags());

    void cancelAll();
    void cancel(int id);

    // Answers to a stopped request; ignored unless WaitingForInteraction.
    void skip();
    void skipAll();
    void overwrite();
    void overwriteAll();
    void rename();
    void renameAll();
    void retry();

    void resetSkip();
    void resetOverwrite();
    void reset();
    void setAutoReset(bool on);
    bool autoReset() const;
    void setProgressInterval(int ms);
    int progressInterval() const;
    // Hands every unfinished request to the worker again and restarts it.
    void continueWorking();

    E_State state() const;
    int currentId() const;
    QList<int> pendingRequests() const;
    QString sourceFilePath(int id) const;
    QString destinationFilePath(int id) const;
    bool isDir(int id) const;
    QList<int> entryList(int id) const;

signals:
    // reason: the system's words for the error (strerror), empty when it
    // gave none.
    void error(int id, QtFileCopier::Error error, bool stopped, const QString& reason);
    void stateChanged(QtFileCopier::E_State state);
    void done(bool error);
    void started(int id);
    void dataTransferProgress(int id, qint64 progress);
    void finished(int id, bool error);
    void canceled();

private slots:
    void progressRequest();

private:
    QtFileCopierPrivate* d;
    friend class QtFileCopierPrivate;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QtFileCopier::CopyFlags)
