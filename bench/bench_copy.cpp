// Copy engine against cp and mv: one large file and many small files, copied
// within a file system and moved to another one (/dev/shm, when that is a
// file system of its own); and the copy progress dialog against the engine
// alone, which tells what its statistics cost. Figures are printed, never
// asserted.
#include "support/bench.h"

#include "app/globals.h"
#include "fileops/qtfilecopier.h"
#include "ui/copyprogressdialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr int kRuns = 3;

void makeLargeFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QRandomGenerator random(7);
    QByteArray chunk(4 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += chunk.size()) {
        random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        file.write(chunk.constData(), qMin<qint64>(chunk.size(), size - done));
    }
}

void syncAll()
{
    bench::runPeer(QStringLiteral("sync"), {});
}

void removeAll(const QString& path)
{
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

// Runs one request on a fresh copier and waits for it to finish.
double engine(bool move, bool folder, const QString& source, const QString& destDir)
{
    return bench::timeMs([&] {
        QtFileCopier copier;
        QEventLoop loop;
        QObject::connect(&copier, &QtFileCopier::done, &loop, &QEventLoop::quit);
        QObject::connect(&copier, &QtFileCopier::error, [&](int, QtFileCopier::Error error, bool stopped) {
            std::fprintf(stderr, "copy error: %s\n", qPrintable(QtFileCopier::errorString(error)));
            if (stopped)
                copier.cancelAll();
        });
        const bool queued = folder ? !(move ? copier.moveDirectory(source, destDir) : copier.copyDirectory(source, destDir))
                                              .isEmpty()
                                   : (move ? copier.move(source, destDir) : copier.copy(source, destDir)) >= 0;
        if (queued)
            loop.exec();
    });
}

// The same copy through the progress dialog, shown (offscreen without a
// display) and run to its end as the main window runs it.
double throughDialog(const QString& source, const QString& destDir)
{
    return bench::timeMs([&] { (new CopyProgressDialog({source}, destDir))->exec(); });
}

double peer(const QString& program, const QStringList& args)
{
    return bench::timeMs([&] { bench::runPeer(program, args); });
}

struct Pair
{
    double ours = -1;
    double peer = -1;
};

// The best of a few runs of each, taken in turns so that both meet the file
// system in the same state; prepare(n) makes run n's starting state untimed.
// Every run writes to a fresh place and nothing is deleted before the end:
// creating files soon after thousands were deleted costs ext4 far more
// than at other times, which would swamp what is measured.
Pair compare(const std::function<void(int)>& prepare, const std::function<double(int)>& ours,
             const std::function<double(int)>& peer)
{
    Pair result;
    for (int i = 0; i < kRuns; ++i) {
        for (const bool isOurs : {true, false}) {
            const int n = 2 * i + (isOurs ? 0 : 1);
            prepare(n);
            syncAll();
            const double ms = isOurs ? ours(n) : peer(n);
            if (qEnvironmentVariableIsSet("QUENVAR_BENCH_VERBOSE"))
                std::fprintf(stderr, "  run %d %s: %.1f ms\n", i + 1, isOurs ? "quenvar" : "peer", ms);
            double& best = isOurs ? result.ours : result.peer;
            if (best < 0 || ms < best)
                best = ms;
        }
    }
    return result;
}

bool sameFileSystem(const QString& a, const QString& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev;
}

} // namespace

int runBenchmark(int argc, char** argv)
{
    // An optional argument picks the cases whose title contains it.
    const QString filter = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const auto wanted = [&](const QString& title) { return filter.isEmpty() || title.contains(filter); };

    const QString root = bench::scratchDir(QStringLiteral("copy"));
    const QString large = root + QStringLiteral("/large.bin");
    const QString small = root + QStringLiteral("/small");
    const QString out = root + QStringLiteral("/out");
    const QString largeTitle = QStringLiteral("one 1 GiB file");
    const QString smallTitle = QStringLiteral("20,000 small files");
    if (wanted(largeTitle))
        makeLargeFile(large, qint64(1) << 30);
    if (wanted(smallTitle))
        bench::makeMixedTree(small, 1, 20000);
    QDir().mkpath(out);
    syncAll();

    const QString goal = QStringLiteral("<= 1.3");
    const auto outDir = [&](int n) { return out + QLatin1Char('/') + QString::number(n); };
    const auto makeOut = [&](int n) { QDir().mkpath(outDir(n)); };
    const auto copyCase = [&](const QString& title, const QString& source, bool folder) {
        const Pair pair = compare(
            makeOut, [&](int n) { return engine(false, folder, source, outDir(n)); },
            [&](int n) { return peer(QStringLiteral("cp"), {QStringLiteral("-r"), source, outDir(n)}); });
        bench::report(title, pair.ours, pair.peer, goal);
    };
    if (wanted(largeTitle))
        copyCase(QStringLiteral("copy ") + largeTitle, large, false);
    if (wanted(smallTitle))
        copyCase(QStringLiteral("copy a folder of ") + smallTitle, small, true);
    // The dialog's own work (the scan, statistics, the current file) against
    // the engine alone, on the same file system: goal at most 5% more.
    const QString dialogTitle = QStringLiteral("the progress dialog");
    if (wanted(smallTitle) || wanted(dialogTitle)) {
        if (!QFileInfo::exists(small))
            bench::makeMixedTree(small, 1, 20000);
        // An error would wait for someone to close its message.
        setUnattended(true);
        qint64 size = 0;
        int files = 0;
        const double scanMs = bench::timeMs([&] { CopyProgressDialog::getAllFiles({small}, size, files); });
        std::printf("the dialog's count of the folder before copying (%d files): %.1f ms\n", files, scanMs);
        const auto fresh = [&](int n) { return outDir(n) + QStringLiteral("-dialog"); };
        const Pair pair = compare([&](int n) { QDir().mkpath(fresh(n)); },
                                  [&](int n) { return throughDialog(small, fresh(n)); },
                                  [&](int n) { return engine(false, true, small, fresh(n)); });
        bench::report(QStringLiteral("copy a folder of ") + smallTitle + QStringLiteral(" through ") + dialogTitle +
                          QStringLiteral(" (peer: the engine alone)"),
                      pair.ours, pair.peer, QStringLiteral("<= 1.05"));
        setUnattended(false);
    }

    const QString shmBase = QStringLiteral("/dev/shm");
    if (!QFileInfo(shmBase).isDir() || sameFileSystem(shmBase, root)) {
        std::printf("in memory and across file systems: skipped, /dev/shm is no file system of its own here\n");
        removeAll(root);
        return 0;
    }
    // /dev/shm is memory: only one copy lives there at a time.
    const QString shm = shmBase + QStringLiteral("/quenvar-bench-copy");

    // The same copies in memory, where the file system adds no noise of its
    // own: this shows the engine's own cost best.
    const QString memorySource = shmBase + QStringLiteral("/quenvar-bench-source");
    const auto memoryCase = [&](const QString& title, const QString& source, bool folder) {
        removeAll(memorySource);
        QDir().mkpath(memorySource);
        bench::runPeer(QStringLiteral("cp"), {QStringLiteral("-r"), source, memorySource});
        const QString copied = memorySource + QLatin1Char('/') + QFileInfo(source).fileName();
        const auto fresh = [&](int) {
            removeAll(shm);
            QDir().mkpath(shm);
        };
        const Pair pair = compare(
            fresh, [&](int) { return engine(false, folder, copied, shm); },
            [&](int) { return peer(QStringLiteral("cp"), {QStringLiteral("-r"), copied, shm}); });
        bench::report(title, pair.ours, pair.peer, goal);
        removeAll(memorySource);
        removeAll(shm);
    };
    if (wanted(largeTitle))
        memoryCase(QStringLiteral("copy ") + largeTitle + QStringLiteral(" in memory (tmpfs)"), large, false);
    if (wanted(smallTitle))
        memoryCase(QStringLiteral("copy a folder of ") + smallTitle + QStringLiteral(" in memory (tmpfs)"), small,
                   true);

    const QString stage = root + QStringLiteral("/stage");
    const auto stageDir = [&](int n) { return stage + QLatin1Char('/') + QString::number(n); };
    const auto moveCase = [&](const QString& title, const QString& source, bool folder) {
        const QString name = QFileInfo(source).fileName();
        const auto restage = [&](int n) {
            removeAll(shm);
            QDir().mkpath(shm);
            QDir().mkpath(stageDir(n));
            bench::runPeer(QStringLiteral("cp"), {QStringLiteral("-r"), source, stageDir(n)});
        };
        const Pair pair = compare(
            restage, [&](int n) { return engine(true, folder, stageDir(n) + QLatin1Char('/') + name, shm); },
            [&](int n) { return peer(QStringLiteral("mv"), {stageDir(n) + QLatin1Char('/') + name, shm}); });
        bench::report(title, pair.ours, pair.peer, goal);
    };
    if (wanted(largeTitle))
        moveCase(QStringLiteral("move ") + largeTitle + QStringLiteral(" to another file system"), large, false);
    if (wanted(smallTitle))
        moveCase(QStringLiteral("move ") + smallTitle + QStringLiteral(" to another file system"), small, true);
    removeAll(shm);
    removeAll(root);
    return 0;
}
