// Writing archives: what FileArchive writes the peers read and the reverse; updates, the source
// scan, and failures that leave the archive as it was.
#include "archivetestsupport.h"
#include "common/archivesuite.h"
#include "common/qvbytes.h"
#include "common/testarchives.h"

#include "app/settings.h"
#include "engine/zipapi.h"

#include <QStandardPaths>

#include <sys/stat.h>

using namespace archivetest;

namespace {

const char* const kPythonUnzip = "import sys, zipfile\n"
                                 "z = zipfile.ZipFile(sys.argv[1])\n"
                                 "bad = z.testzip()\n"
                                 "if bad: sys.exit('damaged: ' + bad)\n"
                                 "z.extractall(sys.argv[2])\n";
const char* const kPythonZip =
    "import os, sys, zipfile\n"
    "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
    "    for top, dirs, files in os.walk('.'):\n"
    "        for name in dirs + files:\n"
    "            z.write(os.path.join(top, name)[2:])\n";
const QString kPassword = "kept ✓ safe";

// A reader or writer: steps of a command line ("%A" the archive, "%D" the folder); a reader
// {{"ours"}} is FileArchive, {{"7z"}} the 7z tool.
using Steps = QList<QStringList>;
const Steps kOurs = {{"ours"}};
const Steps k7z = {{"7z"}};

QString runSteps(const Steps& steps, const QString& archive, const QString& folder,
                 const QString& workDir)
{
    QProcessEnvironment environment = testenv::childEnvironment(false);
    environment.insert("LC_ALL", "C.UTF-8");
    for (QStringList step : steps) {
        step.replaceInStrings("%A", archive);
        step.replaceInStrings("%D", folder);
        const testenv::ProcessResult result =
            testenv::runProcess(step.first(), step.mid(1), 120000, workDir, environment);
        if (!result.finished || result.exitCode != 0)
            return step.join(' ') + ": " + QString::fromLocal8Bit(result.out + result.err);
    }
    return QString();
}

QString missingTool(const Steps& steps)
{
    for (const QStringList& step : steps) {
        if (step.first() != "ours" && QStandardPaths::findExecutable(step.first()).isEmpty())
            return step.first();
    }
    return QString();
}

QStringList keyOption(const QString& password)
{
    return password.isEmpty() ? QStringList() : QStringList{"-p" + password};
}

// A compressed tar holds the tar, named after it, which the 7z tool extracts in turn.
QString extractAllWith7z(const QString& archive, const QString& target, const QString& password)
{
    const testenv::ProcessResult result =
        run7z(QStringList{"x", "-y", "-o" + target} + keyOption(password) + QStringList{archive});
    if (result.exitCode != 0)
        return QString::fromUtf8(result.out + result.err);
    if (!archive.contains(".tar."))
        return QString();
    const QString inner = target + "/round.tar";
    const QString failure = extractWith7z(inner, target);
    return QFile::remove(inner) ? failure : "no inner tar";
}

const QString kUpdatePassword = "Pass-wörd 7";

Files peerContents(const QString& archive)
{
    const QString target = testenv::makeDir("peer");
    return extractWith7z(archive, target).isEmpty() ? treeContents(target) : Files();
}

void setWholeSecond(const QString& path, int second)
{
    const uint64_t time =
        kBaseTime - kBaseTime % kTicksPerSecond + uint64_t(second) * kTicksPerSecond;
    setFileTimesTicks(path, time, time);
}

} // namespace

class TestArchiveRoundTrip : public ArchiveSuite
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ArchiveSuite::initTestCase();
        m_source = testenv::makeDir("source");
        testenv::makeTree(m_source, sampleFiles(), kSampleEmptyFolders);
        // A name and a path too long for a plain tar header.
        const QString longName = QString(120, 'n') + ".txt";
        const QString deepPath = QString("folder/").repeated(12) + "deep.txt";
        testenv::makeTree(m_source, {{"long/" + longName, "long\n"}, {deepPath, "deep\n"}});
        setTreeTimes(m_source);
    }

    void init()
    {
        ArchiveSuite::init();
        CSettings::setBoolValue("ArchiveHiddenItems", true);
    }

    void othersReadWhatWeWrite_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("password");
        QTest::addColumn<qint64>("volume");
        QTest::addColumn<Steps>("reader");
        QTest::addColumn<qulonglong>("timeUnit"); // for FileArchive as the reader
        const QString none;
        const qint64 whole = -1;
        const qulonglong exact = 1;
        const qulonglong second = kTicksPerSecond;
        const QList<std::tuple<ZipFormat, const char*, qulonglong>> formats = {
            {ZF_7Z, "7z", exact},            {ZF_ZIP, "zip", exact},
            {ZF_TAR, "tar", second},         {ZF_WIM, "wim", exact},
            {ZF_TAR_GZIP, "tar.gz", second}, {ZF_TAR_BZIP2, "tar.bz2", second},
            {ZF_TAR_XZ, "tar.xz", second},   {ZF_QV, "qv", 2 * second}};
        for (const auto& f : formats) {
            const char* name = std::get<1>(f);
            QTest::addRow("%s, ours", name)
                << int(std::get<0>(f)) << name << none << whole << kOurs << std::get<2>(f);
            if (std::get<0>(f) != ZF_QV)
                QTest::addRow("%s, 7z", name)
                    << int(std::get<0>(f)) << name << none << whole << k7z << std::get<2>(f);
        }
        QTest::newRow("7z, password, 7z")
            << int(ZF_7Z) << "7z" << kPassword << whole << k7z << exact;
        QTest::newRow("qv, password")
            << int(ZF_QV) << "qv" << kPassword << whole << kOurs << 2 * second;
        QTest::newRow("7z volumes")
            << int(ZF_7Z) << "7z" << none << qint64(20000) << kOurs << exact;
        QTest::newRow("tar.xz volumes")
            << int(ZF_TAR_XZ) << "tar.xz" << none << qint64(20000) << kOurs << second;
        QTest::newRow("qv volumes")
            << int(ZF_QV) << "qv" << none << qint64(20000) << kOurs << 2 * second;
        QTest::newRow("qv volumes, password")
            << int(ZF_QV) << "qv" << kPassword << qint64(20000) << kOurs << 2 * second;

        const QStringList bsdtar = {"bsdtar", "-xf", "%A", "-C", "%D"};
        const QStringList gnuTar = {"tar", "-xf", "%A", "-C", "%D"};
        const auto other = [&](const QString& name, ZipFormat format, const char* extension,
                               const Steps& steps) {
            QTest::newRow(qPrintable(name))
                << int(format) << extension << none << whole << steps << exact;
        };
        other("zip, unzip", ZF_ZIP, "zip",
              {{"unzip", "-tqq", "%A"}, {"unzip", "-qq", "%A", "-d", "%D"}});
        other("zip, zipfile", ZF_ZIP, "zip", {{"python3", "-c", kPythonUnzip, "%A", "%D"}});
        other("zip, bsdtar", ZF_ZIP, "zip", {bsdtar});
        other("7z, bsdtar", ZF_7Z, "7z", {bsdtar});
        for (const auto& tar :
             {std::make_pair(ZF_TAR, "tar"), std::make_pair(ZF_TAR_GZIP, "tar.gz"),
              std::make_pair(ZF_TAR_BZIP2, "tar.bz2"), std::make_pair(ZF_TAR_XZ, "tar.xz")}) {
            other(QString("%1, GNU tar").arg(tar.second), tar.first, tar.second, {gnuTar});
            other(QString("%1, bsdtar").arg(tar.second), tar.first, tar.second, {bsdtar});
        }
    }

    void othersReadWhatWeWrite()
    {
        QFETCH(int, format);
        QFETCH(QString, extension);
        QFETCH(QString, password);
        QFETCH(qint64, volume);
        QFETCH(Steps, reader);
        QFETCH(qulonglong, timeUnit);
        if (!missingTool(reader).isEmpty())
            QSKIP(qPrintable(missingTool(reader) + " is missing (tools/bootstrap.sh --test)"));
        const QString archive = m_work + "/round." + extension;
        // A file of the user's that the intermediate tar could be taken for.
        const bool twoStages = extension.startsWith("tar.");
        const QString beside = m_work + "/round.tar";
        if (twoStages)
            testenv::writeFile(beside, "not to be touched");
        const QDateTime besideTime = QFileInfo(beside).lastModified();
        CompressOptions request =
            compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format));
        request.password = password;
        request.volumeSize = volume;
        Run create;
        create.compress(request);
        QVERIFY(create.ok());
        QCOMPARE(create.answerer.errors, QStringList());
        QStringList written;
        for (int n = 1; volume > 0 && QFileInfo::exists(StreamBase::volumeName(archive, n)); ++n)
            written << QFileInfo(StreamBase::volumeName(archive, n)).fileName();
        QVERIFY2(volume < 0 || written.size() >= 3, qPrintable(written.join(' ')));
        for (int n = 1; n < written.size(); ++n)
            QCOMPARE(QFileInfo(m_work + '/' + written.at(n - 1)).size(), volume);
        const QString opened = volume > 0 ? StreamBase::volumeName(archive, 1) : archive;
        if (volume < 0)
            written << QFileInfo(archive).fileName();
        qint64 size = 0;
        for (const QString& name : written)
            size += QFileInfo(m_work + '/' + name).size();
        if (twoStages) {
            QCOMPARE(testenv::readFile(beside), QByteArray("not to be touched"));
            QCOMPARE(QFileInfo(beside).lastModified(), besideTime);
            written << "round.tar";
        }
        written.sort();
        QCOMPARE(testenv::listTree(m_work), written);
        if (format != ZF_QV) {
            QVERIFY(passes7zTest(opened, keyOption(password)));
            QVERIFY(password.isEmpty() || !passes7zTest(opened, {"-pwrong"}));
        } else {
            const QByteArray bytes = qvbytes::logical(archive, volume > 0);
            for (const qvbytes::Listed& entry : qvbytes::parse(bytes)) {
                QCOMPARE(entry.marker != 0, !password.isEmpty());
                QVERIFY(entry.method == 8 || entry.name.endsWith('/'));
            }
        }

        const QString target = testenv::makeDir("read");
        if (reader == kOurs) {
            const QStringList tars = {"round.tar", "inner.tar"};
            for (const QString& name : tars)
                testenv::writeFile(target + '/' + name, "mine");
            Run extract;
            extract.answerer.passwords = QStringList{password};
            QCOMPARE(FileArchive::getArchiveSize(extractRequest(opened, target)), size);
            extract.extract(extractRequest(opened, target));
            QVERIFY(extract.ok());
            for (const QString& name : tars) {
                QCOMPARE(testenv::readFile(target + '/' + name), QByteArray("mine"));
                QVERIFY(QFile::remove(target + '/' + name));
            }
            QCOMPARE(extract.answerer.passwordRequests, password.isEmpty() ? 0 : 1);
            QCOMPARE(extract.answerer.conflicts, QStringList());
            QCOMPARE(compareTimes(m_source, target, timeUnit), QString());
        } else {
            const QString failure = reader == k7z ? extractAllWith7z(opened, target, password)
                                                  : runSteps(reader, archive, target, m_work);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
        QCOMPARE(testenv::compareTrees(m_source, target), QString());
        QCOMPARE(leftovers(m_work), QStringList());
        QDir(target).removeRecursively();
    }

    void weReadWhatOthersWrite_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<Steps>("writer");
        QTest::addColumn<qulonglong>("timeUnit"); // 0: times left unchecked
        for (const char* type : {"7z", "zip", "wim"})
            QTest::addRow("7z tool, %s", type)
                << type << Steps{{"7z", "a", QString("-t") + type, "%A", "."}} << qulonglong(1);
        QTest::newRow("7z tool, tar") << "tar" << Steps{{"7z", "a", "-ttar", "%A", "."}}
                                      << qulonglong(kTicksPerSecond);
        QTest::newRow("GNU tar, pax headers")
            << "tar" << Steps{{"tar", "--format=pax", "-cf", "%A", "."}} << qulonglong(0);
        QTest::newRow("GNU tar, long names")
            << "tar" << Steps{{"tar", "--format=gnu", "-cf", "%A", "."}} << qulonglong(0);
        QTest::newRow("Info-ZIP zip")
            << "zip" << Steps{{"zip", "-rq", "%A", "."}} << qulonglong(0);
        QTest::newRow("Python zipfile")
            << "zip" << Steps{{"python3", "-c", kPythonZip, "%A"}} << qulonglong(0);
        QTest::newRow("bsdtar 7z")
            << "7z" << Steps{{"bsdtar", "--format", "7zip", "-cf", "%A", "."}} << qulonglong(0);
        QTest::newRow("bsdtar zip")
            << "zip" << Steps{{"bsdtar", "--format", "zip", "-cf", "%A", "."}} << qulonglong(0);
    }

    void weReadWhatOthersWrite()
    {
        QFETCH(QString, extension);
        QFETCH(Steps, writer);
        QFETCH(qulonglong, timeUnit);
        if (!missingTool(writer).isEmpty())
            QSKIP(qPrintable(missingTool(writer) + " is missing (tools/bootstrap.sh --test)"));
        const QString archive = m_work + "/theirs." + extension;
        const QString failure = runSteps(writer, archive, QString(), m_source);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QString target = m_work + "/extracted";
        Run run;
        run.extract(extractRequest(archive, target));
        QVERIFY(run.ok());
        QCOMPARE(run.answerer.conflicts, QStringList());
        QCOMPARE(testenv::compareTrees(m_source, target), QString());
        if (timeUnit > 0)
            QCOMPARE(compareTimes(m_source, target, timeUnit), QString());
    }

    void singleStreams_data()
    {
        QTest::addColumn<QString>("writer"); // FileArchive, or the 7z tool with its type
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("archiveName");
        QTest::addColumn<QString>("listedName");
        QTest::newRow("gz") << "ours" << int(ZF_GZIP) << "data.bin.gz" << "data.bin";
        QTest::newRow("bz2") << "ours" << int(ZF_BZIP2) << "data.bin.bz2" << "data.bin";
        QTest::newRow("xz") << "ours" << int(ZF_XZ) << "data.bin.xz" << "data.bin";
        // bzip2 and xz keep no name: the archive's name without its extension.
        QTest::newRow("bz2 by 7z, renamed") << "bzip2" << int(ZF_BZIP2) << "other.bz2" << "other";
        QTest::newRow("xz by 7z, renamed") << "xz" << int(ZF_XZ) << "other.xz" << "other";
        // gzip keeps the file's name in its header.
        QTest::newRow("gz by 7z, renamed") << "gzip" << int(ZF_GZIP) << "other.gz" << "data.bin";
    }

    void singleStreams()
    {
        QFETCH(QString, writer);
        QFETCH(int, format);
        QFETCH(QString, archiveName);
        QFETCH(QString, listedName);
        const QString folder = testenv::makeDir("single");
        const QByteArray data = randomBytes(50000, 7) + QByteArray(50000, 'z');
        testenv::writeFile(folder + "/data.bin", data);
        const QString made = m_work + "/data.bin." + QFileInfo(archiveName).suffix();
        const CompressOptions options =
            compressRequest(made, folder, {folder + "/data.bin"}, ZipFormat(format));
        Run create;
        if (writer == "ours")
            create.compress(options);
        else
            QCOMPARE(run7z({"a", "-t" + writer, made, "data.bin"}, folder).exitCode, 0);
        QVERIFY(writer != "ours" || create.ok());
        const QString archive = m_work + '/' + archiveName;
        QVERIFY(made == archive || QFile::rename(made, archive));
        QVERIFY(passes7zTest(archive));
        Run extract;
        extract.extract(extractRequest(archive, m_work + "/out"));
        QVERIFY(extract.ok());
        QCOMPARE(testenv::listTree(m_work + "/out"), QStringList{listedName});
        QCOMPARE(testenv::readFile(m_work + "/out/" + listedName), data);
        QCOMPARE(leftovers(m_work), QStringList());
    }

    void methodsAndLevels_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("method");
        QTest::addColumn<uint>("level");
        QTest::addColumn<QString>("listed");
        for (int format : {int(ZF_7Z), int(ZF_ZIP)}) {
            const ZipFormatInfo& info = SupportedFormats[format];
            const bool offered[6] = {info.LZMA2, info.LZMA,    info.PPMd,
                                     info.BZip2, info.Deflate, info.Deflate64};
            for (int method = 0; method < 6; ++method) {
                const QString name = ZipMethodPropValues[method];
                if (offered[method])
                    QTest::addRow("%s %s", qPrintable(info.extension), qPrintable(name))
                        << format << method << 5u << name.left(4);
            }
        }
        QTest::newRow("7z level 0") << int(ZF_7Z) << 1 << 0u << "Copy";
        QTest::newRow("zip level 0") << int(ZF_ZIP) << 1 << 0u << "Store";
        // A request that chose no method (an XML file, a drop, "add to current archive") packs
        // as the dialog would by default: a zip every reader opens.
        QTest::newRow("zip default") << int(ZF_ZIP) << int(kDefaultMethod) << 5u << "Deflate";
        QTest::newRow("7z default") << int(ZF_7Z) << int(kDefaultMethod) << 5u << "LZMA2";
    }

    void methodsAndLevels()
    {
        QFETCH(int, format);
        QFETCH(int, method);
        QFETCH(uint, level);
        QFETCH(QString, listed);
        const QString archive = m_work + "/method." + SupportedFormats[format].extension;
        CompressOptions options =
            compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format));
        options.method = method;
        options.level = level;
        Run run;
        run.compress(options);
        QVERIFY(run.ok());
        QVERIFY(passes7zTest(archive));
        const testarchives::PeerListing listing = testarchives::listWith7z(archive);
        const testarchives::PeerItem* top = listing.find("top.txt");
        QVERIFY2(top, listing.output.constData());
        QVERIFY2(top->value("Method").startsWith(listed, Qt::CaseInsensitive),
                 qPrintable(top->value("Method")));
    }

    void updateMethods_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("cAdded");
        for (int format : {int(ZF_7Z), int(ZF_ZIP), int(ZF_TAR)}) {
            const QByteArray ext = SupportedFormats[format].extension.toLatin1();
            const char* name = ext.constData();
            // a is newer on disk than in the archive, b older; c is new.
            QTest::addRow("%s add and replace", name)
                << format << int(UM_ADD_AND_REPLACE) << "new a" << "new b" << true;
            QTest::addRow("%s update and add", name)
                << format << int(UM_UPDATE_AND_ADD) << "new a" << "old b" << true;
            QTest::addRow("%s refresh", name)
                << format << int(UM_REFRESH) << "new a" << "old b" << false;
            QTest::addRow("%s synchronize", name)
                << format << int(UM_SYNCHRONIZE) << "new a" << "old b" << false;
        }
    }

    void updateMethods()
    {
        QFETCH(int, format);
        QFETCH(int, method);
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, cAdded);
        const QString source = testenv::makeDir("methods");
        testenv::makeTree(source, {{"a.txt", "old a"}, {"b.txt", "old b"}});
        setWholeSecond(source + "/a.txt", 0);
        setWholeSecond(source + "/b.txt", 100);
        const QString archive = m_work + "/methods." + SupportedFormats[format].extension;
        QVERIFY(!packTree(archive, source, ZipFormat(format)).isEmpty());
        testenv::makeTree(source, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}});
        setWholeSecond(source + "/a.txt", 50);
        setWholeSecond(source + "/b.txt", 50);
        CompressOptions update =
            compressRequest(archive, source, topLevelPaths(source), ZipFormat(format));
        update.updateMethod = ZipUpdateMethod(method);
        Run run;
        run.compress(update);
        QVERIFY(run.ok());
        QCOMPARE(run.answerer.errors, QStringList());
        QVERIFY(passes7zTest(archive));
        QStringList expected = {"a.txt", "b.txt"};
        if (cAdded)
            expected << "c.txt";
        QCOMPARE(testarchives::entryPaths(archive), expected);
        QCOMPARE(peerContents(archive).value("b.txt"), b.toUtf8());
        QCOMPARE(peerContents(archive).value("a.txt"), a.toUtf8());
        QCOMPARE(leftovers(m_work), QStringList());
    }

    void failuresLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("volume");
        QTest::addColumn<QString>("message"); // %1: the archive, %b: big.bin, %v: the volume
        const QString itself =
            "Adding itself or its parent directory to the archive is not allowed";
        const QString volume = "Error: cannot add to multi-volume archive %1";
        const qint64 whole = -1;
        QTest::newRow("folder holds the archive") << "itself" << whole << itself;
        QTest::newRow("archive among the sources")
            << "source" << whole
            << "Error: filename of archive is the same as one of the files for packing %1";
        QTest::newRow("volume of a set") << "volume" << whole << volume;
        QTest::newRow("split over someone's first volume") << "split" << qint64(20000) << volume;
        QTest::newRow("no archive name") << "noname" << whole << "No archive name is stated";
        QTest::newRow("RAR is not updated") << "rar" << whole << "Cannot create archiving object";
        QTest::newRow("cancelled while writing") << "cancel" << whole << QString();
        // Deleting from a solid block makes the engine unpack and pack it again; damaged data
        // fails that half-way.
        QTest::newRow("the engine fails half-way")
            << "engine" << whole << "Cannot write archive %1";
        QTest::newRow("qv, cancelled while adding") << "qv cancel" << whole << QString();
        QTest::newRow("qv, disk full while adding")
            << "qv full" << whole << "Cannot write file %1: File too large";
        QTest::newRow("qv, unreadable source")
            << "qv unreadable" << whole
            << "These files cannot be read and were not added; entries of their names "
               "stay as they were: %b: Permission denied";
        QTest::newRow("qv, volumes for an existing archive")
            << "qv" << qint64(100000)
            << "Cannot split %1 into volumes: an archive that exists is updated as one file";
        const QString invalid = "Cannot split the archive into volumes of %v bytes: a volume "
                                "holds 1 to 2147483647 bytes";
        QTest::newRow("qv, volume size 0") << "qv" << qint64(0) << invalid;
        QTest::newRow("qv, new, volume size past 31 bits")
            << "qv new" << qint64(0x80000000LL) << invalid;
    }

    void failuresLeaveEverythingAsItWas()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, volume);
        QFETCH(QString, message);
        const QString source = m_work + "/src";
        testenv::makeTree(source, {{"one.txt", "1"}, {"two.txt", "2"}});
        QString archive = m_work + "/update.7z";
        CompressOptions request = compressRequest(archive, source, {source + "/two.txt"}, ZF_7Z);
        request.addToExisting = true;
        const QString big = m_work + "/big.bin";
        if (kind == "itself") {
            archive = source + "/inside.7z";
            request.files = QStringList{source};
            QCOMPARE(run7z({"a", archive, "one.txt"}, source).exitCode, 0);
        } else if (kind == "source") {
            QCOMPARE(run7z({"a", archive, "one.txt"}, source).exitCode, 0);
            request.files << archive;
        } else if (kind == "volume") {
            const QString set = m_work + "/set.7z";
            QCOMPARE(run7z({"a", "-v1k", "-mx=0", set, "one.txt"}, source).exitCode, 0);
            archive = set + ".001";
        } else if (kind == "split") {
            testenv::writeFile(archive + ".001", "someone's volume");
            request.addToExisting = false;
        } else if (kind == "noname") {
            archive.clear();
        } else if (kind == "rar") {
            archive = m_work + "/keep.rar";
            testenv::writeFile(archive, testarchives::makeRar5({testarchives::file("a.txt", "a")}));
        } else if (kind == "cancel") {
            Run create;
            create.compress(request);
            QVERIFY(create.ok());
            for (int i = 0; i < 6; ++i)
                testenv::writeFile(source + QString("/big%1.bin").arg(i),
                                   randomBytes(4 << 20, 20 + i));
            request.files = topLevelPaths(source);
        } else if (kind == "engine") {
            QStringList names;
            for (int i = 0; i < 4; ++i) {
                names << QString("f%1.bin").arg(i);
                testenv::writeFile(source + '/' + names.last(), randomBytes(100000, 40 + i));
            }
            QCOMPARE(run7z(QStringList{"a", "-ms=on", "-mx=0", "-m0=LZMA2", archive} + names,
                           source)
                         .exitCode,
                     0);
            QByteArray bytes = testenv::readFile(archive);
            for (int i = 150000; i < 150064; ++i)
                bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
            testenv::writeFile(archive, bytes);
            request = CompressOptions();
            request.itemsToDelete = QList<int>{indexOfEntry(archive, "f0.bin")};
            QVERIFY(request.itemsToDelete.first() >= 0);
        } else if (kind.startsWith("qv")) {
            archive = kind == "qv new" ? m_work + "/new.qv"
                                       : packQvTree(m_work + "/tree.qv", m_work + "/source");
            QVERIFY(!archive.isEmpty());
            testenv::writeFile(big, randomBytes(12 * 1024 * 1024, 7));
            request = compressRequest(archive, m_work, {big}, ZF_QV);
        }
        request.archivePath = archive;
        if (volume != -1)
            request.volumeSize = volume;

        const Files before = treeContents(m_work);
        PermissionBitsApply asAnyone;
        if (kind == "qv unreadable")
            QFile::setPermissions(big, QFileDevice::Permissions());
        Run run;
        bool cancelled = false;
        if (archive.isEmpty()) {
            // process() runs nothing without an archive.
            run.answerer.connectTo(&run.archive);
            run.archive.updateArchive(request);
            run.finished = true;
        } else {
            std::unique_ptr<testenv::FileSizeLimit> limit(
                kind == "qv full" ? new testenv::FileSizeLimit(1 << 20) : nullptr);
            run.compress(request, [&] {
                if (kind.endsWith("cancel") && !cancelled && run.progress.completed > 0)
                    cancelled = run.progress.canceled = true;
            });
        }
        QFile::setPermissions(big, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(run.failed());
        QCOMPARE(cancelled, kind.endsWith("cancel"));
        message.replace("%1", archive).replace("%b", big).replace("%v", QString::number(volume));
        QCOMPARE(run.answerer.errors, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(run.answerer.accessQuestions, QStringList());
        QCOMPARE(treeContents(m_work), before);
        QCOMPARE(leftovers(m_work), QStringList());
    }

    void qvEncryptedUpdatesAskForThePassword_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("requests");
        QTest::newRow("delete, wrong then right")
            << "delete" << QStringList{"nope", kUpdatePassword} << 2;
        QTest::newRow("delete, cached by an extraction") << "cached" << QStringList() << 0;
        QTest::newRow("delete, written under the original key rule")
            << "original" << QStringList{kUpdatePassword} << 1;
        QTest::newRow("replace, cancelled") << "replace" << QStringList{QString()} << 1;
    }

    void qvEncryptedUpdatesAskForThePassword()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, answers);
        QFETCH(int, requests);
        const QString source = m_work + "/source";
        const QString archive = packQvTree(m_work + "/secret.qv", source, kUpdatePassword);
        QVERIFY(!archive.isEmpty());
        if (operation == "original")
            QVERIFY(qvbytes::toOriginalRule(archive, kUpdatePassword));
        Files files = treeContents(source);
        CompressOptions request = compressRequest(archive, source, {source + "/top.txt"}, ZF_QV);
        if (operation != "replace") {
            // The first file entry: everything after it moves.
            request = CompressOptions();
            request.archivePath = archive;
            request.format = ZF_QV;
            request.itemsToDelete = {indexOfEntry(archive, QString())};
            FileArchive lister;
            lister.openArchive(archive);
            files.remove(lister.archiveItemInfo(request.itemsToDelete.first()).name);
        }
        if (operation == "cached") {
            Run extracting;
            extracting.answerer.passwords = QStringList{kUpdatePassword};
            extracting.extract(extractRequest(archive, m_work + "/first"));
            QVERIFY(extracting.ok());
        }
        const QByteArray original = testenv::readFile(archive);
        Run run;
        run.answerer.passwords = answers;
        run.compress(request);
        QVERIFY(run.finished);
        QCOMPARE(run.answerer.passwordRequests, requests);
        QCOMPARE(run.answerer.errors, QStringList());
        QVERIFY(leftovers(m_work).isEmpty());
        if (operation == "replace") {
            QVERIFY(run.failed());
            QCOMPARE(testenv::readFile(archive), original);
            return;
        }
        QVERIFY(run.ok());
        const QString expected = m_work + "/expected";
        testenv::makeTree(expected, files, kSampleEmptyFolders);
        Run extracting;
        extracting.answerer.passwords = QStringList{kUpdatePassword};
        extracting.extract(extractRequest(archive, m_work + "/out"));
        QVERIFY(extracting.ok());
        QCOMPARE(testenv::compareTrees(expected, m_work + "/out"), QString());
    }

    void hiddenItemsAndEmptyFolders_data()
    {
        QTest::addColumn<bool>("archiveHidden");
        QTest::newRow("hidden items archived") << true;
        QTest::newRow("hidden items left out") << false;
    }

    void hiddenItemsAndEmptyFolders()
    {
        QFETCH(bool, archiveHidden);
        CSettings::setBoolValue("ArchiveHiddenItems", archiveHidden);
        const QString source = testenv::makeDir("hidden");
        testenv::makeTree(source,
                          {{".top", "t"},
                           {"shown.txt", "s"},
                           {"folder/.secret", "x"},
                           {"folder/plain.txt", "p"},
                           {"folder/.cache/inside.txt", "i"}},
                          {"folder/empty", "folder/.emptyhidden"});
        // Links and pipes below a chosen folder stay out, whatever the setting.
        QVERIFY(QFile::link("plain.txt", source + "/folder/link.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(source + "/folder/pipe").constData(), 0600), 0);
        const QString archive = packTree(m_work + "/hidden.7z", source, ZF_7Z);
        QVERIFY(!archive.isEmpty());
        QStringList expected = {"folder", "folder/empty", "folder/plain.txt", "shown.txt"};
        if (archiveHidden)
            expected += QStringList{".top", "folder/.secret", "folder/.cache",
                                    "folder/.cache/inside.txt", "folder/.emptyhidden"};
        expected.sort();
        QCOMPARE(testarchives::entryPaths(archive), expected);
    }

    void unreadableFolderQuestionEnds_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("lockedIncluded");
        QTest::newRow("retry after the fix") << int(UA_RETRY) << true << true;
        QTest::newRow("skip") << int(UA_SKIP) << true << false;
        // No elevated server answers here: as skip.
        QTest::newRow("as administrator") << int(UA_AS_ADMIN) << true << false;
        QTest::newRow("cancel") << int(UA_CANCEL) << false << false;
        QTest::newRow("no answer") << int(UA_ASK) << false << false;
    }

    void unreadableFolderQuestionEnds()
    {
        QFETCH(int, answer);
        QFETCH(bool, written);
        QFETCH(bool, lockedIncluded);
        const QString source = testenv::makeDir("scan");
        testenv::makeTree(source,
                          {{"a.txt", "a"}, {"open/b.txt", "b"}, {"open/locked/inside.txt", "i"}});
        const QString locked = source + "/open/locked";
        const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        const QString archive = m_work + "/scan.7z";
        Run run;
        run.answerer.accessAnswers = {{E_UserAction(answer), false}};
        run.answerer.beforeAccessAnswer = [&](const QString&) {
            if (answer == UA_RETRY)
                QFile::setPermissions(locked, all);
        };
        {
            PermissionBitsApply asAnyone;
            run.compress(compressRequest(archive, source, topLevelPaths(source), ZF_7Z));
        }
        QFile::setPermissions(locked, all);
        QVERIFY(run.finished);
        QCOMPARE(run.answerer.accessQuestions, QStringList{locked});
        QVERIFY(run.answerer.errors.isEmpty());
        QCOMPARE(run.archive.failed(), !written);
        QCOMPARE(QFileInfo::exists(archive), written);
        if (written) {
            QStringList expected = {"a.txt", "open", "open/b.txt"};
            if (lockedIncluded)
                expected << "open/locked"
                         << "open/locked/inside.txt";
            QCOMPARE(testarchives::entryPaths(archive), expected);
        }
        QVERIFY(leftovers(m_work).isEmpty());
    }

    void unreadableFilesAreLeftOutAndNamed_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("7z") << int(ZF_7Z);
        QTest::newRow("zip") << int(ZF_ZIP);
    }

    void unreadableFilesAreLeftOutAndNamed()
    {
        QFETCH(int, format);
        const QString source = testenv::makeDir("unreadable");
        const QStringList locked = {"locked.txt", "dir/locked2.txt"};
        testenv::makeTree(source, {{"a.txt", "a"}, {locked.at(0), "old"}, {locked.at(1), "old"}});
        const QString archive = m_work + "/unreadable." + SupportedFormats[format].extension;
        QVERIFY(!packTree(archive, source, ZipFormat(format)).isEmpty());
        for (const QString& name : QStringList{"a.txt"} + locked)
            testenv::writeFile(source + '/' + name, "new");
        for (const QString& name : locked)
            QFile::setPermissions(source + '/' + name, QFileDevice::Permissions());
        Run run;
        {
            PermissionBitsApply asAnyone;
            run.compress(
                compressRequest(archive, source, topLevelPaths(source), ZipFormat(format)));
        }
        for (const QString& name : locked)
            QFile::setPermissions(source + '/' + name,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(run.failed());
        QVERIFY(run.archive.sourcesLeftOut());
        QCOMPARE(run.answerer.errors.size(), 1);
        for (const QString& name : locked) {
            const QString named = source + '/' + name + ": Permission denied";
            QVERIFY2(run.answerer.errors.first().contains(named),
                     qPrintable(run.answerer.errors.first()));
            QCOMPARE(peerContents(archive).value(name), QByteArray("old"));
        }
        QCOMPARE(peerContents(archive).value("a.txt"), QByteArray("new"));
    }

private:
    QString m_source;
};

QUENVAR_TEST_MAIN(TestArchiveRoundTrip)
#include "tst_archiveroundtrip.moc"
