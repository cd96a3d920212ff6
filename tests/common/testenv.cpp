#include "common/testenv.h"

#include "app/globals.h"
#include "fileops/FileNameCodec.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testenv {

namespace {
QString g_root;
QString g_otherRoot;

bool sameFileSystem(const QString& a, const QString& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev;
}

bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

void setEnv(const char* name, const QString& value)
{
    qputenv(name, QFile::encodeName(value));
}
} // namespace

Environment::Environment()
{
    QByteArray base = qgetenv("TMPDIR");
    if (base.isEmpty())
        base = "/tmp";
    QByteArray pattern = base + "/quenvar-test-XXXXXX";
    char* made = mkdtemp(pattern.data());
    if (!made)
        qFatal("cannot create the private test folder under %s", base.constData());
    g_root = QFile::decodeName(made);

    const QStringList parts
        = {QStringLiteral("home"),   QStringLiteral("config"),  QStringLiteral("data"),
           QStringLiteral("cache"),  QStringLiteral("runtime"), QStringLiteral("tmp"),
           QStringLiteral("etc-xdg")};
    for (const QString& part : parts)
        QDir().mkpath(g_root + QLatin1Char('/') + part);
    QFile::setPermissions(g_root + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    setEnv("HOME", g_root + QStringLiteral("/home"));
    setEnv("XDG_CONFIG_HOME", g_root + QStringLiteral("/config"));
    setEnv("XDG_DATA_HOME", g_root + QStringLiteral("/data"));
    setEnv("XDG_CACHE_HOME", g_root + QStringLiteral("/cache"));
    setEnv("XDG_RUNTIME_DIR", g_root + QStringLiteral("/runtime"));
    setEnv("TMPDIR", g_root + QStringLiteral("/tmp"));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QuenvarLog");
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       g_root + QStringLiteral("/etc-xdg"));
}

Environment::~Environment()
{
    if (qEnvironmentVariableIsEmpty("QUENVAR_KEEP_TEST_DIRS") && !g_root.isEmpty())
        QDir(g_root).removeRecursively();
    if (!g_otherRoot.isEmpty())
        QDir(g_otherRoot).removeRecursively();
}

void initApplication()
{
    initQuenvarResources();
    installFileNameCodec();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void setSystemLocale(const char* locale)
{
    if (!locale)
        return;
    qputenv("LC_ALL", locale);
    qputenv("LANG", locale);
}

QString root()
{
    return g_root;
}

QString home()
{
    return g_root + QStringLiteral("/home");
}

QString tempDir()
{
    return g_root + QStringLiteral("/tmp");
}

QString makeDir(const QString& name)
{
    QString path = tempDir() + QLatin1Char('/') + name;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = tempDir() + QLatin1Char('/') + name + QString::number(n);
    QDir().mkpath(path);
    return path;
}

QString makeDirOnOtherFileSystem(const QString& name)
{
    const QString shm = QStringLiteral("/dev/shm");
    if (!QFileInfo(shm).isDir() || sameFileSystem(shm, tempDir()))
        return QString();
    if (g_otherRoot.isEmpty()) {
        QByteArray pattern = QFile::encodeName(shm) + "/quenvar-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return QString();
        g_otherRoot = QFile::decodeName(pattern);
    }
    QString path = g_otherRoot + QLatin1Char('/') + name;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = g_otherRoot + QLatin1Char('/') + name + QString::number(n);
    QDir().mkpath(path);
    return path;
}

ImmutableGuard::ImmutableGuard(const QString& path)
    : m_path(path)
    , m_set(setImmutable(path, true))
{
}

ImmutableGuard::~ImmutableGuard()
{
    release();
}

void ImmutableGuard::release()
{
    if (m_set)
        setImmutable(m_path, false);
    m_set = false;
}

QByteArray linkTarget(const QString& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof(buffer));
    return n < 0 ? QByteArray() : QByteArray(buffer, int(n));
}

quint64 inode(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

bool makeSparse(const QString& path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size);
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void makeTree(const QString& root, const QMap<QString, QByteArray>& files,
              const QStringList& emptyDirs)
{
    for (auto it = files.constBegin(); it != files.constEnd(); ++it)
        writeFile(root + QLatin1Char('/') + it.key(), it.value());
    for (const QString& dir : emptyDirs)
        QDir().mkpath(root + QLatin1Char('/') + dir);
}

QStringList listTree(const QString& root)
{
    QStringList result;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QString relative = base.relativeFilePath(path);
        if (info.isDir() && !info.isSymLink())
            relative += QLatin1Char('/');
        result << relative;
    }
    result.sort();
    return result;
}

QStringList otherEntries(const QString& folder, const QStringList& expected)
{
    QStringList found = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                               | QDir::NoDotAndDotDot);
    for (const QString& name : expected)
        found.removeAll(name);
    return found;
}

QString compareTrees(const QString& expected, const QString& actual)
{
    const QStringList left = listTree(expected);
    const QStringList right = listTree(actual);
    if (left != right) {
        for (const QString& path : left) {
            if (!right.contains(path))
                return QStringLiteral("missing: ") + path;
        }
        for (const QString& path : right) {
            if (!left.contains(path))
                return QStringLiteral("unexpected: ") + path;
        }
    }
    for (const QString& path : left) {
        if (path.endsWith(QLatin1Char('/')))
            continue;
        const QFileInfo a(expected + QLatin1Char('/') + path);
        const QFileInfo b(actual + QLatin1Char('/') + path);
        if (a.isSymLink() || b.isSymLink()) {
            if (a.isSymLink() != b.isSymLink()
                || linkTarget(a.filePath()) != linkTarget(b.filePath()))
                return QStringLiteral("link differs: ") + path;
            continue;
        }
        if (readFile(a.filePath()) != readFile(b.filePath()))
            return QStringLiteral("content differs: ") + path;
    }
    return QString();
}

ProcessResult runProcess(const QString& program, const QStringList& arguments, int timeoutMs,
                         const QString& workDir, const QProcessEnvironment& environment)
{
    ProcessResult result;
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    result.started = process.waitForStarted(30000);
    if (!result.started)
        return result;
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    m_saved[0] = saved.rlim_cur;
    m_saved[1] = saved.rlim_max;
    // The signal would end the process; the failed write is what is tested.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(bytes), saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    const rlimit saved{rlim_t(m_saved[0]), rlim_t(m_saved[1])};
    setrlimit(RLIMIT_FSIZE, &saved);
}

struct HangGuard::State
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watcher;
};

HangGuard::HangGuard(const char* what, int timeoutMs)
    : d(new State)
{
    d->watcher = std::thread([state = d.get(), what, timeoutMs] {
        std::unique_lock<std::mutex> lock(state->mutex);
        if (!state->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [state] { return state->done; }))
            qFatal("%s did not return within %d ms", what, timeoutMs);
    });
}

HangGuard::~HangGuard()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->done = true;
    }
    d->ended.notify_all();
    d->watcher.join();
}

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data((size + 3) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    data.truncate(size);
    return data;
}

QProcessEnvironment childEnvironment(bool display)
{
    const QString base = makeDir(QStringLiteral("child-env"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QList<QPair<const char*, const char*>> places = {{"HOME", "home"},
                                                           {"XDG_CONFIG_HOME", "config"},
                                                           {"XDG_DATA_HOME", "data"},
                                                           {"TMPDIR", "tmp"}};
    for (const auto& place : places) {
        const QString dir = base + QLatin1Char('/') + QLatin1String(place.second);
        QDir().mkpath(dir);
        env.insert(QLatin1String(place.first), dir);
    }
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

QProcessEnvironment headlessEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                QStringLiteral("QT_QPA_PLATFORM")})
        environment.remove(name);
    return environment;
}

ProcessResult runUnderStrace(const QStringList& straceOptions, const QString& program,
                             const QStringList& arguments, QProcessEnvironment environment,
                             QByteArray* skipReason)
{
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    const ProcessResult result
        = runProcess(QStringLiteral("strace"), straceOptions + QStringList{program} + arguments,
                     120000, QString(), environment);
    skipReason->clear();
    if (!result.started)
        *skipReason = "strace is not available";
    // A machine that forbids tracing stops strace itself before the child.
    else if (result.exitCode != 0 && result.err.startsWith("strace: "))
        *skipReason = result.err;
    return result;
}

QString quenvarBinary()
{
    return QStringLiteral(QUENVAR_BINARY);
}

ProcessResult runQuenvar(const QStringList& arguments, bool display, int umask,
                         const QString& workDir)
{
    const QProcessEnvironment env = childEnvironment(display);
    // A question or message box that nobody answers would hold the program
    // until the time limit: finishing in time shows there was none.
    if (umask < 0)
        return runProcess(quenvarBinary(), arguments, 90000, workDir, env);
    const QString script
        = QStringLiteral("umask %1 && exec \"$0\" \"$@\"").arg(umask, 3, 8, QLatin1Char('0'));
    return runProcess(QStringLiteral("/bin/sh"),
                      QStringList{QStringLiteral("-c"), script, quenvarBinary()} + arguments, 90000,
                      workDir, env);
}

ProcessResult run7z(const QStringList& arguments, const QString& workDir, int timeoutMs)
{
    return runProcess(QStringLiteral("7z"), arguments, timeoutMs, workDir);
}

void whenTrue(const std::function<bool()>& condition, const std::function<void()>& action,
              int timeoutMs)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=]() {
        const bool match = condition();
        if (match || clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            if (match)
                action();
        }
    });
    timer->start();
}

void whenModalAppears(const std::function<void(QWidget*)>& action, const char* className,
                      int timeoutMs)
{
    const auto modal = [className]() -> QWidget* {
        QWidget* widget = QApplication::activeModalWidget();
        return widget && (!className || widget->inherits(className)) ? widget : nullptr;
    };
    whenTrue([modal] { return modal() != nullptr; }, [modal, action] { action(modal()); },
             timeoutMs);
}

int execModal(QDialog* dialog, const std::function<void(QDialog*)>& action, int timeoutMs)
{
    QPointer<QDialog> guard(dialog);
    whenModalAppears(
        [guard, action](QWidget* modal) {
            if (guard && modal == guard)
                action(guard);
        },
        dialog->metaObject()->className(), timeoutMs);

    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [guard]() {
        qWarning("execModal: the dialog was still open at the time limit; rejecting it");
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != guard)
            modal->close();
        if (guard)
            guard->reject();
    });
    watchdog.start(timeoutMs);
    const int result = dialog->exec();
    watchdog.stop();
    return result;
}

void dropDialogWhenAsked(const QPointer<QDialog>& dialog, bool deleted, bool* gone)
{
    whenModalAppears(
        [dialog, deleted, gone](QWidget*) {
            HangGuard guard(deleted ? "deleting the dialog" : "closing the dialog", 30000);
            if (deleted)
                delete dialog.data();
            else
                dialog->close();
            *gone = true;
        },
        "ConflictDialog", 60000);
}

void answerNextMessageBox(QString* title, QString* text, int timeoutMs, const QString& buttonText)
{
    whenModalAppears(
        [title, text, buttonText](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return;
            if (title)
                *title = box->windowTitle();
            if (text)
                *text = box->text();
            QAbstractButton* button = box->defaultButton();
            for (QAbstractButton* each : box->buttons()) {
                if (QString(each->text()).remove(QLatin1Char('&')) == buttonText)
                    button = each;
            }
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().first();
            if (button)
                button->click();
            else
                box->close();
        },
        "QMessageBox", timeoutMs);
}

} // namespace testenv
