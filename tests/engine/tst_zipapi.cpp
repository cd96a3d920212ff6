// Loading the engine library, creating its handlers, and the helpers shared
// with it (engine strings, property values, file times).
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "engine/zipapi.h"

#include <QFile>
#include <QLibrary>
#include <QRegularExpression>

#include <cstring>

namespace {
const QString kInstalledEngine = "/usr/lib/p7zip/7z.so";

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
} // namespace

class TestZipApi : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void findsInstalledEngine();
    void createsHandlerForEveryFormat_data();
    void createsHandlerForEveryFormat();
    void interfaceIdentifiersMatchEngine();
    void refusesForeignLibraries_data();
    void refusesForeignLibraries();
    void missingLibraryIsTriedAgain();

    void engineStringLayout();
    void engineFreesOurStringsAndWeFreeTheirs();
    void variantClearAndCopy();
    void compatibilitySymbolsStayPrivate();
    void wideStringsKeepUtf16CodeUnits();
};

void TestZipApi::cleanup()
{
    setEngineLibraryPathForTests(QString());
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
}

void TestZipApi::findsInstalledEngine()
{
    QCOMPARE(engineLibraryPath(), kInstalledEngine);
    QVERIFY(InitGetProc());
    // Once loaded, a second call does not load again.
    QVERIFY(InitGetProc());
    SetUseLargePages();

    const QString dir = testenv::makeDir("choice");
    const QStringList candidates = {dir + "/lib/7z.so", dir + "/lib64/7z.so"};
    const QString fallback = dir + "/app/7z.so";
    QCOMPARE(chooseEngineLibrary(candidates, fallback), fallback);
    QVERIFY(testenv::writeFile(candidates[1], "x"));
    QCOMPARE(chooseEngineLibrary(candidates, fallback), candidates[1]);
    QVERIFY(testenv::writeFile(candidates[0], "x"));
    QCOMPARE(chooseEngineLibrary(candidates, fallback), candidates[0]);
}

void TestZipApi::createsHandlerForEveryFormat_data()
{
    QTest::addColumn<int>("format");
    for (int i = 0; i < ZipFormatCount; ++i)
        QTest::newRow(qPrintable(SupportedFormats[i].extension + QString::number(i))) << i;
    QTest::newRow("unknown class") << -1;
    QTest::newRow("the engine's class 0x55") << -2;
}

void TestZipApi::createsHandlerForEveryFormat()
{
    QFETCH(int, format);
    const GUID unknown = {0x1234ABCDu, 0x5678u, 0x9ABCu, {1, 2, 3, 4, 5, 6, 7, 8}};
    const GUID clsid = format >= 0 ? SupportedFormats[format].clsid
        : format == -1             ? unknown
                                   : makeFormatClassId(0x55);
    const bool known = format >= 0;
    const bool writable = known && SupportedFormats[format].format != ZF_RAR &&
        SupportedFormats[format].format != ZF_RAR5;
    CMyComPtr<IInArchive> in;
    QCOMPARE(GetIInArchive(clsid, &in), known ? 0 : 1);
    QCOMPARE(bool(in), known);
    if (known) {
        // The object really is an in-archive handler of the engine's layout: it
        // answers through its own table and counts references.
        CMyComPtr<IInArchive> again;
        QCOMPARE(in.QueryInterface(IID_IInArchive, again), S_OK);
        QCOMPARE(again.get(), in.get());
    }
    CMyComPtr<IOutArchive> out;
    QCOMPARE(GetIOutArchive(clsid, &out), writable ? 0 : 1);
    QCOMPARE(bool(out), writable);
}

void TestZipApi::interfaceIdentifiersMatchEngine()
{
    // The engine exports its identifiers; ours must be the same 16 bytes.
    QLibrary engine(kInstalledEngine);
    QVERIFY2(engine.load(), qPrintable(engine.errorString()));
    const QVector<QPair<const char*, GUID>> ids = {
        {"IID_IUnknown", IID_IUnknown},
        {"IID_IProgress", IID_IProgress},
        {"IID_ISequentialInStream", IID_ISequentialInStream},
        {"IID_ISequentialOutStream", IID_ISequentialOutStream},
        {"IID_IInStream", IID_IInStream},
        {"IID_IOutStream", IID_IOutStream},
        {"IID_IStreamGetSize", IID_IStreamGetSize},
        {"IID_IStreamGetProps", IID_IStreamGetProps},
        {"IID_IStreamGetProps2", IID_IStreamGetProps2},
        {"IID_ICompressProgressInfo", IID_ICompressProgressInfo},
        {"IID_ICryptoGetTextPassword", IID_ICryptoGetTextPassword},
        {"IID_ICryptoGetTextPassword2", IID_ICryptoGetTextPassword2},
        {"IID_ISetProperties", IID_ISetProperties},
        {"IID_IArchiveOpenCallback", IID_IArchiveOpenCallback},
        {"IID_IArchiveExtractCallback", IID_IArchiveExtractCallback},
        {"IID_IArchiveOpenVolumeCallback", IID_IArchiveOpenVolumeCallback},
        {"IID_IInArchive", IID_IInArchive},
        {"IID_IArchiveUpdateCallback", IID_IArchiveUpdateCallback},
        {"IID_IArchiveUpdateCallback2", IID_IArchiveUpdateCallback2},
        {"IID_IOutArchive", IID_IOutArchive},
    };
    for (const auto& id : ids) {
        const auto* exported = reinterpret_cast<const GUID*>(engine.resolve(id.first));
        QVERIFY2(exported, id.first);
        QVERIFY2(*exported == id.second, id.first);
    }
}

void TestZipApi::refusesForeignLibraries_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("reason");
    // The fakes' entry points end the process: calling into a library that
    // is not the engine this program is built for must not happen.
    QTest::newRow("no CreateObject")
        << FAKE_ENGINE_NO_CREATE << "not loaded: it has no CreateObject";
    QTest::newRow("other layout")
        << FAKE_ENGINE_OTHER_LAYOUT
        << "not loaded: its interface type is 1, this program is built for interface type 0";
    QTest::newRow("unreported layout")
        << FAKE_ENGINE_UNREPORTED_LAYOUT << "not loaded: it does not report its interface layout";
}

void TestZipApi::refusesForeignLibraries()
{
    QFETCH(QString, library);
    QFETCH(QString, reason);
    setEngineLibraryPathForTests(library);
    const QRegularExpression message(QRegularExpression::escape(reason));
    // Refused again at every call, each time with the reason.
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
    // Large pages are not requested from an engine that is not loaded.
    QTest::ignoreMessage(QtDebugMsg, message);
    SetUseLargePages();
}

void TestZipApi::missingLibraryIsTriedAgain()
{
    const QString path = testenv::makeDir("late") + "/7z.so";
    setEngineLibraryPathForTests(path);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("not loaded"));
    CMyComPtr<IInArchive> in;
    QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 1);
    // The library appears: the next call loads it.
    QVERIFY(QFile::copy(kInstalledEngine, path));
    QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 0);
    QVERIFY(in);
}

void TestZipApi::engineStringLayout()
{
    // The byte length sits just before the first character; a whole zero
    // character follows the last.
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
    BSTR blank = SysAllocStringLen(nullptr, 4);
    QCOMPARE(bytesOf(blank, 20), QByteArray(20, '\0'));
    SysFreeString(blank);
    BSTR bytes = SysAllocStringByteLen("abcde", 5);
    QCOMPARE(SysStringByteLen(bytes), 5u);
    QCOMPARE(SysStringLen(bytes), 1u);
    QCOMPARE(bytesOf(bytes, 12), QByteArray("abcde") + QByteArray(7, '\0'));
    SysFreeString(bytes);
    BSTR zeros = SysAllocStringByteLen(nullptr, 6);
    QCOMPARE(bytesOf(zeros, 12), QByteArray(12, '\0'));
    SysFreeString(zeros);
    // Limits and nulls.
    QVERIFY(!SysAllocString(nullptr));
    QCOMPARE(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    QVERIFY(!SysAllocStringLen(L"x", 0x3FFFFFFDu));
    QVERIFY(!SysAllocStringByteLen("x", 0xFFFFFFF3u));
    QCOMPARE(fromEngineString(nullptr), QString());
    CPropVariant empty;
    QCOMPARE(PropVarEm_Set_Str(&empty, L""), S_OK);
    QVERIFY(empty.bstrVal);
    QCOMPARE(SysStringLen(empty.bstrVal), 0u);
    CPropVariant narrow;
    QCOMPARE(PropVarEm_Set_Str(&narrow, "/tmp/ünï.zip"), S_OK);
    QCOMPARE(fromEngineString(narrow.bstrVal), QString("/tmp/ünï.zip"));
}

void TestZipApi::engineFreesOurStringsAndWeFreeTheirs()
{
    // Both sides allocate and free each other's strings; layout and
    // allocator must agree (the sanitizer checks every free).
    QLibrary engine(kInstalledEngine);
    QVERIFY(engine.load());
    using AllocFunc = BSTR (*)(const OLECHAR*);
    using FreeFunc = void (*)(BSTR);
    using LenFunc = UInt32 (*)(BSTR);
    const auto engineAlloc = reinterpret_cast<AllocFunc>(engine.resolve("SysAllocString"));
    const auto engineFree = reinterpret_cast<FreeFunc>(engine.resolve("SysFreeString"));
    const auto engineLen = reinterpret_cast<LenFunc>(engine.resolve("SysStringLen"));
    QVERIFY(engineAlloc && engineFree && engineLen);
    QVERIFY(engineAlloc != &SysAllocString);
    BSTR theirs = engineAlloc(L"from the engine");
    QCOMPARE(SysStringLen(theirs), 15u);
    QCOMPARE(fromEngineString(theirs), QString("from the engine"));
    SysFreeString(theirs);
    for (const QString& text : {QString("from the program"), QString()}) {
        BSTR ours = allocEngineString(text);
        QCOMPARE(engineLen(ours), UInt32(text.size()));
        engineFree(ours);
    }
}

void TestZipApi::variantClearAndCopy()
{
    PROPVARIANT source{};
    QCOMPARE(propSetString(&source, QString("name")), S_OK);
    PROPVARIANT copy{};
    propSetUInt32(&copy, 7);
    QCOMPARE(VariantCopy(&copy, &source), S_OK);
    QCOMPARE(copy.vt, VARTYPE(VT_BSTR));
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
    QCOMPARE(time.vt, VARTYPE(VT_FILETIME));
    QCOMPARE(time.wReserved1 + time.wReserved2 + time.wReserved3, 0);
    QCOMPARE(ticksFromFileTime(time.filetime), 132000000001234567ULL);
    QCOMPARE(VariantClear(&copy), S_OK);
    QCOMPARE(VariantClear(nullptr), E_INVALIDARG);
}

void TestZipApi::compatibilitySymbolsStayPrivate()
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
            // This binary has the functions, as local symbols only.
            if (binary == self)
                QVERIFY2(listsSymbol(ownSymbols, name), qPrintable(name));
            QVERIFY2(!listsSymbol(dynamic, name), qPrintable(binary + " exports " + name));
        }
    }
}

void TestZipApi::wideStringsKeepUtf16CodeUnits()
{
    // The engine's characters are UTF-16 code units: a character beyond the
    // BMP crosses as its surrogate pair, a lone surrogate unchanged.
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
    // A whole code point from the engine becomes the same pair; what is no
    // code point at all, the replacement character.
    const wchar_t whole[] = {L'a', static_cast<wchar_t>(0x1F600), static_cast<wchar_t>(0x110000),
                             0};
    QCOMPARE(fromWideString(whole), QString("a") + smiley + QChar(QChar::ReplacementCharacter));
    QCOMPARE(fromWideString(nullptr), QString());
}

QUENVAR_TEST_MAIN(TestZipApi)
#include "tst_zipapi.moc"
