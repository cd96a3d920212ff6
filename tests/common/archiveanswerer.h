#pragma once

// Plays the user for an archive operation on a worker thread: its questions are
// answered on the test's thread from scripted lists, and recorded.

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

    // Answers to "file exists", in order, then defaultConflict (closing the dialog).
    QList<Answer> conflictAnswers;
    Answer defaultConflict{UA_CANCEL, true};
    // Answers to "cannot access", then defaultAccess; UA_ASK: nobody answers.
    QList<Answer> accessAnswers;
    Answer defaultAccess{UA_CANCEL, true};
    // One per password request; a null string, or none left, cancels.
    QStringList passwords;
    // Called before an access question is answered (the user fixes the problem).
    std::function<void(const QString&)> beforeAccessAnswer;

    // What was asked.
    QStringList conflicts;
    QList<QDateTime> conflictTimes;
    QStringList accessQuestions;
    QStringList errors;
    int passwordRequests = 0;

    // Connects archive's questions to this object's thread.
    void connectTo(FileArchive* archive);

public slots:
    void onFileExists(QString path, QDateTime time);
    void onPassword(QString& password, bool& cancel);
    void onCannotAccess(QString path);
    void onError(QString message);

private:
    static void record(const Answer& answer);
};

// Runs archive->process() on a thread of its own while this thread answers
// through answerer (null: nobody answers) and calls whileRunning every 10 ms;
// false when it did not finish within timeoutMs.
bool runArchiveOperation(FileArchive* archive, ArchiveAnswerer* answerer,
                         const std::function<void()>& whileRunning = {}, int timeoutMs = 300000);
