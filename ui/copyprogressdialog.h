#pragma once

#include "engine/guiutils.h"
#include "fileops/qtfilecopier.h"
#include "ui/ProgressFormParts.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>

class ConflictDialog;
class QLabel;
class QThread;

// Why sources cannot be copied or moved into the folder destination: a
// folder into itself or below itself, a file onto itself. An empty string
// when they can. The main window asks this before it opens the dialog; the
// dialog refuses such sources as well.
QString copyRefusal(const QStringList& sources, const QString& destination);

// Copies or moves files and folders into a folder on a QtFileCopier, one
// source after another, with statistics (elapsed and remaining time, speed,
// sizes, files done) refreshed at most every 500 ms. The copier's errors
// become conflict questions, whose answers it waits for, or one final
// message. Cancel (also Escape, a close, its deletion) stops the copier,
// which removes a file it was writing, and closes an open question.
//
// Deletes itself when closed: create it with new and run it with exec().
class CopyProgressDialog : public QDialog
{
    Q_OBJECT

public:
    CopyProgressDialog(const QStringList& sources, const QString& destination, QWidget* parent = nullptr,
                       bool isMove = false);
    ~CopyProgressDialog() override;

    // Sizes and number of the files in paths, folders walked without
    // following links; stops early when *cancel becomes true.
    static void getAllFiles(const QStringList& paths, qint64& totalSize, int& count,
                            const std::atomic<bool>* cancel = nullptr);

public slots:
    void transfer();
    void transferItem(const QString& path);
    void fileCopyStarted(int id);
    void dataTransferProgress(int id, qint64 bytes);
    void finished(int id, bool error);
    void error(int id, QtFileCopier::Error error, bool stopped, const QString& reason = QString());
    void copyCompleted(bool error);
    void processUserChoise(ConflictDialog* dialog, int id);
    void showErrorMessageAndClose(QtFileCopier::Error error, const QString& reason = QString());
    void on_pbCancel_clicked();
    void on_CopyProgressDialog_rejected();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildForm();
    void init();
    void scanned(qint64 totalSize, int count);
    void takeNextSource();
    void allDone();
    void showStatistics(qint64 now);
    void showCurrentFile(qint64 now);
    void askAccessDenied(const QString& path, const QString& reason, int id);
    void ask(GuardedDialog<ConflictDialog>& dialog, int id);

    QStringList m_sources;
    QString m_destination;
    bool m_isMove;
    QtFileCopier* m_copier;
    QtFileCopier::Error m_startError = QtFileCopier::NoError;

    // Milliseconds since construction; the statistics are measured on it.
    QElapsedTimer m_clock;
    qint64 m_startTime = 0;
    qint64 m_totalSize = 0;
    int m_totalCount = 0;
    qint64 m_finishedSize = 0;
    int m_finishedCount = 0;
    // The file being copied and what of it has gone so far.
    int m_progressId = -1;
    qint64 m_currentBytes = 0;
    qint64 m_lastUpdateTime = 0;
    qint64 m_lastUpdateSize = 0;
    QString m_currentFile;
    qint64 m_currentFileShownAt = -1;
    bool m_currentFileShown = true;

    int m_lastCanceledId = -1;
    // The error the open question is about.
    QtFileCopier::Error m_questionError = QtFileCopier::NoError;
    // Requests already renamed for all after a destination error.
    QSet<int> m_renamedIds;
    // The sources are counted; every source was handed to the copier and
    // is done.
    bool m_scanned = false;
    bool m_sourcesDone = false;
    bool m_canceled = false;
    bool m_shown = false;
    bool m_done = false;

    QThread* m_scan = nullptr;
    std::atomic<bool> m_scanCancel{false};

    QLabel* m_lbPassedValue;
    QLabel* m_lbLeftValue;
    QLabel* m_lbSpeedValue;
    QLabel* m_lbTotalValue;
    QLabel* m_lbNumberValue;
    QLabel* m_lbProcessedValue;
    ProgressFormParts m_form;
};
