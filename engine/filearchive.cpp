#include "engine/filearchive.h"

#include "app/globals.h"
#include "app/settings.h"
#include "engine/ArchiveOpenCallback.h"
#include "engine/EngineErrors.h"
#include "engine/OperationWindows.h"
#include "engine/ExtractCallback.h"
#include "engine/streams.h"
#include "engine/zipapi.h"
#include "fileops/FileUtils.h"
#include "fileops/PasswordCache.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <vector>

namespace {

bool onGuiThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Writes the single item of a gzip, bzip2 or xz stream to one file, with no
// questions: the file is a private intermediate of the operation.
class SingleStreamExtractCallback : public IArchiveExtractCallback, public ICompressProgressInfo, public CMyUnknownImp
{
public:
    SingleStreamExtractCallback(IFileArchiveCallbacksHandler* operation, QString outputPath)
        : m_operation(operation)
        , m_outputPath(std::move(outputPath))
    {
    }

    HRESULT QueryInterface(REFIID iid, void** outObject) override
    {
        return answerQueryInterface(iid, outObject,
                                    {{IID_IUnknown, static_cast<IArchiveExtractCallback*>(this)},
                                     {IID_IArchiveExtractCallback, static_cast<IArchiveExtractCallback*>(this)},
                                     {IID_ICompressProgressInfo, static_cast<ICompressProgressInfo*>(this)}});
    }
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT SetTotal(UInt64 total) override { return m_operation->SetTotal(total); }
    HRESULT SetCompleted(const UInt64* completed) override { return m_operation->SetCompleted(completed); }
    HRESULT SetRatioInfo(const UInt64* inSize, const UInt64* /*outSize*/) override
    {
        return m_operation->SetRatioInfo(inSize);
    }
    HRESULT GetStream(UInt32 index, ISequentialOutStream** outStream, Int32 askExtractMode) override
    {
        *outStream = nullptr;
        if (m_operation->isCanceled())
            return S_FALSE;
        if (askExtractMode != kExtractModeExtract || index != 0)
            return S_OK;
        CMyComPtr<OutStream> stream(new OutStream(m_operation, m_outputPath, false, -1));
        if (!stream->canBeOpened())
            return E_FAIL;
        // The engine may write nothing for an empty stream.
        createFile(m_outputPath);
        *outStream = static_cast<IOutStream*>(stream.Detach());
        return S_OK;
    }
    HRESULT PrepareOperation(Int32 /*askExtractMode*/) override { return S_OK; }
    HRESULT SetOperationResult(Int32 result) override
    {
        m_itemResult = result;
        return S_OK;
    }

    static constexpr Int32 kNoResult = -1;
    Int32 itemResult() const { return m_itemResult; }

private:
    IFileArchiveCallbacksHandler* m_operation;
    QString m_outputPath;
    Int32 m_itemResult = kNoResult;
};

} // namespace

bool isQvExtension(const QString& path)
{
    return path.endsWith(QLatin1String(".qv")) || path.endsWith(QLatin1String(".qv.001"));
}

FileArchive::FileArchive(ArchiveProgress* progress)
    : m_progress(progress)
{
}

FileArchive::~FileArchive() = default;

void FileArchive::setExtractOptions(const ExtractOptions& options)
{
    m_extractOptions = options;
    m_compressOptions = CompressOptions();
}

void FileArchive::setCompressOptions(const CompressOptions& options)
{
    m_compressOptions = options;
    m_extractOptions = ExtractOptions();
    // A default extract request reads the settings; its archive path is what
    // process() looks at, and that is empty.
}

bool FileArchive::failed() const
{
    return m_result != 0 || m_passwordCanceled || !m_leftOutSources.isEmpty();
}

// Starts at once: a question or message is a call queued to the receiver's
// thread, run only once that thread waits in its event loop, which the
// progress dialog enters after it is shown.
void FileArchive::process()
{
    if (!m_extractOptions.archivePath.isEmpty())
        extractArchive(m_extractOptions);
    else if (!m_compressOptions.archivePath.isEmpty())
        updateArchive(m_compressOptions);
    emit finished();
    QCoreApplication::processEvents();
}

ArchiveItemInfo FileArchive::archiveItemInfo(int itemIndex) const
{
    if (itemIndex < 0 || itemIndex >= m_items.size())
        return ArchiveItemInfo();
    return m_items.at(itemIndex);
}

void FileArchive::clearArchiveItems()
{
    m_items.clear();
    m_listedArchive.clear();
}

void FileArchive::getDirectoryAndFile(const QString& path, QString& directory, QString& file) const
{
    for (const ArchiveItemInfo& item : m_items) {
        if (item.name.compare(path, Qt::CaseInsensitive) != 0)
            continue;
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        if (!item.isDir && slash > 0) {
            directory = path.left(slash);
            file = path.mid(slash + 1);
        }
        return;
    }
}

// --- Opening and listing ----------------------------------------------------

bool FileArchive::openArchive(const QString& path)
{
    if (!m_listedArchive.isEmpty() && path == m_listedArchive)
        return true;
    m_listedArchive.clear();
    m_password.clear();
    m_passwordCanceled = false;
    m_passwordRefused = false;
    m_result = 0;
    const bool opened = isQvExtension(path) ? openArchive_qv(path) : openArchive_7z(path);
    if (!opened) {
        if (m_result == 0)
            m_result = E_FAIL;
        return false;
    }
    m_archiveFileName = path;
    m_listedArchive = path;
    if (!m_password.isEmpty())
        setPasswordInTheCache(path, m_password);
    return true;
}

bool FileArchive::openArchive_7z(const QString& path)
{
    CMyComPtr<IInArchive> archive = openArchiveAskingAgain(path);
    if (!archive)
        return false;
    archive->Close();
    return true;
}

CMyComPtr<IInArchive> FileArchive::openArchiveAskingAgain(const QString& path)
{
    for (;;) {
        CMyComPtr<IInArchive> archive = openArchive_Internal(path);
        // A refused password was forgotten: the next attempt asks anew.
        if (archive || !m_wrongPassword)
            return archive;
    }
}

CMyComPtr<IInArchive> FileArchive::openArchive_Internal(const QString& path)
{
    m_wrongPassword = false;
    m_passwordAsked = false;
    m_items.clear();
    m_archiveFileName = path;

    // The system's reason first: a missing archive is no unknown format. A
    // file only the elevated server can read is left to the stream.
    const QString unreadable = unreadableFileReason(path);
    const bool regular = QFileInfo(path).isFile();
    const bool elevated = CSettings::isElevated() || isElevatedFile(path);
    if (!unreadable.isEmpty() && (!elevated || !regular)) {
        ReportError(LS_CANNOT_OPEN_FILE_BECAUSE, {reportedArchiveName(path), unreadable});
        return CMyComPtr<IInArchive>();
    }
    // A pipe or a device is no archive, and reading it could wait for ever.
    bool known = regular && detectArchiveFormat(path, &m_formatInfo);
    // The first volume of a set without a signature (tar) is known by the
    // name in front of ".001".
    if (!known && regular && path.endsWith(QLatin1String(".001"), Qt::CaseInsensitive))
        known = detectArchiveFormat(path.left(path.size() - 4), &m_formatInfo);
    if (!known) {
        ReportError(LS_CANNOT_OPEN_ARCHIVE_BECAUSE, {reportedArchiveName(path), archiveErrorText(kArchiveErrorIsNotArc)});
        return CMyComPtr<IInArchive>();
    }

    const bool volumes = path.endsWith(QLatin1String(".001"), Qt::CaseInsensitive);
    CMyComPtr<InStream> stream(new InStream(this, path, volumes));
    if (!stream->canBeOpened()) {
        ReportError(LS_CANNOT_OPEN_FILE, {reportedArchiveName(path)});
        return CMyComPtr<IInArchive>();
    }
    CMyComPtr<CArchiveOpenCallback> callback(new CArchiveOpenCallback(this, path));

    CMyComPtr<IInArchive> archive;
    if (!InitGetProc() || GetIInArchive(m_formatInfo.clsid, &archive) != 0) {
        ReportError(LS_CANNOT_CREATE_ARCHIVING_OBJECT, {});
        return CMyComPtr<IInArchive>();
    }

    const UInt64 maxCheckStartPosition = 1 << 23;
    const HRESULT result = archive->Open(static_cast<IInStream*>(stream.get()), &maxCheckStartPosition,
                                         static_cast<IArchiveOpenCallback*>(callback.get()));
    if (result == S_OK) {
        getAllArchiveItems_7zip(archive);
        return archive;
    }
    // The handler still knows why it refused (a truncated archive is no
    // "unknown format").
    const UInt32 errorFlags = archiveErrorFlags(archive);
    archive->Close();
    if (m_passwordCanceled || isCanceled())
        return CMyComPtr<IInArchive>();
    // Only a password the engine asked for can have been wrong; a damaged
    // archive opened with a password at hand must not ask for ever.
    if (!m_password.isEmpty() && m_passwordAsked) {
        setWrongPassword(true);
        return CMyComPtr<IInArchive>();
    }
    QString reason = archiveErrorText(errorFlags);
    if (reason.isEmpty())
        reason = result == S_FALSE ? archiveErrorText(kArchiveErrorIsNotArc) : engineResultText(result);
    ReportError(LS_CANNOT_OPEN_ARCHIVE_BECAUSE, {reportedArchiveName(path), reason});
    return CMyComPtr<IInArchive>();
}

void FileArchive::getAllArchiveItems_7zip(const CMyComPtr<IInArchive>& inArchive)
{
    UInt32 count = 0;
    inArchive->GetNumberOfItems(&count);
    m_items.reserve(static_cast<int>(count));
    const bool yield = onGuiThread();
    for (UInt32 i = 0; i < count; ++i) {
        QString name;
        {
            CPropVariant path;
            inArchive->GetProperty(i, kpidPath, &path);
            if (path.vt == VT_BSTR)
                name = fromEngineString(path.bstrVal);
            else if (m_formatInfo.singleFile && count == 1)
                name = fileNameForArchive(QFileInfo(m_archiveFileName).fileName());
        }
        if (!name.isEmpty()) {
            ArchiveItemInfo item;
            item.name = name;
            item.index = i;
            CPropVariant isDir;
            inArchive->GetProperty(i, kpidIsDir, &isDir);
            item.isDir = isDir.vt == VT_BOOL && isDir.boolVal == VARIANT_TRUE;
            item.modified = getItemModificationDate(inArchive, i);
            CPropVariant size;
            inArchive->GetProperty(i, kpidSize, &size);
            item.size = size.vt == VT_UI8 ? size.uhVal : 0;
            // Hidden is a property of the entry's own name, wherever it lies.
            // A hostile name may end with "/", leaving nothing after it.
            const int slash = name.lastIndexOf(QLatin1Char('/'));
            item.isHidden = name.midRef(slash + 1).startsWith(QLatin1Char('.'));
            m_items.append(item);
        }
        if (yield && i % 10000 == 0)
            QCoreApplication::processEvents();
    }
}

QDateTime FileArchive::getItemModificationDate(const CMyComPtr<IInArchive>& inArchive, unsigned int index) const
{
    CPropVariant time;
    inArchive->GetProperty(index, kpidMTime, &time);
    if (time.vt != VT_FILETIME)
        return QDateTime();
    return FileTimeToQDateTime(ticksFromFileTime(time.filetime));
}

// --- Extraction -------------------------------------------------------------

void FileArchive::extractArchive(ExtractOptions options)
{
    m_password = options.password;
    m_passwordCanceled = false;
    m_passwordRefused = false;
    m_result = 0;
    m_leftOutSources.clear();
    m_extractedFiles.clear();
    m_entryProblems.clear();
    m_ioFailures->clear();
    m_updatedArchive.clear();
    m_reportedArchive = options.archivePath;
    // The overwrite mode is the answer for every conflict, whether or not a
    // dialog preset it.
    if (options.overwriteMode > EOM_ASK && options.overwriteMode <= EOM_RENAME_EXISTING)
        UserActions::select(static_cast<E_UserAction>(options.overwriteMode), true);

    for (;;) {
        m_wrongPassword = false;
        m_result = 0;
        if (isQvExtension(options.archivePath))
            extractArchive_custom(options);
        else if (isCompressedTarName(options.archivePath))
            extract_Xz_Bzip2_GZip(options);
        else
            extractArchive_7zip(options, true);
        if (!m_wrongPassword)
            break;
    }
    if (m_result == 0 && !m_password.isEmpty() && !isQvExtension(options.archivePath))
        setPasswordInTheCache(options.archivePath, m_password);
    removeFilesWithLostData();
    reportIoFailures();
    reportEntryProblems();
    m_reportedArchive.clear();
    UserActions::reset();
}

bool FileArchive::extractArchive_7zip(ExtractOptions& options, bool /*unused*/)
{
    CMyComPtr<IInArchive> archive = openArchive_Internal(options.archivePath);
    if (!archive) {
        m_result = E_FAIL;
        return false;
    }
    CMyComPtr<ExtractCallback> callback(new ExtractCallback);
    callback->Init(archive, options, m_items, this);
    // A compressed file without a stored time is as old as the file that
    // holds it, as gunzip and the engine's own tool make it.
    if (m_formatInfo.singleFile) {
        uint64_t archiveTime = 0;
        getFileTimes(options.archivePath, nullptr, nullptr, &archiveTime);
        callback->setDefaultModificationTime(archiveTime);
    }
    if (options.extractFlag)
        SetUseLargePages();

    if (options.itemIndexes.isEmpty()) {
        m_result = archive->Extract(nullptr, 0xFFFFFFFFu, 0, static_cast<IArchiveExtractCallback*>(callback.get()));
    } else {
        std::vector<UInt32> indexes;
        indexes.reserve(static_cast<size_t>(options.itemIndexes.size()));
        for (int index : options.itemIndexes) {
            if (index >= 0)
                indexes.push_back(static_cast<UInt32>(index));
        }
        std::sort(indexes.begin(), indexes.end());
        indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
        m_result = archive->Extract(indexes.data(), static_cast<UInt32>(indexes.size()), 0,
                                    static_cast<IArchiveExtractCallback*>(callback.get()));
    }
    // Damage the handler met outside any entry (a broken header, an archive
    // cut short), found while opening or while extracting.
    const UInt32 errorFlags = archiveErrorFlags(archive);
    callback->finish();
    archive->Close();
    archive.Release();
    StreamBase::waitForFlushFinished();

    const bool stopped = m_wrongPassword || m_passwordCanceled || isCanceled() || UserActions::isChosen(UA_CANCEL);
    // A file that could not be read or written is no damage of the archive:
    // the failure names it with its reason.
    const bool unexplained = m_result != 0 && m_entryProblems.isEmpty() && m_ioFailures->isEmpty();
    if (!stopped && (errorFlags != 0 || unexplained)) {
        ReportError(LS_DAMAGED_ARCHIVE, {reportedArchiveName(options.archivePath),
                                         errorFlags ? archiveErrorText(errorFlags) : engineResultText(m_result)});
        if (m_result == 0)
            m_result = E_FAIL;
    }
    if (m_result == 0 && callback->hadFailures())
        m_result = E_FAIL;
    return m_result == 0;
}

bool FileArchive::decompressSingleStream(const QString& archivePath, const QString& outputPath)
{
    CMyComPtr<IInArchive> archive = openArchive_Internal(archivePath);
    if (!archive)
        return false;
    if (!m_formatInfo.singleFile) {
        archive->Close();
        ReportError(LS_CANNOT_OPEN_ARCHIVE_BECAUSE,
                    {reportedArchiveName(archivePath),
                     QCoreApplication::translate("filearchive", "it is no gzip, bzip2 or xz file")});
        return false;
    }
    CMyComPtr<SingleStreamExtractCallback> callback(new SingleStreamExtractCallback(this, outputPath));
    const UInt32 first = 0;
    m_result = archive->Extract(&first, 1, 0, static_cast<IArchiveExtractCallback*>(callback.get()));
    const UInt32 errorFlags = archiveErrorFlags(archive);
    archive->Close();
    archive.Release();
    StreamBase::waitForFlushFinished();
    if (!m_ioFailures->isEmpty() || isCanceled()) {
        if (m_result == 0)
            m_result = E_FAIL;
        return false;
    }
    QString reason = archiveErrorText(errorFlags);
    const Int32 itemResult = callback->itemResult();
    if (reason.isEmpty() && itemResult != kOpResultOK && itemResult != SingleStreamExtractCallback::kNoResult)
        reason = operationResultText(itemResult);
    if (reason.isEmpty() && m_result != 0)
        reason = engineResultText(m_result);
    if (!reason.isEmpty()) {
        ReportError(LS_DAMAGED_ARCHIVE, {reportedArchiveName(archivePath), reason});
        if (m_result == 0)
            m_result = E_FAIL;
    }
    return m_result == 0;
}

bool FileArchive::extract_Xz_Bzip2_GZip(ExtractOptions options)
{
    SetTotal(static_cast<unsigned long long>(getArchiveSize(options)));

    // The inner tar goes to a folder of its own under a new name, so that no
    // file of the user's is ever overwritten or removed for it; the folder
    // goes when this returns, whatever happened.
    const QString target = QFileInfo(options.targetDirectory).absoluteFilePath();
    QDir().mkpath(target);
    QTemporaryDir work(target + QStringLiteral("/.quenvar-XXXXXX"));
    if (!work.isValid()) {
        ReportError(LS_CANNOT_CREATE_FOLDER, {target});
        m_result = E_FAIL;
        return false;
    }
    const QString innerTar = work.path() + QStringLiteral("/inner.tar");
    if (!decompressSingleStream(options.archivePath, innerTar)) {
        if (m_result == 0)
            m_result = E_FAIL;
        return false;
    }
    ExtractOptions inner = options;
    inner.archivePath = innerTar;
    inner.targetDirectory = target;
    return extractArchive_7zip(inner, true);
}

qint64 FileArchive::getArchiveSize(const ExtractOptions& options)
{
    const QString& path = options.archivePath;
    if (!path.endsWith(QLatin1String(".001"), Qt::CaseInsensitive))
        return QFileInfo(path).size();
    const QString base = path.left(path.size() - 4);
    qint64 total = 0;
    for (int number = 1; number <= 998; ++number) {
        const QFileInfo volume(StreamBase::volumeName(base, number));
        if (!volume.exists())
            break;
        total += volume.size();
    }
    return total;
}

void FileArchive::noteEntryProblem(LangStringID reason, const QString& entryName)
{
    m_entryProblems[reason].append(entryName);
}

bool FileArchive::reportIoFailures()
{
    const QList<IoFailure> failures = m_ioFailures->takeAll();
    if (failures.isEmpty())
        return false;
    // The first few say what happened; a full disk fails every file after.
    const int shown = 3;
    for (int i = 0; i < failures.size() && i < shown; ++i) {
        const IoFailure& failure = failures.at(i);
        LangStringID id = LS_CANNOT_WRITE_FILE_BECAUSE;
        if (failure.kind == IoFailure::Open)
            id = LS_CANNOT_OPEN_FILE_BECAUSE;
        else if (failure.kind == IoFailure::Read)
            id = LS_CANNOT_READ_FILE_BECAUSE;
        ReportError(id, {failure.path, failure.reason});
    }
    if (m_result == 0)
        m_result = E_FAIL;
    return true;
}

void FileArchive::removeFilesWithLostData()
{
    for (const IoFailure& failure : m_ioFailures->failures()) {
        if (failure.kind == IoFailure::Close && m_extractedFiles.contains(failure.path)) {
            deleteFileGeneric(failure.path, false);
            m_extractedFiles.remove(failure.path);
        }
    }
}

void FileArchive::reportEntryProblems()
{
    for (auto it = m_entryProblems.cbegin(); it != m_entryProblems.cend(); ++it) {
        const QStringList& names = it.value();
        const int shown = 20;
        QString list = QStringList(names.mid(0, shown)).join(QLatin1Char('\n'));
        if (names.size() > shown)
            list += QStringLiteral("\n…");
        ReportError(it.key(), {m_reportedArchive, list});
    }
    if (!m_entryProblems.isEmpty() && m_result == 0)
        m_result = E_FAIL;
}

// --- Passwords ----------------------------------------------------------------

void FileArchive::setWrongPassword(bool wrong)
{
    if (wrong) {
        m_password.clear();
        m_passwordRefused = true;
    }
    m_wrongPassword = wrong;
}

void FileArchive::getPass(QString& password, bool& canceled, bool useCache)
{
    canceled = false;
    password = useCache && !m_passwordRefused ? getPasswordFromCache(m_archiveFileName) : QString();
    if (password.isEmpty()) {
        if (onGuiThread()) {
            // A program without windows has no one to ask on this thread.
            const OperationWindows* windows = operationWindows();
            canceled = !windows || !windows->askPassword(password);
        } else {
            // Answered into shared state: a cancelled wait leaves the
            // question open for a while.
            struct Answer
            {
                QString password;
                bool canceled = true;
            };
            auto answer = std::make_shared<Answer>();
            if (ask([this, answer] { emit getPassword(answer->password, answer->canceled); })) {
                password = answer->password;
                canceled = answer->canceled;
            } else {
                password.clear();
                canceled = true;
            }
        }
        // Nobody answered (no driver is connected): asking again would loop.
        if (password.isEmpty())
            canceled = true;
    }
    m_password = password;
}

HRESULT FileArchive::CryptoGetTextPassword(wchar_t** password)
{
    m_passwordAsked = true;
    if (m_passwordCanceled)
        return S_FALSE;
    if (m_password.isEmpty()) {
        bool canceled = false;
        getPass(m_password, canceled);
        if (canceled) {
            m_password.clear();
            m_passwordCanceled = true;
            return S_FALSE;
        }
    }
    *password = allocEngineString(m_password);
    return *password ? S_OK : E_OUTOFMEMORY;
}

HRESULT FileArchive::CryptoGetTextPassword2(int* passwordIsDefined, wchar_t** password)
{
    if (m_password.isEmpty()) {
        *passwordIsDefined = 0;
        return S_OK;
    }
    *passwordIsDefined = 1;
    *password = allocEngineString(m_password);
    return *password ? S_OK : E_OUTOFMEMORY;
}

// --- Progress and control ---------------------------------------------------

HRESULT FileArchive::SetTotal(unsigned long long total)
{
    if (!m_progress)
        return S_OK;
    m_progress->operation = AO_COMPRESSING;
    m_progress->total = total;
    if (m_progress->canceled)
        return E_FAIL;
    return pauseIfNeeded() ? S_OK : E_FAIL;
}

HRESULT FileArchive::SetCompleted(const unsigned long long* completed)
{
    if (!m_progress)
        return S_OK;
    m_progress->operation = AO_COMPRESSING;
    if (completed)
        m_progress->completed = *completed;
    if (m_progress->canceled)
        return E_FAIL;
    return pauseIfNeeded() ? S_OK : E_FAIL;
}

HRESULT FileArchive::SetRatioInfo(const unsigned long long* inSize)
{
    if (!m_progress)
        return S_OK;
    m_progress->operation = AO_COMPRESSING;
    if (inSize)
        m_progress->compressedSize = *inSize;
    if (m_progress->canceled)
        return E_ABORT;
    return pauseIfNeeded() ? S_OK : E_FAIL;
}

bool FileArchive::pauseIfNeeded()
{
    if (!m_progress)
        return !m_terminated;
    // The engine also reports from threads of its own; only this object's
    // thread has events to keep moving.
    const bool ownThread = QThread::currentThread() == thread();
    while (m_progress->paused) {
        if (ownThread)
            QCoreApplication::processEvents();
        qSleep(10);
        if (m_progress->canceled)
            return false;
    }
    return !m_terminated;
}

bool FileArchive::isCanceled()
{
    return m_terminated || (m_progress && m_progress->canceled);
}

void FileArchive::progressHandler(E_ArchiveOperation operation, CProgressInfo* info, bool* cancel)
{
    bool doPause = false;
    emit progress(operation, info, cancel, &doPause);
    while (doPause) {
        qSleep(300);
        doPause = false;
        emit progress(operation, info, cancel, &doPause);
    }
}

// --- Messages and questions -------------------------------------------------

void FileArchive::ReportError(LangStringID id, QStringList args)
{
    QString message = getErrorString(id);
    // All at once, so that a "%1" inside a file name is not filled in turn.
    if (args.size() == 1)
        message = message.arg(args.at(0));
    else if (args.size() == 2)
        message = message.arg(args.at(0), args.at(1));
    else if (args.size() == 3)
        message = message.arg(args.at(0), args.at(1), args.at(2));
    qDebug().noquote() << "Archive operation:" << message;
    // No dialog in silent mode, but a script still learns why it failed.
    if (CSettings::isSilent()) {
        printToStandardError(QStringLiteral("quenvar: ") + message);
        return;
    }
    // A message nobody can see any more is no reason to stop.
    if (!m_questions.ask([this, message] { emit progressError(message); }))
        printToStandardError(QStringLiteral("quenvar: ") + message);
}

void FileArchive::forceTerminate()
{
    m_terminated = true;
    m_questions.cancel();
}

bool FileArchive::ask(const std::function<void()>& question)
{
    if (m_questions.ask(question))
        return true;
    m_terminated = true;
    return false;
}

void FileArchive::accessHandler(QString path)
{
    ask([this, path] { emit cannotAccessFile(path); });
}

void FileArchive::clearSingleAnswers()
{
    UserActions::resetAfterSingleAction();
    for (E_UserAction action : {UA_RETRY, UA_CANCEL}) {
        if (!UserActions::isChosenForAll(action))
            UserActions::setAction(action, false, false);
    }
}

bool FileArchive::handleFileExists(const QString& path, const QDateTime& modified)
{
    clearSingleAnswers();
    return ask([this, path, modified] { emit fileExists(path, modified); });
}

E_UserAction FileArchive::resolveAccessProblem(const QString& path, bool& autoElevated)
{
    if (isCanceled())
        return UA_CANCEL;
    if (UserActions::isChosenForAll(UA_SKIP))
        return UA_SKIP;
    if (UserActions::isChosenForAll(UA_AS_ADMIN) && !autoElevated) {
        autoElevated = true;
        CSettings::setElevated(true);
        return UA_RETRY;
    }
    clearSingleAnswers();
    accessHandler(path);
    if (isCanceled() || UserActions::isChosen(UA_CANCEL))
        return UA_CANCEL;
    if (UserActions::isChosen(UA_SKIP))
        return UA_SKIP;
    if (UserActions::isChosen(UA_AS_ADMIN)) {
        CSettings::setElevated(true);
        return UA_RETRY;
    }
    if (UserActions::isChosen(UA_RETRY))
        return UA_RETRY;
    return UA_CANCEL;
}

bool FileArchive::renameFile(const QString& from, const QString& to)
{
    bool autoElevated = false;
    for (;;) {
        if (renameFileGeneric(from, to))
            return true;
        if (resolveAccessProblem(to, autoElevated) != UA_RETRY)
            return false;
    }
}
