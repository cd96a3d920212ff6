// Archive operations as a user meets them, against the 7z tool on the same
// 7z.so: the whole process ("quenvar -c eh" and an XML compress request
// against "7z x" and "7z a") and the operation alone (FileArchive in this
// process against the same 7z runs), with targets on tmpfs and on disk.
//
// Cases: a tree of about 10,000 files of mixed sizes, a one-file archive, and
// 20,000 and 100,000 files of 100 bytes in 200 folders. Each archive to
// extract is made by the peer; every figure is the median of alternating
// pairs (QUENVAR_BENCH_RUNS, 3 by default), each run on a fresh target.
//
// Arguments choose parts: "tree", "one", "small", "small100k", "tmpfs",
// "disk", "whole", "inprocess". QUENVAR_BENCH_PROGRAM names another build
// of the program for the whole-process runs (to compare two builds).
#include "support/bench.h"

#include "engine/filearchive.h"
#include "engine/zipapi.h"
#include "fileops/UserActions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/vfs.h>

namespace {

const QString kSevenZip = QStringLiteral("7z");
constexpr long kTmpfsMagic = 0x01021994;

QString program()
{
    const QString chosen = qEnvironmentVariable("QUENVAR_BENCH_PROGRAM");
    return chosen.isEmpty() ? QStringLiteral(QUENVAR_BINARY) : chosen;
}

int runs()
{
    return std::max(1, qEnvironmentVariableIsSet("QUENVAR_BENCH_RUNS") ? qEnvironmentVariableIntValue("QUENVAR_BENCH_RUNS")
                                                                       : 3);
}

bool onTmpfs(const QString& path)
{
    struct statfs info {};
    return statfs(QFile::encodeName(path).constData(), &info) == 0 && long(info.f_type) == kTmpfsMagic;
}

void fresh(const QString& path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Runs ours and the peer in turns, each after an untimed prepare(ours);
// prints the medians and the median of the pairs' ratios.
void pairs(const QString& what, const std::function<void(bool)>& prepare, const std::function<bool()>& ours,
           const std::function<void()>& peer, const QString& goal, int count = runs())
{
    std::vector<double> oursMs;
    std::vector<double> peerMs;
    std::vector<double> ratios;
    bool ok = true;
    for (int run = 0; run < count; ++run) {
        prepare(true);
        bool done = false;
        oursMs.push_back(bench::timeMs([&] { done = ours(); }));
        ok = ok && done;
        prepare(false);
        peerMs.push_back(bench::timeMs(peer));
        ratios.push_back(oursMs.back() / std::max(peerMs.back(), 0.001));
    }
    std::printf("%-62s quenvar %8.1f ms  peer %8.1f ms  ratio %.2f  (goal %s)%s\n", what.toLocal8Bit().constData(),
                median(oursMs), median(peerMs), median(ratios), goal.toLocal8Bit().constData(),
                ok ? "" : "  FAILED");
    std::fflush(stdout);
}

// --- Data -----------------------------------------------------------------

// count files of 100 bytes, in 200 folders.
void makeSmallFiles(const QString& root, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString dir = root + QStringLiteral("/d%1").arg(i % 200, 3, 10, QLatin1Char('0'));
        if (i < 200)
            QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/f%1.txt").arg(i));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray::number(i).repeated(100).left(100));
    }
}

// About 10,000 files: text of a few KiB in nested folders and ten files of
// random bytes, some 35 MB in all.
void makeTree(const QString& root)
{
    QRandomGenerator random(5);
    for (int i = 0; i < 9990; ++i) {
        const QString dir = root + QStringLiteral("/src/m%1/s%2").arg(i % 40).arg(i % 9);
        QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/unit%1.h").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            continue;
        QByteArray text;
        const int lines = 20 + int(random.bounded(120));
        for (int line = 0; line < lines; ++line)
            text += "    int value" + QByteArray::number(random.bounded(1000)) + " = compute(" +
                    QByteArray::number(line) + ");\n";
        file.write(text);
    }
    QDir().mkpath(root + QStringLiteral("/data"));
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < 10; ++i) {
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        QFile file(root + QStringLiteral("/data/blob%1.bin").arg(i));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
}

// --- Operations -------------------------------------------------------------

bool extractInProcess(const QString& archive, const QString& target)
{
    ArchiveProgress progress;
    FileArchive operation(&progress);
    ExtractOptions options;
    options.archivePath = archive;
    options.targetDirectory = target;
    options.removeDuplicatesRoot = false;
    operation.extractArchive(options);
    UserActions::reset();
    return !operation.failed();
}

// What an XML request asks for: format, sources, nothing else chosen.
bool packInProcess(const QString& archive, const QString& source, ZipFormat format)
{
    ArchiveProgress progress;
    FileArchive operation(&progress);
    CompressOptions options;
    options.archivePath = archive;
    options.files = QStringList{source};
    options.baseDirectory = QFileInfo(source).absolutePath();
    options.format = format;
    operation.updateArchive(options);
    UserActions::reset();
    return !operation.failed();
}

bool runOurs(const QStringList& arguments)
{
    return bench::runPeer(program(), arguments) == 0;
}

QString writeRequest(const QString& dir, const QString& format, const QString& target, const QString& source)
{
    const QString path = dir + QStringLiteral("/request-") + format + QStringLiteral(".xml");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QStringLiteral("<Main><operation>Compress</operation><format>%1</format><target>%2</target>"
                                  "<files><file>%3</file></files></Main>")
                       .arg(format, target, source)
                       .toUtf8());
    }
    return path;
}

struct Flags
{
    bool whole = true;
    bool inProcess = true;
};

// Extraction of the peer's archive of source (made once, untimed), and
// packing of source, both ways; work is a scratch folder on the file
// system under test.
void extractAndPack(const QString& label, const QString& work, const QString& source, const Flags& flags,
                    const QStringList& extensions)
{
    const QString whole = QStringLiteral("<= 1.10");
    const QString inProcess = QStringLiteral("<= 1.05");
    const QString fs = onTmpfs(work) ? QStringLiteral("tmpfs") : QStringLiteral("disk");
    const QString parent = QFileInfo(source).absolutePath();
    const QString name = QFileInfo(source).fileName();
    for (const QString& extension : extensions) {
        const ZipFormat format = extension == QLatin1String("7z") ? ZF_7Z : ZF_ZIP;
        const QString archive = work + QStringLiteral("/peer.") + extension;
        QFile::remove(archive);
        bench::runPeer(kSevenZip, {QStringLiteral("a"), archive, name}, parent);

        // Extraction: "eh" writes beside the archive, so ours gets a folder
        // holding only a copy of it.
        const QString oursDir = work + QStringLiteral("/x-ours");
        const QString peerDir = work + QStringLiteral("/x-peer");
        const QString copy = oursDir + QStringLiteral("/peer.") + extension;
        auto prepare = [&](bool ours) {
            fresh(ours ? oursDir : peerDir);
            if (ours)
                QFile::copy(archive, copy);
        };
        auto peerExtract = [&] {
            bench::runPeer(kSevenZip, {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + peerDir, archive});
        };
        if (flags.whole)
            pairs(QStringLiteral("%1: extract %2, whole process, %3").arg(label, extension, fs), prepare,
                  [&] { return runOurs({QStringLiteral("-c"), QStringLiteral("eh"), copy}); }, peerExtract, whole);
        if (flags.inProcess)
            pairs(QStringLiteral("%1: extract %2, in-process, %3").arg(label, extension, fs), prepare,
                  [&] { return extractInProcess(archive, oursDir); }, peerExtract, inProcess);

        // Packing: an XML request against "7z a" with its defaults.
        const QString oursArchive = work + QStringLiteral("/ours-new.") + extension;
        const QString peerArchive = work + QStringLiteral("/peer-new.") + extension;
        const QString request = writeRequest(work, extension == QLatin1String("7z") ? QStringLiteral("7z")
                                                                                    : QStringLiteral("zip"),
                                             oursArchive, source);
        auto prepareArchives = [&](bool ours) { QFile::remove(ours ? oursArchive : peerArchive); };
        auto peerPack = [&] { bench::runPeer(kSevenZip, {QStringLiteral("a"), peerArchive, name}, parent); };
        if (flags.whole) {
            pairs(QStringLiteral("%1: pack to %2, whole process, %3").arg(label, extension, fs), prepareArchives,
                  [&] { return runOurs({QStringLiteral("-c"), QStringLiteral("xml"), request}); }, peerPack, whole);
            std::printf("%-62s quenvar %lld bytes  peer %lld bytes\n", "  archive size", QFileInfo(oursArchive).size(),
                        QFileInfo(peerArchive).size());
        }
        if (flags.inProcess)
            pairs(QStringLiteral("%1: pack to %2, in-process, %3").arg(label, extension, fs), prepareArchives,
                  [&] { return packInProcess(oursArchive, source, format); }, peerPack, inProcess);
        prepareArchives(true);
        prepareArchives(false);
        QDir(oursDir).removeRecursively();
        QDir(peerDir).removeRecursively();
        QFile::remove(archive);
    }
}

// A one-file archive: the whole process is start-up and one entry.
void oneFile(const QString& work)
{
    const QString fs = onTmpfs(work) ? QStringLiteral("tmpfs") : QStringLiteral("disk");
    const QString source = work + QStringLiteral("/one");
    fresh(source);
    QFile file(source + QStringLiteral("/note.txt"));
    if (file.open(QIODevice::WriteOnly))
        file.write("a note of a few words\n");
    file.close();
    for (const QString& extension : {QStringLiteral("zip"), QStringLiteral("7z")}) {
        const QString archive = work + QStringLiteral("/one.") + extension;
        QFile::remove(archive);
        bench::runPeer(kSevenZip, {QStringLiteral("a"), archive, QStringLiteral("note.txt")}, source);
        const QString oursDir = work + QStringLiteral("/x-ours");
        const QString peerDir = work + QStringLiteral("/x-peer");
        const QString copy = oursDir + QStringLiteral("/one.") + extension;
        pairs(QStringLiteral("one file: extract %1, whole process, %2").arg(extension, fs),
              [&](bool ours) {
                  fresh(ours ? oursDir : peerDir);
                  if (ours)
                      QFile::copy(archive, copy);
              },
              [&] { return runOurs({QStringLiteral("-c"), QStringLiteral("eh"), copy}); },
              [&] {
                  bench::runPeer(kSevenZip,
                                 {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + peerDir, archive});
              },
              QStringLiteral("quenvar < 50 ms"), std::max(runs(), 11));
        QFile::remove(archive);
    }
    QDir(source).removeRecursively();
    QDir(work + QStringLiteral("/x-ours")).removeRecursively();
    QDir(work + QStringLiteral("/x-peer")).removeRecursively();
}

} // namespace

int runBenchmark(int argc, char** argv)
{
    QStringList parts;
    for (int i = 1; i < argc; ++i)
        parts << QString::fromLocal8Bit(argv[i]);
    auto wanted = [&](const QStringList& group, const QString& part) {
        bool any = false;
        for (const QString& p : group)
            any = any || parts.contains(p);
        return !any || parts.contains(part);
    };
    const QStringList cases = {QStringLiteral("tree"), QStringLiteral("one"), QStringLiteral("small"),
                               QStringLiteral("small100k")};
    const QStringList places = {QStringLiteral("tmpfs"), QStringLiteral("disk")};
    const QStringList ways = {QStringLiteral("whole"), QStringLiteral("inprocess")};
    Flags flags;
    flags.whole = wanted(ways, QStringLiteral("whole"));
    flags.inProcess = wanted(ways, QStringLiteral("inprocess"));

    // The whole-process runs read the settings of the benchmark's own home,
    // as a script on a machine without a display would.
    const QString config = bench::scratchDir(QStringLiteral("operations-home"));
    qputenv("HOME", QFile::encodeName(config));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(config + QStringLiteral("/.local/share")));
    // The benchmark's own offscreen platform is no display for its children.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    if (!InitGetProc()) {
        std::printf("the engine library is not available\n");
        return 1;
    }
    std::printf("program: %s, %d runs per figure\n", program().toLocal8Bit().constData(), runs());

    QStringList works;
    if (wanted(places, QStringLiteral("tmpfs")) && QFileInfo(QStringLiteral("/dev/shm")).isDir())
        works << QStringLiteral("/dev/shm/quenvar-bench-operations");
    if (wanted(places, QStringLiteral("disk")))
        works << bench::scratchDir(QStringLiteral("operations"));
    for (const QString& work : works) {
        fresh(work);
        if (wanted(cases, QStringLiteral("one")))
            oneFile(work);
        if (wanted(cases, QStringLiteral("tree"))) {
            makeTree(work + QStringLiteral("/tree"));
            extractAndPack(QStringLiteral("10,000 files"), work, work + QStringLiteral("/tree"), flags,
                           {QStringLiteral("zip"), QStringLiteral("7z")});
            QDir(work + QStringLiteral("/tree")).removeRecursively();
        }
        for (const int count : {20000, 100000}) {
            if (!wanted(cases, count == 20000 ? QStringLiteral("small") : QStringLiteral("small100k")))
                continue;
            const QString source = work + QStringLiteral("/small");
            makeSmallFiles(source, count);
            extractAndPack(QStringLiteral("%1 files of 100 bytes").arg(count), work, source, flags,
                           {QStringLiteral("7z"), QStringLiteral("zip")});
            QDir(source).removeRecursively();
        }
        QDir(work).removeRecursively();
    }
    return 0;
}
