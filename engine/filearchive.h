#pragma once

#include "app/CCompressOptions.h"
#include "engine/ArchiveProgress.h"
#include "engine/ExtractPathGuard.h"
#include "engine/IFileArchiveCallbacksHandler.h"
#include "engine/IoFailureLog.h"
#include "engine/MyCom.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "fileops/WorkerQuestions.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class ArchiveLock;
class ArchiveUpdateCallback;
class OutStream;
class FileArchive;
struct zip_t;

// The own container's update steps (filearchive_qv.cpp). Each returns false
// (or an empty path) on failure, which it has reported, or on cancel.
//
// Writes the archive the request describes: the listed items that did not
// change, copied raw, then the new and the changed files from the disk.
bool zip_updateArchive(CompressOptions options, QList<ArchiveItemInfo> items, FileArchive* operation);
// Copies the items without the replace flag, under their new names, from the
// archive to target (which must not exist). Target is the archive itself when
// the archive does not exist yet: nothing is copied then. Returns the target.
QString zip_copyItemsThatDidntChange(const QString& archivePath, const QString& target,
                                     const QList<ArchiveItemInfo>& items, FileArchive* operation);
// Adds the request's newFiles to target (appending when it exists).
bool zip_addFilesFromDisk(const QString& target, const CompressOptions& options, FileArchive* operation);
// One file or folder ("/" at the end) as a new entry of the open archive.
bool writeFileToZipArchive(zip_t* zip, const QString& path, const CompressOptions& options,
                           FileArchive* operation);

// True when the name ends with ".qv" or ".qv.001": the program's own container.
bool isQvExtension(const QString& path);

// Runs one archive operation: lists an archive (on the GUI thread, for the
// panels), or extracts, creates or updates one (on a worker thread of its
// own, started through process()). It picks the back end by the archive's
// name and format: the own container for ".qv", the engine twice for tar
// files inside gzip, bzip2 or xz, the engine for everything else.
//
// All questions to the user leave through the signals fileExists,
// getPassword, cannotAccessFile and progressError. A driver on another thread
// names itself with setQuestionReceiver: the signals are then emitted on its
// thread while the worker waits (WorkerQuestions) until the slot has answered
// (in UserActions for the file questions, in the reference arguments for the
// password), or until forceTerminate() or the driver's end, which count as
// cancel. Progress, pause and cancel pass through the ArchiveProgress block
// given to the constructor.
//
// An update holds the archive's lock (ArchiveLock) from reading the old
// archive to the swap: a second update of the same archive waits for it and
// then works on its result. Listing and extraction take no lock.
//
// An existing archive is never written in place: the new one goes to a free
// "_tmp%1" name beside it, made by the update itself, is flushed to disk and
// replaces the archive by one rename. Whatever ends the process, the
// archive's name holds the old archive or the complete new one. A failed,
// refused or cancelled update leaves the archive as it was and no temporary
// file behind; an update removes no file it did not make.
class FileArchive : public QObject, public IFileArchiveCallbacksHandler
{
    Q_OBJECT

public:
    explicit FileArchive(ArchiveProgress* progress = nullptr);
    ~FileArchive() override;

    // Exactly one request is pending; setting one clears the other.
    void setExtractOptions(const ExtractOptions& options);
    void setCompressOptions(const CompressOptions& options);

    // The last operation failed, was cancelled, or its password request was
    // cancelled; or an update left out sources it could not read.
    bool failed() const;
    // The last update wrote the archive without the sources it could not
    // read (named in a message).
    bool sourcesLeftOut() const { return m_result == 0 && !m_passwordCanceled && !m_leftOutSources.isEmpty(); }
    // The last operation's password request was cancelled (no message was
    // shown for it).
    bool passwordCanceled() const { return m_passwordCanceled; }

    // --- Opening and listing ---------------------------------------------
    // Opens and lists path; a second call with the same path returns at once.
    bool openArchive(const QString& path);
    QString getArchiveFileName() const { return m_archiveFileName; }
    Q_INVOKABLE QString currentArchiveFileName() const { return m_archiveFileName; }
    int getArchiveItemsCount() const { return m_items.size(); }
    Q_INVOKABLE ArchiveItemInfo archiveItemInfo(int itemIndex) const;
    const QList<ArchiveItemInfo>& archiveItems() const { return m_items; }
    void clearArchiveItems();
    const ZipFormatInfo& formatInfo() const { return m_formatInfo; }
    // Splits path into its folder and name when it names a file entry of the
    // open archive (compared without regard to case); otherwise leaves both.
    void getDirectoryAndFile(const QString& path, QString& directory, QString& file) const;

    // --- Running requests (worker thread) ---------------------------------
    void extractArchive(ExtractOptions options);
    void updateArchive(CompressOptions options);

    // --- Passwords ---------------------------------------------------------
    bool isPasswordUsed() const { return !m_password.isEmpty(); }
    // true: the password was refused; it is forgotten and asked again.
    void setWrongPassword(bool wrong);

    // --- What the extraction callbacks need ---------------------------------
    // Asks whether an existing file may be replaced (answer in UserActions);
    // false when nobody answered (the operation is then cancelled).
    bool handleFileExists(const QString& path, const QDateTime& modified);
    // Asks what to do about a path that cannot be accessed and returns the
    // answer: UA_RETRY (elevation may now be on), UA_SKIP or UA_CANCEL. Skip
    // and "as administrator" chosen for all earlier answer without asking;
    // the latter only once per problem (autoElevated), so that an
    // unreachable elevated server cannot make it loop. No answer at all
    // counts as cancel.
    E_UserAction resolveAccessProblem(const QString& path, bool& autoElevated);
    void addEmptyFileExtracted(const QString& path) { m_extractedFiles.insert(path); }
    void addFileExtracted(const QString& path) { m_extractedFiles.insert(path); }
    // The file was written by the running extraction.
    bool isFileExtracted(const QString& path) const { return m_extractedFiles.contains(path); }
    // An entry was not extracted; collected and reported once at the end.
    void noteEntryProblem(LangStringID reason, const QString& entryName);
    bool renameFile(const QString& from, const QString& to);

    QString getErrorString(LangStringID id) const { return langStringText(id); }
    // The archive a message about path names: the one the user asked to
    // extract while an extraction runs, path itself otherwise.
    QString reportedArchiveName(const QString& path) const
    {
        return m_reportedArchive.isEmpty() ? path : m_reportedArchive;
    }
    // The name a file of the running update is known to the user by: the
    // archive's own for the file it is written under until the swap.
    QString shownName(const QString& path) const
    {
        return path == m_archiveFileName && !m_updatedArchive.isEmpty() ? m_updatedArchive : path;
    }
    // Total size of the archive file, or of all its volumes when the name
    // ends with ".001".
    static qint64 getArchiveSize(const ExtractOptions& options);

    // --- IFileArchiveCallbacksHandler --------------------------------------
    HRESULT CryptoGetTextPassword2(int* passwordIsDefined, wchar_t** password) override;
    HRESULT CryptoGetTextPassword(wchar_t** password) override;
    HRESULT SetRatioInfo(const unsigned long long* inSize) override;
    HRESULT SetTotal(unsigned long long total) override;
    HRESULT SetCompleted(const unsigned long long* completed) override;
    void ReportError(LangStringID id, QStringList args) override;
    void SetFileIndex(unsigned int index) override { m_fileIndex = index; }
    void accessHandler(QString path) override;
    void progressHandler(E_ArchiveOperation operation, CProgressInfo* info, bool* cancel) override;
    ArchiveProgress* archiveProgress() override { return m_progress; }
    bool pauseIfNeeded() override;
    bool isCanceled() override;
    bool isElevatedFile(const QString& path) override { return m_elevatedFiles.contains(path); }
    std::shared_ptr<IoFailureLog> ioFailureLog() override { return m_ioFailures; }
    // Notes a failure of a file the operation reads or writes itself.
    void noteIoFailure(IoFailure::Kind kind, const QString& path, const QString& reason)
    {
        m_ioFailures->note(kind, path, reason);
    }

    // The object on whose thread the questions are asked and answered.
    void setQuestionReceiver(QObject* receiver) { m_questions.setReceiver(receiver); }

public slots:
    void process();
    // Cancels the operation from any thread, waking a wait for an answer.
    void forceTerminate();

signals:
    void finished();
    void progress(E_ArchiveOperation zipOperation, CProgressInfo* progressInfo, bool* doCancel, bool* doPause);
    void fileExists(QString filePath, QDateTime modifiedTime);
    void progressError(QString errorMessage);
    void getPassword(QString& password, bool& doCancel);
    void cannotAccessFile(QString filePath);

private:
    // --- Open, list, extract (filearchive.cpp) -----------------------------
    bool openArchive_7z(const QString& path);
    CMyComPtr<IInArchive> openArchive_Internal(const QString& path);
    CMyComPtr<IInArchive> openArchiveAskingAgain(const QString& path);
    void getAllArchiveItems_7zip(const CMyComPtr<IInArchive>& inArchive);
    QDateTime getItemModificationDate(const CMyComPtr<IInArchive>& inArchive, unsigned int index) const;
    bool extractArchive_7zip(ExtractOptions& options, bool unused);
    bool extract_Xz_Bzip2_GZip(ExtractOptions options);
    // useCache: take a password cached for the archive when there is one;
    // after a refused password the user has to be asked.
    void getPass(QString& password, bool& canceled, bool useCache = true);
    // Runs question on the receiver's thread and waits for it; false, with
    // the operation cancelled, when it went unanswered.
    bool ask(const std::function<void()>& question);
    void reportEntryProblems();
    // Tells the user which files failed and why, once; true (and the
    // operation failed) when any did.
    bool reportIoFailures();
    // Removes the files this extraction wrote whose closing lost data.
    void removeFilesWithLostData();
    void clearSingleAnswers();

    // --- Own container (filearchive_qv.cpp) --------------------------------
    friend bool zip_updateArchive(CompressOptions, QList<ArchiveItemInfo>, FileArchive*);
    friend QString zip_copyItemsThatDidntChange(const QString&, const QString&, const QList<ArchiveItemInfo>&,
                                                FileArchive*);
    friend bool zip_addFilesFromDisk(const QString&, const CompressOptions&, FileArchive*);
    friend bool writeFileToZipArchive(zip_t*, const QString&, const CompressOptions&, FileArchive*);

    bool openArchive_qv(const QString& path);
    void extractArchive_custom(const ExtractOptions& options);
    // Where the open entry goes; empty when its name leads outside the target.
    QString currentTargetPath_custom(const ExtractOptions& options, zip_t* zip) const;
    // Asks for the open entry's password when it is scrambled and none is at
    // hand; false when the user cancelled.
    bool handlePassword_custom(zip_t* zip, bool useCache);
    uint64_t getTotalSizeToExtract(zip_t* zip, const QList<int>& indexes);
    void updateArchive_custom(CompressOptions& options);
    // The next password to try on the scrambled entries of the archive that
    // is being updated: the cached one, the request's, then the user's
    // answers. false when the user cancelled.
    bool nextSourcePassword(QString& password);
    // The container's conflict check: the shared answers, and the path the
    // entry is finally written to.
    static int qvConflictCheck(FileArchive* operation, QString& path, const QDateTime& entryTime);

    // --- Update and compress (filearchive_update.cpp) ------------------------
    bool isInputValid(CompressOptions& options);
    void makeAllPathInTheSameFormat(CompressOptions& options);
    bool checkArchiveIsNotTarget(CompressOptions& options);
    bool handleNestedFiles(CompressOptions& options);
    bool removeHiddenItemsIfNeeded(CompressOptions& options);
    bool getNestedFiles(const QString& path, QDir::Filters filters, QStringList& list);
    // Leaves out, and names once, the sources that are gone or cannot be
    // read: their entries in an existing archive stay as they are. False
    // when nothing is left to do.
    bool leaveOutUnreadableSources(CompressOptions& options);
    QDir::Filters getFiltersForNestedFiles() const;
    // merge: add to the existing archive; otherwise it is written anew.
    bool updateArchive_7zip(CompressOptions& options, bool merge);
    bool createNewArchive(CompressOptions& options, CMyComPtr<IOutArchive>& outArchive, unsigned int& itemCount,
                          ArchiveUpdateCallback* callback);
    bool prepareArchiveForUpdate_7zip(ArchiveUpdateCallback* callback, CompressOptions& options,
                                      CMyComPtr<IOutArchive>& outArchive, CMyComPtr<IInArchive>& inArchive,
                                      unsigned int& itemCount);
    void prepareArchiveForUpdate(CompressOptions& options, unsigned int& itemCount, UInt32 timePrecisionTicks);
    bool setArchiveOptionsBeforeOperationStart(const CMyComPtr<IOutArchive>& outArchive,
                                               const CompressOptions& options, ZipFormat format);
    bool compress_Xz_Bzip2_GZip(CompressOptions& options);
    bool decompressSingleStream(const QString& archivePath, const QString& outputPath);
    // durable: flush the archive to the disk first (not for intermediates).
    bool renameTempFileToTheOriginalName(const CompressOptions& options, bool durable = true);
    QString getInArchiveFilePath(const QString& filePath, const CompressOptions& options) const;
    CMyComPtr<OutStream> createOutputFileStream(long long volumeSize);
    void removeOutput(const QString& path, long long volumeSize);
    // Makes a free "_tmp%1" name beside the archive as an empty file of this
    // update's own, and returns it.
    QString reserveTemporaryFile(const QString& archive);
    // Removes the temporary file this update made and has not swapped in.
    void discardTemporaryFile();
    bool userCanceledUpdate() const;
    // Takes the archive's lock, waiting (and saying so in the progress block)
    // while another update holds it; false when cancelled meanwhile.
    bool waitForArchiveLock(ArchiveLock& lock, const QString& archive);

    // --- State ---------------------------------------------------------------
    QString m_archiveFileName;
    unsigned int m_fileIndex = 0;
    // Files written by the running extraction: met again, they are replaced
    // without a question.
    QSet<QString> m_extractedFiles;
    QSet<QString> m_elevatedFiles;
    std::atomic<bool> m_terminated{false};
    WorkerQuestions m_questions;
    HRESULT m_result = 0;
    ExtractOptions m_extractOptions;
    CompressOptions m_compressOptions;
    ZipFormatInfo m_formatInfo;
    QList<ArchiveItemInfo> m_items;
    ArchiveProgress* m_progress = nullptr;
    bool m_wrongPassword = false;
    QString m_password;
    bool m_passwordCanceled = false;
    // The engine asked for a password during the last open.
    bool m_passwordAsked = false;
    // A password was refused during the running operation. The cache is not
    // asked again then: an archive may hold entries under two passwords, and
    // the cached one, right for some of them, would be taken for ever.
    bool m_passwordRefused = false;
    // The archive whose listing m_items holds.
    QString m_listedArchive;
    // Unreadable folders the user chose to leave out of the sources.
    QSet<QString> m_skippedFolders;
    // What the scan of the chosen folders saw of every entry below them.
    QHash<QString, FileFacts> m_scannedFacts;
    // Sources the running update could not read, with the reason.
    QStringList m_leftOutSources;
    // Entries the running extraction left out, by reason.
    QMap<LangStringID, QStringList> m_entryProblems;
    // The archive the running update writes (empty while extracting).
    QString m_updatedArchive;
    // The archive the running extraction's messages name: the one the user
    // gave, also while the tar inside a compressed tar is read.
    QString m_reportedArchive;
    // What the files of the running operation met on the disk.
    std::shared_ptr<IoFailureLog> m_ioFailures = std::make_shared<IoFailureLog>();

    // Own container: the extraction's guard and the path the current entry
    // went to; sizes and the archive's creation time (Unix seconds).
    ExtractPathGuard m_extractGuard;
    QString m_extractedPath;
    uint64_t m_totalSizeToExtract = 0;
    qint64 m_archiveCreationTime = 0;
    // The temporary file the running update made and has not swapped in.
    QString m_temporaryFile;
    // Source bytes written so far by the running update.
    qint64 m_totalSizeProcessed = 0;
    // Passwords to try before asking, when an update moves scrambled data.
    QStringList m_sourcePasswords;
};
