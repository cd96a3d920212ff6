#pragma once

#include "fileops/WorkerQuestions.h"

#include "ui/ProgressFormParts.h"

#include <QDialog>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <atomic>

class QLabel;

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

// A path that was not deleted and the system's reason (empty when it gave
// none).
struct DeleteFailure
{
    QString path;
    QString reason;
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
    QList<DeleteFailure> failures() const;
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
    void addFailure(const QString& path, const QString& reason);

    QStringList m_paths;
    bool m_toTrash;
    DeleteProgress* m_progress;
    mutable QMutex m_failedMutex;
    QList<DeleteFailure> m_failed;
    WorkerQuestions m_questions;
};

// Runs a FileDeleter on a thread of its own and shows how far it got,
// refreshed every 300 ms. A path that cannot be deleted is asked about with
// the access-denied question while the deleter waits; Cancel (also Escape
// and the close box) asks whether to abort first. Closed by the program or
// deleted, it stops the deletion without asking and returns once the worker
// has ended. Run it modally; afterwards failedPaths() tells what could not
// be deleted and showFailures() reports it.
class DeleteProgressDialog : public QDialog
{
    Q_OBJECT

public:
    DeleteProgressDialog(const QStringList& paths, bool toTrash, QWidget* parent = nullptr);
    ~DeleteProgressDialog() override;

    // The paths that were skipped or given up.
    QStringList failedPaths() const;
    // The message about what failed: each path with the system's reason, or,
    // when there are many, their number and the first of them; empty when
    // nothing failed.
    static QString failureMessage(const QList<DeleteFailure>& failed);
    // Shows failureMessage as a warning when something failed.
    void showFailures(QWidget* parent) const;

    void reject() override;

signals:
    void closeProperly();

public slots:
    void refreshDialog();
    void finished();
    void handleFileAccessDenied(const QString& path, const QString& reason);
    void closeProperlyHandler();
    void on_pbCancel_clicked();
    void on_DeleteProgressDialog_rejected();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildForm();
    void start();
    // Cancels the deletion, closes an open question and waits for the worker.
    void stopWorker();

    QStringList m_paths;
    DeleteProgress m_progress;
    FileDeleter* m_deleter;
    QThread m_thread;
    QTimer m_timer;
    bool m_started = false;
    bool m_finished = false;
    // The deletion was stopped from outside (closed by the program, deleted).
    bool m_stopped = false;

    QLabel* m_lbFilesDeleted;
    ProgressFormParts m_form;
};
