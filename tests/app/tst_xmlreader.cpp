// Reading XML operation files into compress and extract requests.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/XmlReader.h"

#include <QXmlStreamReader>

#include <memory>

namespace {

struct Parsed
{
    std::unique_ptr<CompressOptions> compress;
    std::unique_ptr<ExtractOptions> extract;
};

Parsed parse(const QString& path, QString* invalidVolume = nullptr)
{
    CompressOptions* compress = reinterpret_cast<CompressOptions*>(0x1);
    ExtractOptions* extract = reinterpret_cast<ExtractOptions*>(0x1);
    const bool ok = parseXml(path, &compress, &extract, invalidVolume);
    if (!ok)
        qFatal("parseXml reported failure");
    Parsed parsed;
    parsed.compress.reset(compress);
    parsed.extract.reset(extract);
    if (bool(parsed.compress) == bool(parsed.extract))
        qFatal("parseXml must give exactly one request");
    return parsed;
}

} // namespace

class TestXmlReader : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void compressRequest();
    void extractRequest();
    void rootOtherThanMainGivesEmptyExtract();
    void unreadableFileGivesEmptyExtract();
    void operationNameIsCaseSensitive();
    void volumeInMebibytes_data();
    void volumeInMebibytes();
    void filesSkipForeignChildren();
    void pathsModes_data();
    void pathsModes();
    void formatNames_data();
    void formatNames();
    void missingFormatMeansZip();
    void foreignElementEndsTheReading();
    void foreignElementContentIsRead();
    void absolutePathsStandAsWritten();
    void extractWithoutFileHasNoArchive_data();
    void extractWithoutFileHasNoArchive();
    void compressWithoutFilesHasNoBaseDirectory();
    void laterElementsOverrideEarlier();
    void textIsNotTrimmed();
    void readFilesStopsAtItsEndTag();

private:
    QString write(const QByteArray& body);
    QString m_dir;
};

void TestXmlReader::init()
{
    m_dir = testenv::makeDir(QStringLiteral("xml"));
}

QString TestXmlReader::write(const QByteArray& body)
{
    const QString path = m_dir + "/job.xml";
    if (!testenv::writeFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestXmlReader::compressRequest()
{
    QVERIFY(testenv::writeFile(m_dir + "/docs/a.txt", "a"));
    const Parsed parsed = parse(write("<Main>"
                                      "<operation>Compress</operation>"
                                      "<password>pw</password>"
                                      "<pathsMode>relative</pathsMode>"
                                      "<format>7z</format>"
                                      "<volume>100</volume>"
                                      "<target>out/archive.7z</target>"
                                      "<files><file>docs/a.txt</file><file2>docs/b.txt</file2></files>"
                                      "</Main>"));
    QVERIFY(parsed.compress);
    const CompressOptions& c = *parsed.compress;
    QCOMPARE(int(c.format), int(ZF_7Z));
    QCOMPARE(c.files, (QStringList{m_dir + "/docs/a.txt", m_dir + "/docs/b.txt"}));
    QCOMPARE(c.baseDirectory, m_dir + "/docs");
    QCOMPARE(c.archivePath, m_dir + "/out/archive.7z");
    QCOMPARE(qint64(c.volumeSize), qint64(104857600));
    QCOMPARE(c.password, QStringLiteral("pw"));
    // Everything else as a fresh request has it.
    const CompressOptions fresh;
    QCOMPARE(c.level, fresh.level);
    QCOMPARE(c.method, fresh.method);
    QCOMPARE(int(c.updateMethod), int(fresh.updateMethod));
    QCOMPARE(c.addToExisting, false);
    QVERIFY(c.archiveFolder.isEmpty());
    QCOMPARE(qint64(c.itemToRename), qint64(-1));
}

void TestXmlReader::extractRequest()
{
    const Parsed parsed = parse(write("<Main>"
                                      "<operation>Extract</operation>"
                                      "<password>secret</password>"
                                      "<target>unpacked</target>"
                                      "<files><file>in/a.zip</file><file>in/b.zip</file></files>"
                                      "</Main>"));
    QVERIFY(parsed.extract);
    const ExtractOptions& e = *parsed.extract;
    QCOMPARE(e.archivePath, m_dir + "/in/a.zip");
    QCOMPARE(e.targetDirectory, m_dir + "/unpacked");
    QCOMPARE(e.password, QStringLiteral("secret"));
    QCOMPARE(e.pathMode, int(EPM_RELATIVE_PATHS));
    QCOMPARE(e.overwriteMode, int(EOM_ASK));
    QVERIFY(e.itemIndexes.isEmpty());
}

void TestXmlReader::rootOtherThanMainGivesEmptyExtract()
{
    const Parsed parsed = parse(write("<main><operation>Compress</operation>"
                                      "<files><file>a.txt</file></files><password>x</password></main>"));
    QVERIFY(parsed.extract);
    QVERIFY(parsed.extract->archivePath.isEmpty());
    QVERIFY(parsed.extract->password.isEmpty());
}

void TestXmlReader::unreadableFileGivesEmptyExtract()
{
    const Parsed missing = parse(m_dir + "/no-such.xml");
    QVERIFY(missing.extract);
    QVERIFY(missing.extract->archivePath.isEmpty());

    const Parsed garbage = parse(write("this is not xml <Main>"));
    QVERIFY(garbage.extract);
    QVERIFY(garbage.extract->archivePath.isEmpty());

    const Parsed empty = parse(write(""));
    QVERIFY(empty.extract);
    QVERIFY(empty.extract->archivePath.isEmpty());
}

void TestXmlReader::operationNameIsCaseSensitive()
{
    const Parsed parsed = parse(write("<Main><operation>compress</operation>"
                                      "<files><file>a.zip</file></files><target>t</target></Main>"));
    QVERIFY(parsed.extract);
    QCOMPARE(parsed.extract->archivePath, m_dir + "/a.zip");
    QCOMPARE(parsed.extract->targetDirectory, m_dir + "/t");
}

void TestXmlReader::volumeInMebibytes_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("invalid");
    QTest::newRow("100") << QByteArray("<volume>100</volume>") << qint64(104857600) << QString();
    QTest::newRow("4096, beyond 32 bits") << QByteArray("<volume>4096</volume>") << qint64(4294967296LL) << QString();
    QTest::newRow("0 means one file") << QByteArray("<volume>0</volume>") << qint64(-1) << QString();
    QTest::newRow("absent") << QByteArray() << qint64(-1) << QString();
    // Handed back for the caller to refuse, never taken as one file.
    QTest::newRow("not a number") << QByteArray("<volume>big</volume>") << qint64(-1) << "big";
    QTest::newRow("fraction") << QByteArray("<volume>1.5</volume>") << qint64(-1) << "1.5";
    QTest::newRow("negative") << QByteArray("<volume>-5</volume>") << qint64(-1) << "-5";
    QTest::newRow("too large to count") << QByteArray("<volume>9000000000000000</volume>") << qint64(-1)
                                        << "9000000000000000";
}

void TestXmlReader::volumeInMebibytes()
{
    QFETCH(QByteArray, element);
    QFETCH(qint64, bytes);
    QFETCH(QString, invalid);
    QString invalidVolume = QStringLiteral("left from before");
    const Parsed parsed = parse(write("<Main><operation>Compress</operation>" + element +
                                      "<target>a.zip</target><files><file>x</file></files></Main>"),
                                &invalidVolume);
    QVERIFY(parsed.compress);
    QCOMPARE(qint64(parsed.compress->volumeSize), bytes);
    QCOMPARE(invalidVolume, invalid);
}

void TestXmlReader::filesSkipForeignChildren()
{
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><files>"
                                      "<file>one.txt</file>"
                                      "<other><file>hidden.txt</file>text</other>"
                                      "<file7>two.txt</file7>"
                                      "</files><target>a.zip</target></Main>"));
    QVERIFY(parsed.compress);
    QCOMPARE(parsed.compress->files, (QStringList{m_dir + "/one.txt", m_dir + "/two.txt"}));
    // The list is closed properly: what follows it is still read.
    QCOMPARE(parsed.compress->archivePath, m_dir + "/a.zip");
}

void TestXmlReader::pathsModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("type");
    QTest::newRow("relative") << "relative" << int(PT_RELATIVE);
    QTest::newRow("full") << "full" << int(PT_FULL);
    QTest::newRow("absolute") << "absolute" << int(PT_ABSOLUTE);
    QTest::newRow("unknown") << "Absolute" << int(PT_RELATIVE);
}

void TestXmlReader::pathsModes()
{
    QFETCH(QString, mode);
    QFETCH(int, type);
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><pathsMode>" + mode.toUtf8() +
                                      "</pathsMode><files><file>src/a.txt</file></files></Main>"));
    QVERIFY(parsed.compress);
    const QString folder = m_dir + "/src";
    switch (type) {
    case PT_RELATIVE:
        QCOMPARE(parsed.compress->baseDirectory, folder);
        break;
    case PT_FULL:
        QCOMPARE(parsed.compress->baseDirectory, CompressOptions::getBaseDirectory(PT_FULL, folder));
        QVERIFY(parsed.compress->baseDirectory != folder);
        break;
    default:
        // Entries keep their full paths.
        QVERIFY(parsed.compress->baseDirectory.isEmpty());
    }
}

void TestXmlReader::formatNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::newRow("7z") << "7z" << int(ZF_7Z);
    QTest::newRow("qv") << "qv" << int(ZF_QV);
    QTest::newRow("zip") << "zip" << int(ZF_ZIP);
    QTest::newRow("tar") << "tar" << int(ZF_TAR);
    QTest::newRow("wim") << "wim" << int(ZF_WIM);
    QTest::newRow("tar_xz") << "tar_xz" << int(ZF_TAR_XZ);
    QTest::newRow("tar_bzip2") << "tar_bzip2" << int(ZF_TAR_BZIP2);
    QTest::newRow("tar_gzip") << "tar_gzip" << int(ZF_TAR_GZIP);
    QTest::newRow("bzip2 alone is no choice") << "bzip2" << int(ZF_ZIP);
    QTest::newRow("case counts") << "7Z" << int(ZF_ZIP);
    QTest::newRow("empty element") << "" << int(ZF_ZIP);
}

void TestXmlReader::formatNames()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><format>" + name.toUtf8() +
                                      "</format><files><file>a</file></files></Main>"));
    QVERIFY(parsed.compress);
    QCOMPARE(int(parsed.compress->format), format);
}

void TestXmlReader::missingFormatMeansZip()
{
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><target>out</target>"
                                      "<files><file>a</file></files></Main>"));
    QVERIFY(parsed.compress);
    QCOMPARE(int(parsed.compress->format), int(ZF_ZIP));
}

void TestXmlReader::foreignElementEndsTheReading()
{
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><note>x</note>"
                                      "<files><file>a.txt</file></files><target>a.zip</target></Main>"));
    QVERIFY(parsed.compress);
    QVERIFY(parsed.compress->files.isEmpty());
    QCOMPARE(parsed.compress->archivePath, m_dir + "/");

    // The same with an extraction: the archive after the foreign element is
    // never read, and the request says so by naming none.
    const Parsed extract = parse(write("<Main><comment/><files><file>a.zip</file></files></Main>"));
    QVERIFY(extract.extract);
    QVERIFY(extract.extract->archivePath.isEmpty());
}

void TestXmlReader::foreignElementContentIsRead()
{
    const Parsed parsed = parse(write("<Main><group><operation>Compress</operation><target>t.zip</target>"
                                      "<files><file>in.txt</file></files></group><password>late</password></Main>"));
    QVERIFY(parsed.compress);
    QCOMPARE(parsed.compress->archivePath, m_dir + "/t.zip");
    QCOMPARE(parsed.compress->files, QStringList{m_dir + "/in.txt"});
    QVERIFY(parsed.compress->password.isEmpty());
}

void TestXmlReader::absolutePathsStandAsWritten()
{
    const QString elsewhere = testenv::makeDir(QStringLiteral("elsewhere"));
    const Parsed compress = parse(write("<Main><operation>Compress</operation><target>" + elsewhere.toUtf8() +
                                        "/out.7z</target><files><file>" + elsewhere.toUtf8() +
                                        "/src/a.txt</file><file>rel.txt</file></files></Main>"));
    QVERIFY(compress.compress);
    QCOMPARE(compress.compress->archivePath, elsewhere + "/out.7z");
    QCOMPARE(compress.compress->files, (QStringList{elsewhere + "/src/a.txt", m_dir + "/rel.txt"}));
    QCOMPARE(compress.compress->baseDirectory, elsewhere + "/src");

    const Parsed extract = parse(write("<Main><target>" + elsewhere.toUtf8() + "/unpacked</target><files><file>" +
                                       elsewhere.toUtf8() + "/a.zip</file></files></Main>"));
    QVERIFY(extract.extract);
    QCOMPARE(extract.extract->archivePath, elsewhere + "/a.zip");
    QCOMPARE(extract.extract->targetDirectory, elsewhere + "/unpacked");
}

void TestXmlReader::extractWithoutFileHasNoArchive_data()
{
    QTest::addColumn<QByteArray>("files");
    QTest::newRow("no files element") << QByteArray();
    QTest::newRow("empty list") << QByteArray("<files/>");
    QTest::newRow("only foreign children") << QByteArray("<files><archive>a.zip</archive></files>");
    QTest::newRow("empty file element") << QByteArray("<files><file></file></files>");
}

void TestXmlReader::extractWithoutFileHasNoArchive()
{
    QFETCH(QByteArray, files);
    const Parsed parsed = parse(write("<Main><operation>Extract</operation><target>out</target>" + files +
                                      "</Main>"));
    QVERIFY(parsed.extract);
    QVERIFY(parsed.extract->archivePath.isEmpty());
    QCOMPARE(parsed.extract->targetDirectory, m_dir + "/out");
}

void TestXmlReader::compressWithoutFilesHasNoBaseDirectory()
{
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><target>a.zip</target></Main>"));
    QVERIFY(parsed.compress);
    QVERIFY(parsed.compress->files.isEmpty());
    QVERIFY(parsed.compress->baseDirectory.isEmpty());

    // An empty file element names nothing rather than the whole folder.
    const Parsed blank = parse(write("<Main><operation>Compress</operation><target>a.zip</target>"
                                     "<files><file/></files></Main>"));
    QVERIFY(blank.compress);
    QVERIFY(blank.compress->files.isEmpty());
}

void TestXmlReader::laterElementsOverrideEarlier()
{
    const Parsed parsed = parse(write("<Main><target>first</target><operation>Compress</operation>"
                                      "<files><file>a</file></files><format>tar</format>"
                                      "<target>second.zip</target><files><file>b</file><file>c</file></files>"
                                      "<format>7z</format></Main>"));
    QVERIFY(parsed.compress);
    QCOMPARE(parsed.compress->archivePath, m_dir + "/second.zip");
    QCOMPARE(parsed.compress->files, (QStringList{m_dir + "/b", m_dir + "/c"}));
    QCOMPARE(int(parsed.compress->format), int(ZF_7Z));
}

void TestXmlReader::textIsNotTrimmed()
{
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><password> p w </password>"
                                      "<files><file>name </file></files></Main>"));
    QVERIFY(parsed.compress);
    QCOMPARE(parsed.compress->password, QStringLiteral(" p w "));
    QCOMPARE(parsed.compress->files, QStringList{m_dir + "/name "});

    const Parsed spaced = parse(write("<Main><operation> Compress</operation></Main>"));
    QVERIFY(spaced.extract);
}

void TestXmlReader::readFilesStopsAtItsEndTag()
{
    QXmlStreamReader reader(QByteArrayLiteral("<files><file>a</file><x><file>b</file></x><filename>c</filename>"
                                              "</files><after/>"));
    QVERIFY(reader.readNextStartElement());
    QCOMPARE(reader.name().toString(), QStringLiteral("files"));
    QCOMPARE(readFiles(reader, QStringLiteral("/base")), (QStringList{"/base/a", "/base/c"}));
    QVERIFY(reader.isEndElement());
    QCOMPARE(reader.name().toString(), QStringLiteral("files"));
}

QUENVAR_TEST_MAIN(TestXmlReader)
#include "tst_xmlreader.moc"
