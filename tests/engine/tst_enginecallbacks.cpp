// The open and update callbacks, driven by the real engine: archives made by
// the 7z tool open and list; archives written through the callbacks pass
// "7z t" and extract to the sources; volumes, renames, cancel and the names
// of new entries.
#include "common/testenv.h"

#include "enginetestsupport.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

#include <sys/stat.h>

namespace {
// 2020-05-17 10:20:30.1234567 UTC in 100 ns ticks since 1601.
const uint64_t kBaseTime = 132341724301234567ULL;
const uint64_t kTicksPerSecond = 10000000ULL;

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>(generator.bounded(256));
    return data;
}

const GUID kSplitFormat = makeFormatClassId(0xEA);

QString slt(const QString& archive, const QStringList& extra = {})
{
    const testenv::ProcessResult result = testenv::run7z(QStringList{QStringLiteral("l"), QStringLiteral("-slt")} + extra
                                                         + QStringList{archive});
    return QString::fromUtf8(result.out);
}

bool passes7zTest(const QString& archive, const QStringList& extra = {})
{
    const testenv::ProcessResult result = testenv::run7z(QStringList{QStringLiteral("t")} + extra + QStringList{archive});
    return result.finished && result.exitCode == 0;
}

QString extractWith7z(const QString& archive, const QString& target, const QStringList& extra = {})
{
    const testenv::ProcessResult result = testenv::run7z(QStringList{QStringLiteral("x"), QStringLiteral("-y"),
                                                                     QStringLiteral("-o") + target}
                                                         + extra + QStringList{archive});
    if (!result.finished || result.exitCode != 0)
        return QString::fromUtf8(result.out + result.err);
    return QString();
}
} // namespace

class TestEngineCallbacks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensArchivesMadeByPeer_data();
    void opensArchivesMadeByPeer();
    void writesNewArchive_data();
    void writesNewArchive();
    void writesSplitArchiveAndReadsItBack();
    void passwordReachesTheEngine();
    void cancelStopsTheEngine();
    void unopenableSourceEndsOrSkips();
    void renamedEntryIsAnsweredFromOldArchive();
    void replacedEntryAfterDeletedOne_data();
    void replacedEntryAfterDeletedOne();
    void opensSingleStreamArchives_data();
    void opensSingleStreamArchives();
    void entryNameRule_data();
    void entryNameRule();
    void diskPropertiesOfNewItems();
    void cancelDuringScanFailsNextPathQuery();
    void cancelWhilePausedFailsPathQuery();
    void getStreamHandsOutFilesAndReportsBadIndexes();
    void callbackWithoutOperation();
    void openCallbackAnswersFullPath();
    void openCallbackReportsMissingVolume();
    void engineAsksOpenCallbackForVolumes();
    void callbacksAnswerOnlyTheirInterfaces();

private:
    QStringList sourcePaths() const;
    CompressOptions optionsForSources() const;

    QString m_source;
    QString m_work;
    QMap<QString, QByteArray> m_files;
    TestOperation* m_operation = nullptr;
};

void TestEngineCallbacks::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
    m_source = testenv::makeDir(QStringLiteral("source"));
    m_files = {
        {QStringLiteral("docs/a.txt"), QByteArray("alpha alpha alpha\n")},
        {QStringLiteral("docs/sub/b.bin"), randomBytes(100000, 1)},
        {QString::fromUtf8("docs/ünï ☃ ") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(".txt"),
         QByteArray("wide name")},
        {QStringLiteral("top.txt"), QByteArray(5000, 'x')},
        {QStringLiteral("zero.txt"), QByteArray()},
    };
    testenv::makeTree(m_source, m_files, {QStringLiteral("docs/empty")});
    int i = 0;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it, ++i) {
        const uint64_t time = kBaseTime + uint64_t(i) * 2 * kTicksPerSecond;
        setFileTimesTicks(m_source + QLatin1Char('/') + it.key(), time, time);
    }
}

void TestEngineCallbacks::init()
{
    m_work = testenv::makeDir(QStringLiteral("work"));
    m_operation = new TestOperation;
}

void TestEngineCallbacks::cleanup()
{
    StreamBase::waitForFlushFinished();
    // Every object handed to the engine was released.
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    delete m_operation;
    m_operation = nullptr;
    QDir(m_work).removeRecursively();
}

QStringList TestEngineCallbacks::sourcePaths() const
{
    QStringList paths;
    for (const QString& relative : testenv::listTree(m_source)) {
        QString path = m_source + QLatin1Char('/') + relative;
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        paths << path;
    }
    return paths;
}

CompressOptions TestEngineCallbacks::optionsForSources() const
{
    CompressOptions options;
    options.baseDirectory = m_source;
    options.newFiles = sourcePaths();
    return options;
}

void TestEngineCallbacks::opensArchivesMadeByPeer_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("exactTimes");
    QTest::newRow("7z") << "7z" << int(ZF_7Z) << true;
    QTest::newRow("zip") << "zip" << int(ZF_ZIP) << true;
    QTest::newRow("tar") << "tar" << int(ZF_TAR) << false;
    QTest::newRow("wim") << "wim" << int(ZF_WIM) << true;
}

void TestEngineCallbacks::opensArchivesMadeByPeer()
{
    QFETCH(QString, type);
    QFETCH(int, format);
    QFETCH(bool, exactTimes);
    const QString archive = m_work + QStringLiteral("/peer.") + type;
    const testenv::ProcessResult made =
        testenv::run7z({QStringLiteral("a"), QStringLiteral("-t") + type, archive, QStringLiteral("docs"),
                        QStringLiteral("top.txt"), QStringLiteral("zero.txt")},
                       m_source);
    QVERIFY2(made.exitCode == 0, made.out.constData());

    QList<ListedItem> items;
    QCOMPARE(listArchive(archive, SupportedFormats[format].clsid, m_operation, &items), S_OK);

    QStringList expectedPaths = testenv::listTree(m_source);
    for (QString& path : expectedPaths) {
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
    }
    QStringList listed;
    for (const ListedItem& item : items) {
        QVERIFY(item.pathIsString);
        listed << item.path;
        const QString onDisk = m_source + QLatin1Char('/') + item.path;
        QCOMPARE(item.isDir, QFileInfo(onDisk).isDir());
        if (!item.isDir) {
            QVERIFY(item.hasSize);
            QCOMPARE(qint64(item.size), QFileInfo(onDisk).size());
        }
        QVERIFY(item.hasMTime);
        if (!item.isDir) {
            uint64_t modification = 0;
            getFileTimes(onDisk, nullptr, nullptr, &modification);
            if (exactTimes)
                QCOMPARE(item.mtime, modification);
            else
                QCOMPARE(item.mtime / kTicksPerSecond, modification / kTicksPerSecond);
        }
    }
    listed.sort();
    expectedPaths.sort();
    QCOMPARE(listed, expectedPaths);
    QVERIFY(m_operation->errors.isEmpty());
}

void TestEngineCallbacks::writesNewArchive_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("method");
    QTest::addColumn<uint>("level");
    QTest::addColumn<QString>("listedMethod");
    QTest::newRow("7z lzma2") << int(ZF_7Z) << "LZMA2" << 5u << "LZMA2";
    QTest::newRow("7z copy") << int(ZF_7Z) << "Copy" << 0u << "Copy";
    QTest::newRow("7z ppmd") << int(ZF_7Z) << "PPMD" << 5u << "PPMD";
    QTest::newRow("zip deflate") << int(ZF_ZIP) << "DEFLATE" << 5u << "Deflate";
    QTest::newRow("zip store") << int(ZF_ZIP) << "DEFLATE" << 0u << "Store";
    QTest::newRow("zip bzip2") << int(ZF_ZIP) << "BZIP2" << 5u << "BZip2";
}

void TestEngineCallbacks::writesNewArchive()
{
    QFETCH(int, format);
    QFETCH(QString, method);
    QFETCH(uint, level);
    QFETCH(QString, listedMethod);
    const QString archive = m_work + QStringLiteral("/new.") + SupportedFormats[format].extension;
    const CompressOptions options = optionsForSources();

    const HRESULT result =
        writeNewArchive(SupportedFormats[format].clsid, archive, options, m_operation,
                        {{QStringLiteral("x"), level}, {QStringLiteral("m"), method}, {QStringLiteral("mt"), 2u}});
    QCOMPARE(result, S_OK);
    QVERIFY(m_operation->errors.isEmpty());
    QVERIFY(m_operation->totalCalls > 0);
    // Every file with data was handed out through GetStream, nothing else.
    for (int i = 0; i < options.newFiles.size(); ++i) {
        const QFileInfo info(options.newFiles[i]);
        if (info.isDir())
            QVERIFY(!m_operation->fileIndexes.contains(unsigned(i)));
        else if (info.size() > 0)
            QVERIFY(m_operation->fileIndexes.contains(unsigned(i)));
    }

    QVERIFY(passes7zTest(archive));
    const QString listing = slt(archive);
    QVERIFY2(listing.contains(QStringLiteral("Method = ") + listedMethod), qPrintable(listing));
    QVERIFY(listing.contains(QStringLiteral("\nPath = docs/a.txt\n")));

    const QString target = m_work + QStringLiteral("/out");
    const QString extracted = extractWith7z(archive, target);
    QVERIFY2(extracted.isEmpty(), qPrintable(extracted));
    QCOMPARE(testenv::compareTrees(m_source, target), QString());

    // Times are stored to the 100 ns tick.
    uint64_t original = 0;
    uint64_t restored = 0;
    getFileTimes(m_source + QStringLiteral("/docs/a.txt"), nullptr, nullptr, &original);
    getFileTimes(target + QStringLiteral("/docs/a.txt"), nullptr, nullptr, &restored);
    QCOMPARE(restored, original);
}

void TestEngineCallbacks::writesSplitArchiveAndReadsItBack()
{
    const QString archive = m_work + QStringLiteral("/split.7z");
    const long long volume = 20000;
    CompressOptions options = optionsForSources();
    QCOMPARE(writeNewArchive(CLSID_CFormat7z, archive, options, m_operation,
                             {{QStringLiteral("x"), 5u}, {QStringLiteral("m"), QStringLiteral("LZMA2")},
                              {QStringLiteral("mt"), 2u}},
                             volume),
             S_OK);
    QVERIFY(!QFileInfo::exists(archive));
    QStringList volumes;
    for (int n = 1; QFileInfo::exists(StreamBase::volumeName(archive, n)); ++n)
        volumes << StreamBase::volumeName(archive, n);
    QVERIFY2(volumes.size() >= 5, qPrintable(volumes.join(QLatin1Char(' '))));
    qint64 total = 0;
    for (int i = 0; i < volumes.size(); ++i) {
        const qint64 size = QFileInfo(volumes[i]).size();
        total += size;
        if (i + 1 < volumes.size())
            QCOMPARE(size, volume);
        else
            QVERIFY(size > 0 && size <= volume);
    }

    QVERIFY(passes7zTest(archive + QStringLiteral(".001")));
    const QString target = m_work + QStringLiteral("/out");
    QVERIFY(extractWith7z(archive + QStringLiteral(".001"), target).isEmpty());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());

    // One stream over the whole set: its size is the sum of the volumes.
    CMyComPtr<InStream> stream(new InStream(m_operation, archive + QStringLiteral(".001"), true));
    UInt64 size = 0;
    stream->GetSize(&size);
    QCOMPARE(qint64(size), total);
    stream.Release();

    QList<ListedItem> items;
    QCOMPARE(listArchive(archive + QStringLiteral(".001"), CLSID_CFormat7z, m_operation, &items), S_OK);
    QCOMPARE(items.size(), sourcePaths().size());
    QVERIFY(m_operation->errors.isEmpty());
}

void TestEngineCallbacks::passwordReachesTheEngine()
{
    const QString archive = m_work + QStringLiteral("/secret.7z");
    m_operation->password2 = QStringLiteral("pässwörd");
    QCOMPARE(writeNewArchive(CLSID_CFormat7z, archive, optionsForSources(), m_operation,
                             {{QStringLiteral("x"), 5u}, {QStringLiteral("m"), QStringLiteral("LZMA2")},
                              {QStringLiteral("mt"), 1u}}),
             S_OK);
    QVERIFY(m_operation->passwordRequests > 0);
    QVERIFY(passes7zTest(archive, {QString::fromUtf8("-ppässwörd")}));
    QVERIFY(!passes7zTest(archive, {QStringLiteral("-pwrong")}));

    // The engine asks the open callback for the password when it reads it.
    QList<ListedItem> items;
    m_operation->password1 = QStringLiteral("pässwörd");
    QCOMPARE(listArchive(archive, CLSID_CFormat7z, m_operation, &items), S_OK);
    QCOMPARE(items.size(), sourcePaths().size());
}

void TestEngineCallbacks::cancelStopsTheEngine()
{
    m_operation->progress.canceled = true;
    const QString archive = m_work + QStringLiteral("/cancelled.7z");
    const HRESULT result = writeNewArchive(CLSID_CFormat7z, archive, optionsForSources(), m_operation,
                                           {{QStringLiteral("x"), 5u}, {QStringLiteral("m"), QStringLiteral("LZMA2")},
                                            {QStringLiteral("mt"), 2u}});
    QVERIFY(result != S_OK);
}

void TestEngineCallbacks::unopenableSourceEndsOrSkips()
{
    // A source that cannot be opened when its data is due (here: reachable
    // only through the elevated file server, which does not run in tests):
    // GetStream has no stream for it and the engine finishes the update by
    // its own rules.
    const CompressOptions options = optionsForSources();
    const QString blocked = m_source + QStringLiteral("/top.txt");
    m_operation->elevated.insert(blocked);
    const QString archive = m_work + QStringLiteral("/partial.7z");
    const HRESULT result = writeNewArchive(CLSID_CFormat7z, archive, options, m_operation,
                                           {{QStringLiteral("x"), 5u}, {QStringLiteral("m"), QStringLiteral("LZMA2")},
                                            {QStringLiteral("mt"), 2u}});
    QVERIFY(m_operation->errors.isEmpty());
    QVERIFY(!m_operation->fileIndexes.contains(unsigned(options.newFiles.indexOf(blocked))));
    QVERIFY(m_operation->fileIndexes.contains(unsigned(options.newFiles.indexOf(m_source + QStringLiteral("/docs/a.txt")))));
    if (result == S_OK)
        QVERIFY(passes7zTest(archive));
}

void TestEngineCallbacks::renamedEntryIsAnsweredFromOldArchive()
{
    const QString archive = m_work + QStringLiteral("/old.7z");
    QCOMPARE(testenv::run7z({QStringLiteral("a"), archive, QStringLiteral("docs"), QStringLiteral("top.txt")},
                            m_source)
                 .exitCode,
             0);
    CMyComPtr<IInArchive> existing;
    QCOMPARE(openArchive(archive, CLSID_CFormat7z, m_operation, &existing), S_OK);
    UInt32 count = 0;
    existing->GetNumberOfItems(&count);
    QList<ArchiveItemInfo> entries;
    int renamed = -1;
    for (UInt32 i = 0; i < count; ++i) {
        const ListedItem listed = readItem(existing, i);
        ArchiveItemInfo entry;
        entry.name = listed.path;
        entry.index = i;
        entry.isDir = listed.isDir;
        entry.size = listed.size;
        if (listed.path == QLatin1String("top.txt")) {
            entry.newName = QStringLiteral("renamed/top-new.txt");
            renamed = int(i);
        }
        entries << entry;
    }
    QVERIFY(renamed >= 0);

    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    CompressOptions options;
    options.archivePath = archive;
    options.addToExisting = true;
    callback->Init(options, entries, existing, m_operation);
    QCOMPARE(callback->itemCount(), count);

    Int32 newData = -1;
    Int32 newProps = -1;
    UInt32 indexInArchive = 0;
    QCOMPARE(callback->GetUpdateItemInfo(UInt32(renamed), &newData, &newProps, &indexInArchive), S_OK);
    QCOMPARE(newData, 0);
    QCOMPARE(newProps, 1);
    QCOMPARE(indexInArchive, UInt32(renamed));
    const UInt32 other = renamed == 0 ? 1 : 0;
    QCOMPARE(callback->GetUpdateItemInfo(other, &newData, &newProps, &indexInArchive), S_OK);
    QCOMPARE(newData, 0);
    QCOMPARE(newProps, 0);
    QCOMPARE(indexInArchive, other);

    CPropVariant path;
    QCOMPARE(callback->GetProperty(UInt32(renamed), kpidPath, &path), S_OK);
    QCOMPARE(fromEngineString(path.bstrVal), QStringLiteral("renamed/top-new.txt"));
    for (PROPID id : {kpidSize, kpidMTime, kpidIsDir, kpidAttrib}) {
        CPropVariant ours;
        CPropVariant theirs;
        QCOMPARE(callback->GetProperty(UInt32(renamed), id, &ours), S_OK);
        existing->GetProperty(UInt32(renamed), id, &theirs);
        QCOMPARE(ours.vt, theirs.vt);
        QCOMPARE(ours.uhVal, theirs.uhVal);
    }
    CPropVariant size;
    callback->GetProperty(UInt32(renamed), kpidSize, &size);
    QCOMPARE(size.uhVal, 5000ull);

    // The engine writes the renamed archive from the old one.
    const QString result = m_work + QStringLiteral("/renamed.7z");
    CMyComPtr<IOutArchive> out;
    QCOMPARE(existing.QueryInterface(IID_IOutArchive, out), S_OK);
    CMyComPtr<OutStream> stream(new OutStream(m_operation, result, true, -1));
    QCOMPARE(out->UpdateItems(static_cast<IOutStream*>(stream.get()), count,
                              static_cast<IArchiveUpdateCallback2*>(callback.get())),
             S_OK);
    stream->Close(true);
    existing->Close();
    QVERIFY(passes7zTest(result));
    const QString target = m_work + QStringLiteral("/out");
    QVERIFY(extractWith7z(result, target).isEmpty());
    QCOMPARE(testenv::readFile(target + QStringLiteral("/renamed/top-new.txt")), m_files.value(QStringLiteral("top.txt")));
    QVERIFY(!QFileInfo::exists(target + QStringLiteral("/top.txt")));
    QCOMPARE(testenv::readFile(target + QStringLiteral("/docs/sub/b.bin")), m_files.value(QStringLiteral("docs/sub/b.bin")));
}

void TestEngineCallbacks::replacedEntryAfterDeletedOne_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("7z") << int(ZF_7Z);
    QTest::newRow("zip") << int(ZF_ZIP);
}

void TestEngineCallbacks::replacedEntryAfterDeletedOne()
{
    // An update that drops the first entry and gives the third new data: the
    // kept entries' positions no longer match their indexes in the archive.
    QFETCH(int, format);
    const GUID clsid = SupportedFormats[format].clsid;
    const QString folder = m_work + QStringLiteral("/in");
    testenv::makeTree(folder, {{QStringLiteral("a.txt"), QByteArray("first")},
                               {QStringLiteral("b.txt"), QByteArray("second")},
                               {QStringLiteral("c.txt"), QByteArray("third")}});
    const QString archive = m_work + QStringLiteral("/three.") + SupportedFormats[format].extension;
    QCOMPARE(testenv::run7z({QStringLiteral("a"), QStringLiteral("-mx=0"), archive, QStringLiteral("a.txt"),
                             QStringLiteral("b.txt"), QStringLiteral("c.txt")},
                            folder)
                 .exitCode,
             0);
    const QString newC = m_work + QStringLiteral("/new/c.txt");
    QVERIFY(testenv::writeFile(newC, "third, rewritten"));

    CMyComPtr<IInArchive> existing;
    QCOMPARE(openArchive(archive, clsid, m_operation, &existing), S_OK);
    UInt32 count = 0;
    existing->GetNumberOfItems(&count);
    QCOMPARE(count, 3u);
    QList<ArchiveItemInfo> kept;
    for (UInt32 i = 0; i < count; ++i) {
        ArchiveItemInfo entry;
        entry.name = readItem(existing, i).path;
        entry.index = i;
        if (entry.name == QLatin1String("a.txt"))
            continue;
        if (entry.name == QLatin1String("c.txt")) {
            entry.needsUpdate = true;
            entry.sourcePath = newC;
        }
        kept << entry;
    }
    QCOMPARE(kept.size(), 2);
    CompressOptions options;
    options.baseDirectory = m_work + QStringLiteral("/new");
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, kept, existing, m_operation);

    // The replaced entry points at its own old item.
    Int32 newData = 0;
    Int32 newProps = 0;
    UInt32 indexInArchive = 0;
    QCOMPARE(callback->GetUpdateItemInfo(1, &newData, &newProps, &indexInArchive), S_OK);
    QCOMPARE(newData, 1);
    QCOMPARE(indexInArchive, kept[1].index);

    const QString result = m_work + QStringLiteral("/result.") + SupportedFormats[format].extension;
    CMyComPtr<IOutArchive> out;
    QCOMPARE(existing.QueryInterface(IID_IOutArchive, out), S_OK);
    QCOMPARE(setArchiveProperties(out, {{QStringLiteral("x"), 5u}}), S_OK);
    CMyComPtr<OutStream> stream(new OutStream(m_operation, result, true, -1));
    QCOMPARE(out->UpdateItems(static_cast<IOutStream*>(stream.get()), callback->itemCount(),
                              static_cast<IArchiveUpdateCallback2*>(callback.get())),
             S_OK);
    stream->Close(true);
    existing->Close();

    QVERIFY(passes7zTest(result));
    const QString target = m_work + QStringLiteral("/out");
    QVERIFY(extractWith7z(result, target).isEmpty());
    QCOMPARE(testenv::listTree(target), (QStringList{QStringLiteral("b.txt"), QStringLiteral("c.txt")}));
    QCOMPARE(testenv::readFile(target + QStringLiteral("/b.txt")), QByteArray("second"));
    QCOMPARE(testenv::readFile(target + QStringLiteral("/c.txt")), QByteArray("third, rewritten"));
}

void TestEngineCallbacks::opensSingleStreamArchives_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("format");
    QTest::newRow("xz") << "xz" << int(ZF_XZ);
    QTest::newRow("gzip") << "gzip" << int(ZF_GZIP);
    QTest::newRow("bzip2") << "bzip2" << int(ZF_BZIP2);
}

void TestEngineCallbacks::opensSingleStreamArchives()
{
    QFETCH(QString, type);
    QFETCH(int, format);
    const QString archive = m_work + QStringLiteral("/single.") + SupportedFormats[format].extension;
    QCOMPARE(testenv::run7z({QStringLiteral("a"), QStringLiteral("-t") + type, archive, QStringLiteral("top.txt")},
                            m_source)
                 .exitCode,
             0);
    QList<ListedItem> items;
    QCOMPARE(listArchive(archive, SupportedFormats[format].clsid, m_operation, &items), S_OK);
    QCOMPARE(items.size(), 1);
    QVERIFY(!items[0].isDir);
    // gzip keeps the name and the size of what it holds; xz keeps the size.
    if (items[0].pathIsString)
        QCOMPARE(items[0].path, QStringLiteral("top.txt"));
    if (format != ZF_BZIP2) {
        QVERIFY(items[0].hasSize);
        QCOMPARE(items[0].size, 5000ull);
    }
    // Another format's handler does not take the file.
    QList<ListedItem> none;
    QVERIFY(listArchive(archive, CLSID_CFormat7z, m_operation, &none) != S_OK);
}

void TestEngineCallbacks::entryNameRule_data()
{
    QTest::addColumn<QString>("baseDirectory");
    QTest::addColumn<QString>("sourceBaseDirectory");
    QTest::addColumn<QString>("archiveFolder");
    QTest::addColumn<bool>("addToExisting");
    QTest::addColumn<QString>("listedPath");
    QTest::addColumn<QString>("expected");

    // Placeholders: ROOT is the private folder holding u/docs/a.txt.
    QTest::newRow("relative to the base") << "ROOT/u" << "" << "" << false << "ROOT/u/docs/a.txt"
                                          << "docs/a.txt";
    QTest::newRow("relative, listed relative to the working folder")
        << "ROOT/u" << "" << "" << false << "u/docs/a.txt" << "docs/a.txt";
    QTest::newRow("no base: absolute") << "" << "" << "" << false << "ROOT/u/docs/a.txt" << "ROOT/u/docs/a.txt";
    QTest::newRow("no base while adding: absolute")
        << "" << "ROOT/u/docs" << "x/y" << true << "ROOT/u/docs/a.txt" << "ROOT/u/docs/a.txt";
    QTest::newRow("adding under a folder") << "ROOT/u" << "ROOT/u/docs" << "x/y" << true << "ROOT/u/docs/a.txt"
                                           << "x/y/a.txt";
    QTest::newRow("adding at the top") << "ROOT/u" << "ROOT/u/docs" << "" << true << "ROOT/u/docs/a.txt"
                                       << "a.txt";
    QTest::newRow("adding cut by the base") << "ROOT/u" << "" << "" << true << "ROOT/u/docs/a.txt"
                                            << "docs/a.txt";
    QTest::newRow("adding, base with a slash") << "ROOT/u/" << "" << "in" << true << "ROOT/u/docs/a.txt"
                                               << "in/docs/a.txt";
}

void TestEngineCallbacks::entryNameRule()
{
    QFETCH(QString, baseDirectory);
    QFETCH(QString, sourceBaseDirectory);
    QFETCH(QString, archiveFolder);
    QFETCH(bool, addToExisting);
    QFETCH(QString, listedPath);
    QFETCH(QString, expected);
    const QString root = m_work;
    QVERIFY(testenv::writeFile(root + QStringLiteral("/u/docs/a.txt"), "a"));
    const auto place = [&root](QString text) { return text.replace(QStringLiteral("ROOT"), root); };

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

void TestEngineCallbacks::diskPropertiesOfNewItems()
{
    CompressOptions options;
    options.baseDirectory = m_source;
    options.newFiles = QStringList{m_source + QStringLiteral("/docs/a.txt"), m_source + QStringLiteral("/docs/empty")};
    // One kept entry of an existing archive comes first.
    ArchiveItemInfo kept;
    kept.name = QStringLiteral("kept.txt");
    kept.index = 4;
    kept.sourcePath = m_source + QStringLiteral("/top.txt");
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {kept}, CMyComPtr<IInArchive>(), m_operation);
    QCOMPARE(callback->itemCount(), 3u);
    QCOMPARE(callback->getFullFilePathByIndex(0), kept.sourcePath);
    QCOMPARE(callback->getFullFilePathByIndex(1), options.newFiles[0]);
    QCOMPARE(callback->getFullFilePathByIndex(2), options.newFiles[1]);

    Int32 newData = -1;
    Int32 newProps = -1;
    UInt32 indexInArchive = 0;
    QCOMPARE(callback->GetUpdateItemInfo(0, &newData, &newProps, &indexInArchive), S_OK);
    QCOMPARE(newData, 0);
    QCOMPARE(newProps, 0);
    QCOMPARE(indexInArchive, 4u);
    QCOMPARE(callback->GetUpdateItemInfo(1, &newData, &newProps, &indexInArchive), S_OK);
    QCOMPARE(newData, 1);
    QCOMPARE(newProps, 1);
    QCOMPARE(indexInArchive, 0xFFFFFFFFu);
    QCOMPARE(callback->GetUpdateItemInfo(1, nullptr, nullptr, nullptr), S_OK);
    QCOMPARE(callback->GetUpdateItemInfo(3, &newData, &newProps, &indexInArchive), E_INVALIDARG);

    // A kept entry that takes new data from its source file.
    kept.needsUpdate = true;
    callback->Init(options, {kept}, CMyComPtr<IInArchive>(), m_operation);
    QCOMPARE(callback->GetUpdateItemInfo(0, &newData, &newProps, &indexInArchive), S_OK);
    QCOMPARE(newData, 1);
    QCOMPARE(newProps, 1);
    QCOMPARE(indexInArchive, 4u);

    CPropVariant value;
    QCOMPARE(callback->GetProperty(1, kpidIsDir, &value), S_OK);
    QCOMPARE(value.vt, VARTYPE(VT_BOOL));
    QCOMPARE(value.boolVal, VARIANT_BOOL(0));
    QCOMPARE(callback->GetProperty(2, kpidIsDir, &value), S_OK);
    QVERIFY(value.boolVal != 0);
    QCOMPARE(callback->GetProperty(1, kpidSize, &value), S_OK);
    QCOMPARE(value.vt, VARTYPE(VT_UI8));
    QCOMPARE(value.uhVal, 18ull);
    // The mode in the engine's Unix extension of the attributes, which is
    // how 7z, zip and wim keep it.
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(options.newFiles[0]).constData(), &st), 0);
    QCOMPARE(callback->GetProperty(1, kpidAttrib, &value), S_OK);
    QCOMPARE(value.vt, VARTYPE(VT_UI4));
    QCOMPARE(value.ulVal >> 16, UInt32(st.st_mode));
    QVERIFY(value.ulVal & kAttributeUnixExtension);
    QCOMPARE(callback->GetProperty(2, kpidAttrib, &value), S_OK);
    QVERIFY(value.ulVal & kAttributeDirectory);
    uint64_t creation = 0;
    uint64_t access = 0;
    uint64_t modification = 0;
    getFileTimes(options.newFiles[0], &creation, &access, &modification);
    const QVector<QPair<PROPID, uint64_t>> times = {{kpidCTime, creation}, {kpidATime, access}, {kpidMTime, modification}};
    for (const auto& time : times) {
        QCOMPARE(callback->GetProperty(1, time.first, &value), S_OK);
        QCOMPARE(value.vt, VARTYPE(VT_FILETIME));
        QCOMPARE(ticksFromFileTime(value.filetime), time.second);
        QCOMPARE(value.wReserved1 + value.wReserved2 + value.wReserved3, 0);
    }
    // Never an anti-item, whatever the item.
    for (UInt32 index = 0; index < 3; ++index) {
        QCOMPARE(callback->GetProperty(index, kpidIsAnti, &value), S_OK);
        QCOMPARE(value.vt, VARTYPE(VT_BOOL));
        QCOMPARE(value.boolVal, VARIANT_BOOL(0));
    }
    // Properties nobody answers stay empty.
    value.clear();
    QCOMPARE(callback->GetProperty(1, 99, &value), S_OK);
    QCOMPARE(value.vt, VARTYPE(VT_EMPTY));
    QCOMPARE(callback->GetProperty(3, kpidPath, &value), E_INVALIDARG);
}

void TestEngineCallbacks::cancelDuringScanFailsNextPathQuery()
{
    CompressOptions options;
    options.baseDirectory = QStringLiteral("/data");
    for (int i = 0; i < 305; ++i)
        options.newFiles << QStringLiteral("/data/f%1.txt").arg(i);
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {}, CMyComPtr<IInArchive>(), m_operation);

    CPropVariant name;
    QCOMPARE(callback->GetProperty(1, kpidPath, &name), S_OK);
    QCOMPARE(m_operation->progress.operation.load(), AO_SCANNING);
    QCOMPARE(m_operation->progress.currentFile(), QStringLiteral("/data/f1.txt"));

    m_operation->progress.canceled = true;
    // Multiples of 300 (0 among them) do not look at the progress.
    for (UInt32 index : {0u, 300u}) {
        CPropVariant value;
        QCOMPARE(callback->GetProperty(index, kpidPath, &value), S_OK);
    }
    for (UInt32 index : {2u, 301u, 304u}) {
        CPropVariant value;
        QCOMPARE(callback->GetProperty(index, kpidPath, &value), E_FAIL);
    }
    QCOMPARE(m_operation->progress.currentFile(), QStringLiteral("/data/f304.txt"));
    // Other properties are not part of the scan.
    CPropVariant other;
    QCOMPARE(callback->GetProperty(5, kpidAttrib, &other), S_OK);

    // Without a progress block the cancel flag still counts.
    m_operation->withProgress = false;
    CPropVariant value;
    QCOMPARE(callback->GetProperty(7, kpidPath, &value), E_FAIL);
}

void TestEngineCallbacks::cancelWhilePausedFailsPathQuery()
{
    CompressOptions options;
    options.newFiles = QStringList{QStringLiteral("/a"), QStringLiteral("/b")};
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {}, CMyComPtr<IInArchive>(), m_operation);
    m_operation->progress.paused = true;
    TestOperation* operation = m_operation;
    QTimer::singleShot(50, [operation] { operation->progress.canceled = true; });
    CPropVariant value;
    QCOMPARE(callback->GetProperty(1, kpidPath, &value), E_FAIL);

    // Paused and resumed: the query goes on.
    m_operation->progress.canceled = false;
    QTimer::singleShot(50, [operation] { operation->progress.paused = false; });
    CPropVariant again;
    QCOMPARE(callback->GetProperty(1, kpidPath, &again), S_OK);
    QCOMPARE(fromEngineString(again.bstrVal), QStringLiteral("/b"));
}

void TestEngineCallbacks::getStreamHandsOutFilesAndReportsBadIndexes()
{
    CompressOptions options;
    options.baseDirectory = m_source;
    options.newFiles = QStringList{m_source + QStringLiteral("/top.txt"), m_source + QStringLiteral("/missing.txt")};
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {}, CMyComPtr<IInArchive>(), m_operation);

    ISequentialInStream* stream = nullptr;
    QCOMPARE(callback->GetStream(0, &stream), S_OK);
    QVERIFY(stream);
    QCOMPARE(m_operation->fileIndexes, QList<unsigned>{0});
    QCOMPARE(m_operation->progress.currentFile(), options.newFiles[0]);
    QByteArray data(6000, '\0');
    UInt32 processed = 0;
    QCOMPARE(stream->Read(data.data(), 6000, &processed), S_OK);
    QCOMPARE(data.left(int(processed)), m_files.value(QStringLiteral("top.txt")));
    stream->Release();

    // A file that cannot be opened: no stream, no message.
    stream = reinterpret_cast<ISequentialInStream*>(0x1);
    QCOMPARE(callback->GetStream(1, &stream), S_FALSE);
    QVERIFY(!stream);
    QVERIFY(m_operation->errors.isEmpty());
    QCOMPARE(m_operation->fileIndexes.size(), 1);

    // An index past the items is an internal error.
    QCOMPARE(callback->GetStream(2, &stream), S_FALSE);
    QVERIFY(!stream);
    QCOMPARE(m_operation->errors.size(), 1);
    QCOMPARE(m_operation->errors[0].first, LS_UNPACKER_INTERNAL_ERROR);
    QCOMPARE(m_operation->errors[0].second,
             QStringList{QStringLiteral("CFileArchive::CArchiveUpdateCallback::GetStream")});
}

void TestEngineCallbacks::callbackWithoutOperation()
{
    CompressOptions options;
    options.newFiles = QStringList{m_source + QStringLiteral("/top.txt")};
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {}, CMyComPtr<IInArchive>(), nullptr);
    QCOMPARE(callback->SetTotal(100), S_OK);
    const UInt64 done = 50;
    QCOMPARE(callback->SetCompleted(&done), S_OK);
    QCOMPARE(callback->SetRatioInfo(&done, &done), S_OK);
    // No password, rather than a failure: the engine ends the whole update
    // when the password question fails.
    Int32 defined = -1;
    BSTR password = nullptr;
    QCOMPARE(callback->CryptoGetTextPassword2(&defined, &password), S_OK);
    QCOMPARE(defined, 0);
    QVERIFY(!password);
    ISequentialInStream* stream = nullptr;
    QCOMPARE(callback->GetStream(1, &stream), S_FALSE);
    QCOMPARE(callback->GetStream(0, &stream), S_OK);
    stream->Release();
    CPropVariant name;
    QCOMPARE(callback->GetProperty(0, kpidPath, &name), S_OK);

    for (int format : {int(ZF_7Z), int(ZF_ZIP)}) {
        const QString archive = m_work + QStringLiteral("/alone.") + SupportedFormats[format].extension;
        QCOMPARE(writeNewArchive(SupportedFormats[format].clsid, archive, optionsForSources(), nullptr,
                                 {{QStringLiteral("x"), 5u}}),
                 S_OK);
        QVERIFY(passes7zTest(archive));
    }
}

void TestEngineCallbacks::openCallbackAnswersFullPath()
{
    const QString path = m_work + QString::fromUtf8("/архив ") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(".7z");
    CMyComPtr<CArchiveOpenCallback> callback(new CArchiveOpenCallback(m_operation, path));
    for (PROPID id : {kpidName, kpidPath, kpidSize, kpidIsDir}) {
        CPropVariant value;
        QCOMPARE(callback->GetProperty(id, &value), S_OK);
        QCOMPARE(value.vt, VARTYPE(VT_BSTR));
        QCOMPARE(fromEngineString(value.bstrVal), path);
    }
    const UInt64 files = 1;
    QCOMPARE(callback->SetTotal(&files, nullptr), S_OK);
    QCOMPARE(callback->SetCompleted(nullptr, nullptr), S_OK);

    BSTR password = nullptr;
    QCOMPARE(callback->CryptoGetTextPassword(&password), S_FALSE);
    m_operation->password1 = QStringLiteral("key");
    QCOMPARE(callback->CryptoGetTextPassword(&password), S_OK);
    QCOMPARE(fromEngineString(password), QStringLiteral("key"));
    SysFreeString(password);
}

void TestEngineCallbacks::openCallbackReportsMissingVolume()
{
    const QString present = m_work + QStringLiteral("/v.7z.002");
    QVERIFY(testenv::writeFile(present, "volume two"));
    CMyComPtr<CArchiveOpenCallback> callback(new CArchiveOpenCallback(m_operation, m_work + QStringLiteral("/v.7z.001")));

    IInStream* stream = nullptr;
    QCOMPARE(callback->GetStream(toWideString(present).c_str(), &stream), S_OK);
    QVERIFY(stream);
    UInt32 processed = 0;
    QByteArray data(20, '\0');
    stream->Read(data.data(), 20, &processed);
    QCOMPARE(data.left(int(processed)), QByteArray("volume two"));
    stream->Release();
    QVERIFY(m_operation->errors.isEmpty());

    const QString missing = m_work + QStringLiteral("/v.7z.003");
    stream = reinterpret_cast<IInStream*>(0x1);
    QCOMPARE(callback->GetStream(toWideString(missing).c_str(), &stream), S_FALSE);
    QVERIFY(!stream);
    QCOMPARE(m_operation->errors.size(), 1);
    QCOMPARE(m_operation->errors[0].first, LS_CANNOT_OPEN_FILE);
    QCOMPARE(m_operation->errors[0].second, QStringList{missing});
}

void TestEngineCallbacks::engineAsksOpenCallbackForVolumes()
{
    // The engine's split handler finds the further volumes by name through
    // the open callback; the folder's name is not ASCII.
    const QString folder = m_work + QString::fromUtf8("/тома ") + QString::fromUcs4(U"\U0001F600");
    const QByteArray whole = randomBytes(2500, 7);
    QVERIFY(testenv::writeFile(folder + QStringLiteral("/data.bin.001"), whole.mid(0, 1000)));
    QVERIFY(testenv::writeFile(folder + QStringLiteral("/data.bin.002"), whole.mid(1000, 1000)));
    QVERIFY(testenv::writeFile(folder + QStringLiteral("/data.bin.003"), whole.mid(2000)));

    QList<ListedItem> items;
    QCOMPARE(listArchive(folder + QStringLiteral("/data.bin.001"), kSplitFormat, m_operation, &items, false), S_OK);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].size, 2500ull);
    // The item is named after the path the open callback gave.
    QCOMPARE(items[0].path, folder + QStringLiteral("/data.bin"));
    // The engine looks one volume past the last.
    for (const auto& error : qAsConst(m_operation->errors)) {
        QCOMPARE(error.first, LS_CANNOT_OPEN_FILE);
        QCOMPARE(error.second, QStringList{folder + QStringLiteral("/data.bin.004")});
    }
}

void TestEngineCallbacks::callbacksAnswerOnlyTheirInterfaces()
{
    const GUID foreign = makeInterfaceId(0x06, 0x05);
    CMyComPtr<CArchiveOpenCallback> open(new CArchiveOpenCallback(m_operation, QStringLiteral("/x.7z")));
    for (const GUID& iid : {IID_IUnknown, IID_ICryptoGetTextPassword, IID_IArchiveOpenVolumeCallback}) {
        void* object = nullptr;
        QCOMPARE(open->QueryInterface(iid, &object), S_OK);
        static_cast<IUnknown*>(object)->Release();
    }
    CMyComPtr<ArchiveUpdateCallback> update(new ArchiveUpdateCallback);
    for (const GUID& iid : {IID_IUnknown, IID_IArchiveUpdateCallback2, IID_ICryptoGetTextPassword2,
                            IID_ICompressProgressInfo}) {
        void* object = nullptr;
        QCOMPARE(update->QueryInterface(iid, &object), S_OK);
        static_cast<IUnknown*>(object)->Release();
    }
    CMyComPtr<ICompressProgressInfo> ratio;
    QCOMPARE(CMyComPtr<ArchiveUpdateCallback>(update).QueryInterface(IID_ICompressProgressInfo, ratio), S_OK);
    update->Init(CompressOptions(), {}, CMyComPtr<IInArchive>(), m_operation);
    const UInt64 in = 10;
    const UInt64 out = 4;
    QCOMPARE(ratio->SetRatioInfo(&in, &out), S_OK);
    // The update side reports the output size.
    QCOMPARE(m_operation->ratioSize, 4ull);

    // Newer or foreign interfaces: a clear no and a null pointer.
    const auto refuses = [](IUnknown* object, const GUID& iid) {
        void* answer = reinterpret_cast<void*>(0x1);
        return object->QueryInterface(iid, &answer) == E_NOINTERFACE && answer == nullptr;
    };
    IUnknown* openObject = static_cast<IArchiveOpenCallback*>(open.get());
    IUnknown* updateObject = static_cast<IArchiveUpdateCallback2*>(update.get());
    for (const GUID& iid : {foreign, IID_IArchiveExtractCallback, makeInterfaceId(0x06, 0x90)}) {
        QVERIFY(refuses(openObject, iid));
        QVERIFY(refuses(updateObject, iid));
    }
    QVERIFY(refuses(openObject, IID_ICryptoGetTextPassword2));
    QVERIFY(refuses(updateObject, IID_ICryptoGetTextPassword));
}

QUENVAR_TEST_MAIN(TestEngineCallbacks)
#include "tst_enginecallbacks.moc"
