// The file streams the engine reads and writes through: single files,
// volume series, positioning, sizes and times, elevated routing, and the
// background closing of files.
#include "common/testenv.h"

#include "app/settings.h"
#include "enginetestsupport.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sys/stat.h>

namespace {
QByteArray pattern(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>(generator.bounded(256));
    return data;
}

QByteArray readAll(InStream* stream, int expected)
{
    QByteArray data(expected + 16, '\0');
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

class TestStreams : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsAndSeeksSingleFile();
    void plainNameIsSingleFileEvenWithVolumeChecking();
    void readsVolumeSeriesAsOneStream();
    void volumeCheckingOffReadsOneVolume();
    void seekRejectsUnknownOriginAndNegativePositions();
    void missingFileFailsWithItsReason();
    void writesVolumesOfExactSize();
    void rewritingAVolumeDoesNotTruncateIt();
    void writesSingleFileAndTruncatesOldContent();
    void writeOfZeroBytes();
    void failedWriteFailsWithItsReason();
    void reportsSizeAndTimes();
    void canBeOpenedTestsTheFirstFile();
    void volumeNamesHaveAtLeastThreeDigits();
    void elevatedFilesGoThroughTheServer();
    void backgroundCloseIsWaitedFor();
    void answersOnlyItsInterfaces();

private:
    QString m_dir;
    TestOperation m_operation;
};

void TestStreams::init()
{
    m_dir = testenv::makeDir(QStringLiteral("streams"));
}

void TestStreams::cleanup()
{
    m_operation.failures->clear();
    CSettings::setElevated(false);
    StreamBase::waitForFlushFinished();
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    QDir(m_dir).removeRecursively();
}

void TestStreams::readsAndSeeksSingleFile()
{
    const QString path = m_dir + QStringLiteral("/a.bin");
    const QByteArray content = pattern(1000, 1);
    QVERIFY(testenv::writeFile(path, content));

    CMyComPtr<InStream> stream(new InStream(&m_operation, path, false));
    QVERIFY(!stream->isMultiVolume());
    UInt64 size = 0;
    QCOMPARE(stream->GetSize(&size), S_OK);
    QCOMPARE(size, 1000ull);

    QByteArray buffer(100, '\0');
    UInt32 processed = 0;
    QCOMPARE(stream->Read(buffer.data(), 100, &processed), S_OK);
    QCOMPARE(processed, 100u);
    QCOMPARE(buffer, content.left(100));

    UInt64 position = 0;
    QCOMPARE(stream->Seek(-10, STREAM_SEEK_END, &position), S_OK);
    QCOMPARE(position, 990ull);
    QCOMPARE(stream->Read(buffer.data(), 100, &processed), S_OK);
    QCOMPARE(processed, 10u);
    QCOMPARE(buffer.left(10), content.right(10));

    QCOMPARE(stream->Seek(-500, STREAM_SEEK_CUR, &position), S_OK);
    QCOMPARE(position, 500ull);
    QCOMPARE(stream->Read(buffer.data(), 100, &processed), S_OK);
    QCOMPARE(buffer, content.mid(500, 100));

    // At the end a read transfers nothing and still succeeds.
    QCOMPARE(stream->Seek(0, STREAM_SEEK_END, nullptr), S_OK);
    processed = 77;
    QCOMPARE(stream->Read(buffer.data(), 100, &processed), S_OK);
    QCOMPARE(processed, 0u);
}

void TestStreams::plainNameIsSingleFileEvenWithVolumeChecking()
{
    const QString path = m_dir + QStringLiteral("/a.7z");
    QVERIFY(testenv::writeFile(path, pattern(50, 2)));
    QVERIFY(testenv::writeFile(path + QStringLiteral(".001"), pattern(70, 3)));
    CMyComPtr<InStream> stream(new InStream(&m_operation, path, true));
    QVERIFY(!stream->isMultiVolume());
    QCOMPARE(stream->GetTotalSize(), 50ll);
    QCOMPARE(readAll(stream, 50), pattern(50, 2));
}

void TestStreams::readsVolumeSeriesAsOneStream()
{
    const QString base = m_dir + QStringLiteral("/set.7z");
    const QByteArray whole = pattern(148, 4);
    QVERIFY(testenv::writeFile(base + QStringLiteral(".001"), whole.mid(0, 64)));
    QVERIFY(testenv::writeFile(base + QStringLiteral(".002"), whole.mid(64, 64)));
    QVERIFY(testenv::writeFile(base + QStringLiteral(".003"), whole.mid(128)));
    // After a gap: not part of the series.
    QVERIFY(testenv::writeFile(base + QStringLiteral(".005"), pattern(64, 5)));

    CMyComPtr<InStream> stream(new InStream(&m_operation, base + QStringLiteral(".001"), true));
    QVERIFY(stream->isMultiVolume());
    QCOMPARE(stream->fileName(), base);
    QCOMPARE(stream->volumeSize(), 64ll);
    UInt64 size = 0;
    QCOMPARE(stream->GetSize(&size), S_OK);
    QCOMPARE(size, 148ull);

    // 10 bytes before the end of volume 1, continuing into volume 2.
    QCOMPARE(stream->Seek(54, STREAM_SEEK_SET, nullptr), S_OK);
    QByteArray buffer(30, '\0');
    UInt32 processed = 0;
    QCOMPARE(stream->Read(buffer.data(), 30, &processed), S_OK);
    QCOMPARE(processed, 30u);
    QCOMPARE(buffer, whole.mid(54, 30));
    QCOMPARE(positionOf(stream), 84ull);

    // From the end of the whole series.
    UInt64 position = 0;
    QCOMPARE(stream->Seek(-5, STREAM_SEEK_END, &position), S_OK);
    QCOMPARE(position, 143ull);
    QCOMPARE(readAll(stream, 5), whole.right(5));

    // Across both boundaries in one call.
    QCOMPARE(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    QCOMPARE(readAll(stream, 148), whole);
}

void TestStreams::volumeCheckingOffReadsOneVolume()
{
    const QString first = m_dir + QStringLiteral("/set.zip.001");
    QVERIFY(testenv::writeFile(first, pattern(64, 6)));
    QVERIFY(testenv::writeFile(m_dir + QStringLiteral("/set.zip.002"), pattern(20, 7)));
    CMyComPtr<InStream> stream(new InStream(&m_operation, first, false));
    QVERIFY(!stream->isMultiVolume());
    QCOMPARE(stream->GetTotalSize(), 64ll);
    QCOMPARE(readAll(stream, 64), pattern(64, 6));
}

void TestStreams::seekRejectsUnknownOriginAndNegativePositions()
{
    const QString path = m_dir + QStringLiteral("/a.bin");
    QVERIFY(testenv::writeFile(path, pattern(100, 8)));
    CMyComPtr<InStream> in(new InStream(&m_operation, path, false));
    QCOMPARE(in->Seek(40, STREAM_SEEK_SET, nullptr), S_OK);

    UInt64 position = 999;
    QCOMPARE(in->Seek(0, 3, &position), HRESULT(0x80030001u));
    QCOMPARE(position, 999ull);
    QCOMPARE(in->Seek(-41, STREAM_SEEK_CUR, &position), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    QCOMPARE(positionOf(in), 40ull);

    CMyComPtr<OutStream> out(new OutStream(&m_operation, m_dir + QStringLiteral("/o.bin"), false, -1));
    QCOMPARE(out->Seek(0, 7, nullptr), STG_E_INVALIDFUNCTION);
    QCOMPARE(out->Seek(-1, STREAM_SEEK_SET, nullptr), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
}

void TestStreams::missingFileFailsWithItsReason()
{
    const QString path = m_dir + QStringLiteral("/missing.bin");
    CMyComPtr<InStream> stream(new InStream(&m_operation, path, true));
    QByteArray buffer(10, '\0');
    UInt32 processed = 5;
    // Never an empty file: the engine would store it as one.
    QVERIFY(stream->Read(buffer.data(), 10, &processed) < 0);
    QCOMPARE(processed, 0u);
    QCOMPARE(m_operation.failures->failures().size(), 1);
    QCOMPARE(m_operation.failures->failures().first().kind, IoFailure::Open);
    QCOMPARE(m_operation.failures->failures().first().path, path);
    QCOMPARE(m_operation.failures->failures().first().reason, QStringLiteral("No such file or directory"));
    // The failed read is not counted as transferred.
    QCOMPARE(positionOf(stream), 0ull);
    QCOMPARE(stream->GetTotalSize(), 0ll);
    QVERIFY(!stream->canBeOpened());
}

void TestStreams::writesVolumesOfExactSize()
{
    const QString path = m_dir + QStringLiteral("/out.7z");
    const QByteArray data = pattern(350, 9);
    {
        CMyComPtr<OutStream> stream(new OutStream(&m_operation, path, true, 100));
        QVERIFY(stream->isMultiVolume());
        for (int offset = 0; offset < data.size(); offset += 33) {
            const int chunk = qMin(33, data.size() - offset);
            UInt32 processed = 0;
            QCOMPARE(stream->Write(data.constData() + offset, static_cast<UInt32>(chunk), &processed), S_OK);
            QCOMPARE(processed, static_cast<UInt32>(chunk));
        }
        stream->Close(true);
    }
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path + QStringLiteral(".001")).size(), 100);
    QCOMPARE(QFileInfo(path + QStringLiteral(".002")).size(), 100);
    QCOMPARE(QFileInfo(path + QStringLiteral(".003")).size(), 100);
    QCOMPARE(QFileInfo(path + QStringLiteral(".004")).size(), 50);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".005")));

    // Read back as one stream.
    CMyComPtr<InStream> in(new InStream(&m_operation, path + QStringLiteral(".001"), true));
    QCOMPARE(in->GetTotalSize(), 350ll);
    QCOMPARE(readAll(in, 350), data);
}

void TestStreams::rewritingAVolumeDoesNotTruncateIt()
{
    const QString path = m_dir + QStringLiteral("/again.7z");
    QByteArray data = pattern(250, 10);
    CMyComPtr<OutStream> stream(new OutStream(&m_operation, path, true, 100));
    UInt32 processed = 0;
    QCOMPARE(stream->Write(data.constData(), 250, &processed), S_OK);
    // Back into volume 1 to finish a header, as the engine does.
    UInt64 position = 0;
    QCOMPARE(stream->Seek(5, STREAM_SEEK_SET, &position), S_OK);
    QCOMPARE(position, 5ull);
    QCOMPARE(stream->Write("XXXXXXXXXX", 10, &processed), S_OK);
    QCOMPARE(processed, 10u);
    // And on to the end again.
    QCOMPARE(stream->Seek(0, STREAM_SEEK_END, &position), S_OK);
    QCOMPARE(position, 250ull);
    QCOMPARE(stream->Write("END", 3, &processed), S_OK);
    stream->Close(true);

    data.replace(5, 10, "XXXXXXXXXX");
    data.append("END");
    QCOMPARE(testenv::readFile(path + QStringLiteral(".001")), data.mid(0, 100));
    QCOMPARE(testenv::readFile(path + QStringLiteral(".002")), data.mid(100, 100));
    QCOMPARE(testenv::readFile(path + QStringLiteral(".003")), data.mid(200));
}

void TestStreams::writesSingleFileAndTruncatesOldContent()
{
    const QString path = m_dir + QStringLiteral("/single.bin");
    QVERIFY(testenv::writeFile(path, pattern(500, 11)));
    CMyComPtr<OutStream> stream(new OutStream(&m_operation, path, true, -1));
    QVERIFY(!stream->isMultiVolume());
    UInt32 processed = 0;
    QCOMPARE(stream->Write("hello", 5, &processed), S_OK);
    QCOMPARE(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    QCOMPARE(stream->Write("J", 1, &processed), S_OK);
    // A volume size of 0 means one file as well.
    CMyComPtr<OutStream> zero(new OutStream(&m_operation, path + QStringLiteral(".z"), true, 0));
    QVERIFY(!zero->isMultiVolume());
    stream->Close(true);
    QCOMPARE(testenv::readFile(path), QByteArray("Jello"));
}

void TestStreams::writeOfZeroBytes()
{
    const QString path = m_dir + QStringLiteral("/zero.bin");
    CMyComPtr<OutStream> stream(new OutStream(&m_operation, path, false, -1));
    UInt32 processed = 123;
    QCOMPARE(stream->Write("abc", 0, &processed), S_OK);
    QCOMPARE(processed, 0u);
    QCOMPARE(stream->position(), 0ll);
}

void TestStreams::failedWriteFailsWithItsReason()
{
    // A folder stands where the file should be.
    const QString path = m_dir + QStringLiteral("/taken");
    QVERIFY(QDir().mkpath(path));
    CMyComPtr<OutStream> stream(new OutStream(&m_operation, path, false, -1));
    stream->setReportName(QStringLiteral("as the user knows it"));
    QVERIFY(!stream->canBeOpened());
    UInt32 processed = 9;
    QVERIFY(stream->Write("abc", 3, &processed) < 0);
    QCOMPARE(processed, 0u);
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(m_operation.failures->failures().size(), 1);
    QCOMPARE(m_operation.failures->failures().first().path, QStringLiteral("as the user knows it"));
    QCOMPARE(m_operation.failures->failures().first().reason, QStringLiteral("Is a directory"));
}

void TestStreams::reportsSizeAndTimes()
{
    const QString path = m_dir + QStringLiteral("/timed.bin");
    QVERIFY(testenv::writeFile(path, pattern(321, 12)));
    const uint64_t access = 132000000001234567ULL;
    const uint64_t modification = 131000000007654321ULL;
    setFileTimesTicks(path, access, modification);
    uint64_t creation = 0;
    getFileTimes(path, &creation, nullptr, nullptr);

    CMyComPtr<InStream> stream(new InStream(&m_operation, path, false));
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
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(attrib >> 16, UInt32(st.st_mode));
    QVERIFY(attrib & kAttributeUnixExtension);
    // Every pointer is optional.
    QCOMPARE(stream->GetProps(nullptr, nullptr, nullptr, &mTime, nullptr), S_OK);

    CStreamFileProps props;
    std::memset(&props, 0xAB, sizeof(props));
    QCOMPARE(stream->GetProps2(&props), S_OK);
    QCOMPARE(props.Size, 321ull);
    QCOMPARE(props.VolID, 0ull);
    QCOMPARE(props.NumLinks, 0u);
    QCOMPARE(props.Attrib, attrib);
    QCOMPARE(props.FileID_Low, 0ull);
    QCOMPARE(props.FileID_High, 0ull);
    QCOMPARE(ticksFromFileTime(props.MTime), modification);
    QCOMPARE(ticksFromFileTime(props.ATime), access);
    QCOMPARE(ticksFromFileTime(props.CTime), creation);
}

void TestStreams::canBeOpenedTestsTheFirstFile()
{
    const QString existing = m_dir + QStringLiteral("/here.bin");
    QVERIFY(testenv::writeFile(existing, "x"));
    CMyComPtr<InStream> in(new InStream(&m_operation, existing, true));
    QVERIFY(in->canBeOpened());

    // A write stream may create its file; the test leaves nothing behind.
    const QString fresh = m_dir + QStringLiteral("/new/dir/out.7z");
    CMyComPtr<OutStream> out(new OutStream(&m_operation, fresh, true, -1));
    QVERIFY(out->canBeOpened());
    QVERIFY(!QFileInfo::exists(fresh));

    CMyComPtr<OutStream> volumes(new OutStream(&m_operation, fresh, true, 1000));
    QVERIFY(volumes->canBeOpened());
    QVERIFY(!QFileInfo::exists(fresh + QStringLiteral(".001")));

    // A read stream of a series tests its first volume.
    QVERIFY(testenv::writeFile(m_dir + QStringLiteral("/v.7z.001"), "abc"));
    CMyComPtr<InStream> series(new InStream(&m_operation, m_dir + QStringLiteral("/v.7z.001"), true));
    QVERIFY(series->isMultiVolume());
    QVERIFY(series->canBeOpened());
    QFile::remove(m_dir + QStringLiteral("/v.7z.001"));
    QVERIFY(!series->canBeOpened());
}

void TestStreams::volumeNamesHaveAtLeastThreeDigits()
{
    QCOMPARE(StreamBase::volumeName(QStringLiteral("/a/b.7z"), 1), QStringLiteral("/a/b.7z.001"));
    QCOMPARE(StreamBase::volumeName(QStringLiteral("b"), 42), QStringLiteral("b.042"));
    QCOMPARE(StreamBase::volumeName(QStringLiteral("b"), 999), QStringLiteral("b.999"));
    QCOMPARE(StreamBase::volumeName(QStringLiteral("b"), 1000), QStringLiteral("b.1000"));
}

void TestStreams::elevatedFilesGoThroughTheServer()
{
    // No elevated file server runs in the tests, so everything routed to it
    // fails; local access to the same files would succeed.
    const QString path = m_dir + QStringLiteral("/guarded.bin");
    QVERIFY(testenv::writeFile(path, pattern(64, 13)));
    m_operation.elevated.insert(path);

    CMyComPtr<InStream> guarded(new InStream(&m_operation, path, false));
    QVERIFY(guarded->isElevated());
    QVERIFY(!guarded->canBeOpened());
    QCOMPARE(guarded->GetTotalSize(), 0ll);
    QByteArray buffer(64, '\0');
    UInt32 processed = 1;
    QVERIFY(guarded->Read(buffer.data(), 64, &processed) < 0);
    QCOMPARE(processed, 0u);
    QCOMPARE(positionOf(guarded), 0ull);

    const QString target = m_dir + QStringLiteral("/guarded-out.bin");
    m_operation.elevated.insert(target);
    CMyComPtr<OutStream> out(new OutStream(&m_operation, target, false, -1));
    QVERIFY(out->Write("abc", 3, &processed) < 0);
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(m_operation.failures->failures().size(), 2);
    for (const IoFailure& failure : m_operation.failures->failures())
        QCOMPARE(failure.reason, elevatedServerFailureText());

    // Other files of the same operation are read locally.
    const QString plain = m_dir + QStringLiteral("/plain.bin");
    QVERIFY(testenv::writeFile(plain, pattern(64, 14)));
    CMyComPtr<InStream> local(new InStream(&m_operation, plain, false));
    QVERIFY(!local->isElevated());
    QCOMPARE(readAll(local, 64), pattern(64, 14));

    // While the whole process runs elevated, every stream is.
    CSettings::setElevated(true);
    QVERIFY(local->isElevated());
    QVERIFY(!local->canBeOpened());
    m_operation.elevated.clear();
}

void TestStreams::backgroundCloseIsWaitedFor()
{
    const QByteArray data = pattern(1 << 20, 15);
    QStringList paths;
    for (int i = 0; i < 8; ++i) {
        const QString path = m_dir + QStringLiteral("/bg%1.bin").arg(i);
        paths << path;
        CMyComPtr<OutStream> stream(new OutStream(&m_operation, path, false, -1));
        UInt32 processed = 0;
        QCOMPARE(stream->Write(data.constData(), static_cast<UInt32>(data.size()), &processed), S_OK);
        // Every other file is closed by the stream's destructor.
        if (i % 2 == 0)
            stream->Close(false);
    }
    StreamBase::waitForFlushFinished();
    QCOMPARE(StreamBase::flushesInProgress(), 0);
    for (const QString& path : paths)
        QCOMPARE(testenv::readFile(path), data);
}

void TestStreams::answersOnlyItsInterfaces()
{
    const QString path = m_dir + QStringLiteral("/q.bin");
    QVERIFY(testenv::writeFile(path, "q"));
    CMyComPtr<InStream> in(new InStream(&m_operation, path, false));
    for (const GUID& iid : {IID_IUnknown, IID_IInStream, IID_IStreamGetSize, IID_IStreamGetProps,
                            IID_IStreamGetProps2}) {
        void* object = nullptr;
        QCOMPARE(in->QueryInterface(iid, &object), S_OK);
        QVERIFY(object);
        static_cast<IUnknown*>(object)->Release();
    }
    CMyComPtr<IStreamGetSize> sizer;
    QCOMPARE(CMyComPtr<InStream>(in).QueryInterface(IID_IStreamGetSize, sizer), S_OK);
    UInt64 size = 0;
    QCOMPARE(sizer->GetSize(&size), S_OK);
    QCOMPARE(size, 1ull);

    // Newer or foreign interfaces: a clear no and a null pointer.
    for (const GUID& iid : {IID_ISequentialOutStream, IID_IOutStream, makeInterfaceId(0x03, 0x10),
                            makeInterfaceId(0x03, 0x07)}) {
        void* object = reinterpret_cast<void*>(0x1);
        QCOMPARE(in->QueryInterface(iid, &object), E_NOINTERFACE);
        QVERIFY(!object);
    }

    CMyComPtr<OutStream> out(new OutStream(&m_operation, m_dir + QStringLiteral("/q.out"), false, -1));
    void* object = nullptr;
    QCOMPARE(out->QueryInterface(IID_IOutStream, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    object = reinterpret_cast<void*>(0x1);
    QCOMPARE(out->QueryInterface(makeInterfaceId(0x03, 0x05), &object), E_NOINTERFACE);
    QVERIFY(!object);
    QCOMPARE(out->QueryInterface(IID_IInStream, &object), E_NOINTERFACE);
    QVERIFY(!object);
}

QUENVAR_TEST_MAIN(TestStreams)
#include "tst_streams.moc"
