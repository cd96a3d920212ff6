#pragma once

#include "app/CCompressOptions.h"
#include "engine/ArchiveProgress.h"
#include "engine/OperationPriority.h"

#include <QDateTime>
#include <QDialog>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

class FileArchive;

namespace Ui {
class ArchiveProgressDlg;
}

// Runs one archive operation on a worker thread of its own and shows how it
// goes: elapsed and remaining time, speed, sizes, compression ratio and a
// forecast of the archive size, refreshed every 300 ms from the shared
// progress block. Offers pause, cancel (after a question) and a low-priority
// switch for the operation's threads. The worker's questions (file exists,
// password, access denied, error message) are asked on the GUI thread while
// the worker waits; cancel and this dialog's end wake it. Deleting the
// dialog, or closing it from the program, cancels the operation and returns
// once the worker has stopped; the user's close asks first, as Cancel does.
class ArchiveProgressDlg : public QDialog
{
    Q_OBJECT

public:
    // Milliseconds on a monotonic clock; the statistics are measured on it.
    using Clock = std::function<qint64()>;

    explicit ArchiveProgressDlg(QWidget* parent = nullptr);
    ~ArchiveProgressDlg() override;

    // true (the default): doCompress/doExtract run the dialog modally and
    // return when it closes; false: they show it and return at once.
    void setBlocking(bool blocking) { m_blocking = blocking; }
    void doCompress(const CompressOptions& options);
    void doExtract(const ExtractOptions& options);

    // The operation failed, was cancelled, or never started.
    bool failed() const;
    // The update wrote the archive without sources it could not read.
    bool sourcesLeftOut() const;
    // The worker has emitted finished().
    bool isFinished() const { return m_finished; }

    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

public:

    // Replaces the clock the statistics are measured on (tests drive the
    // refresh by hand with a clock of their own).
    void setClock(Clock clock);
    ArchiveProgress& progressBlock() { return m_progress; }

signals:
    void closeProperly();

public slots:
    void on_pbCancel_pressed();
    void finished();
    QString getOperationString(E_ArchiveOperation operation) const;
    void refreshDialog();
    void closeProperlyHandler();
    void on_pbIdle_pressed();
    void on_pbPause_pressed();
    void handleFileAccessDenied(QString filePath);
    void handleFileExists(QString filePath, QDateTime modifiedTime);
    void progressErrorHandler(QString errorMessage);
    void getPassword(QString& password, bool& doCancel);

private:
    void internalStartOperation(const CompressOptions* compress, const ExtractOptions* extract);
    bool refusesToAddItsOwnFolder(const CompressOptions& options) const;
    void hideCompressionRows();
    // Adds the time since the last tick to the running time, unless paused
    // or finished; either way the next tick counts from now.
    void tick();
    void showStatistics(E_ArchiveOperation operation);
    void showProgressBar();
    void stopWorker();

    std::unique_ptr<Ui::ArchiveProgressDlg> ui;
    ExtractOptions m_extractOptions;
    CompressOptions m_compressOptions;
    QThread m_thread;
    QTimer m_timer;
    FileArchive* m_worker = nullptr;
    ArchiveProgress m_progress;
    bool m_finished = false;
    bool m_closeAllowed = false;
    bool m_paused = false;
    int m_scanElapsedMs = 0;
    OperationPriority m_priority;
    bool m_blocking = true;

    Clock m_clock;
    qint64 m_lastTick = 0;
    QString m_shownFile;
};
