// The open and update callbacks where the archive operations cannot reach
// them: names of new entries, an update that replaces an entry after a
// deleted one, cancel during the scan, writing without an operation, volumes
// found through the open callback, and the interfaces handed to the engine.
// Round trips through the callbacks are the archive operation tests' part.
#include "common/testenv.h"

#include "enginetestsupport.h"

#include <QDir>
#include <QTimer>

class TestEngineCallbacks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void entryNameRule_data();
    void entryNameRule();
    void replacedEntryAfterDeletedOne_data();
    void replacedEntryAfterDeletedOne();
    void cancelEndsTheScan();
    void writesWithoutAnOperation();
    void engineAsksOpenCallbackForVolumes();
    void callbacksAnswerOnlyTheirInterfaces();

private:
    QString m_work;
    TestOperation* m_operation = nullptr;
};

void TestEngineCallbacks::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
}

void TestEngineCallbacks::init()
{
    m_work = testenv::makeDir("work");
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

void TestEngineCallbacks::entryNameRule_data()
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

void TestEngineCallbacks::entryNameRule()
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

void TestEngineCallbacks::cancelEndsTheScan()
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

void TestEngineCallbacks::writesWithoutAnOperation()
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
        QCOMPARE(writeNewArchive(SupportedFormats[format].clsid, archive, options, nullptr), S_OK);
        const QString target = m_work + "/out" + QString::number(format);
        QCOMPARE(testenv::run7z({"x", "-o" + target, archive}).exitCode, 0);
        QCOMPARE(testenv::compareTrees(source, target), QString());
    }
}

void TestEngineCallbacks::engineAsksOpenCallbackForVolumes()
{
    // The engine's split handler finds the further volumes by name through
    // the open callback; the folder's name is not ASCII.
    const QString folder = m_work + "/тома " + QString::fromUcs4(U"\U0001F600");
    const QByteArray whole = testenv::randomBytes(2500, 7);
    QVERIFY(testenv::writeFile(folder + "/data.bin.001", whole.mid(0, 1000)));
    QVERIFY(testenv::writeFile(folder + "/data.bin.002", whole.mid(1000, 1000)));
    QVERIFY(testenv::writeFile(folder + "/data.bin.003", whole.mid(2000)));

    QList<ListedItem> items;
    const GUID split = makeFormatClassId(0xEA);
    QCOMPARE(listArchive(folder + "/data.bin.001", split, m_operation, &items, false), S_OK);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].size, 2500ull);
    // The item is named after the path the open callback gave.
    QCOMPARE(items[0].path, folder + "/data.bin");
    // The engine looks one volume past the last; the callback names it.
    QCOMPARE(m_operation->errors.size(), 1);
    QCOMPARE(m_operation->errors[0].first, LS_CANNOT_OPEN_FILE);
    QCOMPARE(m_operation->errors[0].second, QStringList{folder + "/data.bin.004"});
}

void TestEngineCallbacks::callbacksAnswerOnlyTheirInterfaces()
{
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
    // Newer or foreign interfaces: a clear no and a null pointer.
    for (const GUID& iid :
         {makeInterfaceId(0x06, 0x05), IID_IArchiveExtractCallback, makeInterfaceId(0x06, 0x90)}) {
        QCOMPARE(answersInterface(openObject, iid), 0);
        QCOMPARE(answersInterface(updateObject, iid), 0);
    }
    QCOMPARE(answersInterface(openObject, IID_ICryptoGetTextPassword2), 0);
    QCOMPARE(answersInterface(updateObject, IID_ICryptoGetTextPassword), 0);
}

QUENVAR_TEST_MAIN(TestEngineCallbacks)
#include "tst_enginecallbacks.moc"
