#include "engine/HeadlessOperation.h"

#include "app/globals.h"
#include "engine/filearchive.h"
#include "fileops/UserActions.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QThread>

namespace {

// The progress dialog's texts: the same words whether or not a window
// could have asked.
QString text(const char* source)
{
    return QCoreApplication::translate("ArchiveProgressDlg", source);
}

} // namespace

HeadlessOperation::HeadlessOperation() = default;

HeadlessOperation::~HeadlessOperation() = default;

void HeadlessOperation::compress(const CompressOptions& options)
{
    m_archivePath = options.archivePath;
    m_worker = std::make_unique<FileArchive>(&m_progress);
    m_worker->setCompressOptions(options);
    run();
}

void HeadlessOperation::extract(const ExtractOptions& options)
{
    m_archivePath = options.archivePath;
    m_worker = std::make_unique<FileArchive>(&m_progress);
    m_worker->setExtractOptions(options);
    run();
}

bool HeadlessOperation::failed() const
{
    return !m_worker || m_worker->failed();
}

bool HeadlessOperation::sourcesLeftOut() const
{
    return m_worker && m_worker->sourcesLeftOut();
}

void HeadlessOperation::run()
{
    FileArchive* worker = m_worker.get();
    QThread thread;
    QEventLoop loop;
    worker->moveToThread(&thread);
    worker->setQuestionReceiver(this);
    connect(worker, &FileArchive::fileExists, this, [](const QString& path) {
        UserActions::select(UA_CANCEL, true);
        printToStandardError(
            text(QT_TRANSLATE_NOOP("ArchiveProgressDlg",
                                   "quenvar: %1 already exists; without a display nobody can decide about it, so the "
                                   "operation stops"))
                .arg(path));
    });
    connect(worker, &FileArchive::cannotAccessFile, this, [](const QString& path) {
        UserActions::select(UA_CANCEL, true);
        printToStandardError(
            text(QT_TRANSLATE_NOOP("ArchiveProgressDlg", "quenvar: cannot access %1; the operation stops")).arg(path));
    });
    connect(worker, &FileArchive::getPassword, this, [this](QString& password, bool& cancel) {
        password.clear();
        cancel = true;
        printToStandardError(text(QT_TRANSLATE_NOOP("ArchiveProgressDlg",
                                                    "quenvar: %1 needs a password, which cannot be asked without a "
                                                    "display"))
                                 .arg(m_archivePath));
    });
    connect(worker, &FileArchive::progressError, this, [](const QString& message) {
        qDebug().noquote() << "Error:" << message;
        printToStandardError(QStringLiteral("quenvar: ") + message);
    });
    // Home to this thread from the worker thread itself (the only one allowed
    // to move it), so that it may be read and deleted here.
    QThread* home = QThread::currentThread();
    connect(worker, &FileArchive::finished, worker, [worker, home] { worker->moveToThread(home); },
            Qt::DirectConnection);
    connect(worker, &FileArchive::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    connect(&thread, &QThread::started, worker, &FileArchive::process);
    thread.start();
    loop.exec();
    thread.quit();
    thread.wait();
    // An answer given here must not outlive its operation.
    UserActions::reset();
}
