// The program's side of the engine boundary, where the archive operations
// cannot reach it. The file streams the engine reads and writes through:
// single files and volume series, positioning, sizes, times and modes,
// failures with their reason, elevated routing, and the background closing
// of files. The open and update callbacks: names of new entries, an update
// that replaces an entry after a deleted one, cancel during the scan,
// writing without an operation, volumes found through the open callback.
// And the interfaces each object hands the engine. Writing volumes and round
// trips are the archive suites' part (TestArchiveRoundTrip).
#include "common/testenv.h"

#include "app/settings.h"
#include "engine/ArchiveOpenCallback.h"
#include "engine/ArchiveUpdateCallback.h"
#include "engine/IFileArchiveCallbacksHandler.h"
#include "engine/IoFailureLog.h"
#include "engine/streams.h"
#include "engine/zipapi.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>

namespace {

// Answers as an operation without a password, that records the errors it is
// given and can be paused, cancelled or told which files are elevated.
class TestOperation final : public IFileArchiveCallbacksHandler
{
public:
    HRESULT CryptoGetTextPassword2(int* passwordIsDefined, wchar_t**) override
    {
        *passwordIsDefined = 0;
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(wchar_t**) override { return S_FALSE; }
    HRESULT SetRatioInfo(const unsigned long long*) override
    {
        return progress.canceled ? E_ABORT : S_OK;
    }
    HRESULT SetTotal(unsigned long long) override { return progress.canceled ? E_FAIL : S_OK; }
    HRESULT SetCompleted(const unsigned long long*) override
    {
        return progress.canceled ? E_FAIL : S_OK;
    }
    void ReportError(LangStringID id, QStringList args) override { errors.append({id, args}); }
    void SetFileIndex(unsigned int) override { }
    void accessHandler(QString) override { }
    void progressHandler(E_ArchiveOperation, CProgressInfo*, bool*) override { }
    ArchiveProgress* archiveProgress() override { return withProgress ? &progress : nullptr; }
    bool pauseIfNeeded() override
    {
        while (progress.paused) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
            if (progress.canceled)
                return false;
        }
        return true;
    }
    bool isCanceled() override { return progress.canceled; }
    bool isElevatedFile(const QString& path) override { return elevated.contains(path); }
    std::shared_ptr<IoFailureLog> ioFailureLog() override { return failures; }

    ArchiveProgress progress;
    std::shared_ptr<IoFailureLog> failures = std::make_shared<IoFailureLog>();
    bool withProgress = true;
    QSet<QString> elevated;
    QList<QPair<LangStringID, QStringList>> errors;
};

// 1 when object answers iid with an object (released again), 0 for a clean
// refusal (E_NOINTERFACE and a null pointer), -1 for anything else.
inline int answersInterface(IUnknown* object, const GUID& iid)
{
    void* answer = reinterpret_cast<void*>(0x1);
    const HRESULT result = object->QueryInterface(iid, &answer);
    if (result == S_OK && answer) {
        static_cast<IUnknown*>(answer)->Release();
        return 1;
    }
    return result == E_NOINTERFACE && !answer ? 0 : -1;
}

// One item as the engine lists it.
struct ListedItem
{
    QString path;
    bool isDir = false;
    quint64 size = 0;
};

inline ListedItem readItem(IInArchive* archive, UInt32 index)
{
    ListedItem item;
    CPropVariant path;
    CPropVariant isDir;
    CPropVariant size;
    archive->GetProperty(index, kpidPath, &path);
    archive->GetProperty(index, kpidIsDir, &isDir);
    archive->GetProperty(index, kpidSize, &size);
    item.path = path.vt == VT_BSTR ? fromEngineString(path.bstrVal) : QString();
    item.isDir = isDir.vt == VT_BOOL && isDir.boolVal != 0;
    item.size = size.vt == VT_UI8 ? size.uhVal : 0;
    return item;
}

// Opens path with the format handler clsid through an InStream (volume
// checking on) and a CArchiveOpenCallback. The open archive is left in
// *archive when that is given.
inline HRESULT openArchive(const QString& path, const GUID& clsid,
                           IFileArchiveCallbacksHandler* operation, CMyComPtr<IInArchive>* archive,
                           bool checkVolumes = true)
{
    CMyComPtr<IInArchive> handler;
    if (GetIInArchive(clsid, &handler) != 0)
        return E_NOTIMPL;
    CMyComPtr<InStream> stream(new InStream(operation, path, checkVolumes));
    CMyComPtr<CArchiveOpenCallback> callback(new CArchiveOpenCallback(operation, path));
    const UInt64 maxCheckStart = 1 << 23;
    const HRESULT result = handler->Open(static_cast<IInStream*>(stream.get()), &maxCheckStart,
                                         static_cast<IArchiveOpenCallback*>(callback.get()));
    if (result == S_OK && archive)
        *archive = handler;
    return result;
}

QByteArray readSome(IInStream* stream, int count)
{
    QByteArray data(count + 16, '\0');
    UInt32 processed = 0;
    stream->Read(data.data(), static_cast<UInt32>(data.size()), &processed);
    data.resize(static_cast<int>(processed));
    return data;
}

UInt64 positionOf(IInStream* stream)
{
    UInt64 position = 0;
    stream->Seek(0, STREAM_SEEK_CUR, &position);
    return position;
}
} // namespace

class TestEngineBoundary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsAsOneStream_data();
    void readsAsOneStream();
    void failuresCarryTheirReason();
    void reportsSizeTimesAndMode();
    void canBeOpenedLeavesNothingBehind();
    void elevatedFilesGoThroughTheServer();
    void backgroundCloseIsWaitedFor();
    void objectsAnswerOnlyTheirInterfaces();
    void entryNameRule_data();
    void entryNameRule();
    void replacedEntryAfterDeletedOne_data();
    void replacedEntryAfterDeletedOne();
    void cancelEndsTheScan();
    void writesWithoutAnOperation();
    void engineAsksOpenCallbackForVolumes();

private:
    QString m_work;
    TestOperation* m_operation = nullptr;
};

void TestEngineBoundary::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
}

void TestEngineBoundary::init()
{
    m_work = testenv::makeDir("work");
    m_operation = new TestOperation;
}

void TestEngineBoundary::cleanup()
{
    CSettings::setElevated(false);
    StreamBase::waitForFlushFinished();
    // Every object handed to the engine was released.
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    delete m_operation;
    m_operation = nullptr;
    QDir(m_work).removeRecursively();
}

// --- Streams -------------------------------------------------------------------------

void TestEngineBoundary::readsAsOneStream_data()
{
    QTest::addColumn<QStringList>("files"); // names of 64-byte files, "name:size" for another size
    QTest::addColumn<QString>("opened");
    QTest::addColumn<bool>("checkVolumes");
    QTest::addColumn<QStringList>("read"); // the files the stream reads, in order
    QTest::newRow("single file") << QStringList{"a.bin:1000"} << "a.bin" << false
                                 << QStringList{"a.bin:1000"};
    QTest::newRow("plain name beside volumes")
        << QStringList{"a.7z:50", "a.7z.001:70"} << "a.7z" << true << QStringList{"a.7z:50"};
    // After a gap: not part of the series.
    QTest::newRow("series up to a gap")
        << QStringList{"s.7z.001", "s.7z.002", "s.7z.003:20", "s.7z.005"} << "s.7z.001" << true
        << QStringList{"s.7z.001", "s.7z.002", "s.7z.003:20"};
    QTest::newRow("volume checking off") << QStringList{"z.zip.001", "z.zip.002:20"} << "z.zip.001"
                                         << false << QStringList{"z.zip.001"};
}

void TestEngineBoundary::readsAsOneStream()
{
    QFETCH(QStringList, files);
    QFETCH(QString, opened);
    QFETCH(bool, checkVolumes);
    QFETCH(QStringList, read);
    QByteArray whole;
    for (int i = 0; i < files.size(); ++i) {
        const QStringList parts = files[i].split(':');
        const QByteArray content =
            testenv::randomBytes(parts.size() > 1 ? parts[1].toInt() : 64, quint32(i));
        QVERIFY(testenv::writeFile(m_work + '/' + parts[0], content));
        if (read.contains(files[i]))
            whole += content;
    }
    CMyComPtr<InStream> stream(new InStream(m_operation, m_work + '/' + opened, checkVolumes));
    QCOMPARE(stream->isMultiVolume(), read.size() > 1);
    if (read.size() > 1) {
        QCOMPARE(stream->fileName(), m_work + "/s.7z");
        QCOMPARE(stream->volumeSize(), 64ll);
    }
    UInt64 size = 0;
    QCOMPARE(stream->GetSize(&size), S_OK);
    QCOMPARE(qint64(size), qint64(whole.size()));
    QCOMPARE(readSome(stream, whole.size()), whole);
    // Across the end of the first volume, from the end, back from there.
    UInt64 position = 0;
    QCOMPARE(stream->Seek(54, STREAM_SEEK_SET, &position), S_OK);
    QCOMPARE(readSome(stream, 30).left(30), whole.mid(54, 30));
    QCOMPARE(stream->Seek(-5, STREAM_SEEK_END, &position), S_OK);
    QCOMPARE(qint64(position), qint64(whole.size() - 5));
    QCOMPARE(readSome(stream, 5), whole.right(5));
    QCOMPARE(stream->Seek(-40, STREAM_SEEK_CUR, &position), S_OK);
    QCOMPARE(readSome(stream, 10).left(10), whole.mid(whole.size() - 40, 10));
    // At the end a read transfers nothing and still succeeds.
    QCOMPARE(stream->Seek(0, STREAM_SEEK_END, nullptr), S_OK);
    UInt32 processed = 77;
    QByteArray buffer(10, '\0');
    QCOMPARE(stream->Read(buffer.data(), 10, &processed), S_OK);
    QCOMPARE(processed, 0u);
}

void TestEngineBoundary::failuresCarryTheirReason()
{
    // A missing file is never read as an empty one: the engine would store it.
    const QString missing = m_work + "/missing.bin";
    CMyComPtr<InStream> in(new InStream(m_operation, missing, true));
    QByteArray buffer(10, '\0');
    UInt32 processed = 5;
    QVERIFY(in->Read(buffer.data(), 10, &processed) < 0);
    QCOMPARE(processed, 0u);
    QCOMPARE(positionOf(in), 0ull);
    QVERIFY(!in->canBeOpened());
    // A folder stands where the file should be written.
    const QString taken = m_work + "/taken";
    QVERIFY(QDir().mkpath(taken));
    CMyComPtr<OutStream> out(new OutStream(m_operation, taken, false, -1));
    out->setReportName("as the user knows it");
    QVERIFY(!out->canBeOpened());
    QVERIFY(out->Write("abc", 3, &processed) < 0);
    QCOMPARE(processed, 0u);
    QVERIFY(QFileInfo(taken).isDir());

    const QList<IoFailure> failures = m_operation->failures->failures();
    QCOMPARE(failures.size(), 2);
    QCOMPARE(failures[0].kind, IoFailure::Open);
    QCOMPARE(failures[0].path, missing);
    QCOMPARE(failures[0].reason, QString("No such file or directory"));
    QCOMPARE(failures[1].path, QString("as the user knows it"));
    QCOMPARE(failures[1].reason, QString("Is a directory"));
}

void TestEngineBoundary::reportsSizeTimesAndMode()
{
    const QString path = m_work + "/timed.bin";
    QVERIFY(testenv::writeFile(path, testenv::randomBytes(321)));
    const uint64_t access = 132000000001234567ULL;
    const uint64_t modification = 131000000007654321ULL;
    setFileTimesTicks(path, access, modification);
    uint64_t creation = 0;
    getFileTimes(path, &creation, nullptr, nullptr);

    CMyComPtr<InStream> stream(new InStream(m_operation, path, false));
    UInt64 size = 0;
    FILETIME cTime{};
    FILETIME aTime{};
    FILETIME mTime{};
    UInt32 attrib = 0xFFFF;
    QCOMPARE(stream->GetProps(&size, &cTime, &aTime, &mTime, &attrib), S_OK);
    QCOMPARE(size, 321ull);
    QCOMPARE(ticksFromFileTime(mTime), modification);
    QCOMPARE(ticksFromFileTime(aTime), access);
    QCOMPARE(ticksFromFileTime(cTime), creation);
    // The file's mode, as the update callback gives it: the engine takes
    // the stream's answer over the callback's.
    struct stat st
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(attrib >> 16, UInt32(st.st_mode));
    QVERIFY(attrib & kAttributeUnixExtension);
    CStreamFileProps props;
    QCOMPARE(stream->GetProps2(&props), S_OK);
    QCOMPARE(props.Size, 321ull);
    QCOMPARE(props.Attrib, attrib);
    QCOMPARE(ticksFromFileTime(props.MTime), modification);
}

void TestEngineBoundary::canBeOpenedLeavesNothingBehind()
{
    // A write stream may create its file; the test leaves nothing behind.
    const QString fresh = m_work + "/new/dir/out.7z";
    for (long long volumeSize : {-1LL, 1000LL}) {
        CMyComPtr<OutStream> out(new OutStream(m_operation, fresh, true, volumeSize));
        QVERIFY(out->canBeOpened());
    }
    QVERIFY(!QFileInfo::exists(fresh));
    QVERIFY(!QFileInfo::exists(fresh + ".001"));
    // A read stream of a series tests its first volume.
    QVERIFY(testenv::writeFile(m_work + "/v.7z.001", "abc"));
    CMyComPtr<InStream> series(new InStream(m_operation, m_work + "/v.7z.001", true));
    QVERIFY(series->canBeOpened());
    QFile::remove(m_work + "/v.7z.001");
    QVERIFY(!series->canBeOpened());
}

void TestEngineBoundary::elevatedFilesGoThroughTheServer()
{
    // No elevated file server runs in the tests, so everything routed to it
    // fails; local access to the same files would succeed.
    const QString path = m_work + "/guarded.bin";
    QVERIFY(testenv::writeFile(path, testenv::randomBytes(64)));
    m_operation->elevated.insert(path);
    CMyComPtr<InStream> guarded(new InStream(m_operation, path, false));
    QVERIFY(guarded->isElevated());
    QVERIFY(!guarded->canBeOpened());
    QCOMPARE(guarded->GetTotalSize(), 0ll);
    QByteArray buffer(64, '\0');
    UInt32 processed = 1;
    QVERIFY(guarded->Read(buffer.data(), 64, &processed) < 0);
    QCOMPARE(processed, 0u);
    const QString target = m_work + "/guarded-out.bin";
    m_operation->elevated.insert(target);
    CMyComPtr<OutStream> out(new OutStream(m_operation, target, false, -1));
    QVERIFY(out->Write("abc", 3, &processed) < 0);
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(m_operation->failures->failures().size(), 2);
    for (const IoFailure& failure : m_operation->failures->failures())
        QCOMPARE(failure.reason, elevatedServerFailureText());

    // Other files of the same operation are read locally.
    const QString plain = m_work + "/plain.bin";
    QVERIFY(testenv::writeFile(plain, "plain"));
    CMyComPtr<InStream> local(new InStream(m_operation, plain, false));
    QVERIFY(!local->isElevated());
    QCOMPARE(readSome(local, 5), QByteArray("plain"));
    // While the whole process runs elevated, every stream is.
    CSettings::setElevated(true);
    QVERIFY(local->isElevated());
    QVERIFY(!local->canBeOpened());
    m_operation->elevated.clear();
}

void TestEngineBoundary::backgroundCloseIsWaitedFor()
{
    const QByteArray data = testenv::randomBytes(1 << 20, 15);
    QStringList paths;
    for (int i = 0; i < 8; ++i) {
        const QString path = m_work + QString("/bg%1.bin").arg(i);
        paths << path;
        CMyComPtr<OutStream> stream(new OutStream(m_operation, path, false, -1));
        UInt32 processed = 0;
        QCOMPARE(stream->Write(data.constData(), static_cast<UInt32>(data.size()), &processed),
                 S_OK);
        // Every other file is closed by the stream's destructor.
        if (i % 2 == 0)
            stream->Close(false);
    }
    StreamBase::waitForFlushFinished();
    QCOMPARE(StreamBase::flushesInProgress(), 0);
    for (const QString& path : paths)
        QCOMPARE(testenv::readFile(path), data);
}

void TestEngineBoundary::objectsAnswerOnlyTheirInterfaces()
{
    const QString path = m_work + "/q.bin";
    QVERIFY(testenv::writeFile(path, "q"));
    CMyComPtr<InStream> in(new InStream(m_operation, path, false));
    CMyComPtr<OutStream> out(new OutStream(m_operation, m_work + "/q.out", false, -1));
    IUnknown* reader = static_cast<IInStream*>(in.get());
    IUnknown* writer = static_cast<IOutStream*>(out.get());
    for (const GUID& iid : {IID_IUnknown, IID_IInStream, IID_IStreamGetSize, IID_IStreamGetProps,
                            IID_IStreamGetProps2})
        QCOMPARE(answersInterface(reader, iid), 1);
    QCOMPARE(answersInterface(writer, IID_IOutStream), 1);
    // Newer or foreign interfaces: a clear no and a null pointer.
    for (const GUID& iid : {IID_ISequentialOutStream, IID_IOutStream, makeInterfaceId(0x03, 0x10),
                            makeInterfaceId(0x03, 0x07)})
        QCOMPARE(answersInterface(reader, iid), 0);
    QCOMPARE(answersInterface(writer, makeInterfaceId(0x03, 0x05)), 0);
    QCOMPARE(answersInterface(writer, IID_IInStream), 0);

    CMyComPtr<CArchiveOpenCallback> open(new CArchiveOpenCallback(m_operation, "/x.7z"));
    CMyComPtr<ArchiveUpdateCallback> update(new ArchiveUpdateCallback);
    IUnknown* openObject = static_cast<IArchiveOpenCallback*>(open.get());
    IUnknown* updateObject = static_cast<IArchiveUpdateCallback2*>(update.get());
    for (const GUID& iid :
         {IID_IUnknown, IID_ICryptoGetTextPassword, IID_IArchiveOpenVolumeCallback})
        QCOMPARE(answersInterface(openObject, iid), 1);
    for (const GUID& iid : {IID_IUnknown, IID_IArchiveUpdateCallback2, IID_ICryptoGetTextPassword2,
                            IID_ICompressProgressInfo})
        QCOMPARE(answersInterface(updateObject, iid), 1);
    for (const GUID& iid :
         {makeInterfaceId(0x06, 0x05), IID_IArchiveExtractCallback, makeInterfaceId(0x06, 0x90)}) {
        QCOMPARE(answersInterface(openObject, iid), 0);
        QCOMPARE(answersInterface(updateObject, iid), 0);
    }
    QCOMPARE(answersInterface(openObject, IID_ICryptoGetTextPassword2), 0);
    QCOMPARE(answersInterface(updateObject, IID_ICryptoGetTextPassword), 0);
}

// --- Callbacks -----------------------------------------------------------------------

void TestEngineBoundary::entryNameRule_data()
{
    QTest::addColumn<QString>("baseDirectory");
    QTest::addColumn<QString>("sourceBaseDirectory");
    QTest::addColumn<QString>("archiveFolder");
    QTest::addColumn<bool>("addToExisting");
    QTest::addColumn<QString>("listedPath");
    QTest::addColumn<QString>("expected");

    // Placeholders: ROOT is the private folder holding u/docs/a.txt.
    QTest::newRow("relative to the base") << "ROOT/u"
                                          << ""
                                          << "" << false << "ROOT/u/docs/a.txt"
                                          << "docs/a.txt";
    QTest::newRow("relative, listed relative to the working folder")
        << "ROOT/u"
        << ""
        << "" << false << "u/docs/a.txt"
        << "docs/a.txt";
    QTest::newRow("no base: absolute") << ""
                                       << ""
                                       << "" << false << "ROOT/u/docs/a.txt"
                                       << "ROOT/u/docs/a.txt";
    QTest::newRow("no base while adding: absolute") << ""
                                                    << "ROOT/u/docs"
                                                    << "x/y" << true << "ROOT/u/docs/a.txt"
                                                    << "ROOT/u/docs/a.txt";
    QTest::newRow("adding under a folder") << "ROOT/u"
                                           << "ROOT/u/docs"
                                           << "x/y" << true << "ROOT/u/docs/a.txt"
                                           << "x/y/a.txt";
    QTest::newRow("adding at the top") << "ROOT/u"
                                       << "ROOT/u/docs"
                                       << "" << true << "ROOT/u/docs/a.txt"
                                       << "a.txt";
    QTest::newRow("adding cut by the base") << "ROOT/u"
                                            << ""
                                            << "" << true << "ROOT/u/docs/a.txt"
                                            << "docs/a.txt";
    QTest::newRow("adding, base with a slash") << "ROOT/u/"
                                               << ""
                                               << "in" << true << "ROOT/u/docs/a.txt"
                                               << "in/docs/a.txt";
}

void TestEngineBoundary::entryNameRule()
{
    QFETCH(QString, baseDirectory);
    QFETCH(QString, sourceBaseDirectory);
    QFETCH(QString, archiveFolder);
    QFETCH(bool, addToExisting);
    QFETCH(QString, listedPath);
    QFETCH(QString, expected);
    const QString root = m_work;
    QVERIFY(testenv::writeFile(root + "/u/docs/a.txt", "a"));
    const auto place = [&root](QString text) { return text.replace("ROOT", root); };

    CompressOptions options;
    options.baseDirectory = place(baseDirectory);
    options.sourceBaseDirectory = place(sourceBaseDirectory);
    options.archiveFolder = archiveFolder;
    options.addToExisting = addToExisting;
    options.newFiles = QStringList{place(listedPath)};
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root);

    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {}, CMyComPtr<IInArchive>(), m_operation);
    CPropVariant name;
    const HRESULT result = callback->GetProperty(0, kpidPath, &name);
    QDir::setCurrent(previous);
    QCOMPARE(result, S_OK);
    QCOMPARE(name.vt, VARTYPE(VT_BSTR));
    QCOMPARE(fromEngineString(name.bstrVal), place(expected));
}

void TestEngineBoundary::replacedEntryAfterDeletedOne_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("7z") << int(ZF_7Z);
    QTest::newRow("zip") << int(ZF_ZIP);
}

void TestEngineBoundary::replacedEntryAfterDeletedOne()
{
    // An update that drops the first entry and gives the third new data: the
    // kept entries' positions no longer match their indexes in the archive.
    QFETCH(int, format);
    const GUID clsid = SupportedFormats[format].clsid;
    const QString extension = SupportedFormats[format].extension;
    const QString folder = m_work + "/in";
    testenv::makeTree(folder, {{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}});
    const QString archive = m_work + "/three." + extension;
    QCOMPARE(testenv::run7z({"a", "-mx=0", archive, "a.txt", "b.txt", "c.txt"}, folder).exitCode,
             0);
    const QString newC = m_work + "/new/c.txt";
    QVERIFY(testenv::writeFile(newC, "third, rewritten"));

    CMyComPtr<IInArchive> existing;
    QCOMPARE(openArchive(archive, clsid, m_operation, &existing), S_OK);
    QList<ArchiveItemInfo> kept;
    for (UInt32 i = 0; i < 3; ++i) {
        ArchiveItemInfo entry;
        entry.name = readItem(existing, i).path;
        entry.index = i;
        entry.needsUpdate = entry.name == "c.txt";
        entry.sourcePath = entry.needsUpdate ? newC : QString();
        if (entry.name != "a.txt")
            kept << entry;
    }
    QCOMPARE(kept.size(), 2);
    CompressOptions options;
    options.baseDirectory = m_work + "/new";
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, kept, existing, m_operation);

    // The replaced entry points at its own old item.
    Int32 newData = 0;
    Int32 newProps = 0;
    UInt32 indexInArchive = 0;
    QCOMPARE(callback->GetUpdateItemInfo(1, &newData, &newProps, &indexInArchive), S_OK);
    QCOMPARE(newData, 1);
    QCOMPARE(indexInArchive, kept[1].index);

    const QString result = m_work + "/result." + extension;
    CMyComPtr<IOutArchive> out;
    QCOMPARE(existing.QueryInterface(IID_IOutArchive, out), S_OK);
    CMyComPtr<OutStream> stream(new OutStream(m_operation, result, true, -1));
    QCOMPARE(out->UpdateItems(static_cast<IOutStream*>(stream.get()), callback->itemCount(),
                              static_cast<IArchiveUpdateCallback2*>(callback.get())),
             S_OK);
    stream->Close(true);
    existing->Close();

    const QString target = m_work + "/out";
    const testenv::ProcessResult extracted = testenv::run7z({"x", "-o" + target, result});
    QCOMPARE(extracted.exitCode, 0);
    QCOMPARE(testenv::listTree(target), (QStringList{"b.txt", "c.txt"}));
    QCOMPARE(testenv::readFile(target + "/b.txt"), QByteArray("second"));
    QCOMPARE(testenv::readFile(target + "/c.txt"), QByteArray("third, rewritten"));
}

void TestEngineBoundary::cancelEndsTheScan()
{
    // The engine asks every item's name before it writes anything: a cancel
    // (or a pause that ends in one) must fail the next question.
    CompressOptions options;
    options.newFiles = QStringList{"/a", "/b", "/c"};
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {}, CMyComPtr<IInArchive>(), m_operation);
    TestOperation* operation = m_operation;
    CPropVariant value;
    QCOMPARE(callback->GetProperty(1, kpidPath, &value), S_OK);
    QCOMPARE(m_operation->progress.operation.load(), AO_SCANNING);
    QCOMPARE(m_operation->progress.currentFile(), QString("/b"));

    // Paused, then resumed: the question is answered.
    m_operation->progress.paused = true;
    QTimer::singleShot(50, [operation] { operation->progress.paused = false; });
    CPropVariant resumed;
    QCOMPARE(callback->GetProperty(2, kpidPath, &resumed), S_OK);
    QCOMPARE(fromEngineString(resumed.bstrVal), QString("/c"));
    // Paused, then cancelled.
    m_operation->progress.paused = true;
    QTimer::singleShot(50, [operation] { operation->progress.canceled = true; });
    CPropVariant cancelled;
    QCOMPARE(callback->GetProperty(1, kpidPath, &cancelled), E_FAIL);
    // Without a progress block the cancel flag still counts.
    m_operation->progress.paused = false;
    m_operation->withProgress = false;
    CPropVariant alone;
    QCOMPARE(callback->GetProperty(2, kpidPath, &alone), E_FAIL);
}

void TestEngineBoundary::writesWithoutAnOperation()
{
    // No password rather than a failure: the engine ends the whole update
    // when the password question fails.
    const QString source = m_work + "/alone";
    testenv::makeTree(source, {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}});
    CompressOptions options;
    options.baseDirectory = source;
    options.newFiles = QStringList{source + "/a.txt", source + "/sub", source + "/sub/b.txt"};
    for (int format : {int(ZF_7Z), int(ZF_ZIP)}) {
        const QString archive = m_work + "/alone." + SupportedFormats[format].extension;
        CMyComPtr<IOutArchive> writer;
        QCOMPARE(GetIOutArchive(SupportedFormats[format].clsid, &writer), 0);
        CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
        callback->Init(options, {}, CMyComPtr<IInArchive>(), nullptr);
        CMyComPtr<OutStream> stream(new OutStream(nullptr, archive, true, -1));
        QCOMPARE(writer->UpdateItems(static_cast<IOutStream*>(stream.get()), callback->itemCount(),
                                     static_cast<IArchiveUpdateCallback2*>(callback.get())),
                 S_OK);
        stream->Close(true);
        const QString target = m_work + "/out" + QString::number(format);
        QCOMPARE(testenv::run7z({"x", "-o" + target, archive}).exitCode, 0);
        QCOMPARE(testenv::compareTrees(source, target), QString());
    }
}

void TestEngineBoundary::engineAsksOpenCallbackForVolumes()
{
    // The engine's split handler finds the further volumes by name through
    // the open callback; the folder's name is not ASCII.
    const QString folder = m_work + "/тома " + QString::fromUcs4(U"\U0001F600");
    const QByteArray whole = testenv::randomBytes(2500, 7);
    QVERIFY(testenv::writeFile(folder + "/data.bin.001", whole.mid(0, 1000)));
    QVERIFY(testenv::writeFile(folder + "/data.bin.002", whole.mid(1000, 1000)));
    QVERIFY(testenv::writeFile(folder + "/data.bin.003", whole.mid(2000)));

    CMyComPtr<IInArchive> archive;
    const GUID split = makeFormatClassId(0xEA);
    QCOMPARE(openArchive(folder + "/data.bin.001", split, m_operation, &archive, false), S_OK);
    UInt32 count = 0;
    archive->GetNumberOfItems(&count);
    QCOMPARE(count, 1u);
    QCOMPARE(readItem(archive, 0).size, 2500ull);
    // The item is named after the path the open callback gave.
    QCOMPARE(readItem(archive, 0).path, folder + "/data.bin");
    archive->Close();
    // The engine looks one volume past the last; the callback names it.
    QCOMPARE(m_operation->errors.size(), 1);
    QCOMPARE(m_operation->errors[0].first, LS_CANNOT_OPEN_FILE);
    QCOMPARE(m_operation->errors[0].second, QStringList{folder + "/data.bin.004"});
}

QUENVAR_TEST_MAIN(TestEngineBoundary)
#include "tst_engineboundary.moc"
