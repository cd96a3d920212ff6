// Archive operations through FileArchive against the 7z tool on the same data:
// extracting and creating a 7z (LZMA2), a zip (Deflate) and a tar.gz of about
// 200 MB of mixed files plus 20,000 small files, with the same format, level
// and thread count; and opening a zip of 100,000 entries against "7z l".
#include "support/bench.h"

#include "app/settings.h"
#include "engine/filearchive.h"
#include "engine/zipapi.h"
#include "fileops/UserActions.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <thread>

namespace {

const QString kSevenZip = QStringLiteral("7z");

QStringList topLevel(const QString& root)
{
    QStringList paths;
    for (const QString& name : QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name))
        paths << root + QLatin1Char('/') + name;
    return paths;
}

void freshDir(const QString& path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
}

bool extractOurs(const QString& archive, const QString& target)
{
    ArchiveProgress progress;
    FileArchive operation(&progress);
    ExtractOptions options;
    options.archivePath = archive;
    options.targetDirectory = target;
    options.pathMode = EPM_FULL_PATHS;
    options.overwriteMode = EOM_OVERWRITE;
    options.removeDuplicatesRoot = false;
    options.extractFlag = false;
    operation.extractArchive(options);
    return !operation.failed();
}

bool createOurs(const QString& archive, const QString& root, ZipFormat format, int method)
{
    ArchiveProgress progress;
    FileArchive operation(&progress);
    CompressOptions options;
    options.archivePath = archive;
    options.baseDirectory = root;
    options.files = topLevel(root);
    options.format = format;
    options.level = 5;
    options.method = method;
    options.useLargePages = false;
    operation.updateArchive(options);
    return !operation.failed();
}

struct Case
{
    const char* label;
    QString extension;
    ZipFormat format;
    int method;
    QStringList peerSwitches;
};

} // namespace

// Arguments, when given, choose the parts: "list", "7z", "zip", "tar.gz".
int runBenchmark(int argc, char** argv)
{
    QStringList parts;
    for (int i = 1; i < argc; ++i)
        parts << QString::fromLocal8Bit(argv[i]);
    auto wanted = [&](const QString& part) { return parts.isEmpty() || parts.contains(part); };
    const QString dir = bench::scratchDir(QStringLiteral("archive"));
    // Settings of the benchmark's own, not the user's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir + QStringLiteral("/config")));
    if (!InitGetProc()) {
        std::printf("the engine library is not available\n");
        return 1;
    }
    const QString threads = QString::number(std::max(1u, std::thread::hardware_concurrency()));

    // --- Listing 100,000 entries, first, so that the peak memory is its own.
    if (wanted(QStringLiteral("list"))) {
        const QString many = dir + QStringLiteral("/many");
        bench::makeMixedTree(many, 0, 100000, 3);
        const QString zip = dir + QStringLiteral("/many.zip");
        bench::runPeer(kSevenZip, {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mx=0"), zip, QStringLiteral("small")},
                       many);
        QDir(many).removeRecursively();
        int entries = 0;
        const long before = bench::selfPeakKiB();
        // The best of three runs each, so that a busy moment of the machine
        // does not decide.
        double ours = 0;
        double peer = 0;
        long peerPeak = 0;
        for (int run = 0; run < 3; ++run) {
            const double oursRun = bench::timeMs([&] {
                FileArchive reader;
                reader.openArchive(zip);
                entries = reader.getArchiveItemsCount();
            });
            const double peerRun = bench::timeMs(
                [&] { bench::runPeer(kSevenZip, {QStringLiteral("l"), zip}, QString(), &peerPeak); });
            ours = run == 0 ? oursRun : std::min(ours, oursRun);
            peer = run == 0 ? peerRun : std::min(peer, peerRun);
        }
        const long oursPeak = bench::selfPeakKiB();
        bench::report(QStringLiteral("open and list a zip of %1 entries").arg(entries), ours, peer, QStringLiteral("<= 1.5"));
        std::printf("%-60s quenvar %ld KiB (before %ld KiB)  peer %ld KiB  (goal <= 200 MB)\n", "  peak memory",
                    oursPeak, before, peerPeak);
        QFile::remove(zip);
    }

    bool anyCase = false;
    for (const QString& part : {QStringLiteral("7z"), QStringLiteral("zip"), QStringLiteral("tar.gz")})
        anyCase = anyCase || wanted(part);
    const QString tree = dir + QStringLiteral("/tree");
    // QUENVAR_BENCH_MIB shrinks the data for quick looks.
    const int mebibytes = qEnvironmentVariableIsSet("QUENVAR_BENCH_MIB") ? qEnvironmentVariableIntValue("QUENVAR_BENCH_MIB") : 200;
    if (anyCase)
        bench::makeMixedTree(tree, mebibytes, 20000);
    const QString out = dir + QStringLiteral("/out");

    const QList<Case> cases = {
        {"7z (LZMA2, level 5)", QStringLiteral("7z"), ZF_7Z, 0,
         {QStringLiteral("-t7z"), QStringLiteral("-m0=LZMA2"), QStringLiteral("-mx=5"), QStringLiteral("-mmt=") + threads}},
        {"zip (Deflate, level 5)", QStringLiteral("zip"), ZF_ZIP, 4,
         {QStringLiteral("-tzip"), QStringLiteral("-mm=Deflate"), QStringLiteral("-mx=5"), QStringLiteral("-mmt=") + threads}},
        {"tar.gz (level 5)", QStringLiteral("tar.gz"), ZF_TAR_GZIP, 4, {}},
    };

    for (const Case& c : cases) {
        if (!wanted(c.extension))
            continue;
        const QString ours = dir + QStringLiteral("/ours.") + c.extension;
        const QString peer = dir + QStringLiteral("/peer.") + c.extension;
        QFile::remove(ours);
        QFile::remove(peer);

        // Creation.
        bool created = false;
        const double createOursMs = bench::timeMs([&] { created = createOurs(ours, tree, c.format, c.method); });
        double createPeerMs = 0;
        if (c.format == ZF_TAR_GZIP) {
            // The peer in the same two stages: tar, then gzip.
            const QString tar = dir + QStringLiteral("/peer.tar");
            createPeerMs = bench::timeMs([&] {
                bench::runPeer(kSevenZip, {QStringLiteral("a"), QStringLiteral("-ttar"), tar, QStringLiteral("large"),
                                           QStringLiteral("small")},
                               tree);
                bench::runPeer(kSevenZip, {QStringLiteral("a"), QStringLiteral("-tgzip"), QStringLiteral("-mx=5"),
                                           QStringLiteral("-mmt=") + threads, peer, tar});
                QFile::remove(tar);
            });
        } else {
            createPeerMs = bench::timeMs([&] {
                bench::runPeer(kSevenZip, QStringList{QStringLiteral("a")} + c.peerSwitches +
                                              QStringList{peer, QStringLiteral("large"), QStringLiteral("small")},
                               tree);
            });
        }
        bench::report(QStringLiteral("create %1%2").arg(QString::fromLatin1(c.label), created ? QString() : QStringLiteral(" FAILED")),
                      createOursMs, createPeerMs, QStringLiteral("<= 1.05"));
        std::printf("%-60s quenvar %lld bytes  peer %lld bytes\n", "  archive size", QFileInfo(ours).size(),
                    QFileInfo(peer).size());

        // Extraction of the peer's archive by both.
        freshDir(out);
        bool extracted = false;
        const double extractOursMs = bench::timeMs([&] { extracted = extractOurs(peer, out); });
        freshDir(out);
        double extractPeerMs = 0;
        if (c.format == ZF_TAR_GZIP) {
            const QString tar = out + QStringLiteral("/peer.tar");
            extractPeerMs = bench::timeMs([&] {
                bench::runPeer(kSevenZip, {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + out, peer});
                bench::runPeer(kSevenZip, {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + out, tar});
                QFile::remove(tar);
            });
        } else {
            extractPeerMs = bench::timeMs([&] {
                bench::runPeer(kSevenZip, {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + out, peer});
            });
        }
        bench::report(QStringLiteral("extract %1%2").arg(QString::fromLatin1(c.label), extracted ? QString() : QStringLiteral(" FAILED")),
                      extractOursMs, extractPeerMs, QStringLiteral("<= 1.05"));
        QDir(out).removeRecursively();
        QFile::remove(ours);
        QFile::remove(peer);
    }
    UserActions::reset();
    QDir(dir).removeRecursively();
    return 0;
}
