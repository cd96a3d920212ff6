#include "ui/DeleteProgressDialog.h"

#include "app/settings.h"
#include "engine/guiutils.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "ui/ConflictDialog.h"
#include "ui/ProgressFormParts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Up to this many failed paths are listed; more are only counted.
constexpr int kListedFailures = 9;

} // namespace

void DeleteProgress::setCurrentPath(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    m_currentPath = path;
}

QString DeleteProgress::currentPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_currentPath;
}

FileDeleter::FileDeleter(const QStringList& paths, bool toTrash, DeleteProgress* progress, QObject* parent)
    : QObject(parent)
    , m_paths(paths)
    , m_toTrash(toTrash)
    , m_progress(progress)
{
}

QStringList FileDeleter::failedPaths() const
{
    QStringList paths;
    for (const DeleteFailure& failure : failures())
        paths << failure.path;
    return paths;
}

QList<DeleteFailure> FileDeleter::failures() const
{
    QMutexLocker lock(&m_failedMutex);
    return m_failed;
}

void FileDeleter::addFailure(const QString& path, const QString& reason)
{
    QMutexLocker lock(&m_failedMutex);
    m_failed << DeleteFailure{path, reason};
}

bool FileDeleter::isCanceled() const
{
    return m_progress->cancel.load() || UserActions::isChosen(UA_CANCEL) || m_questions.isCanceled();
}

void FileDeleter::cancel()
{
    m_progress->cancel.store(true);
    m_questions.cancel();
}

void FileDeleter::finish()
{
    emit finished();
    QCoreApplication::processEvents();
}

void FileDeleter::deletePaths()
{
    if (m_paths.isEmpty() || UserActions::isChosen(UA_CANCEL)) {
        finish();
        return;
    }
    for (int index = 0; index < m_paths.size(); ++index) {
        const QString& path = m_paths.at(index);
        UserActions::resetAfterSingleAction();
        m_progress->setCurrentPath(path);
        if (m_progress->cancel.load())
            break;

        for (;;) {
            const bool elevatedAttempt = isElevationInForce();
            QString reason;
            if (deleteFileGeneric(path, m_toTrash, &reason)) {
                m_progress->handled.store(index + 1);
                break;
            }
            if (UserActions::isChosen(UA_SKIP)) {
                addFailure(path, reason);
                break;
            }
            // "As administrator for all" switches elevation on for the rest.
            // A failure that was already elevated goes back to the user
            // instead of being retried without end.
            if (UserActions::isChosenForAll(UA_AS_ADMIN)) {
                CSettings::setElevated(true);
                if (!elevatedAttempt)
                    continue;
            }
            // Nobody left to answer is a cancel.
            if (!m_questions.ask([this, path, reason] { emit cannotAccessFile(path, reason); }))
                m_progress->cancel.store(true);
            if (isCanceled()) {
                addFailure(path, reason);
                break;
            }
        }
        if (isCanceled())
            break;
    }
    finish();
}

DeleteProgressDialog::DeleteProgressDialog(const QStringList& paths, bool toTrash, QWidget* parent)
    : QDialog(parent)
    , m_paths(paths)
    , m_deleter(new FileDeleter(paths, toTrash, &m_progress))
{
    buildForm();
}

DeleteProgressDialog::~DeleteProgressDialog()
{
    stopWorker();
    delete m_deleter;
}

void DeleteProgressDialog::buildForm()
{
    setObjectName(QStringLiteral("DeleteProgressDialog"));
    setWindowTitle(tr("Deleting..."));
    m_lbFilesDeleted = new QLabel(tr("Deleted"), this);
    m_lbFilesDeleted->setObjectName(QStringLiteral("lbFilesDeleted"));
    auto* top = new QVBoxLayout;
    top->addWidget(m_lbFilesDeleted);
    m_form = ProgressFormParts::build(this, top, 460, tr("Do not close this window after the operation"), tr("Cancel"));
    m_form.pgProgress->setRange(0, 100);
    m_form.pgProgress->setValue(0);
    connect(m_form.pbCancel, &QPushButton::clicked, this, &DeleteProgressDialog::on_pbCancel_clicked);
}

void DeleteProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_started)
        start();
}

void DeleteProgressDialog::start()
{
    m_started = true;
    connect(&m_timer, &QTimer::timeout, this, &DeleteProgressDialog::refreshDialog);
    // Queued: the question must not open inside the press of a button, and a
    // close that arrives after the end is ignored.
    connect(this, &DeleteProgressDialog::closeProperly, this, &DeleteProgressDialog::closeProperlyHandler,
            Qt::QueuedConnection);
    connect(m_deleter, &FileDeleter::finished, this, &DeleteProgressDialog::finished, Qt::QueuedConnection);
    // Emitted on this thread while the deleter waits for the answer; the
    // wait ends with this dialog.
    m_deleter->setQuestionReceiver(this);
    connect(m_deleter, &FileDeleter::cannotAccessFile, this, &DeleteProgressDialog::handleFileAccessDenied,
            Qt::DirectConnection);
    m_deleter->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, m_deleter, &FileDeleter::deletePaths);
    m_thread.start();
    m_timer.start(kRefreshIntervalMs);
    refreshDialog();
}

void DeleteProgressDialog::stopWorker()
{
    const bool running = m_started && !m_finished && !m_stopped;
    m_stopped = true;
    m_timer.stop();
    // Wakes a deleter that waits for an answer no one will give now; the
    // question still open goes before the worker ends.
    m_deleter->cancel();
    if (running)
        rejectOpenDialogs(this);
    m_thread.quit();
    m_thread.wait();
    // An answer given as the question closed must not outlive the deletion.
    if (running)
        UserActions::reset();
}

QStringList DeleteProgressDialog::failedPaths() const
{
    return m_deleter->failedPaths();
}

QString DeleteProgressDialog::failureMessage(const QList<DeleteFailure>& failed)
{
    if (failed.isEmpty())
        return QString();
    const auto tr = [](const char* text) { return QCoreApplication::translate("MainWindow", text); };
    // Many failures are counted, and still the first of them say what and
    // why: a bare number tells the user nothing to act on.
    QString text = failed.size() > kListedFailures ? tr("Failed to delete %1 item(s)").arg(failed.size())
                                                    : tr("Failed to delete the following items:");
    text += QStringLiteral("\n\n");
    for (int i = 0; i < std::min<int>(failed.size(), kListedFailures); ++i) {
        const DeleteFailure& failure = failed.at(i);
        text += QStringLiteral("  ") + failure.path;
        if (!failure.reason.isEmpty())
            text += QStringLiteral(": ") + failure.reason;
        text += QLatin1Char('\n');
    }
    if (failed.size() > kListedFailures)
        text += QStringLiteral("  ") + tr("and %1 more").arg(failed.size() - kListedFailures) + QLatin1Char('\n');
    return text;
}

void DeleteProgressDialog::showFailures(QWidget* parent) const
{
    const QString text = failureMessage(m_deleter->failures());
    if (!text.isEmpty())
        showWarning(parent, QCoreApplication::translate("MainWindow", "Error"), text);
}

void DeleteProgressDialog::refreshDialog()
{
    const int total = m_paths.size();
    const int deleted = m_progress.handled.load();
    m_lbFilesDeleted->setText(tr("Deleting...") + QLatin1Char(' ') + QString::number(deleted) + QLatin1Char('/') +
                              QString::number(total));
    m_form.pgProgress->setValue(total > 0 ? deleted * 100 / total : 100);
    m_form.showCurrentFile(m_progress.currentPath());
}

void DeleteProgressDialog::handleFileAccessDenied(const QString& path, const QString& reason)
{
    GuardedDialog<ConflictDialog> dialog(new ConflictDialog(this));
    dialog->setAccessDeniedException(path, m_paths.size() == 1, true);
    dialog->setReplaceFileInfo(reason);
    const int result = dialog.exec();
    // Gone with this dialog, or closed as the deletion was stopped: no
    // answer is wanted any more.
    if (result < 0 || m_stopped)
        return;
    if (result != QDialog::Accepted)
        UserActions::select(UA_CANCEL, true);
}

void DeleteProgressDialog::finished()
{
    if (m_stopped)
        return;
    refreshDialog();
    m_finished = true;
    m_thread.quit();
    m_thread.wait(kStopWaitMs);
    m_timer.stop();
    if (m_form.cbDontClose->isChecked())
        m_form.pbCancel->setText(tr("Close"));
    else
        accept();
    UserActions::reset();
}

void DeleteProgressDialog::on_pbCancel_clicked()
{
    // After the end the button reads "Close".
    if (m_finished) {
        accept();
        return;
    }
    if (!m_progress.closing.load())
        emit closeProperly();
}

void DeleteProgressDialog::closeEvent(QCloseEvent* event)
{
    // Closed by the program (its window goes away): the deletion stops
    // without a question and the close returns once the worker has stopped.
    // Closed by the user: asked first, as Cancel is.
    if (!event->spontaneous() && m_started)
        stopWorker();
    QDialog::closeEvent(event);
}

void DeleteProgressDialog::reject()
{
    if (m_started && !m_finished && !m_stopped) {
        on_DeleteProgressDialog_rejected();
        return;
    }
    QDialog::reject();
}

void DeleteProgressDialog::on_DeleteProgressDialog_rejected()
{
    // Escape and the window's close box ask as the Cancel button does.
    on_pbCancel_clicked();
}

void DeleteProgressDialog::closeProperlyHandler()
{
    if (m_finished || m_progress.cancel.load())
        return;
    if (askToAbortOperation(this, tr("Interrupt"), tr("Are you sure you want to abort the operation?"), tr("Yes"),
                            tr("No")) &&
        !m_finished) {
        m_progress.closing.store(true);
        m_progress.cancel.store(true);
    }
}
