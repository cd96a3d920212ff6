// Browsing a zip of 1,000,000 entries (10 top folders of 1,000 folders of 100
// files) in an archive panel's model, against "7z l" of the same archive:
// opening it up to the first rows, changing into a folder and back,
// collecting a top folder's 100,000 entries for extraction, and peak memory.
#include "support/bench.h"

#include "ui/archivedatamodel.h"

#include <QFile>

#include <cstdio>

namespace {

const QString kSevenZip = QStringLiteral("7z");

void put16(QByteArray& out, quint16 value)
{
    out.append(char(value & 0xFF)).append(char(value >> 8));
}

void put32(QByteArray& out, quint32 value)
{
    put16(out, quint16(value & 0xFFFF));
    put16(out, quint16(value >> 16));
}

void put64(QByteArray& out, quint64 value)
{
    put32(out, quint32(value & 0xFFFFFFFFu));
    put32(out, quint32(value >> 32));
}

// Empty stored files, written as they are made; more than 65,535 entries
// need the zip64 end records.
bool writeZip(const QString& path, int tops, int folders, int files)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray central;
    quint64 offset = 0;
    quint64 count = 0;
    QByteArray chunk;
    for (int t = 0; t < tops; ++t) {
        for (int s = 0; s < folders; ++s) {
            for (int f = 0; f < files; ++f) {
                const QByteArray name = QStringLiteral("t%1/s%2/f%3.txt")
                                            .arg(t)
                                            .arg(s, 3, 10, QLatin1Char('0'))
                                            .arg(f, 2, 10, QLatin1Char('0'))
                                            .toLatin1();
                put32(chunk, 0x04034b50);
                put16(chunk, 10);
                put16(chunk, 0);
                put16(chunk, 0);
                put16(chunk, 0x6000); // 12:00
                put16(chunk, 0x5821); // 2024-01-01
                put32(chunk, 0);
                put32(chunk, 0);
                put32(chunk, 0);
                put16(chunk, quint16(name.size()));
                put16(chunk, 0);
                chunk.append(name);

                put32(central, 0x02014b50);
                put16(central, 0x031E);
                put16(central, 10);
                put16(central, 0);
                put16(central, 0);
                put16(central, 0x6000);
                put16(central, 0x5821);
                put32(central, 0);
                put32(central, 0);
                put32(central, 0);
                put16(central, quint16(name.size()));
                put16(central, 0);
                put16(central, 0);
                put16(central, 0);
                put16(central, 0);
                put32(central, 0100644u << 16);
                put32(central, quint32(offset));
                central.append(name);
                offset += quint64(30 + name.size());
                ++count;
            }
            out.write(chunk);
            chunk.clear();
        }
    }
    const quint64 centralOffset = offset;
    out.write(central);
    const quint64 zip64End = centralOffset + quint64(central.size());
    QByteArray tail;
    put32(tail, 0x06064b50);
    put64(tail, 44);
    put16(tail, 45);
    put16(tail, 45);
    put32(tail, 0);
    put32(tail, 0);
    put64(tail, count);
    put64(tail, count);
    put64(tail, quint64(central.size()));
    put64(tail, centralOffset);
    put32(tail, 0x07064b50);
    put32(tail, 0);
    put64(tail, zip64End);
    put32(tail, 1);
    put32(tail, 0x06054b50);
    put16(tail, 0);
    put16(tail, 0);
    put16(tail, 0xFFFF);
    put16(tail, 0xFFFF);
    put32(tail, quint32(central.size()));
    put32(tail, quint32(centralOffset));
    put16(tail, 0);
    out.write(tail);
    return out.flush();
}

QModelIndex rowNamed(const CArchiveDataModel& model, const QString& name)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.rowInfo(row).name == name)
            return model.index(row, 0);
    }
    return QModelIndex();
}

void line(const QString& what, double ms, const QString& goal)
{
    std::printf("%-60s quenvar %9.1f ms  (goal %s)\n", what.toLocal8Bit().constData(), ms,
                goal.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int runBenchmark(int, char**)
{
    const QString dir = bench::scratchDir(QStringLiteral("browse"));
    const QString zip = dir + QStringLiteral("/million.zip");
    if (!writeZip(zip, 10, 1000, 100)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(zip));
        return 1;
    }
    const long before = bench::selfPeakKiB();

    // Open and first rows: the best of two runs each.
    long peerPeak = 0;
    double peer = 0;
    for (int run = 0; run < 2; ++run) {
        const double ms = bench::timeMs([&] { bench::runPeer(kSevenZip, {QStringLiteral("l"), zip}, QString(), &peerPeak); });
        peer = run == 0 ? ms : std::min(peer, ms);
    }
    double ours = 0;
    std::unique_ptr<CArchiveDataModel> model;
    for (int run = 0; run < 2; ++run) {
        model.reset();
        model.reset(new CArchiveDataModel());
        const double ms = bench::timeMs([&] {
            model->openArchive(zip, QString());
            model->data(model->index(0, 0));
        });
        ours = run == 0 ? ms : std::min(ours, ms);
    }
    bench::report(QStringLiteral("open a zip of 1,000,000 entries, first rows"), ours, peer, QStringLiteral("<= 1.5"));

    const double into = bench::timeMs([&] { model->setCurrentDir(rowNamed(*model, QStringLiteral("t3"))); });
    line(QStringLiteral("  into a folder of 1,000 folders (%1 rows)").arg(model->rowCount()), into,
         QStringLiteral("< 20 ms"));
    const double deeper = bench::timeMs([&] { model->setCurrentDir(rowNamed(*model, QStringLiteral("s500"))); });
    line(QStringLiteral("  into a folder of 100 files (%1 rows)").arg(model->rowCount()), deeper,
         QStringLiteral("< 20 ms"));
    const double back = bench::timeMs([&] {
        model->goLevelUp();
        model->goLevelUp();
    });
    line(QStringLiteral("  back up two levels to the top (%1 rows)").arg(model->rowCount()), back,
         QStringLiteral("< 20 ms"));

    QList<int> indexes;
    const QModelIndex top = rowNamed(*model, QStringLiteral("t7"));
    const double collect = bench::timeMs([&] { indexes = model->getInArchiveIndexesWithSubdir({top}); });
    line(QStringLiteral("  select a top folder for extraction (%1 entries)").arg(indexes.size()), collect,
         QStringLiteral("< 100 ms"));

    const long oursPeak = bench::selfPeakKiB();
    std::printf("%-60s quenvar %ld KiB (%ld KiB before opening)  peer %ld KiB  ratio %.2f  (goal <= 2)\n",
                "  peak memory", oursPeak, before, peerPeak, peerPeak > 0 ? double(oursPeak) / peerPeak : 0.0);
    model.reset();
    QFile::remove(zip);
    return 0;
}
