#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <functional>
#include <memory>

namespace testenv {

// A private HOME, XDG dirs and TMPDIR under one temporary root, and the offscreen
// platform; made before the application object, removed at exit unless
// QUENVAR_KEEP_TEST_DIRS is set.
class Environment
{
public:
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;
};

// The private root of this test process and its parts.
QString root();
QString home();
QString tempDir();
// A new empty folder under the private temporary folder.
QString makeDir(const QString& name);

bool writeFile(const QString& path, const QByteArray& content);
// size bytes that do not compress, the same for the same seed.
QByteArray randomBytes(int size, quint32 seed = 7);
QByteArray readFile(const QString& path);
// A symbolic link's target as stored; empty for anything else.
QByteArray linkTarget(const QString& path);
// The entry's inode number (a link's own); 0 when there is none.
quint64 inode(const QString& path);
// A file of that size that takes no room on the disk.
bool makeSparse(const QString& path, qint64 size);
// Files (relative path -> content) and empty folders under root.
void makeTree(const QString& root, const QMap<QString, QByteArray>& files,
              const QStringList& emptyDirs = {});
// Relative paths of everything below root ("dir/" for folders), sorted.
QStringList listTree(const QString& root);
// The names in folder (hidden ones too) other than the expected ones.
QStringList otherEntries(const QString& folder, const QStringList& expected = {});
// An empty string when both trees hold the same paths and file contents;
// otherwise a description of the first difference.
QString compareTrees(const QString& expected, const QString& actual);

// A new empty folder on another file system (/dev/shm), or "" when there is none.
QString makeDirOnOtherFileSystem(const QString& name);

// The immutable attribute for its lifetime: not even root may change, delete or
// rename the entry (or a folder's entries). isSet() is false where unsupported.
class ImmutableGuard
{
public:
    explicit ImmutableGuard(const QString& path);
    ~ImmutableGuard();
    ImmutableGuard(const ImmutableGuard&) = delete;
    ImmutableGuard& operator=(const ImmutableGuard&) = delete;
    bool isSet() const { return m_set; }
    void release();

private:
    QString m_path;
    bool m_set;
};

// While it lives, no file of this process grows past bytes: writes beyond
// fail with EFBIG ("File too large"), as they would on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    quint64 m_saved[2];
};

// Ends the test process (qFatal) when still alive after timeoutMs: a call that
// hangs fails the test instead of holding it until the suite's time limit.
class HangGuard
{
public:
    HangGuard(const char* what, int timeoutMs);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    struct State;
    std::unique_ptr<State> d;
};

struct ProcessResult
{
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
ProcessResult runProcess(const QString& program, const QStringList& arguments,
                         int timeoutMs = 120000, const QString& workDir = QString(),
                         const QProcessEnvironment& environment
                         = QProcessEnvironment::systemEnvironment());

// This process's private environment without any display: a program run
// with it works as from a script and asks nobody.
QProcessEnvironment headlessEnvironment();

// Runs program under strace (without the leak checker, which cannot work under
// a tracer). *skipReason says why strace could not run, empty when it did.
ProcessResult runUnderStrace(const QStringList& straceOptions, const QString& program,
                             const QStringList& arguments, QProcessEnvironment environment,
                             QByteArray* skipReason);

// For one run of the program under test: a HOME, XDG dirs and TMPDIR of its own;
// the offscreen platform with display, else no display at all.
QProcessEnvironment childEnvironment(bool display);

// The program under test and the independent 7z command line tool.
QString quenvarBinary();
// The program under test in a childEnvironment(display), with the umask when given.
ProcessResult runQuenvar(const QStringList& arguments, bool display = false, int umask = -1,
                         const QString& workDir = QString());
ProcessResult run7z(const QStringList& arguments, const QString& workDir = QString(),
                    int timeoutMs = 300000);

// Calls action with the active modal widget as soon as one of the given type
// (or any, when className is empty) appears; gives up after timeoutMs.
void whenModalAppears(const std::function<void(QWidget*)>& action, const char* className = nullptr,
                      int timeoutMs = 10000);

// Calls action once condition holds (checked every 20 ms on the event
// loop); gives up after timeoutMs.
void whenTrue(const std::function<bool()>& condition, const std::function<void()>& action,
              int timeoutMs = 30000);

// dialog->exec(), calling action once it is the active modal widget; a dialog
// still open after timeoutMs is rejected, so that a failed step cannot hang.
int execModal(QDialog* dialog, const std::function<void(QDialog*)>& action, int timeoutMs = 30000);

// When the conflict question appears, deletes or closes dialog (which must return
// at once: its worker stops) and sets *gone.
void dropDialogWhenAsked(const QPointer<QDialog>& dialog, bool deleted, bool* gone);
// Answers the next message box with the button of that text, or its default (or
// first) button, and reports its title and text.
void answerNextMessageBox(QString* title = nullptr, QString* text = nullptr, int timeoutMs = 10000,
                          const QString& buttonText = QString());

} // namespace testenv

// main() for a QtTest object with the private environment in place.
#define QUENVAR_TEST_MAIN(TestObject) QUENVAR_TEST_MAIN_WITH_LOCALE(TestObject, nullptr)

// As QUENVAR_TEST_MAIN, with the system locale (e.g. "ru_RU.UTF-8") set
// before anything reads it.
#define QUENVAR_TEST_MAIN_WITH_LOCALE(TestObject, locale)                                          \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        testenv::setSystemLocale(locale);                                                          \
        testenv::Environment quenvarTestEnvironment;                                               \
        QApplication app(argc, argv);                                                              \
        testenv::initApplication();                                                                \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

namespace testenv {
// Resources, fixed default locale; called right after the application object.
void initApplication();
// Sets LC_ALL and LANG to the locale name; does nothing for a null name.
void setSystemLocale(const char* locale);
} // namespace testenv
