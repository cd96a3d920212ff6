#include "engine/ArchiveProgressDlg.h"
#include "ui_ArchiveProgressDlg.h"

#include "app/globals.h"
#include "engine/filearchive.h"
#include "engine/guiutils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "ui/ConflictDialog.h"
#include "ui/passworddialog.h"
#include "ui/ProgressFormParts.h"

#include <QCloseEvent>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace {

// The ratio is a guess until enough data went through the compressor.
constexpr qint64 kForecastAfterMs = 10000;

QString formatSize(uint64_t bytes)
{
    return formatDataSize(static_cast<qint64>(bytes));
}

QString none()
{
    return QStringLiteral("-");
}

} // namespace

ArchiveProgressDlg::ArchiveProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog)
    , ui(new Ui::ArchiveProgressDlg)
{
    ui->setupUi(this);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    m_clock = [clock] { return clock->elapsed(); };
    m_lastTick = m_clock();

    connect(&m_timer, &QTimer::timeout, this, &ArchiveProgressDlg::refreshDialog);
    // Queued: the question must not open inside the press of a button or
    // inside done(), and a close that arrives after the end is ignored.
    connect(this, &ArchiveProgressDlg::closeProperly, this, &ArchiveProgressDlg::closeProperlyHandler,
            Qt::QueuedConnection);
    ui->pbIdle->setProperty("IS_IDLE", false);
    applyDialogStyle(this);
}

ArchiveProgressDlg::~ArchiveProgressDlg()
{
    stopWorker();
    delete m_worker;
}

void ArchiveProgressDlg::stopWorker()
{
    if (!m_thread.isRunning())
        return;
    m_progress.canceled = true;
    // Wakes the worker if it waits for an answer; the questions still open
    // are closed before the worker ends, so that their answers come before
    // it clears them.
    if (m_worker)
        m_worker->forceTerminate();
    rejectOpenDialogs(this);
    m_thread.quit();
    if (!m_thread.wait(kStopWaitMs)) {
        // The worker still holds a pointer to the progress block: it must end
        // before the block goes.
        qWarning() << "the archive worker did not stop in time; waiting for it";
        m_thread.wait();
    }
    // An answer given as a question closed must not outlive its operation.
    UserActions::reset();
}

void ArchiveProgressDlg::setClock(Clock clock)
{
    m_clock = std::move(clock);
    m_lastTick = m_clock();
}

void ArchiveProgressDlg::doCompress(const CompressOptions& options)
{
    internalStartOperation(&options, nullptr);
}

void ArchiveProgressDlg::doExtract(const ExtractOptions& options)
{
    internalStartOperation(nullptr, &options);
}

bool ArchiveProgressDlg::failed() const
{
    return !m_worker || m_worker->failed();
}

bool ArchiveProgressDlg::sourcesLeftOut() const
{
    return m_worker && m_worker->sourcesLeftOut();
}

bool ArchiveProgressDlg::refusesToAddItsOwnFolder(const CompressOptions& options) const
{
    const QString archive = QFileInfo(options.archivePath).absoluteFilePath();
    for (const QString& file : options.files) {
        const QFileInfo info(file);
        if (info.isDir() && isDirectoryAncestorOfFile(info.absoluteFilePath(), archive))
            return true;
    }
    return false;
}

void ArchiveProgressDlg::internalStartOperation(const CompressOptions* compress, const ExtractOptions* extract)
{
    if (compress && refusesToAddItsOwnFolder(*compress)) {
        showWarning(this, tr("Error"), tr("Adding itself or its parent directory to the archive is not allowed."));
        return;
    }
    m_priority.noteStart();

    m_worker = new FileArchive(&m_progress);
    QString archivePath;
    if (compress) {
        m_compressOptions = *compress;
        m_worker->setCompressOptions(*compress);
        archivePath = compress->archivePath;
        setWindowTitle(tr("Compressing ") + QFileInfo(archivePath).fileName());
    } else {
        m_extractOptions = *extract;
        m_worker->setExtractOptions(*extract);
        archivePath = extract->archivePath;
        setWindowTitle(tr("Extracting ") + QFileInfo(archivePath).fileName());
    }
    ui->txtOperation2->setStyleSheet(QStringLiteral("* { background-color: rgba(0, 0, 0, 0); }"));
    if (extract)
        hideCompressionRows();

    m_worker->moveToThread(&m_thread);
    // The worker asks on this thread (the questions are emitted here) and
    // waits with a way out: cancel, or this dialog's end, wakes it.
    m_worker->setQuestionReceiver(this);
    connect(m_worker, &FileArchive::fileExists, this, &ArchiveProgressDlg::handleFileExists);
    connect(m_worker, &FileArchive::progressError, this, &ArchiveProgressDlg::progressErrorHandler);
    connect(m_worker, &FileArchive::getPassword, this, &ArchiveProgressDlg::getPassword);
    connect(m_worker, &FileArchive::cannotAccessFile, this, &ArchiveProgressDlg::handleFileAccessDenied);
    // Home to the GUI thread from the worker thread itself (the only one
    // allowed to move it), so that the dialog may read and delete it.
    QThread* guiThread = thread();
    FileArchive* worker = m_worker;
    connect(m_worker, &FileArchive::finished, m_worker, [worker, guiThread] { worker->moveToThread(guiThread); },
            Qt::DirectConnection);
    connect(m_worker, &FileArchive::finished, this, &ArchiveProgressDlg::finished, Qt::QueuedConnection);
    connect(&m_thread, &QThread::started, m_worker, &FileArchive::process);

    m_thread.start();
    m_progress.elapsedMs = 0;
    m_lastTick = m_clock();
    ui->pgProgress->setRange(0, 0);
    m_timer.start(kRefreshIntervalMs);
    refreshDialog();
    adjustSize();

    if (m_blocking)
        exec();
    else
        show();
}

void ArchiveProgressDlg::hideCompressionRows()
{
    const QList<QWidget*> hidden = {ui->lbProcessed,      ui->lbProcessedValue,    ui->lbCompressed,
                                    ui->lbCompressedValue, ui->lbCompressRate,      ui->lbCompressRateValue,
                                    ui->lbExpected,        ui->lbExpectedSize,      ui->lblOperation,
                                    ui->txtOperation2};
    for (QWidget* widget : hidden) {
        ui->glStatistics->removeWidget(widget);
        widget->hide();
    }
    // The speed takes the place of the processed size, next to the total.
    ui->glStatistics->removeWidget(ui->lbSpeed);
    ui->glStatistics->removeWidget(ui->lbSpeedValue);
    ui->glStatistics->addWidget(ui->lbSpeed, 1, 0);
    ui->glStatistics->addWidget(ui->lbSpeedValue, 1, 1);
}

QString ArchiveProgressDlg::getOperationString(E_ArchiveOperation operation) const
{
    switch (operation) {
    case AO_COMPRESSING:
        return tr("Compressing:");
    case AO_SCANNING:
    case AO_SCANNING_ARCHIVE:
        return tr("Scanning:");
    case AO_EXTRACTING:
        return tr("Extracting:");
    case AO_WAITING:
        return tr("Waiting for another operation on this archive...");
    default:
        return QString();
    }
}

void ArchiveProgressDlg::tick()
{
    const qint64 now = m_clock();
    const qint64 passed = now - m_lastTick;
    m_lastTick = now;
    if (m_finished || m_paused)
        return;
    m_progress.elapsedMs += static_cast<int>(passed);
}

void ArchiveProgressDlg::refreshDialog()
{
    const E_ArchiveOperation operation = m_progress.operation;
    ui->lblOperation->setText(getOperationString(operation));
    // Set only on a change: fitting the edit to its text relays the dialog.
    const QString file = correctPathToDisplay(m_progress.currentFile());
    if (file != m_shownFile) {
        m_shownFile = file;
        setTextEditText(ui->txtOperation2, file);
    }

    const bool counting = !m_finished && !m_paused;
    tick();
    if (counting) {
        // Neither scanning nor waiting for another update moves any data.
        if (operation == AO_SCANNING || operation == AO_WAITING)
            m_scanElapsedMs = m_progress.elapsedMs;
        showStatistics(operation);
    }
    showProgressBar();
}

void ArchiveProgressDlg::showStatistics(E_ArchiveOperation operation)
{
    const qint64 elapsedMs = m_progress.elapsedMs;
    ui->lbElapsedValue->setText(formatDuration(elapsedMs));
    if (operation == AO_SCANNING || operation == AO_WAITING) {
        for (QLabel* label : {ui->lbSpeedValue, ui->lbExpectedSize, ui->lbCompressRateValue, ui->lbCompressedValue,
                              ui->lbProcessedValue, ui->lbTotalValue, ui->lbRemainValue})
            label->setText(none());
        return;
    }

    const uint64_t total = m_progress.total;
    const uint64_t completed = m_progress.completed;
    const uint64_t compressed = m_progress.compressedSize;
    ui->lbTotalValue->setText(formatSize(total));
    ui->lbProcessedValue->setText(formatSize(completed));

    // Scanning is no transfer: its time would only lower the speed.
    const qint64 runningMs = elapsedMs - m_scanElapsedMs;
    const uint64_t speed = runningMs > 0 ? completed * 1000 / static_cast<uint64_t>(runningMs) : 0;
    ui->lbSpeedValue->setText(tr("%1/s").arg(formatSize(speed)));
    if (speed > 0 && completed <= total)
        ui->lbRemainValue->setText(formatDuration(static_cast<qint64>((total - completed) / speed) * 1000));
    else
        ui->lbRemainValue->setText(none());

    ui->lbCompressedValue->setText(formatSize(compressed));
    const double ratio = compressed > 0 && completed > 0 ? double(compressed) / double(completed) : 0.0;
    ui->lbCompressRateValue->setText(ratio > 0 ? QString::number(qRound(ratio * 100)) + QStringLiteral("%")
                                               : none());

    const uint64_t expected = m_progress.expectedSize;
    if (expected > 0)
        ui->lbExpectedSize->setText(formatSize(expected));
    else if (runningMs > kForecastAfterMs && ratio > 0)
        ui->lbExpectedSize->setText(formatSize(static_cast<uint64_t>(double(total) * ratio)));
    else
        ui->lbExpectedSize->setText(none());
}

void ArchiveProgressDlg::showProgressBar()
{
    const uint64_t total = m_progress.total;
    const uint64_t completed = m_progress.completed;
    // Busy until the operation knows how much there is to do.
    if (ui->pgProgress->maximum() == 0) {
        if (total == 0)
            return;
        ui->pgProgress->setRange(0, 100);
    }
    const uint64_t percent = total > 0 ? std::min<uint64_t>(completed * 100 / total, 100) : 0;
    ui->pgProgress->setValue(static_cast<int>(percent));
}

void ArchiveProgressDlg::finished()
{
    refreshDialog();
    m_finished = m_closeAllowed = true;
    m_timer.stop();
    m_thread.quit();
    m_thread.wait(kStopWaitMs);
    if (ui->cbDontClose->isChecked()) {
        ui->pbIdle->hide();
        ui->pbPause->hide();
        ui->pbCancel->setText(tr("Close"));
    } else {
        accept();
    }
    UserActions::reset();
}

void ArchiveProgressDlg::closeEvent(QCloseEvent* event)
{
    // Closed by the program (its window goes away): the operation is
    // cancelled without a question and the close returns once the worker
    // has stopped. Closed by the user: asked first, as Cancel is.
    if (!event->spontaneous() && m_worker && !m_finished) {
        stopWorker();
        m_closeAllowed = true;
    }
    QDialog::closeEvent(event);
}

void ArchiveProgressDlg::done(int result)
{
    if (m_worker && !m_closeAllowed) {
        emit closeProperly();
        return;
    }
    m_priority.restore();
    QDialog::done(result);
}

void ArchiveProgressDlg::on_pbCancel_pressed()
{
    // After the end the button reads "Close".
    if (m_closeAllowed) {
        accept();
        return;
    }
    emit closeProperly();
}

void ArchiveProgressDlg::closeProperlyHandler()
{
    if (m_finished || m_progress.canceled)
        return;
    if (askToAbortOperation(this, tr("Interrupt"), tr("Are you sure you want to abort the operation?"), tr("Yes"),
                            tr("No")) &&
        !m_finished) {
        m_progress.canceled = true;
        m_worker->forceTerminate();
    }
}

void ArchiveProgressDlg::on_pbPause_pressed()
{
    // The time up to a pause counts, the paused time does not.
    tick();
    m_paused = !m_paused;
    ui->pbPause->setText(m_paused ? tr("Resume") : tr("Pause"));
    m_progress.paused = m_paused;
}

void ArchiveProgressDlg::on_pbIdle_pressed()
{
    const bool low = !ui->pbIdle->property("IS_IDLE").toBool();
    if (low) {
        if (!m_priority.lower()) {
            qDebug() << "no thread of the operation could be lowered";
            return;
        }
    } else if (!m_priority.restore()) {
        ui->pbIdle->setEnabled(false);
        ui->pbIdle->setToolTip(tr("The system does not allow raising the priority again during this operation."));
        return;
    }
    ui->pbIdle->setProperty("IS_IDLE", low);
    ui->pbIdle->setText(low ? tr("Normal priority") : tr("Low priority"));
}

void ArchiveProgressDlg::progressErrorHandler(QString errorMessage)
{
    showWarning(this, tr("Error"), errorMessage);
}

void ArchiveProgressDlg::getPassword(QString& password, bool& doCancel)
{
    password.clear();
    GuardedDialog<PasswordDialog> dialog(new PasswordDialog(this));
    const int result = dialog.exec();
    doCancel = result != QDialog::Accepted;
    if (result != -1)
        password = dialog->getPassword();
}

void ArchiveProgressDlg::handleFileExists(QString filePath, QDateTime modifiedTime)
{
    GuardedDialog<ConflictDialog> dialog(new ConflictDialog(this));
    dialog->setDestinationExistsInfo(filePath, modifiedTime);
    dialog.exec();
}

void ArchiveProgressDlg::handleFileAccessDenied(QString filePath)
{
    GuardedDialog<ConflictDialog> dialog(new ConflictDialog(this));
    dialog->setAccessDeniedException(filePath, false, false);
    if (dialog.exec() != QDialog::Accepted)
        UserActions::select(UA_CANCEL, true);
}
