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
const QString kInstalledEngine = QStringLiteral("/usr/lib/p7zip/7z.so");

bool isWritableFormat(ZipFormat format)
{
    return format != ZF_RAR && format != ZF_RAR5;
}

QStringList symbolLines(const QStringList& nmArguments, const QString& binary)
{
    const testenv::ProcessResult result = testenv::runProcess(QStringLiteral("nm"), nmArguments + QStringList{binary});
    if (!result.finished || result.exitCode != 0)
        return {};
    return QString::fromLocal8Bit(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool listsSymbol(const QStringList& lines, const QString& name)
{
    for (const QString& line : lines) {
        if (line.section(QLatin1Char(' '), -1) == name)
            return true;
    }
    return false;
}
} // namespace

class TestZipApi : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    // Loader
    void findsInstalledEngine();
    void libraryChoiceFollowsSearchOrder();
    void createsHandlerForEveryFormat_data();
    void createsHandlerForEveryFormat();
    void unknownClassFails();
    void interfaceIdentifiersMatchEngine();
    void refusesLibraryWithoutCreateObject();
    void refusesOtherInterfaceLayout();
    void refusesUnreportedInterfaceLayout();
    void missingLibraryIsTriedAgain();

    // Compatibility functions
    void allocatesEngineStrings();
    void stringLimitsAndNulls();
    void byteLengthStrings();
    void engineFreesOurStringsAndWeFreeTheirs();
    void variantClearAndCopy();
    void compareFileTimeOrdering();
    void propVarEmSetStr();
    void compatibilitySymbolsStayPrivate();

    // Strings
    void wideStringsCarrySurrogatePairs();
    void oddCodeUnitsSurvive();
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
    CMyComPtr<IInArchive> archive;
    QCOMPARE(GetIInArchive(CLSID_CFormat7z, &archive), 0);
    QVERIFY(archive);
}

void TestZipApi::libraryChoiceFollowsSearchOrder()
{
    const QString dir = testenv::makeDir(QStringLiteral("choice"));
    const QString first = dir + QStringLiteral("/lib/7z.so");
    const QString second = dir + QStringLiteral("/lib64/7z.so");
    const QString fallback = dir + QStringLiteral("/app/7z.so");
    const QStringList candidates = {first, second};

    QCOMPARE(chooseEngineLibrary(candidates, fallback), fallback);
    QVERIFY(testenv::writeFile(second, "x"));
    QCOMPARE(chooseEngineLibrary(candidates, fallback), second);
    QVERIFY(testenv::writeFile(first, "x"));
    QCOMPARE(chooseEngineLibrary(candidates, fallback), first);
}

void TestZipApi::createsHandlerForEveryFormat_data()
{
    QTest::addColumn<int>("format");
    for (int i = 0; i < ZipFormatCount; ++i)
        QTest::newRow(qPrintable(SupportedFormats[i].extension + QString::number(i))) << i;
}

void TestZipApi::createsHandlerForEveryFormat()
{
    QFETCH(int, format);
    const ZipFormatInfo& info = SupportedFormats[format];

    CMyComPtr<IInArchive> in;
    QCOMPARE(GetIInArchive(info.clsid, &in), 0);
    QVERIFY(in);
    // The object really is an in-archive handler of the engine's layout: it
    // answers through its own table and counts references.
    CMyComPtr<IInArchive> again;
    QCOMPARE(in.QueryInterface(IID_IInArchive, again), S_OK);
    QCOMPARE(again.get(), in.get());

    CMyComPtr<IOutArchive> out;
    const int expected = isWritableFormat(info.format) ? 0 : 1;
    QCOMPARE(GetIOutArchive(info.clsid, &out), expected);
    QCOMPARE(out.get() != nullptr, expected == 0);
}

void TestZipApi::unknownClassFails()
{
    const GUID unknown = {0x1234ABCDu, 0x5678u, 0x9ABCu, {1, 2, 3, 4, 5, 6, 7, 8}};
    CMyComPtr<IInArchive> in;
    QCOMPARE(GetIInArchive(unknown, &in), 1);
    QVERIFY(!in);
    CMyComPtr<IOutArchive> out;
    QCOMPARE(GetIOutArchive(unknown, &out), 1);
    QVERIFY(!out);
    // The engine's own class of format 0x55 does not exist either.
    QCOMPARE(GetIInArchive(makeFormatClassId(0x55), &in), 1);
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

void TestZipApi::refusesLibraryWithoutCreateObject()
{
    setEngineLibraryPathForTests(QStringLiteral(FAKE_ENGINE_NO_CREATE));
    const QRegularExpression reason(QStringLiteral("not loaded: it has no CreateObject"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::ignoreMessage(QtDebugMsg, reason);
        CMyComPtr<IInArchive> in;
        QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 1);
        QVERIFY(!in);
    }
    QTest::ignoreMessage(QtDebugMsg, reason);
    CMyComPtr<IOutArchive> out;
    QCOMPARE(GetIOutArchive(CLSID_CFormat7z, &out), 1);
    // Large pages are not requested from an engine that is not loaded (the
    // fake's SetLargePageMode would end the process).
    QTest::ignoreMessage(QtDebugMsg, reason);
    SetUseLargePages();
}

void TestZipApi::refusesOtherInterfaceLayout()
{
    // The fake's CreateObject ends the process: calling into a library of
    // another layout is exactly what must not happen.
    setEngineLibraryPathForTests(QStringLiteral(FAKE_ENGINE_OTHER_LAYOUT));
    const QRegularExpression reason(QStringLiteral("not loaded: its interface type is 1, this program is built "
                                                   "for interface type 0"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::ignoreMessage(QtDebugMsg, reason);
        CMyComPtr<IInArchive> in;
        QCOMPARE(GetIInArchive(CLSID_CFormatZip, &in), 1);
    }
    QTest::ignoreMessage(QtDebugMsg, reason);
    QVERIFY(!InitGetProc());
    QTest::ignoreMessage(QtDebugMsg, reason);
    SetUseLargePages();
}

void TestZipApi::refusesUnreportedInterfaceLayout()
{
    setEngineLibraryPathForTests(QStringLiteral(FAKE_ENGINE_UNREPORTED_LAYOUT));
    const QRegularExpression reason(QStringLiteral("not loaded: it does not report its interface layout"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::ignoreMessage(QtDebugMsg, reason);
        CMyComPtr<IOutArchive> out;
        QCOMPARE(GetIOutArchive(CLSID_CFormat7z, &out), 1);
    }
}

void TestZipApi::missingLibraryIsTriedAgain()
{
    const QString path = testenv::makeDir(QStringLiteral("late")) + QStringLiteral("/7z.so");
    setEngineLibraryPathForTests(path);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("not loaded")));
    CMyComPtr<IInArchive> in;
    QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 1);

    // The library appears: the next call loads it.
    QVERIFY(QFile::copy(kInstalledEngine, path));
    QCOMPARE(GetIInArchive(CLSID_CFormat7z, &in), 0);
    QVERIFY(in);
}

void TestZipApi::allocatesEngineStrings()
{
    BSTR empty = SysAllocString(L"");
    QVERIFY(empty);
    QCOMPARE(SysStringLen(empty), 0u);
    QCOMPARE(SysStringByteLen(empty), 0u);
    QCOMPARE(int(empty[0]), 0);
    SysFreeString(empty);

    BSTR text = SysAllocString(L"path/ä");
    QCOMPARE(SysStringLen(text), 6u);
    QCOMPARE(SysStringByteLen(text), 24u);
    // The byte length sits just before the first character.
    UInt32 stored = 0;
    std::memcpy(&stored, reinterpret_cast<const char*>(text) - 4, 4);
    QCOMPARE(stored, 24u);
    QCOMPARE(fromEngineString(text), QStringLiteral("path/ä"));
    SysFreeString(text);

    BSTR part = SysAllocStringLen(L"abcdef", 3);
    QCOMPARE(SysStringLen(part), 3u);
    QCOMPARE(int(part[3]), 0);
    QCOMPARE(fromWideString(part), QStringLiteral("abc"));
    SysFreeString(part);

    BSTR blank = SysAllocStringLen(nullptr, 4);
    QCOMPARE(SysStringLen(blank), 4u);
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(int(blank[i]), 0);
    SysFreeString(blank);
}

void TestZipApi::stringLimitsAndNulls()
{
    QVERIFY(!SysAllocString(nullptr));
    QCOMPARE(SysStringLen(nullptr), 0u);
    QCOMPARE(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    QVERIFY(!SysAllocStringLen(L"x", 0x3FFFFFFDu));
    QVERIFY(!SysAllocStringByteLen("x", 0xFFFFFFF3u));
    QCOMPARE(fromEngineString(nullptr), QString());
}

void TestZipApi::byteLengthStrings()
{
    BSTR bytes = SysAllocStringByteLen("abcde", 5);
    QVERIFY(bytes);
    QCOMPARE(SysStringByteLen(bytes), 5u);
    QCOMPARE(SysStringLen(bytes), 1u);
    const char* raw = reinterpret_cast<const char*>(bytes);
    QCOMPARE(QByteArray(raw, 5), QByteArray("abcde"));
    // Zero-filled up to a whole zero character after the bytes.
    for (int i = 5; i < 12; ++i)
        QCOMPARE(int(raw[i]), 0);
    SysFreeString(bytes);

    BSTR zeros = SysAllocStringByteLen(nullptr, 6);
    QCOMPARE(SysStringByteLen(zeros), 6u);
    for (int i = 0; i < 12; ++i)
        QCOMPARE(int(reinterpret_cast<const char*>(zeros)[i]), 0);
    SysFreeString(zeros);
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
    QCOMPARE(fromEngineString(theirs), QStringLiteral("from the engine"));
    SysFreeString(theirs);

    BSTR ours = allocEngineString(QStringLiteral("from the program"));
    QCOMPARE(engineLen(ours), 16u);
    engineFree(ours);

    BSTR empty = SysAllocString(L"");
    QCOMPARE(engineLen(empty), 0u);
    engineFree(empty);
}

void TestZipApi::variantClearAndCopy()
{
    PROPVARIANT source{};
    QCOMPARE(propSetString(&source, QStringLiteral("name")), S_OK);
    QCOMPARE(source.vt, VARTYPE(VT_BSTR));

    PROPVARIANT copy{};
    propSetUInt32(&copy, 7);
    QCOMPARE(VariantCopy(&copy, &source), S_OK);
    QCOMPARE(copy.vt, VARTYPE(VT_BSTR));
    QVERIFY(copy.bstrVal != source.bstrVal);
    QCOMPARE(fromEngineString(copy.bstrVal), QStringLiteral("name"));
    QCOMPARE(VariantClear(&source), S_OK);
    QCOMPARE(source.vt, VARTYPE(VT_EMPTY));
    // The copy owns its own string.
    QCOMPARE(fromEngineString(copy.bstrVal), QStringLiteral("name"));

    // A copy onto itself keeps the string alive.
    QCOMPARE(VariantCopy(&copy, &copy), S_OK);
    QCOMPARE(fromEngineString(copy.bstrVal), QStringLiteral("name"));

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

void TestZipApi::compareFileTimeOrdering()
{
    const FILETIME early = {0xFFFFFFFFu, 1u};
    const FILETIME late = {0u, 2u};
    const FILETIME lowSmall = {1u, 5u};
    const FILETIME lowLarge = {0x80000000u, 5u};
    QCOMPARE(CompareFileTime(&early, &late), -1);
    QCOMPARE(CompareFileTime(&late, &early), 1);
    QCOMPARE(CompareFileTime(&lowSmall, &lowLarge), -1);
    QCOMPARE(CompareFileTime(&lowLarge, &lowSmall), 1);
    QCOMPARE(CompareFileTime(&lowLarge, &lowLarge), 0);
    QCOMPARE(GetLastError(), 0u);
}

void TestZipApi::propVarEmSetStr()
{
    CPropVariant wide;
    QCOMPARE(PropVarEm_Set_Str(&wide, L"/tmp/архив.7z"), S_OK);
    QCOMPARE(wide.vt, VARTYPE(VT_BSTR));
    QCOMPARE(fromEngineString(wide.bstrVal), QStringLiteral("/tmp/архив.7z"));

    CPropVariant narrow;
    QCOMPARE(PropVarEm_Set_Str(&narrow, "/tmp/ünï.zip"), S_OK);
    QCOMPARE(fromEngineString(narrow.bstrVal), QStringLiteral("/tmp/ünï.zip"));

    CPropVariant empty;
    QCOMPARE(PropVarEm_Set_Str(&empty, L""), S_OK);
    QVERIFY(empty.bstrVal);
    QCOMPARE(SysStringLen(empty.bstrVal), 0u);
}

void TestZipApi::compatibilitySymbolsStayPrivate()
{
    const QStringList names = {QStringLiteral("SysAllocString"),    QStringLiteral("SysAllocStringLen"),
                               QStringLiteral("SysAllocStringByteLen"), QStringLiteral("SysFreeString"),
                               QStringLiteral("SysStringByteLen"),  QStringLiteral("SysStringLen"),
                               QStringLiteral("VariantClear"),      QStringLiteral("VariantCopy"),
                               QStringLiteral("CompareFileTime"),   QStringLiteral("GetLastError")};
    const QString self = QCoreApplication::applicationFilePath();
    const QStringList ownSymbols = symbolLines({QStringLiteral("--defined-only")}, self);
    QVERIFY(!ownSymbols.isEmpty());
    for (const QString& binary : {self, testenv::quenvarBinary()}) {
        const QStringList dynamic = symbolLines({QStringLiteral("-D"), QStringLiteral("--defined-only")}, binary);
        for (const QString& name : names) {
            // This binary has the functions, as local symbols only.
            if (binary == self)
                QVERIFY2(listsSymbol(ownSymbols, name), qPrintable(name));
            QVERIFY2(!listsSymbol(dynamic, name), qPrintable(binary + QStringLiteral(" exports ") + name));
        }
    }
}

void TestZipApi::wideStringsCarrySurrogatePairs()
{
    // The engine's characters are UTF-16 code units: a character beyond the
    // BMP crosses as its surrogate pair.
    const QString text = QStringLiteral("a") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("ß/z");
    QCOMPARE(text.size(), 6);
    const std::wstring wide = toWideString(text);
    QCOMPARE(int(wide.size()), 6);
    QCOMPARE(uint32_t(wide[1]), 0xD83Du);
    QCOMPARE(uint32_t(wide[2]), 0xDE00u);
    QCOMPARE(uint32_t(wide[3]), 0xDFu);
    QCOMPARE(fromWideString(wide.c_str()), text);
    QCOMPARE(fromWideString(wide.c_str(), 3), QStringLiteral("a") + QString::fromUcs4(U"\U0001F600"));

    // A whole code point from the engine becomes the same pair.
    const wchar_t whole[] = {L'a', static_cast<wchar_t>(0x1F600), 0};
    QCOMPARE(fromWideString(whole), QStringLiteral("a") + QString::fromUcs4(U"\U0001F600"));

    BSTR engine = allocEngineString(text);
    QCOMPARE(SysStringLen(engine), 6u);
    QCOMPARE(fromEngineString(engine), text);
    SysFreeString(engine);
}

void TestZipApi::oddCodeUnitsSurvive()
{
    // A lone surrogate passes through unchanged both ways.
    const QString lone = QStringLiteral("x") + QChar(0xD800) + QStringLiteral("y");
    const std::wstring wide = toWideString(lone);
    QCOMPARE(int(wide.size()), 3);
    QCOMPARE(uint32_t(wide[1]), 0xD800u);
    QCOMPARE(fromWideString(wide.c_str()), lone);

    // Not a code point at all.
    const wchar_t invalid[] = {L'a', static_cast<wchar_t>(0x110000), 0};
    QCOMPARE(fromWideString(invalid), QStringLiteral("a") + QChar(QChar::ReplacementCharacter));
    QCOMPARE(fromWideString(nullptr), QString());
}

QUENVAR_TEST_MAIN(TestZipApi)
#include "tst_zipapi.moc"
