// Reading XML operation files into compress and extract requests.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/XmlReader.h"

#include <QRegularExpression>
#include <QStorageInfo>

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
    void requests_data();
    void requests();
    void volumeInMebibytes_data();
    void volumeInMebibytes();
    void pathsModes_data();
    void pathsModes();
    void missingFileGivesEmptyExtract();

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

void TestXmlReader::requests_data()
{
    // The paths expected start with "D/" for the folder of the XML file.
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("compress");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("target"); // extractions only, when given
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("format"); // compressions only
    const auto extract = [](const char* name, const QByteArray& body, const QString& archive,
                            const QString& target = QString(),
                            const QString& password = QString()) {
        QTest::newRow(name)
            << body << false << archive << target << QStringList() << password << -1;
    };
    const auto compress = [](const char* name, const QByteArray& body, const QString& archive,
                             const QStringList& files, int format,
                             const QString& password = QString()) {
        QTest::newRow(name) << body << true << archive << QString() << files << password << format;
    };
    compress(
        "compress",
        "<Main><operation>Compress</operation><password>pw</password>"
        "<pathsMode>relative</pathsMode>"
        "<format>7z</format><target>out/archive.7z</target>"
        "<files><file>docs/a.txt</file><file2>docs/b.txt</file2></files></Main>",
        "D/out/archive.7z", {"D/docs/a.txt", "D/docs/b.txt"}, ZF_7Z, "pw");
    extract(
        "extract",
        "<Main><operation>Extract</operation><password>secret</password><target>unpacked</target>"
        "<files><file>in/a.zip</file><file>in/b.zip</file></files></Main>",
        "D/in/a.zip", "D/unpacked", "secret");
    extract(
        "root other than Main",
        "<main><operation>Compress</operation><files><file>a.txt</file></files>"
        "<password>x</password></main>",
        "");
    extract("not xml", "this is not xml <Main>", "");
    extract("empty file", "", "");
    extract(
        "operation name is case-sensitive",
        "<Main><operation>compress</operation><files><file>a.zip</file></files>"
        "<target>t</target></Main>",
        "D/a.zip", "D/t");
    extract("operation name is not trimmed", "<Main><operation> Compress</operation></Main>", "");
    compress("foreign children of files are skipped",
             "<Main><operation>Compress</operation><files><file>one.txt</file>"
             "<other><file>hidden.txt</file>text</other><file7>two.txt</file7></files>"
             "<target>a.zip</target></Main>",
             "D/a.zip", {"D/one.txt", "D/two.txt"}, ZF_ZIP);
    for (const QByteArray& name : {QByteArray("bzip2"), QByteArray("7Z"), QByteArray()})
        compress(qPrintable("format '" + name + "' means zip"),
                 "<Main><operation>Compress</operation><format>" + name +
                     "</format><target>a</target></Main>",
                 "D/a", {}, ZF_ZIP);
    compress("no format means zip",
             "<Main><operation>Compress</operation><target>out</target></Main>", "D/out", {},
             ZF_ZIP);
    compress("a foreign element ends the reading",
             "<Main><operation>Compress</operation><note>x</note>"
             "<files><file>a.txt</file></files><target>a.zip</target></Main>",
             "D/", {}, ZF_ZIP);
    // The archive after the foreign element is never read, and the request
    // says so by naming none.
    extract("a foreign element ends an extraction",
            "<Main><comment/><files><file>a.zip</file></files></Main>", "");
    compress("a foreign element's content is read",
             "<Main><group><operation>Compress</operation><target>t.zip</target>"
             "<files><file>in.txt</file></files></group><password>late</password></Main>",
             "D/t.zip", {"D/in.txt"}, ZF_ZIP);
    for (const QByteArray& files : {QByteArray(), QByteArray("<files/>"),
                                    QByteArray("<files><archive>a.zip</archive></files>"),
                                    QByteArray("<files><file></file></files>")})
        extract(qPrintable("no archive in '" + files + "'"),
                "<Main><operation>Extract</operation><target>out</target>" + files + "</Main>", "",
                "D/out");
    // An empty file element names nothing rather than the whole folder.
    compress(
        "empty file element",
        "<Main><operation>Compress</operation><target>a.zip</target><files><file/></files></Main>",
        "D/a.zip", {}, ZF_ZIP);
    compress(
        "later elements override earlier ones",
        "<Main><target>first</target><operation>Compress</operation><files><file>a</file></files>"
        "<format>tar</format><target>second.zip</target><files><file>b</file><file>c</file></files>"
        "<format>7z</format></Main>",
        "D/second.zip", {"D/b", "D/c"}, ZF_7Z);
    compress("text is not trimmed",
             "<Main><operation>Compress</operation><password> p w </password><target>a</target>"
             "<files><file>name </file></files></Main>",
             "D/a", {"D/name "}, ZF_ZIP, " p w ");
}

void TestXmlReader::requests()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, compress);
    QFETCH(QString, archive);
    QFETCH(QString, target);
    QFETCH(QStringList, files);
    QFETCH(QString, password);
    QFETCH(int, format);
    const auto place = [this](QStringList paths) {
        return paths.replaceInStrings(QRegularExpression("^D/"), m_dir + '/');
    };
    const Parsed parsed = parse(write(body));
    QCOMPARE(bool(parsed.compress), compress);
    if (compress) {
        const CompressOptions& c = *parsed.compress;
        QCOMPARE(c.archivePath, place({archive}).first());
        QCOMPARE(c.files, place(files));
        QCOMPARE(c.password, password);
        QCOMPARE(int(c.format), format);
        // The base is the first file's folder; without a file there is none.
        const QString base = files.isEmpty() ? QString() : QFileInfo(place(files).first()).path();
        QCOMPARE(c.baseDirectory, base);
    } else {
        const ExtractOptions& e = *parsed.extract;
        QCOMPARE(e.archivePath, place({archive}).first());
        if (!target.isNull())
            QCOMPARE(e.targetDirectory, place({target}).first());
        QCOMPARE(e.password, password);
        QCOMPARE(e.pathMode, int(EPM_RELATIVE_PATHS));
        QCOMPARE(e.overwriteMode, int(EOM_ASK));
    }
}

void TestXmlReader::volumeInMebibytes_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("invalid");
    QTest::newRow("100") << QByteArray("<volume>100</volume>") << qint64(104857600) << QString();
    QTest::newRow("4096, beyond 32 bits")
        << QByteArray("<volume>4096</volume>") << qint64(4294967296LL) << QString();
    QTest::newRow("0 means one file")
        << QByteArray("<volume>0</volume>") << qint64(-1) << QString();
    QTest::newRow("absent") << QByteArray() << qint64(-1) << QString();
    // Handed back for the caller to refuse, never taken as one file.
    QTest::newRow("not a number") << QByteArray("<volume>big</volume>") << qint64(-1) << "big";
    QTest::newRow("fraction") << QByteArray("<volume>1.5</volume>") << qint64(-1) << "1.5";
    QTest::newRow("negative") << QByteArray("<volume>-5</volume>") << qint64(-1) << "-5";
    QTest::newRow("too large to count")
        << QByteArray("<volume>9000000000000000</volume>") << qint64(-1) << "9000000000000000";
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

void TestXmlReader::pathsModes_data()
{
    // Where entry names start: the first file's folder, the mount point of
    // its file system (none for the root file system), or nowhere.
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("base");
    QTest::newRow("relative") << "relative" << "folder";
    QTest::newRow("full") << "full" << "mount point";
    QTest::newRow("absolute") << "absolute" << "";
    QTest::newRow("unknown") << "Absolute" << "folder";
}

void TestXmlReader::pathsModes()
{
    QFETCH(QString, mode);
    QFETCH(QString, base);
    const QString folder = m_dir + "/src";
    QString mount = QStorageInfo(m_dir).rootPath();
    if (mount == "/")
        mount.clear();
    const Parsed parsed = parse(write("<Main><operation>Compress</operation><pathsMode>" +
                                      mode.toUtf8() +
                                      "</pathsMode><files><file>src/a.txt</file></files></Main>"));
    QVERIFY(parsed.compress);
    if (base == "folder")
        QCOMPARE(parsed.compress->baseDirectory, folder);
    else
        QCOMPARE(parsed.compress->baseDirectory, base.isEmpty() ? QString() : mount);
}

void TestXmlReader::missingFileGivesEmptyExtract()
{
    const Parsed missing = parse(m_dir + "/no-such.xml");
    QVERIFY(missing.extract);
    QVERIFY(missing.extract->archivePath.isEmpty());
}

QUENVAR_TEST_MAIN(TestXmlReader)
#include "tst_xmlreader.moc"
