#pragma once

// Plays the user for an archive operation that runs on a worker thread, as
// the progress dialog will: FileArchive's questions are asked on the test's
// thread while the worker waits, answered from scripted lists, and every
// question is recorded.

#include "engine/filearchive.h"
#include "fileops/UserActions.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

class ArchiveAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        E_UserAction action;
        bool forAll;
    };

    // Answers to "file exists", in order; when they run out, defaultConflict
    // (UA_CANCEL: closing the dialog).
    QList<Answer> conflictAnswers;
    Answer defaultConflict{UA_CANCEL, true};
    // Answers to "cannot access"; when they run out, defaultAccess. UA_ASK
    // stands for no answer at all (nobody pressed anything).
    QList<Answer> accessAnswers;
    Answer defaultAccess{UA_CANCEL, true};
    // Each password request takes the next one; a null string, or none left,
    // cancels the request.
    QStringList passwords;
    // Called with the path before an access question is answered (the user
    // may fix the problem before pressing Retry).
    std::function<void(const QString&)> beforeAccessAnswer;

    // What was asked.
    QStringList conflicts;
    QList<QDateTime> conflictTimes;
    QStringList accessQuestions;
    QStringList errors;
    int passwordRequests = 0;

    // Connects archive's questions to this object, which answers them on
    // its own thread.
    void connectTo(FileArchive* archive);

public slots:
    void onFileExists(QString path, QDateTime time);
    void onPassword(QString& password, bool& cancel);
    void onCannotAccess(QString path);
    void onError(QString message);

private:
    static void record(const Answer& answer);
};

// Runs archive->process() on a thread of its own, as the operation driver
// does, while this thread answers through answerer (which may be null: no
// one answers). whileRunning, when given, is called on this thread every
// 10 ms until the operation finished. The archive is back on this thread
// afterwards. False when it did not finish within timeoutMs.
bool runArchiveOperation(FileArchive* archive, ArchiveAnswerer* answerer,
                         const std::function<void()>& whileRunning = {}, int timeoutMs = 300000);
