// The engine library and the program's side of its boundary, where the archive operations cannot
// reach it.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/settings.h"
#include "engine/ArchiveOpenCallback.h"
#include "engine/ArchiveUpdateCallback.h"
#include "engine/IFileArchiveCallbacksHandler.h"
#include "engine/IoFailureLog.h"
#include "engine/streams.h"
#include "engine/zipapi.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QRegularExpression>
#include <QSet>

#include <cstring>

namespace {

const QString kInstalledEngine = "/usr/lib/p7zip/7z.so";

// An operation without a password that records its errors.
class TestOperation final : public IFileArchiveCallbacksHandler
{
public:
    HRESULT CryptoGetTextPassword2(int* passwordIsDefined, wchar_t**) override
    {
        *passwordIsDefined = 0;
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(wchar_t**) override { return S_FALSE; }
    HRESULT SetRatioInfo(const unsigned long long*) override { return S_OK; }
    HRESULT SetTotal(unsigned long long) override { return S_OK; }
    HRESULT SetCompleted(const unsigned long long*) override { return S_OK; }
    void ReportError(LangStringID id, QStringList args) override { errors.append({id, args}); }
    void SetFileIndex(unsigned int) override { }
    void accessHandler(QString) override { }
    void progressHandler(E_ArchiveOperation, CProgressInfo*, bool*) override { }
    ArchiveProgress* archiveProgress() override { return &progress; }
    bool pauseIfNeeded() override { return true; }
    bool isCanceled() override { return false; }
    bool isElevatedFile(const QString& path) override { return elevated.contains(path); }
    std::shared_ptr<IoFailureLog> ioFailureLog() override { return failures; }

    ArchiveProgress progress;
    std::shared_ptr<IoFailureLog> failures = std::make_shared<IoFailureLog>();
    QSet<QString> elevated;
    QList<QPair<LangStringID, QStringList>> errors;
};

// 1 when object answers iid with an object (released again), 0 for a clean refusal
// (E_NOINTERFACE and a null pointer), -1 for anything else.
int answersInterface(IUnknown* object, const GUID& iid)
{
    void* answer = reinterpret_cast<void*>(0x1);
    const HRESULT result = object->QueryInterface(iid, &answer);
    if (result == S_OK && answer) {
        static_cast<IUnknown*>(answer)->Release();
        return 1;
    }
    return result == E_NOINTERFACE && !answer ? 0 : -1;
}

QString itemPath(IInArchive* archive, UInt32 index)
{
    CPropVariant path;
    archive->GetProperty(index, kpidPath, &path);
    return path.vt == VT_BSTR ? fromEngineString(path.bstrVal) : QString();
}

HRESULT openArchive(const QString& path, const GUID& clsid, IFileArchiveCallbacksHandler* operation,
                    CMyComPtr<IInArchive>* archive, bool checkVolumes)
{
    CMyComPtr<IInArchive> handler;
    if (GetIInArchive(clsid, &handler) != 0)
        return E_NOTIMPL;
    CMyComPtr<InStream> stream(new InStream(operation, path, checkVolumes));
    CMyComPtr<CArchiveOpenCallback> callback(new CArchiveOpenCallback(operation, path));
    const UInt64 maxCheckStart = 1 << 23;
    const HRESULT result = handler->Open(static_cast<IInStream*>(stream.get()), &maxCheckStart,
                                         static_cast<IArchiveOpenCallback*>(callback.get()));
    if (result == S_OK)
        *archive = handler;
    return result;
}

QStringList symbolLines(const QStringList& nmArguments, const QString& binary)
{
    const testenv::ProcessResult result =
        testenv::runProcess("nm", nmArguments + QStringList{binary});
    if (!result.finished || result.exitCode != 0)
        return {};
    return QString::fromLocal8Bit(result.out).split('\n', Qt::SkipEmptyParts);
}

bool listsSymbol(const QStringList& lines, const QString& name)
{
    for (const QString& line : lines) {
        if (line.section(' ', -1) == name)
            return true;
    }
    return false;
}

QByteArray bytesOf(BSTR text, int count)
{
    return QByteArray(reinterpret_cast<const char*>(text), count);
}

void writeUpdate(IOutArchive* writer, ArchiveUpdateCallback* callback, OutStream* stream)
{
    QCOMPARE(writer->UpdateItems(static_cast<IOutStream*>(stream), callback->itemCount(),
                                 static_cast<IArchiveUpdateCallback2*>(callback)),
             S_OK);
    stream->Close(true);
}

} // namespace

class TestEngineBoundary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(InitGetProc(), "the engine library is needed"); }

    void init()
    {
        m_work = testenv::makeDir("work");
        m_operation = new TestOperation;
    }

    void cleanup()
    {
        setEngineLibraryPathForTests(QString());
        CSettings::setElevated(false);
        StreamBase::waitForFlushFinished();
        QCOMPARE(CMyUnknownImp::liveObjects(), 0);
        delete m_operation;
        m_operation = nullptr;
        QDir(m_work).removeRecursively();
    }

    void failuresCarryTheirReason()
    {
        // A missing file is never read as an empty one: the engine would store it.
        const QString missing = m_work + "/missing.bin";
        CMyComPtr<InStream> in(new InStream(m_operation, missing, true));
        QByteArray buffer(10, '\0');
        UInt32 processed = 5;
        QVERIFY(in->Read(buffer.data(), 10, &processed) < 0);
        QCOMPARE(processed, 0u);
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

    void elevatedFilesGoThroughTheServer()
    {
        // No elevated file server runs here.
        const QString path = m_work + "/guarded.bin";
        QVERIFY(testenv::writeFile(path, testenv::randomBytes(64)));
        const QString target = m_work + "/guarded-out.bin";
        m_operation->elevated = {path, target};
        CMyComPtr<InStream> guarded(new InStream(m_operation, path, false));
        QVERIFY(guarded->isElevated());
        QByteArray buffer(64, '\0');
        UInt32 processed = 1;
        QVERIFY(guarded->Read(buffer.data(), 64, &processed) < 0);
        QCOMPARE(processed, 0u);
        CMyComPtr<OutStream> out(new OutStream(m_operation, target, false, -1));
        QVERIFY(out->Write("abc", 3, &processed) < 0);
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(m_operation->failures->failures().size(), 2);
        for (const IoFailure& failure : m_operation->failures->failures())
            QCOMPARE(failure.reason, elevatedServerFailureText());

        const QString plain = m_work + "/plain.bin";
        QVERIFY(testenv::writeFile(plain, "plain"));
        CMyComPtr<InStream> local(new InStream(m_operation, plain, false));
        CSettings::setElevated(true);
        QVERIFY(local->isElevated());
        QVERIFY(!local->canBeOpened());
    }

    void objectsAnswerOnlyTheirInterfaces()
    {
        const QString path = m_work + "/q.bin";
        QVERIFY(testenv::writeFile(path, "q"));
        CMyComPtr<InStream> in(new InStream(m_operation, path, false));
        CMyComPtr<OutStream> out(new OutStream(m_operation, m_work + "/q.out", false, -1));
        IUnknown* reader = static_cast<IInStream*>(in.get());
        IUnknown* writer = static_cast<IOutStream*>(out.get());
        for (const GUID& iid : {IID_IUnknown, IID_IInStream, IID_IStreamGetSize,
                                IID_IStreamGetProps, IID_IStreamGetProps2})
            QCOMPARE(answersInterface(reader, iid), 1);
        QCOMPARE(answersInterface(writer, IID_IOutStream), 1);
        // Newer or foreign interfaces: a clear no and a null pointer.
        for (const GUID& iid : {IID_ISequentialOutStream, IID_IOutStream,
                                makeInterfaceId(0x03, 0x10), makeInterfaceId(0x03, 0x07)})
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
        for (const GUID& iid : {IID_IUnknown, IID_IArchiveUpdateCallback2,
                                IID_ICryptoGetTextPassword2, IID_ICompressProgressInfo})
            QCOMPARE(answersInterface(updateObject, iid), 1);
        for (const GUID& iid : {makeInterfaceId(0x06, 0x05), IID_IArchiveExtractCallback,
                                makeInterfaceId(0x06, 0x90)}) {
            QCOMPARE(answersInterface(openObject, iid), 0);
            QCOMPARE(answersInterface(updateObject, iid), 0);
        }
        QCOMPARE(answersInterface(openObject, IID_ICryptoGetTextPassword2), 0);
        QCOMPARE(answersInterface(updateObject, IID_ICryptoGetTextPassword), 0);
    }

    void replacedEntryAfterDeletedOne_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("7z") << int(ZF_7Z);
        QTest::newRow("zip") << int(ZF_ZIP);
    }

    void replacedEntryAfterDeletedOne()
    {
        // An update that drops the first entry and gives the third new data: the kept entries'
        // positions no longer match their indexes in the archive.
        QFETCH(int, format);
        const QString extension = SupportedFormats[format].extension;
        const QString folder = m_work + "/in";
        testenv::makeTree(folder, {{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}});
        const QString archive = m_work + "/three." + extension;
        QCOMPARE(
            testenv::run7z({"a", "-mx=0", archive, "a.txt", "b.txt", "c.txt"}, folder).exitCode,
            0);
        const QString newC = m_work + "/new/c.txt";
        QVERIFY(testenv::writeFile(newC, "third, rewritten"));

        CMyComPtr<IInArchive> existing;
        QCOMPARE(openArchive(archive, SupportedFormats[format].clsid, m_operation, &existing, true),
                 S_OK);
        QList<ArchiveItemInfo> kept;
        for (UInt32 i = 0; i < 3; ++i) {
            ArchiveItemInfo entry;
            entry.name = itemPath(existing, i);
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
        const QString result = m_work + "/result." + extension;
        CMyComPtr<IOutArchive> out;
        QCOMPARE(existing.QueryInterface(IID_IOutArchive, out), S_OK);
        CMyComPtr<OutStream> stream(new OutStream(m_operation, result, true, -1));
        writeUpdate(out, callback, stream);
        existing->Close();
        const QString target = m_work + "/out";
        QCOMPARE(testenv::run7z({"x", "-o" + target, result}).exitCode, 0);
        QCOMPARE(testenv::listTree(target), (QStringList{"b.txt", "c.txt"}));
        QCOMPARE(testenv::readFile(target + "/b.txt"), QByteArray("second"));
        QCOMPARE(testenv::readFile(target + "/c.txt"), QByteArray("third, rewritten"));
    }

    void writesWithoutAnOperation()
    {
        // No password rather than a failure: the engine ends the whole update when the password
        // question fails.
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
            writeUpdate(writer, callback, stream);
            const QString target = m_work + "/out" + QString::number(format);
            QCOMPARE(testenv::run7z({"x", "-o" + target, archive}).exitCode, 0);
            QCOMPARE(testenv::compareTrees(source, target), QString());
        }
    }

    void engineAsksOpenCallbackForVolumes()
    {
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
        CPropVariant size;
        archive->GetProperty(0, kpidSize, &size);
        QCOMPARE(size.uhVal, 2500ull);
        QCOMPARE(itemPath(archive, 0), folder + "/data.bin");
        archive->Close();
        // The engine looks one volume past the last; the callback names it.
        QCOMPARE(m_operation->errors.size(), 1);
        QCOMPARE(m_operation->errors[0].first, LS_CANNOT_OPEN_FILE);
        QCOMPARE(m_operation->errors[0].second, QStringList{folder + "/data.bin.004"});
    }

    void interfaceIdentifiersMatchEngine()
    {
        QLibrary engine(kInstalledEngine);
        QVERIFY2(engine.load(), qPrintable(engine.errorString()));
#define QV_ID(name) {#name, name}
        const QVector<QPair<const char*, GUID>> ids = {
            QV_ID(IID_IUnknown), QV_ID(IID_IProgress), QV_ID(IID_ISequentialInStream),
            QV_ID(IID_ISequentialOutStream), QV_ID(IID_IInStream), QV_ID(IID_IOutStream),
            QV_ID(IID_IStreamGetSize), QV_ID(IID_IStreamGetProps), QV_ID(IID_IStreamGetProps2),
            QV_ID(IID_ICompressProgressInfo), QV_ID(IID_ICryptoGetTextPassword),
            QV_ID(IID_ICryptoGetTextPassword2), QV_ID(IID_ISetProperties),
            QV_ID(IID_IArchiveOpenCallback), QV_ID(IID_IArchiveExtractCallback),
            QV_ID(IID_IArchiveOpenVolumeCallback), QV_ID(IID_IInArchive),
            QV_ID(IID_IArchiveUpdateCallback), QV_ID(IID_IArchiveUpdateCallback2),
            QV_ID(IID_IOutArchive)};
#undef QV_ID
        for (const auto& id : ids) {
            const auto* exported = reinterpret_cast<const GUID*>(engine.resolve(id.first));
            QVERIFY2(exported && *exported == id.second, id.first);
        }
    }

    void refusesForeignLibraries_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("reason");
        // The fakes' entry points end the process: calling into them must not happen.
        QTest::newRow("no CreateObject")
            << FAKE_ENGINE_NO_CREATE << "not loaded: it has no CreateObject";
        QTest::newRow("other layout")
            << FAKE_ENGINE_OTHER_LAYOUT
            << "not loaded: its interface type is 1, this program is built for interface type 0";
        QTest::newRow("unreported layout") << FAKE_ENGINE_UNREPORTED_LAYOUT
                                           << "not loaded: it does not report its interface layout";
    }

    void refusesForeignLibraries()
    {
        QFETCH(QString, library);
        QFETCH(QString, reason);
        setEngineLibraryPathForTests(library);
        const QRegularExpression message(QRegularExpression::escape(reason));
        for (int attempt = 0; attempt < 2; ++attempt) {
            QTest::ignoreMessage(QtDebugMsg, message);
            CMyComPtr<IInArchive> in;
            QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 1);
            QVERIFY(!in);
        }
        QTest::ignoreMessage(QtDebugMsg, message);
        CMyComPtr<IOutArchive> out;
        QCOMPARE(GetIOutArchive(CLSID_CFormatZip, &out), 1);
        QTest::ignoreMessage(QtDebugMsg, message);
        QVERIFY(!InitGetProc());
        QTest::ignoreMessage(QtDebugMsg, message);
        SetUseLargePages();
    }

    void missingLibraryIsTriedAgain()
    {
        const QString path = testenv::makeDir("late") + "/7z.so";
        setEngineLibraryPathForTests(path);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("not loaded"));
        CMyComPtr<IInArchive> in;
        QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 1);
        QVERIFY(QFile::copy(kInstalledEngine, path));
        QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 0);
        QVERIFY(in);
    }

    void engineStringLayout()
    {
        // The byte length sits just before the first character; a whole zero character follows
        // the last.
        BSTR text = SysAllocString(L"path/ä");
        QCOMPARE(SysStringLen(text), 6u);
        QCOMPARE(SysStringByteLen(text), 24u);
        UInt32 stored = 0;
        std::memcpy(&stored, reinterpret_cast<const char*>(text) - 4, 4);
        QCOMPARE(stored, 24u);
        QCOMPARE(int(text[6]), 0);
        QCOMPARE(fromEngineString(text), QString("path/ä"));
        SysFreeString(text);
        BSTR part = SysAllocStringLen(L"abcdef", 3);
        QCOMPARE(fromWideString(part), QString("abc"));
        QCOMPARE(int(part[3]), 0);
        SysFreeString(part);
        BSTR bytes = SysAllocStringByteLen("abcde", 5);
        QCOMPARE(SysStringByteLen(bytes), 5u);
        QCOMPARE(SysStringLen(bytes), 1u);
        QCOMPARE(bytesOf(bytes, 12), QByteArray("abcde") + QByteArray(7, '\0'));
        SysFreeString(bytes);
        BSTR zeros = SysAllocStringByteLen(nullptr, 6);
        QCOMPARE(bytesOf(zeros, 12), QByteArray(12, '\0'));
        SysFreeString(zeros);
        QVERIFY(!SysAllocString(nullptr));
        QCOMPARE(SysStringLen(nullptr), 0u);
        SysFreeString(nullptr);
        QVERIFY(!SysAllocStringLen(L"x", 0x3FFFFFFDu));
        QVERIFY(!SysAllocStringByteLen("x", 0xFFFFFFF3u));
        QCOMPARE(fromEngineString(nullptr), QString());
        CPropVariant narrow;
        QCOMPARE(PropVarEm_Set_Str(&narrow, "/tmp/ünï.zip"), S_OK);
        QCOMPARE(fromEngineString(narrow.bstrVal), QString("/tmp/ünï.zip"));
    }

    void variantClearAndCopy()
    {
        PROPVARIANT source{};
        QCOMPARE(propSetString(&source, QString("name")), S_OK);
        PROPVARIANT copy{};
        propSetUInt32(&copy, 7);
        QCOMPARE(VariantCopy(&copy, &source), S_OK);
        QVERIFY(copy.bstrVal != source.bstrVal);
        QCOMPARE(VariantClear(&source), S_OK);
        QCOMPARE(source.vt, VARTYPE(VT_EMPTY));
        // The copy owns its own string, also when copied onto itself.
        QCOMPARE(VariantCopy(&copy, &copy), S_OK);
        QCOMPARE(fromEngineString(copy.bstrVal), QString("name"));
        PROPVARIANT number{};
        propSetUInt64(&number, 0x123456789ABCULL);
        number.wReserved1 = 3;
        QCOMPARE(VariantCopy(&copy, &number), S_OK);
        QCOMPARE(std::memcmp(&copy, &number, sizeof(PROPVARIANT)), 0);
        PROPVARIANT time{};
        propSetFileTime(&time, 132000000001234567ULL);
        QCOMPARE(time.wReserved1 + time.wReserved2 + time.wReserved3, 0);
        QCOMPARE(ticksFromFileTime(time.filetime), 132000000001234567ULL);
        QCOMPARE(VariantClear(&copy), S_OK);
        QCOMPARE(VariantClear(nullptr), E_INVALIDARG);
    }

    void compatibilitySymbolsStayPrivate()
    {
        const QStringList names = {"SysAllocString", "SysAllocStringLen", "SysAllocStringByteLen",
                                   "SysFreeString",  "SysStringByteLen",  "SysStringLen",
                                   "VariantClear",   "VariantCopy",       "CompareFileTime",
                                   "GetLastError"};
        const QString self = QCoreApplication::applicationFilePath();
        const QStringList ownSymbols = symbolLines({"--defined-only"}, self);
        QVERIFY(!ownSymbols.isEmpty());
        for (const QString& binary : {self, testenv::quenvarBinary()}) {
            const QStringList dynamic = symbolLines({"-D", "--defined-only"}, binary);
            for (const QString& name : names) {
                if (binary == self)
                    QVERIFY2(listsSymbol(ownSymbols, name), qPrintable(name));
                QVERIFY2(!listsSymbol(dynamic, name), qPrintable(binary + " exports " + name));
            }
        }
    }

    void wideStringsKeepUtf16CodeUnits()
    {
        // A character beyond the BMP crosses as its surrogate pair, a lone surrogate unchanged.
        const QString smiley = QString::fromUcs4(U"\U0001F600");
        const QString text = "a" + smiley + "ß/z" + QChar(0xD800);
        const std::wstring wide = toWideString(text);
        QCOMPARE(int(wide.size()), 7);
        QCOMPARE(uint32_t(wide[1]), 0xD83Du);
        QCOMPARE(uint32_t(wide[2]), 0xDE00u);
        QCOMPARE(uint32_t(wide[6]), 0xD800u);
        QCOMPARE(fromWideString(wide.c_str()), text);
        QCOMPARE(fromWideString(wide.c_str(), 3), QString("a") + smiley);
        BSTR engine = allocEngineString(text);
        QCOMPARE(SysStringLen(engine), 7u);
        QCOMPARE(fromEngineString(engine), text);
        SysFreeString(engine);
        // A whole code point from the engine becomes the same pair; what is no code point at
        // all, the replacement character.
        const wchar_t whole[] = {L'a', static_cast<wchar_t>(0x1F600),
                                 static_cast<wchar_t>(0x110000), 0};
        QCOMPARE(fromWideString(whole), QString("a") + smiley + QChar(QChar::ReplacementCharacter));
        QCOMPARE(fromWideString(nullptr), QString());
    }

private:
    QString m_work;
    TestOperation* m_operation = nullptr;
};

QUENVAR_TEST_MAIN(TestEngineBoundary)
#include "tst_engineboundary.moc"
