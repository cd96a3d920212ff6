#include "support/bench.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>
#include <fcntl.h>
#include <vector>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

double timeMs(const std::function<void()>& fn)
{
    QElapsedTimer timer;
    timer.start();
    fn();
    return timer.nsecsElapsed() / 1e6;
}

int runPeer(const QString& program, const QStringList& args, const QString& workDir, long* peakKiB)
{
    // fork/exec directly so that wait4 reports the child's own peak memory.
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (!workDir.isEmpty() && chdir(QFile::encodeName(workDir).constData()) != 0)
            _exit(127);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        QList<QByteArray> storage;
        storage << QFile::encodeName(program);
        for (const QString& arg : args)
            storage << QFile::encodeName(arg);
        std::vector<char*> argv;
        for (QByteArray& s : storage)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0)
        return -1;
    if (peakKiB)
        *peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long selfPeakKiB()
{
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString scratchDir(const QString& name)
{
    QString base = qEnvironmentVariable("QUENVAR_BENCH_DIR");
    if (base.isEmpty())
        base = QDir::tempPath() + QStringLiteral("/quenvar-bench");
    const QString path = base + QLatin1Char('/') + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

void makeMixedTree(const QString& root, int totalMiB, int smallFiles, unsigned seed)
{
    QRandomGenerator random(seed);
    QDir().mkpath(root);
    const qint64 total = qint64(totalMiB) * 1024 * 1024;
    qint64 written = 0;

    // Many small files in nested folders.
    for (int i = 0; i < smallFiles; ++i) {
        const QString dir = root + QStringLiteral("/small/%1/%2").arg(i % 50).arg(i % 7);
        QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/file%1.txt").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            continue;
        QByteArray data = QStringLiteral("record %1 ").arg(i).toLatin1().repeated(1 + int(random.bounded(200)));
        file.write(data);
        written += data.size();
    }

    // Large files: half compressible text, half random bytes.
    int index = 0;
    while (written < total) {
        const qint64 size = qMin<qint64>(total - written, 16 * 1024 * 1024);
        QFile file(root + QStringLiteral("/large/blob%1.%2").arg(index).arg(index % 2 ? "bin" : "txt"));
        QDir().mkpath(root + QStringLiteral("/large"));
        if (!file.open(QIODevice::WriteOnly))
            break;
        QByteArray chunk(1024 * 1024, Qt::Uninitialized);
        for (qint64 done = 0; done < size; done += chunk.size()) {
            if (index % 2) {
                random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
            } else {
                for (int i = 0; i < chunk.size(); ++i)
                    chunk[i] = char('a' + (random.bounded(26) % (1 + i % 26)));
            }
            file.write(chunk.constData(), qMin<qint64>(chunk.size(), size - done));
        }
        written += size;
        ++index;
    }
}

void report(const QString& what, double oursMs, double peerMs, const QString& goal)
{
    const double ratio = peerMs > 0 ? oursMs / peerMs : 0;
    std::printf("%-60s quenvar %9.1f ms  peer %9.1f ms  ratio %.2f  (goal %s)\n", what.toLocal8Bit().constData(),
                oursMs, peerMs, ratio, goal.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace bench
