// The file streams the engine reads and writes through: single files and
// volume series, positioning, sizes, times and modes, failures with their
// reason, elevated routing, and the background closing of files. Writing
// volumes is the archive suites' part (TestArchiveRoundTrip::splitArchives).
#include "common/testenv.h"

#include "app/settings.h"
#include "enginetestsupport.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace {
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

class TestStreams : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsAsOneStream_data();
    void readsAsOneStream();
    void failuresCarryTheirReason();
    void reportsSizeTimesAndMode();
    void canBeOpenedLeavesNothingBehind();
    void elevatedFilesGoThroughTheServer();
    void backgroundCloseIsWaitedFor();
    void answersOnlyItsInterfaces();

private:
    QString m_dir;
    TestOperation m_operation;
};

void TestStreams::init()
{
    m_dir = testenv::makeDir("streams");
}

void TestStreams::cleanup()
{
    m_operation.failures->clear();
    CSettings::setElevated(false);
    StreamBase::waitForFlushFinished();
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    QDir(m_dir).removeRecursively();
}

void TestStreams::readsAsOneStream_data()
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

void TestStreams::readsAsOneStream()
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
        QVERIFY(testenv::writeFile(m_dir + '/' + parts[0], content));
        if (read.contains(files[i]))
            whole += content;
    }
    CMyComPtr<InStream> stream(new InStream(&m_operation, m_dir + '/' + opened, checkVolumes));
    QCOMPARE(stream->isMultiVolume(), read.size() > 1);
    if (read.size() > 1) {
        QCOMPARE(stream->fileName(), m_dir + "/s.7z");
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

void TestStreams::failuresCarryTheirReason()
{
    // A missing file is never read as an empty one: the engine would store it.
    const QString missing = m_dir + "/missing.bin";
    CMyComPtr<InStream> in(new InStream(&m_operation, missing, true));
    QByteArray buffer(10, '\0');
    UInt32 processed = 5;
    QVERIFY(in->Read(buffer.data(), 10, &processed) < 0);
    QCOMPARE(processed, 0u);
    QCOMPARE(positionOf(in), 0ull);
    QVERIFY(!in->canBeOpened());
    // A folder stands where the file should be written.
    const QString taken = m_dir + "/taken";
    QVERIFY(QDir().mkpath(taken));
    CMyComPtr<OutStream> out(new OutStream(&m_operation, taken, false, -1));
    out->setReportName("as the user knows it");
    QVERIFY(!out->canBeOpened());
    QVERIFY(out->Write("abc", 3, &processed) < 0);
    QCOMPARE(processed, 0u);
    QVERIFY(QFileInfo(taken).isDir());

    const QList<IoFailure> failures = m_operation.failures->failures();
    QCOMPARE(failures.size(), 2);
    QCOMPARE(failures[0].kind, IoFailure::Open);
    QCOMPARE(failures[0].path, missing);
    QCOMPARE(failures[0].reason, QString("No such file or directory"));
    QCOMPARE(failures[1].path, QString("as the user knows it"));
    QCOMPARE(failures[1].reason, QString("Is a directory"));
}

void TestStreams::reportsSizeTimesAndMode()
{
    const QString path = m_dir + "/timed.bin";
    QVERIFY(testenv::writeFile(path, testenv::randomBytes(321)));
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

void TestStreams::canBeOpenedLeavesNothingBehind()
{
    // A write stream may create its file; the test leaves nothing behind.
    const QString fresh = m_dir + "/new/dir/out.7z";
    for (long long volumeSize : {-1LL, 1000LL}) {
        CMyComPtr<OutStream> out(new OutStream(&m_operation, fresh, true, volumeSize));
        QVERIFY(out->canBeOpened());
    }
    QVERIFY(!QFileInfo::exists(fresh));
    QVERIFY(!QFileInfo::exists(fresh + ".001"));
    // A read stream of a series tests its first volume.
    QVERIFY(testenv::writeFile(m_dir + "/v.7z.001", "abc"));
    CMyComPtr<InStream> series(new InStream(&m_operation, m_dir + "/v.7z.001", true));
    QVERIFY(series->canBeOpened());
    QFile::remove(m_dir + "/v.7z.001");
    QVERIFY(!series->canBeOpened());
}

void TestStreams::elevatedFilesGoThroughTheServer()
{
    // No elevated file server runs in the tests, so everything routed to it
    // fails; local access to the same files would succeed.
    const QString path = m_dir + "/guarded.bin";
    QVERIFY(testenv::writeFile(path, testenv::randomBytes(64)));
    m_operation.elevated.insert(path);
    CMyComPtr<InStream> guarded(new InStream(&m_operation, path, false));
    QVERIFY(guarded->isElevated());
    QVERIFY(!guarded->canBeOpened());
    QCOMPARE(guarded->GetTotalSize(), 0ll);
    QByteArray buffer(64, '\0');
    UInt32 processed = 1;
    QVERIFY(guarded->Read(buffer.data(), 64, &processed) < 0);
    QCOMPARE(processed, 0u);
    const QString target = m_dir + "/guarded-out.bin";
    m_operation.elevated.insert(target);
    CMyComPtr<OutStream> out(new OutStream(&m_operation, target, false, -1));
    QVERIFY(out->Write("abc", 3, &processed) < 0);
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(m_operation.failures->failures().size(), 2);
    for (const IoFailure& failure : m_operation.failures->failures())
        QCOMPARE(failure.reason, elevatedServerFailureText());

    // Other files of the same operation are read locally.
    const QString plain = m_dir + "/plain.bin";
    QVERIFY(testenv::writeFile(plain, "plain"));
    CMyComPtr<InStream> local(new InStream(&m_operation, plain, false));
    QVERIFY(!local->isElevated());
    QCOMPARE(readSome(local, 5), QByteArray("plain"));
    // While the whole process runs elevated, every stream is.
    CSettings::setElevated(true);
    QVERIFY(local->isElevated());
    QVERIFY(!local->canBeOpened());
    m_operation.elevated.clear();
}

void TestStreams::backgroundCloseIsWaitedFor()
{
    const QByteArray data = testenv::randomBytes(1 << 20, 15);
    QStringList paths;
    for (int i = 0; i < 8; ++i) {
        const QString path = m_dir + QString("/bg%1.bin").arg(i);
        paths << path;
        CMyComPtr<OutStream> stream(new OutStream(&m_operation, path, false, -1));
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

void TestStreams::answersOnlyItsInterfaces()
{
    const QString path = m_dir + "/q.bin";
    QVERIFY(testenv::writeFile(path, "q"));
    CMyComPtr<InStream> in(new InStream(&m_operation, path, false));
    CMyComPtr<OutStream> out(new OutStream(&m_operation, m_dir + "/q.out", false, -1));
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
}

QUENVAR_TEST_MAIN(TestStreams)
#include "tst_streams.moc"
