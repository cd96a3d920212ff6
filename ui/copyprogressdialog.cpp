#include "ui/copyprogressdialog.h"

#include "app/settings.h"
#include "engine/guiutils.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "ui/ConflictDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kProgressIntervalMs = 100;
// The statistics are redrawn when more than this has passed since the last
// time: a folder of small files reports thousands of times a second.
constexpr qint64 kStatisticsIntervalMs = 499;
// The name of the current file changes no more often than this.
constexpr qint64 kCurrentFileIntervalMs = 100;

// A path to compare with others: links resolved where it exists.
QString resolvedPath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

bool isSameOrBelow(const QString& folder, const QString& path)
{
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path == folder || path.startsWith(prefix);
}

// Counts what the copier makes a file request of: links are copied as links
// (no bytes), a link to a folder is a folder of its own.
void addEntry(int folder, const char* name, qint64& totalSize, int& count)
{
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (::fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode))
            return;
        ++count;
    } else if (!S_ISDIR(st.st_mode)) {
        totalSize += st.st_size;
        ++count;
    }
}

// Everything below the open folder fd, which is closed at the end. Plain
// system calls: a folder of many small files is counted before it is copied,
// and the count must cost little beside the copy.
void addFolder(int fd, qint64& totalSize, int& count, const std::atomic<bool>* cancel)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (cancel && cancel->load())
            break;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const int child =
            entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN
                ? ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW)
                : -1;
        if (child >= 0)
            addFolder(child, totalSize, count, cancel);
        else
            addEntry(::dirfd(dir), name, totalSize, count);
    }
    ::closedir(dir);
}

} // namespace

QString copyRefusal(const QStringList& sources, const QString& destination)
{
    const QString subsidiary =
        QCoreApplication::translate("MainWindow", "Source and its subsidiary folders cannot be destination folders.");
    const QString target = resolvedPath(destination);
    for (const QString& source : sources) {
        const QFileInfo info(source);
        // A link is copied as a link, never entered: only its own place counts.
        const bool folder = info.isDir() && !info.isSymLink();
        const QString path = folder ? resolvedPath(source) : QDir::cleanPath(info.absoluteFilePath());
        if (folder && isSameOrBelow(path, target))
            return subsidiary;
        if (resolvedPath(info.absolutePath()) == target) {
            return folder ? subsidiary
                          : QCoreApplication::translate("MainWindow", "Source and destination files are the same. %1")
                                .arg(source);
        }
    }
    return QString();
}

CopyProgressDialog::CopyProgressDialog(const QStringList& sources, const QString& destination, QWidget* parent,
                                       bool isMove)
    : QDialog(parent)
    , m_sources(sources)
    , m_destination(destination)
    , m_isMove(isMove)
    , m_copier(new QtFileCopier(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_clock.start();

    if (!QFileInfo::exists(m_destination) && m_destination.startsWith(QLatin1String("\\\\")))
        tryToConnectToNetworkDrive(m_destination);
    // A file as the destination would be overwritten or renamed by the
    // first source: only a folder takes sources in.
    if (!QFileInfo(m_destination).isDir())
        m_startError = QtFileCopier::PathToDestinationNotExists;
    buildForm();
    if (m_isMove)
        setWindowTitle(tr("Moving..."));
    init();
}

CopyProgressDialog::~CopyProgressDialog()
{
    // Deleted while it runs (with its window): the answers given for all
    // items belong to this copy only.
    if (!m_done && !m_canceled)
        UserActions::reset();
    m_scanCancel.store(true);
    if (m_scan) {
        m_scan->wait();
        delete m_scan;
    }
    // Stops and waits for the copier's worker while this dialog is whole.
    m_copier->disconnect(this);
    delete m_copier;
}

void CopyProgressDialog::buildForm()
{
    setObjectName(QStringLiteral("CopyProgressDialog"));
    setWindowTitle(tr("Copying..."));
    auto* grid = new QGridLayout;
    const auto pair = [&](const char* name, const QString& text, int row, int column) {
        auto* value = new QLabel(this);
        value->setObjectName(QLatin1String(name));
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("1023.99 MB/s ")));
        grid->addWidget(new QLabel(text, this), row, column);
        grid->addWidget(value, row, column + 1);
        return value;
    };
    m_lbPassedValue = pair("lbPassedValue", tr("Passed:"), 0, 0);
    m_lbLeftValue = pair("lbLeftValue", tr("Left:"), 1, 0);
    m_lbSpeedValue = pair("lbSpeedValue", tr("Speed:"), 2, 0);
    m_lbTotalValue = pair("lbTotalValue", tr("Total:"), 0, 2);
    m_lbNumberValue = pair("lbNumberValue", tr("Number:"), 1, 2);
    m_lbProcessedValue = pair("lbProcessedValue", tr("Processed:"), 2, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    m_form = ProgressFormParts::build(this, grid, 480, tr("Do not close this window after the operation"), tr("Cancel"));
}

void CopyProgressDialog::init()
{
    m_copier->setProgressInterval(kProgressIntervalMs);
    connect(m_copier, &QtFileCopier::done, this, &CopyProgressDialog::copyCompleted);
    connect(m_copier, &QtFileCopier::dataTransferProgress, this, &CopyProgressDialog::dataTransferProgress);
    connect(m_copier, &QtFileCopier::error, this, &CopyProgressDialog::error);
    connect(m_copier, &QtFileCopier::finished, this, &CopyProgressDialog::finished);
    connect(m_copier, &QtFileCopier::started, this, &CopyProgressDialog::fileCopyStarted);
    connect(m_form.pbCancel, &QPushButton::clicked, this, &CopyProgressDialog::on_pbCancel_clicked);
    connect(this, &QDialog::rejected, this, &CopyProgressDialog::on_CopyProgressDialog_rejected);
    m_form.pgProgress->setRange(0, 0);
}

void CopyProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    QTimer::singleShot(0, this, &CopyProgressDialog::transfer);
}

void CopyProgressDialog::getAllFiles(const QStringList& paths, qint64& totalSize, int& count,
                                     const std::atomic<bool>* cancel)
{
    for (const QString& path : paths) {
        if (cancel && cancel->load())
            return;
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0)
            addFolder(fd, totalSize, count, cancel);
        else
            addEntry(AT_FDCWD, name.constData(), totalSize, count);
    }
}

void CopyProgressDialog::transfer()
{
    if (m_startError != QtFileCopier::NoError) {
        showErrorMessageAndClose(m_startError);
        return;
    }
    const QString refusal = copyRefusal(m_sources, m_destination);
    if (!refusal.isEmpty()) {
        showWarning(this, tr("Error"), refusal);
        reject();
        return;
    }
    if (m_canceled)
        return;
    m_startTime = m_lastUpdateTime = m_clock.elapsed();
    // Counted on a thread of its own, so that Cancel stays alive in a large
    // tree. A copy starts at once: counting a folder of small files costs as
    // much as a tenth of copying it. A move waits, as it takes its sources
    // away from the count.
    const QStringList sources = m_sources;
    m_scan = QThread::create([this, sources] {
        qint64 size = 0;
        int count = 0;
        getAllFiles(sources, size, count, &m_scanCancel);
        QMetaObject::invokeMethod(
            this, [this, size, count] { scanned(size, count); }, Qt::QueuedConnection);
    });
    m_scan->start();
    if (!m_isMove)
        takeNextSource();
}

void CopyProgressDialog::scanned(qint64 totalSize, int count)
{
    if (m_canceled)
        return;
    m_scanned = true;
    m_totalSize = totalSize;
    m_totalCount = count;
    m_lbTotalValue->setText(formatDataSize(totalSize));
    m_lbNumberValue->setText(QString::number(m_finishedCount) + QLatin1Char('/') + QString::number(count));
    if (m_isMove)
        takeNextSource();
    else if (m_sourcesDone)
        allDone();
}

void CopyProgressDialog::takeNextSource()
{
    if (m_canceled)
        return;
    if (m_sources.isEmpty()) {
        // The end shows the whole statistics, which need the count.
        m_sourcesDone = true;
        if (m_scanned)
            allDone();
    } else
        transferItem(m_sources.takeFirst());
}

void CopyProgressDialog::transferItem(const QString& path)
{
    if (m_canceled)
        return;
    bool queued = false;
    if (QFileInfo(path).isDir()) {
        queued = !(m_isMove ? m_copier->moveDirectory(path, m_destination)
                            : m_copier->copyDirectory(path, m_destination))
                      .isEmpty();
    } else {
        queued = (m_isMove ? m_copier->move(path, m_destination) : m_copier->copy(path, m_destination)) >= 0;
    }
    // Nothing the copier took will report done: go on with the next source.
    if (!queued)
        QMetaObject::invokeMethod(
            this, [this] { copyCompleted(true); }, Qt::QueuedConnection);
}

void CopyProgressDialog::copyCompleted(bool error)
{
    Q_UNUSED(error)
    takeNextSource();
}

void CopyProgressDialog::allDone()
{
    m_done = true;
    const bool keepElevated = UserActions::isChosenForAll(UA_AS_ADMIN);
    showStatistics(m_clock.elapsed());
    // Nothing to count (empty folders only) is all done as well.
    if (m_totalSize == 0)
        m_form.pgProgress->setValue(100);
    UserActions::reset();
    CSettings::setElevated(keepElevated);
    if (m_form.cbDontClose->isChecked())
        m_form.pbCancel->setText(tr("Close"));
    else
        accept();
}

void CopyProgressDialog::fileCopyStarted(int id)
{
    m_currentFile = m_copier->sourceFilePath(id);
    m_currentFileShown = false;
    showCurrentFile(m_clock.elapsed());
}

void CopyProgressDialog::showCurrentFile(qint64 now)
{
    if (m_currentFileShown || (m_currentFileShownAt >= 0 && now - m_currentFileShownAt < kCurrentFileIntervalMs))
        return;
    m_currentFileShown = true;
    m_currentFileShownAt = now;
    m_form.showCurrentFile(m_currentFile);
}

void CopyProgressDialog::dataTransferProgress(int id, qint64 bytes)
{
    m_progressId = id;
    m_currentBytes = bytes;
    const qint64 now = m_clock.elapsed();
    if (now - m_lastUpdateTime > kStatisticsIntervalMs)
        showStatistics(now);
}

void CopyProgressDialog::showStatistics(qint64 now)
{
    // Until the sources are counted only the time and the speed are known.
    if (m_scanned && m_form.pgProgress->maximum() == 0)
        m_form.pgProgress->setRange(0, 100);
    const qint64 processed = m_finishedSize + m_currentBytes;
    const qint64 elapsed = now - m_startTime;
    if (elapsed > 0)
        m_lbSpeedValue->setText(formatDataSize(processed * 1000 / elapsed) + QStringLiteral("/s"));
    // The time left follows the speed of the last interval; while nothing
    // moves it stays as it was.
    const qint64 interval = now - m_lastUpdateTime;
    const qint64 recentSpeed = interval > 0 ? (processed - m_lastUpdateSize) * 1000 / interval : 0;
    if (recentSpeed > 0 && m_scanned)
        m_lbLeftValue->setText(formatDuration(std::max<qint64>(m_totalSize - processed, 0) / recentSpeed * 1000));
    m_lbProcessedValue->setText(formatDataSize(processed));
    if (m_totalSize > 0)
        m_form.pgProgress->setValue(static_cast<int>(std::min<qint64>(processed * 100 / m_totalSize, 100)));
    m_lbPassedValue->setText(formatDuration(elapsed));
    if (m_scanned)
        m_lbNumberValue->setText(QString::number(m_finishedCount) + QLatin1Char('/') +
                                 QString::number(m_totalCount));
    m_lastUpdateTime = now;
    m_lastUpdateSize = processed;
    showCurrentFile(now);
}

void CopyProgressDialog::finished(int id, bool error)
{
    if (m_copier->isDir(id))
        return;
    ++m_finishedCount;
    if (id == m_progressId) {
        // A failed or cancelled file leaves nothing behind.
        if (!error)
            m_finishedSize += m_currentBytes;
    } else if (!error) {
        // Moved with its folder by one rename: no bytes were reported.
        const QFileInfo done(m_copier->destinationFilePath(id));
        if (!done.isSymLink())
            m_finishedSize += done.size();
    }
    m_progressId = -1;
    m_currentBytes = 0;
}

void CopyProgressDialog::error(int id, QtFileCopier::Error error, bool stopped, const QString& reason)
{
    // A report that was on its way when the copy was cancelled.
    if (m_canceled)
        return;
    // Without stopped the request has ended already: the user's earlier
    // answers settled it.
    if (!stopped) {
        if (error == QtFileCopier::Canceled)
            m_lastCanceledId = id;
        return;
    }
    m_questionError = error;
    const bool skipAll = UserActions::isChosenForAll(UA_SKIP);
    switch (error) {
    case QtFileCopier::CannotOpenSourceFile:
    case QtFileCopier::CannotRemoveSource:
        if (skipAll)
            m_copier->skipAll();
        else
            askAccessDenied(m_copier->sourceFilePath(id), reason, id);
        break;
    case QtFileCopier::CannotOpenDestinationFile:
    case QtFileCopier::CannotRemoveDestinationFile:
    case QtFileCopier::CannotCreateDestinationDirectory:
        if (skipAll) {
            m_copier->skipAll();
        } else if (UserActions::isChosenForAll(UA_RENAME) && !m_renamedIds.contains(id)) {
            m_renamedIds.insert(id);
            m_copier->renameAll();
        } else {
            askAccessDenied(m_copier->destinationFilePath(id), reason, id);
        }
        break;
    case QtFileCopier::DestinationExists:
        if (skipAll) {
            m_copier->skipAll();
        } else if (UserActions::isChosenForAll(UA_RENAME)) {
            m_copier->renameAll();
        } else if (UserActions::isChosenForAll(UA_REPLACE)) {
            m_copier->overwriteAll();
        } else {
            GuardedDialog<ConflictDialog> dialog(new ConflictDialog(this));
            dialog->setDestinationExistsInfo(m_copier->destinationFilePath(id), m_copier->sourceFilePath(id));
            ask(dialog, id);
        }
        break;
    case QtFileCopier::Canceled:
        m_lastCanceledId = id;
        break;
    default:
        showErrorMessageAndClose(error, reason);
        break;
    }
}

void CopyProgressDialog::askAccessDenied(const QString& path, const QString& reason, int id)
{
    GuardedDialog<ConflictDialog> dialog(new ConflictDialog(this));
    dialog->setAccessDeniedException(path, m_totalCount <= 1, false);
    dialog->setReplaceFileInfo(reason);
    ask(dialog, id);
}

void CopyProgressDialog::ask(GuardedDialog<ConflictDialog>& dialog, int id)
{
    // The answer to an earlier question must not pass for this one.
    UserActions::resetAfterSingleAction();
    // Gone with this dialog, whose copier went with it, or closed as the copy
    // was cancelled: nothing to answer.
    if (dialog.exec() < 0 || m_canceled)
        return;
    processUserChoise(dialog.operator->(), id);
}

void CopyProgressDialog::processUserChoise(ConflictDialog* dialog, int id)
{
    Q_UNUSED(dialog)
    if (UserActions::isChosen(UA_CANCEL)) {
        reject();
        return;
    }
    if (UserActions::isChosen(UA_SKIP)) {
        if (UserActions::isChosenForAll(UA_SKIP)) {
            m_copier->skipAll();
        } else {
            const QString source = m_copier->sourceFilePath(id);
            m_copier->skip();
            // Only a file whose name is taken at the destination: a source
            // skipped because it could not be written there, or a folder,
            // would be lost.
            if (m_isMove && m_questionError == QtFileCopier::DestinationExists &&
                CSettings::getBoolValue(QStringLiteral("RemoveSourceFiles")) && !QFileInfo(source).isDir())
                deleteFileGeneric(source, false);
        }
        UserActions::resetSkip();
        return;
    }
    if (UserActions::isChosen(UA_AS_ADMIN))
        CSettings::setElevated(true);
    if (UserActions::isChosen(UA_REPLACE))
        UserActions::isChosenForAll(UA_REPLACE) ? m_copier->overwriteAll() : m_copier->overwrite();
    else if (UserActions::isChosen(UA_RENAME))
        UserActions::isChosenForAll(UA_RENAME) ? m_copier->renameAll() : m_copier->rename();
    else
        m_copier->retry();
}

void CopyProgressDialog::showErrorMessageAndClose(QtFileCopier::Error error, const QString& reason)
{
    const QString text = m_isMove ? tr("An error occurred while moving. %1") : tr("An error occurred while copying. %1");
    // The warning may outlive this dialog (closed with its window).
    QPointer<CopyProgressDialog> self(this);
    showWarning(this, tr("Error"), text.arg(QtFileCopier::errorMessage(error, reason)));
    if (self && !m_canceled)
        reject();
}

void CopyProgressDialog::on_pbCancel_clicked()
{
    // After the end the button reads "Close".
    if (m_done)
        accept();
    else
        reject();
}

void CopyProgressDialog::on_CopyProgressDialog_rejected()
{
    if (m_canceled || m_done)
        return;
    m_canceled = true;
    m_scanCancel.store(true);
    m_copier->cancelAll();
    rejectOpenDialogs(this);
    // A cancelled copy leaves no answer behind for the next operation: a
    // Cancel still recorded would stop the next deletion before it starts.
    UserActions::reset();
}
