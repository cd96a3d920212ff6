// The own ".qv" container against the 7z tool writing and reading deflate ZIP
// on the same data: packing, extracting, and memory while extracting. Then
// whole archive operations through FileArchive against tar and gzip -6 on
// the same bytes, each side in a process of its own so that its peak memory
// is its own.
#include "support/bench.h"

#include "BuiltInZipApi/zip.h"
#include "engine/filearchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

bool packTree(const QString& root, const QString& archive, const QString& password)
{
    zip_t* zip = zip_open(archive, 6, 'w', -1, password);
    if (!zip)
        return false;
    QByteArray chunk;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    bool ok = true;
    while (ok && it.hasNext()) {
        const QString path = it.next();
        const std::wstring name = QDir(root).relativeFilePath(path).toStdWString();
        QFile file(path);
        ok = file.open(QIODevice::ReadOnly) && zip_entry_open_last_access(zip, name.c_str(), 0) == 0;
        while (ok && !(chunk = file.read(1000000)).isEmpty())
            ok = zip_entry_write(zip, chunk.constData(), size_t(chunk.size())) == 0;
        ok = ok && zip_entry_close(zip) == 0;
    }
    return zip_close(zip) == 0 && ok;
}

bool extractAll(const QString& archive, const QString& target, const QString& password)
{
    zip_t* zip = zip_open(archive, 0, 'r', -1, password);
    if (!zip)
        return false;
    bool ok = true;
    for (int i = 0; ok && i < zip_total_entries(zip); ++i) {
        ok = zip_entry_openbyindex(zip, i) == 0;
        const QString path = target + "/" + QString::fromWCharArray(zip_entry_name(zip));
        QDir().mkpath(QFileInfo(path).path());
        ok = ok && zip_entry_fread(zip, path, nullptr, nullptr) == 0;
        zip_entry_close(zip);
    }
    zip_close(zip);
    return ok;
}

// One FileArchive operation, run by a child process of the benchmark:
// "pack <tree> <archive>" or "extract <archive> <folder>".
int runOperation(const QString& what, const QString& from, const QString& to)
{
    FileArchive archive;
    if (what == QLatin1String("pack")) {
        CompressOptions request;
        request.archivePath = to;
        request.baseDirectory = QFileInfo(from).absolutePath();
        request.files = QStringList{from};
        request.format = ZF_QV;
        archive.updateArchive(request);
    } else if (what == QLatin1String("extract")) {
        ExtractOptions request;
        request.archivePath = from;
        request.targetDirectory = to;
        archive.extractArchive(request);
    }
    return archive.failed() ? 1 : 0;
}

struct Measured
{
    double ms = 0;
    long peakKiB = 0;
    bool ok = false;
};

Measured measure(const QString& program, const QStringList& args)
{
    Measured m;
    int code = -1;
    m.ms = bench::timeMs([&] { code = bench::runPeer(program, args, QString(), &m.peakKiB); });
    m.ok = code == 0;
    return m;
}

Measured ours(const QString& what, const QString& from, const QString& to)
{
    return measure(QCoreApplication::applicationFilePath(), {QStringLiteral("--operation"), what, from, to});
}

Measured shell(const QString& command)
{
    return measure(QStringLiteral("sh"), {QStringLiteral("-c"), command});
}

// The best of three runs, each from a clean start with nothing left to
// write back from the one before.
Measured bestOfThree(const std::function<void()>& clean, const std::function<Measured()>& run)
{
    Measured best;
    for (int i = 0; i < 3; ++i) {
        clean();
        bench::runPeer(QStringLiteral("sync"), {});
        const Measured m = run();
        if (i == 0 || m.ms < best.ms)
            best.ms = m.ms;
        best.peakKiB = std::max(best.peakKiB, m.peakKiB);
        best.ok = (i == 0 || best.ok) && m.ok;
    }
    return best;
}

QString quoted(const QString& path)
{
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

// Creating and extracting a tree of totalMiB through FileArchive, against
// tar and gzip -6 over the same files.
void compareWithGzip(const QString& dir, int totalMiB)
{
    const QString tree = dir + QStringLiteral("/tree%1").arg(totalMiB);
    bench::makeMixedTree(tree, totalMiB, 2000, unsigned(totalMiB));
    const QString archive = dir + QStringLiteral("/fa%1.qv").arg(totalMiB);
    const QString gz = dir + QStringLiteral("/peer%1.tar.gz").arg(totalMiB);
    const QString label = QStringLiteral("%1 MiB mixed tree").arg(totalMiB);

    const QString out = dir + QStringLiteral("/out%1").arg(totalMiB);
    const QString peerOut = dir + QStringLiteral("/peer-out%1").arg(totalMiB);

    const Measured pack = bestOfThree([&] { QFile::remove(archive); },
                                      [&] { return ours(QStringLiteral("pack"), tree, archive); });
    const QString tar = QStringLiteral("tar -cf - -C %1 %2 | gzip -6 > %3")
                            .arg(quoted(dir), quoted(QFileInfo(tree).fileName()), quoted(gz));
    const Measured peerPack = bestOfThree([&] { QFile::remove(gz); }, [&] { return shell(tar); });
    bench::report(QStringLiteral("FileArchive create .qv, ") + label + (pack.ok ? "" : " (FAILED)"), pack.ms,
                  peerPack.ms, QStringLiteral("ratio <= 1.15 against tar | gzip -6"));

    const Measured extract = bestOfThree([&] { QDir(out).removeRecursively(); },
                                         [&] { return ours(QStringLiteral("extract"), archive, out); });
    const QString untar = QStringLiteral("gzip -d -c %1 | tar -xf - -C %2").arg(quoted(gz), quoted(peerOut));
    const Measured peerExtract = bestOfThree(
        [&] {
            QDir(peerOut).removeRecursively();
            QDir().mkpath(peerOut);
        },
        [&] { return shell(untar); });
    bench::report(QStringLiteral("FileArchive extract .qv, ") + label + (extract.ok ? "" : " (FAILED)"), extract.ms,
                  peerExtract.ms, QStringLiteral("ratio <= 1.30 against gzip -d | tar -x"));
    std::printf("%d MiB: peak memory of the creating process %ld KiB, of the extracting process %ld KiB; "
                "archive %lld bytes, tar.gz %lld bytes\n",
                totalMiB, pack.peakKiB, extract.peakKiB, QFileInfo(archive).size(), QFileInfo(gz).size());
    std::fflush(stdout);
    QDir(tree).removeRecursively();
    QDir(out).removeRecursively();
    QDir(peerOut).removeRecursively();
    QFile::remove(archive);
    QFile::remove(gz);
}

} // namespace

int runBenchmark(int argc, char** argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--operation")
        return runOperation(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                            QString::fromLocal8Bit(argv[4]));
    const QString dir = bench::scratchDir("qv");
    const QString tree = dir + "/tree";
    bench::makeMixedTree(tree, 200, 2000);

    for (const QString& password : {QString(), QStringLiteral("benchmark password")}) {
        const QString label = password.isEmpty() ? QStringLiteral("") : QStringLiteral(" with password");
        const QString ours = dir + "/ours.qv";
        const QString peer = dir + "/peer.zip";
        QFile::remove(ours);
        QFile::remove(peer);
        bool packed = false;
        const double packMs = bench::timeMs([&] { packed = packTree(tree, ours, password); });
        QStringList args = {"a", "-tzip", "-mx=5", "-mm=Deflate", "-mmt=1", "-bd", peer, "."};
        if (!password.isEmpty())
            args.insert(1, "-p" + password);
        const double peerPackMs = bench::timeMs([&] { bench::runPeer("7z", args, tree); });
        bench::report("pack 200 MiB mixed tree, deflate 6" + label + (packed ? "" : " (FAILED)"), packMs, peerPackMs,
                      "ratio <= 1.5");

        const QString outOurs = dir + "/out-ours";
        const QString outPeer = dir + "/out-peer";
        QDir(outOurs).removeRecursively();
        QDir(outPeer).removeRecursively();
        const long before = bench::selfPeakKiB();
        bool extracted = false;
        const double extractMs = bench::timeMs([&] { extracted = extractAll(ours, outOurs, password); });
        const long growth = bench::selfPeakKiB() - before;
        QStringList xargs = {"x", "-bd", "-y", "-o" + outPeer, peer};
        if (!password.isEmpty())
            xargs.insert(1, "-p" + password);
        long peerPeak = 0;
        const double peerExtractMs = bench::timeMs([&] { bench::runPeer("7z", xargs, QString(), &peerPeak); });
        bench::report("extract the same" + label + (extracted ? "" : " (FAILED)"), extractMs, peerExtractMs,
                      "ratio <= 1.5");
        std::printf("this process: peak %ld KiB after packing and extracting 200 MiB, %ld KiB more while "
                    "extracting (7z extracting: peak %ld KiB; goal: flat, chunks only)\n",
                    bench::selfPeakKiB(), growth, peerPeak);
        std::printf("archive sizes: ours %lld bytes, peer %lld bytes\n", QFileInfo(ours).size(),
                    QFileInfo(peer).size());
        std::fflush(stdout);
    }
    QDir(tree).removeRecursively();

    // Through FileArchive, at two sizes: memory must not grow with the size.
    const Measured idle = ours(QStringLiteral("none"), QString(), QString());
    std::printf("a child process that starts and does nothing: peak %ld KiB\n", idle.peakKiB);
    for (int totalMiB : {200, 50})
        compareWithGzip(dir, totalMiB);
    return 0;
}
