// Archives hold what the user has, through the real executable without a display,
// against the peers: 7z, unzip, zipinfo, GNU tar, gzip, bzip2, xz, Python's tarfile and zipfile.
#include "common/testenv.h"

#include "engine/filearchive.h"

#include <sys/stat.h>

namespace {

// Permission bits, setuid and friends included; -1 when there is nothing.
int modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

const QMap<QString, int> kModes = {
    {"m", 0755},     {"m/key", 0600},  {"m/group.txt", 0640}, {"m/run.sh", 0755},
    {"m/priv", 0700}, {"m/priv/inside.txt", 0644}, {"m/suid", 04755},
};

QString makeModeTree(const QString& name)
{
    const QString folder = testenv::makeDir(name);
    for (auto it = kModes.cbegin(); it != kModes.cend(); ++it) {
        const QString path = folder + "/" + it.key();
        if (it.key() == "m" || it.key() == "m/priv")
            QDir().mkpath(path);
        else
            testenv::writeFile(path, it.key().toUtf8());
    }
    // Deepest first, so that the folders are still open to the chmods.
    for (auto it = kModes.cend(); it != kModes.cbegin();) {
        --it;
        ::chmod(QFile::encodeName(folder + "/" + it.key()).constData(), mode_t(it.value()));
    }
    return folder;
}

QString extensionOf(const QString& format)
{
    if (format.startsWith("tar_"))
        return "tar." +
               QString(format).remove("tar_").replace("gzip", "gz").replace("bzip2", "bz2");
    return format;
}

testenv::ProcessResult runXml(const QString& folder, const QString& body, int umask = -1)
{
    const QString path = folder + "/operation.xml";
    testenv::writeFile(path, "<Main>" + body.toUtf8() + "</Main>");
    return testenv::runQuenvar({"-c", "xml", path}, false, umask);
}

QString compressXml(const QString& format, const QString& archive, const QStringList& files,
                    const QString& extra = QString())
{
    QString list;
    for (const QString& file : files)
        list += "<file>" + file + "</file>";
    return QStringLiteral("<operation>Compress</operation><format>%1</format>%2"
                          "<target>%3</target><files>%4</files>")
        .arg(format, extra, archive, list);
}

testenv::ProcessResult extractWithQuenvar(const QString& archive, const QString& target,
                                          int umask = -1)
{
    return runXml(QFileInfo(archive).path(),
                  "<target>" + target + "</target><files><file>" + archive + "</file></files>",
                  umask);
}

testenv::ProcessResult run(const QString& program, const QStringList& arguments,
                           const QString& workDir = QString())
{
    return testenv::runProcess(program, arguments, 120000, workDir);
}

// Modification time in nanoseconds of the entry itself (a link's own).
qint64 mtimeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Names as archives from other systems hold them: Latin-1 (which holds
// cp437's bytes as well) beside UTF-8.
const QList<QByteArray> kForeignNames = {"umlauts-\xc4\xd6\xdc.txt", "d\xe9/f\xfc\x91o\x86.txt",
                                         "caf\xc3\xa9.txt"};

// A tar (GNU format) or a zip without the UTF-8 flag, by Python, with
// kForeignNames as they are; each file holds its name.
const char* const kPythonArchiver = R"(
import io, sys, tarfile, zipfile
kind, out, names = sys.argv[1], sys.argv[2], [bytes.fromhex(h) for h in sys.argv[3:]]
if kind == 'tar':
    with tarfile.open(out, 'w', format=tarfile.GNU_FORMAT, encoding='latin-1') as archive:
        for name in names:
            info = tarfile.TarInfo(name.decode('latin-1'))
            info.size = len(name)
            archive.addfile(info, io.BytesIO(name))
else:
    class RawName(zipfile.ZipInfo):
        def _encodeFilenameFlags(self):
            return self.filename.encode('latin-1'), self.flag_bits
    with zipfile.ZipFile(out, 'w') as archive:
        for name in names:
            archive.writestr(RawName(name.decode('latin-1')), name)
)";

} // namespace

class TestArchiveFidelity : public QObject
{
    Q_OBJECT

private slots:
    // Peers run by an ordinary user apply the umask; the modes they are
    // expected to restore pass 022 untouched.
    void initTestCase() { ::umask(022); }

    void missingSourcesKeepTheirEntries_data()
    {
        QTest::addColumn<QString>("format");
        for (const char* format : {"7z", "zip", "tar_gzip", "wim", "qv"})
            QTest::addRow("update %s", format) << format;
    }

    void missingSourcesKeepTheirEntries()
    {
        QFETCH(QString, format);
        const QString folder = testenv::makeDir("missing");
        testenv::makeTree(folder + "/s",
                          {{"x.txt", "x\n"}, {"y.txt", "y\n"}, {"data/doc.txt", "d\n"}});
        const QString archive = folder + "/a." + extensionOf(format);
        const QString request = compressXml(
            format, archive, {folder + "/s/x.txt", folder + "/s/y.txt", folder + "/s/data"});
        QCOMPARE(runXml(folder, request).exitCode, 0);
        QFile::remove(folder + "/s/x.txt");
        QDir(folder + "/s/data").removeRecursively();
        testenv::writeFile(folder + "/s/y.txt", "y2\n");
        const auto result = runXml(folder, request);
        QCOMPARE(result.exitCode, 1);
        for (const char* gone :
             {"/s/x.txt: No such file or directory", "/s/data: No such file or directory"})
            QVERIFY2(result.err.contains((folder + gone).toUtf8()), result.err.constData());

        // Read back by the program and, where it can, by the peer: the entries of
        // the missing sources as they were (no empty file shadowing data/).
        const QString expected = folder + "/expected";
        testenv::makeTree(expected, {{"x.txt", "x\n"}, {"y.txt", "y2\n"}, {"data/doc.txt", "d\n"}});
        QCOMPARE(extractWithQuenvar(archive, folder + "/out").exitCode, 0);
        QCOMPARE(testenv::compareTrees(expected, folder + "/out"), QString());
        if (format != "qv") {
            const auto test = testenv::run7z({"t", archive});
            QVERIFY2(test.exitCode == 0, test.out.constData());
        }
    }

    void modesKeptNeverWidened_data()
    {
        // Made by the program (a format) or a peer; extracted by the program
        // under a umask, or by a peer, which must find the modes stored.
        QTest::addColumn<QString>("maker");
        QTest::addColumn<QString>("extractor");
        QTest::addColumn<int>("umask");
        QTest::newRow("zip, unzip") << "zip" << "unzip" << 022;
        QTest::newRow("7z, 7z") << "7z" << "7z" << 022;
        QTest::newRow("wim, 7z") << "wim" << "7z" << 022;
        QTest::newRow("tar, GNU tar") << "tar" << "tar" << 022;
        for (const char* format : {"zip", "7z", "wim", "tar", "tar_gzip"})
            QTest::addRow("written here as %s", format) << format << "" << 022;
        QTest::newRow("7z a") << "7z a" << "" << 022;
        QTest::newRow("7z a, umask 077") << "7z a" << "" << 077;
        QTest::newRow("7z a -tzip, umask 027") << "7z a -tzip" << "" << 027;
        QTest::newRow("GNU tar") << "GNU tar" << "" << 022;
        QTest::newRow("GNU tar, umask 077") << "GNU tar" << "" << 077;
        QTest::newRow("gzip (no mode)") << "gzip" << "" << 022;
        QTest::newRow("gzip (no mode), umask 077") << "gzip" << "" << 077;
    }

    void modesKeptNeverWidened()
    {
        QFETCH(QString, maker);
        QFETCH(QString, extractor);
        QFETCH(int, umask);
        const QString folder = makeModeTree("modes");
        QString archive;
        if (maker == "7z a" || maker == "7z a -tzip") {
            archive = folder + (maker.endsWith("zip") ? "/m.zip" : "/m.7z");
            QCOMPARE(testenv::run7z({"a", archive, "m"}, folder).exitCode, 0);
        } else if (maker == "GNU tar") {
            archive = folder + "/m.tar";
            QCOMPARE(run("tar", {"-cf", archive, "m"}, folder).exitCode, 0);
        } else if (maker == "gzip") {
            QCOMPARE(run("gzip", {"-k", "m/key"}, folder).exitCode, 0);
            archive = folder + "/m/key.gz";
        } else {
            archive = folder + "/m." + extensionOf(maker);
            QCOMPARE(runXml(folder, compressXml(maker, archive, {folder + "/m"})).exitCode, 0);
        }
        const QString out = folder + "/out";
        if (extractor.isEmpty()) {
            QCOMPARE(extractWithQuenvar(archive, out, umask).exitCode, 0);
            if (maker == "gzip") {
                QCOMPARE(QString::number(modeOf(out + "/key"), 8),
                         QString::number(0666 & ~umask, 8));
                return;
            }
            // Never setuid, never more than stored and the umask allow.
            for (auto it = kModes.cbegin(); it != kModes.cend(); ++it)
                QCOMPARE(QString::number(modeOf(out + "/" + it.key()), 8),
                         QString::number(it.value() & 0777 & ~umask, 8));
            return;
        }

        QByteArray listing;
        if (maker == "zip")
            listing = run("zipinfo", {archive}).out;
        else if (maker == "tar")
            listing = run("tar", {"-tvf", archive}).out;
        else
            listing = testenv::run7z({"l", "-slt", archive}).out;
        for (const char* mode :
             {"-rw-------", "-rw-r-----", "-rwxr-xr-x", "drwx------", "-rwsr-xr-x"})
            QVERIFY2(listing.contains(mode), listing.constData());
        QDir().mkpath(out);
        testenv::ProcessResult extracted;
        if (extractor == "unzip")
            extracted = run("unzip", {"-q", archive, "-d", out});
        else if (extractor == "tar")
            extracted = run("tar", {"-xf", archive, "-C", out});
        else
            extracted = testenv::run7z({"x", "-o" + out, archive});
        QCOMPARE(extracted.exitCode, 0);
        for (auto it = kModes.cbegin(); it != kModes.cend(); ++it) {
            // What a peer does with setuid is the peer's business.
            if (it.value() <= 0777)
                QCOMPARE(QString::number(modeOf(out + "/" + it.key()), 8),
                         QString::number(it.value(), 8));
        }
    }

    void shortTarNames_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("compression");
        QTest::addColumn<QString>("format");
        QTest::newRow("tgz") << "tgz" << "-z" << "tar_gzip";
        QTest::newRow("tbz2") << "tbz2" << "-j" << "tar_bzip2";
        QTest::newRow("txz") << "txz" << "-J" << "tar_xz";
    }

    void shortTarNames()
    {
        QFETCH(QString, extension);
        QFETCH(QString, compression);
        QFETCH(QString, format);
        const QString folder = testenv::makeDir("short");
        testenv::makeTree(folder + "/src", {{"d/one", "1"}, {"two", "2"}});
        const QString archive = folder + "/g." + extension;
        QCOMPARE(
            run("tar", {"-c", compression, "-f", archive, "-C", folder + "/src", "d"}).exitCode, 0);

        // Listed as the tar it holds, like a .tar.gz.
        FileArchive lister;
        QVERIFY(lister.openArchive(archive));
        QCOMPARE(lister.archiveItems().value(0).name, QStringLiteral("g.tar"));

        QCOMPARE(runXml(folder, compressXml(format, archive, {folder + "/src/two"})).exitCode, 0);
        const auto listing = run("tar", {"-tvf", archive});
        QCOMPARE(listing.exitCode, 0);
        QVERIFY2(listing.out.contains(" d/one\n") && listing.out.contains(" two\n"),
                 listing.out.constData());

        QCOMPARE(testenv::runQuenvar({"-c", "ed", archive}).exitCode, 0);
        QCOMPARE(testenv::readFile(folder + "/g/d/one"), QByteArray("1"));
        QCOMPARE(testenv::readFile(folder + "/g/two"), QByteArray("2"));
    }

    void foreignNameBytes_data()
    {
        QTest::addColumn<QString>("maker");
        QTest::addColumn<QStringList>("peers");
        QTest::newRow("tar by Python") << "python tar" << QStringList{"7z", "tar"};
        QTest::newRow("zip by Python, DOS names") << "python zip" << QStringList{"7z"};
        for (const char* format : {"7z", "zip", "wim"})
            QTest::addRow("%s written here", format) << format << QStringList{"7z"};
        QTest::newRow("tar written here") << "tar" << QStringList{"7z", "tar"};
        QTest::newRow("tar.gz written here") << "tar_gzip" << QStringList{"tar"};
        QTest::newRow("qv written here") << "qv" << QStringList();
    }

    void foreignNameBytes()
    {
        QFETCH(QString, maker);
        QFETCH(QStringList, peers);
        const QString folder = testenv::makeDir("bytes");
        QMap<QString, QByteArray> files;
        QStringList hexNames;
        for (const QByteArray& name : kForeignNames) {
            files.insert(QFile::decodeName(name), name);
            hexNames << QString::fromLatin1(name.toHex());
        }
        testenv::makeTree(folder + "/src", files);
        QString archive;
        if (maker.startsWith("python")) {
            archive = folder + (maker.endsWith("tar") ? "/p.tar" : "/p.zip");
            const auto made
                = run("python3",
                      QStringList{"-c", kPythonArchiver, maker.mid(7), archive} + hexNames);
            QVERIFY2(made.exitCode == 0, made.err.constData());
        } else {
            archive = folder + "/p." + extensionOf(maker);
            QCOMPARE(runXml(folder, compressXml(maker, archive, {folder + "/src/"})).exitCode, 0);
            files.clear();
            for (const QByteArray& name : kForeignNames)
                files.insert("src/" + QFile::decodeName(name), name);
        }
        testenv::makeTree(folder + "/expected", files);

        QCOMPARE(extractWithQuenvar(archive, folder + "/out").exitCode, 0);
        QCOMPARE(testenv::compareTrees(folder + "/expected", folder + "/out"), QString());
        for (const QString& peer : peers) {
            const QString out = folder + "/" + peer;
            QDir().mkpath(out);
            const auto extracted = peer == "tar" ? run("tar", {"-xf", archive, "-C", out})
                                                 : testenv::run7z({"x", "-o" + out, archive});
            QCOMPARE(extracted.exitCode, 0);
            QCOMPARE(testenv::compareTrees(folder + "/out", out), QString());
        }
    }

    void timesAsThePeersSetThem_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("peer");
        // gzip -n stores no time; bzip2 and xz never store one.
        QTest::newRow("gz, gunzip") << "gz" << QStringList{"gzip", "-d", "-k"};
        QTest::newRow("bz2, bunzip2") << "bz2" << QStringList{"bzip2", "-d", "-k"};
        QTest::newRow("xz, unxz") << "xz" << QStringList{"xz", "-d", "-k"};
        QTest::newRow("tar with a link, GNU tar") << "tar" << QStringList{"tar", "-xf"};
    }

    void timesAsThePeersSetThem()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, peer);
        const QString folder = testenv::makeDir("times");
        testenv::writeFile(folder + "/f.txt", "times\n");
        QString archive = folder + "/f.txt." + kind;
        QStringList outputs = {"f.txt"};
        if (kind == "tar") {
            archive = folder + "/l.tar";
            QVERIFY(QFile::link("f.txt", folder + "/link"));
            QCOMPARE(run("touch", {"-h", "-d", "@1200000000.25", "link", "f.txt"}, folder).exitCode,
                     0);
            QCOMPARE(run("tar", {"-cf", archive, "link", "f.txt"}, folder).exitCode, 0);
            outputs << "link";
        } else {
            const QStringList compress = kind == "gz" ? QStringList{"gzip", "-n"}
                                                      : QStringList{kind == "bz2" ? "bzip2" : "xz"};
            QCOMPARE(run(compress.first(), compress.mid(1) + QStringList{"-k", "f.txt"}, folder)
                         .exitCode,
                     0);
        }
        QFile::remove(folder + "/f.txt");
        QFile::remove(folder + "/link");
        const QString peerFolder = testenv::makeDir("times-peer");
        const QString copy = peerFolder + "/" + QFileInfo(archive).fileName();
        QVERIFY(QFile::copy(archive, copy));
        for (const QString& path : {archive, copy})
            QCOMPARE(run("touch", {"-d", "@1300000000", path}).exitCode, 0);

        QCOMPARE(extractWithQuenvar(archive, folder + "/out").exitCode, 0);
        const QString program = peer.takeFirst();
        const auto peerRun = program == "7z" ? testenv::run7z(peer + QStringList{copy}, peerFolder)
                                             : run(program, peer + QStringList{copy}, peerFolder);
        QCOMPARE(peerRun.exitCode, 0);
        for (const QString& name : outputs) {
            QVERIFY(mtimeOf(peerFolder + "/" + name) > 0);
            QCOMPARE(mtimeOf(folder + "/out/" + name), mtimeOf(peerFolder + "/" + name));
        }
    }

    void sourcesKeepTheirNames_data()
    {
        // A trailing "/" keeps the folder. "a\b.txt" is one file here; read as
        // a path it would be b.txt in a, which exists beside it with other
        // contents. The target folder has a backslash too.
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("pathsMode");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("file"); // the one file extracted, or its end
        for (const char* format :
             {"7z", "zip", "tar", "wim", "tar_gzip", "tar_bzip2", "tar_xz", "qv"})
            QTest::addRow("%s, folder/", format)
                << format << "relative" << "photos/" << "photos/sub/p.jpg";
        for (const char* format : {"7z", "qv"}) {
            for (const char* mode : {"full", "absolute"})
                QTest::addRow("%s %s, folder/", format, mode)
                    << format << mode << "photos/" << "/photos/sub/p.jpg";
        }
        for (const char* format : {"7z", "zip", "tar_gzip", "qv"})
            QTest::addRow("%s, a\\b.txt", format) << format << "relative" << "a\\b.txt"
                                                << "a\\b.txt";
    }

    void sourcesKeepTheirNames()
    {
        QFETCH(QString, format);
        QFETCH(QString, pathsMode);
        QFETCH(QString, source);
        QFETCH(QString, file);
        const QString folder = testenv::makeDir("names");
        testenv::makeTree(folder,
                          {{"photos/sub/p.jpg", "p"}, {"a\\b.txt", "one"}, {"a/b.txt", "other"}});
        const QString archive = folder + "/t." + extensionOf(format);
        QCOMPARE(runXml(folder, compressXml(format, archive, {folder + "/" + source},
                                            "<pathsMode>" + pathsMode + "</pathsMode>"))
                     .exitCode,
                 0);
        const QString out = folder + "/out\\x";
        QCOMPARE(extractWithQuenvar(archive, out).exitCode, 0);
        QVERIFY(!QFileInfo::exists(folder + "/out"));
        const QStringList tree = testenv::listTree(out);
        const QStringList files = tree.filter(QRegularExpression("[^/]$"));
        QCOMPARE(files.size(), 1);
        QVERIFY2(files[0] == file || (file.startsWith('/') && files[0].endsWith(file)),
                 qPrintable(files[0]));
        QCOMPARE(testenv::readFile(out + "/" + files[0]),
                 QByteArray(source == "photos/" ? "p" : "one"));
        if (pathsMode == "relative")
            QCOMPARE(tree.size(), file.count('/') + 1);
    }
};

QUENVAR_TEST_MAIN(TestArchiveFidelity)
#include "tst_archivefidelity.moc"
