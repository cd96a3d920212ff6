// Archive operations through FileArchive against the 7z tool on the same data:
// extracting and creating a 7z (LZMA2), a zip (Deflate) and a tar.gz of about
// 200 MB of mixed files plus 20,000 small files, with the same format, level
// and thread count; adding one file to such a 7z and zip; and opening a zip
// of 100,000 entries against "7z l".
#include "support/bench.h"

#include "app/settings.h"
#include "engine/filearchive.h"
#include "engine/zipapi.h"
#include "fileops/UserActions.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

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

// Packs files (named relative to root) into a new archive, or adds them to
// an existing one.
bool packOurs(const QString& archive, const QString& root, const QStringList& files, ZipFormat format, int method)
{
    ArchiveProgress progress;
    FileArchive operation(&progress);
    CompressOptions options;
    options.archivePath = archive;
    options.baseDirectory = root;
    options.files = files;
    options.addToExisting = QFileInfo::exists(archive);
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

// Adding one 4 MiB file to a 7z and a zip of the tree, both made by the peer:
// the update copies the packed data of the tree and swaps the new archive in.
void benchUpdate(const QString& dir, const QString& tree, const QList<Case>& cases)
{
    const QString added = dir + QStringLiteral("/added");
    QDir().mkpath(added);
    QByteArray data(4 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(9).fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    QFile file(added + QStringLiteral("/added.bin"));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return;
    file.close();
    for (const Case& c : cases) {
        if (c.format == ZF_TAR_GZIP)
            continue;
        const QString base = dir + QStringLiteral("/base.") + c.extension;
        bench::runPeer(kSevenZip, QStringList{QStringLiteral("a")} + c.peerSwitches +
                                      QStringList{base, QStringLiteral("large"), QStringLiteral("small")},
                       tree);
        const QString ours = dir + QStringLiteral("/update-ours.") + c.extension;
        const QString peer = dir + QStringLiteral("/update-peer.") + c.extension;
        double oursMs = 0;
        double peerMs = 0;
        bool updated = true;
        for (int run = 0; run < 3; ++run) {
            QFile::remove(ours);
            QFile::remove(peer);
            QFile::copy(base, ours);
            QFile::copy(base, peer);
            bench::runPeer(QStringLiteral("sync"), {});
            bool ok = false;
            const double oursRun = bench::timeMs(
                [&] { ok = packOurs(ours, added, {added + QStringLiteral("/added.bin")}, c.format, c.method); });
            const double peerRun = bench::timeMs([&] {
                bench::runPeer(kSevenZip, QStringList{QStringLiteral("a")} + c.peerSwitches +
                                              QStringList{peer, QStringLiteral("added.bin")},
                               added);
            });
            updated = updated && ok;
            oursMs = run == 0 ? oursRun : std::min(oursMs, oursRun);
            peerMs = run == 0 ? peerRun : std::min(peerMs, peerRun);
        }
        bench::report(QStringLiteral("add a file to %1 of %2 bytes%3")
                          .arg(QString::fromLatin1(c.label))
                          .arg(QFileInfo(base).size())
                          .arg(updated ? QString() : QStringLiteral(" FAILED")),
                      oursMs, peerMs, QStringLiteral("<= 1.05"));
        QFile::remove(ours);
        QFile::remove(peer);
        QFile::remove(base);
    }
    QDir(added).removeRecursively();
}

} // namespace

// Arguments, when given, choose the parts: "list", "7z", "zip", "tar.gz",
// "update".
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
    const bool update = wanted(QStringLiteral("update"));
    const QString tree = dir + QStringLiteral("/tree");
    // QUENVAR_BENCH_MIB shrinks the data for quick looks.
    const int mebibytes = qEnvironmentVariableIsSet("QUENVAR_BENCH_MIB") ? qEnvironmentVariableIntValue("QUENVAR_BENCH_MIB") : 200;
    if (anyCase || update)
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
        const double createOursMs =
            bench::timeMs([&] { created = packOurs(ours, tree, topLevel(tree), c.format, c.method); });
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
    if (update)
        benchUpdate(dir, tree, cases);
    UserActions::reset();
    QDir(dir).removeRecursively();
    return 0;
}
