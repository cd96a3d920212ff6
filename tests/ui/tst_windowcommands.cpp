// The main window's commands and the copy and delete progress dialogs against real
// folders and archives, with the dialogs answered as a user would.
#include "common/testarchives.h"
#include "common/testenv.h"
#include "common/windowdriver.h"

#include "app/settings.h"
#include "engine/ArchiveProgressDlg.h"
#include "fileops/UserActions.h"
#include "ui/DeleteProgressDialog.h"
#include "ui/FileSystemModel.h"
#include "ui/archivedatamodel.h"
#include "ui/copyprogressdialog.h"
#include "ui/filetreeview.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>

#include <cerrno>
#include <cstring>

#include "ui/dialogtest.h"

using dialogtest::child;
using namespace windowdriver;

namespace {

QStringList warnings;

void recordWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        warnings << message;
}

void trigger(const char* action)
{
    MainWindow::getInstance()->findChild<QAction*>(QLatin1String(action))->trigger();
}

// Whether nobody but the user may enter or read the folder.
bool privateToTheUser(const QString& folder)
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    return QFileInfo(folder).isDir() && !(QFileInfo(folder).permissions() & others);
}

QString trashed(const QString& name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Trash/files/") + name;
}

// Clicks the named button of each conflict question in turn and notes how
// each question was put: its title and the file it names.
void answerConflicts(QStringList buttons, QStringList* questions)
{
    if (buttons.isEmpty())
        return;
    testenv::whenModalAppears(
        [buttons, questions](QWidget* modal) mutable {
            *questions << modal->windowTitle() + ": " +
                              child<QLabel>(modal, "lblUpperInfo")->text().section('\n', 0, 0);
            child<QPushButton>(modal, qPrintable(buttons.takeFirst()))->click();
            answerConflicts(buttons, questions);
        },
        "ConflictDialog");
}

void runCopy(const QStringList& sources, const QString& destination, bool move)
{
    testenv::execModal(new CopyProgressDialog(sources, destination, nullptr, move),
                       [](QDialog*) {});
}

QStringList contents(const QString& root)
{
    QStringList result;
    for (const QString& path : testenv::listTree(root)) {
        if (!path.endsWith('/'))
            result << path + "=" + QString::fromUtf8(testenv::readFile(root + "/" + path));
    }
    return result;
}

} // namespace

class TestWindowCommands : public QObject
{
    Q_OBJECT

public slots:
    void opened(const QUrl& url) { m_opened << url.toLocalFile(); }

private slots:
    void initTestCase()
    {
        m_source = testenv::makeDir("source");
        testenv::makeTree(m_source, {{"docs/a.txt", "a"},
                                     {"docs/sub/b.txt", "b"},
                                     {"top.txt", "t"},
                                     {"New folder/n.txt", "n"}});
        // What the program once staged new folders under, planted by someone
        // else: it must not matter.
        QVERIFY(testenv::writeFile(QDir::tempPath() + QStringLiteral("/Quenvar/a"), "planted"));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "opened");
        // The trash is used where it exists; a new account has none yet.
        QVERIFY(QDir().mkpath(trashed(QStringLiteral("../info"))));
        QVERIFY(QDir().mkpath(trashed(QString())));
    }

    void init()
    {
        CSettings::initSettings();
        CSettings::setBoolValue("RemoveSourceFiles", false);
        UserActions::reset();
        m_opened.clear();
    }

    void cleanup()
    {
        if (MainWindow::isMainDialogUsed())
            delete MainWindow::getInstance();
        QCOMPARE(temporaryLeftovers(), QStringList());
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void deleteAsksAndHonoursTheTrashFlag_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("recycleBin");
        QTest::addColumn<QString>("endsIn");

        QTest::newRow("menu: for good, trash or not") << "menu" << true << "nowhere";
        QTest::newRow("Delete key: for good without the trash")
            << "Delete" << false << "nowhere";
        QTest::newRow("Delete key: to the trash") << "Delete" << true << "trash";
        QTest::newRow("Shift+Delete: for good") << "Shift+Delete" << true << "nowhere";
        QTest::newRow("answered No") << "Delete" << true << "place";
    }

    void deleteAsksAndHonoursTheTrashFlag()
    {
        QFETCH(QString, how);
        QFETCH(bool, recycleBin);
        QFETCH(QString, endsIn);

        const QString dir = testenv::makeDir("delete");
        const QString name = QFileInfo(dir).fileName() + QStringLiteral(".txt");
        QVERIFY(testenv::writeFile(dir + QLatin1Char('/') + name, "x"));
        CSettings::setBoolValue(QStringLiteral("RecycleBin"), recycleBin);
        MainWindow* window = restart(dir);
        select(0, {name});
        QString text;
        testenv::answerNextMessageBox(nullptr, &text, 10000, endsIn == "place" ? "No" : "Yes");
        if (how == QLatin1String("menu"))
            trigger("actDelete");
        else {
            const QKeySequence keys(how);
            QTest::keyClick(window->view(0), Qt::Key(keys[0] & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(keys[0] & Qt::KeyboardModifierMask));
        }
        QCOMPARE(text,
                 QStringLiteral("Are you sure you want to delete ") + name + QStringLiteral(" ?"));
        QCOMPARE(QFileInfo::exists(dir + QLatin1Char('/') + name),
                 endsIn == QLatin1String("place"));
        QCOMPARE(QFileInfo::exists(trashed(name)), endsIn == QLatin1String("trash"));
        QCOMPARE(shown(0), dir);
    }

    void copyAndMoveGoWhereAsked_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("secondChannel");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("moved");

        QTest::newRow("Copy...: the other panel's folder with the second channel")
            << "actCopy" << "to" << true << "to" << "" << false;
        QTest::newRow("Move...: this panel's folder without it")
            << "actMove" << "to" << false << "from" << "to" << true;
        QTest::newRow("Copy...: this panel's folder when the other shows an archive")
            << "actCopy" << "archive" << true << "from" << "to" << false;
        QTest::newRow("Ctrl+C, Ctrl+V in the other panel")
            << "Ctrl+C" << "to" << false << "" << "" << false;
        QTest::newRow("Ctrl+X, Ctrl+V in the other panel")
            << "Ctrl+X" << "to" << false << "" << "" << true;
    }

    void copyAndMoveGoWhereAsked()
    {
        QFETCH(QString, how);
        QFETCH(QString, other);
        QFETCH(bool, secondChannel);
        QFETCH(QString, offered);
        QFETCH(QString, typed);
        QFETCH(bool, moved);

        const QString root = testenv::makeDir("copy");
        testenv::makeTree(root, {{"from/f.txt", "f"}, {"from/sub/s.txt", "s"}}, {"to"});
        const QMap<QString, QString> places{{"from", root + QStringLiteral("/from")},
                                            {"to", root + QStringLiteral("/to")},
                                            {"archive", archiveIn(root, QStringLiteral("zip"))}};
        CSettings::setBoolValue(QStringLiteral("UseSecondChannel"), secondChannel);
        CSettings::setPanelPath(1, places.value(other));
        MainWindow* window = restart(places.value("from"));
        select(0, {"f.txt"});

        if (how.startsWith(QLatin1String("act"))) {
            QString offeredPath;
            testenv::whenModalAppears(
                [&](QWidget* dialog) {
                    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("cbDstDirName"));
                    offeredPath = combo->currentText();
                    if (!typed.isEmpty())
                        combo->setEditText(root + QLatin1Char('/') + typed);
                    static_cast<QDialog*>(dialog)->accept();
                },
                "CopyDialog");
            trigger(qPrintable(how));
            QCOMPARE(offeredPath, places.value(offered));
        } else {
            QTest::keyClick(window->view(0), how == QLatin1String("Ctrl+C") ? Qt::Key_C : Qt::Key_X,
                            Qt::ControlModifier);
            window->setCurrentPanel(1);
            QTest::keyClick(window->view(1), Qt::Key_V, Qt::ControlModifier);
        }
        const QStringList left{"f.txt", "sub/", "sub/s.txt"};
        QCOMPARE(testenv::listTree(places.value("from")), moved ? QStringList(left.mid(1)) : left);
        QCOMPARE(testenv::listTree(places.value("to")), QStringList{"f.txt"});
    }

    void newFolderInAFilePanel()
    {
        const QString dir = testenv::makeDir("newfolder");
        testenv::makeTree(dir, {{"New folder/x", "x"}});
        MainWindow* window = restart(dir);
        trigger("actCreateDir");
        QVERIFY(QFileInfo(dir + QStringLiteral("/New folder (1)")).isDir());
        commitEditor(0, QStringLiteral("named"));
        QTRY_VERIFY(QFileInfo(dir + QStringLiteral("/named")).isDir());

        // Where no folder can be made the question comes, and Skip ends it.
        testenv::ImmutableGuard locked(dir);
        if (!locked.isSet())
            QSKIP("the file system has no immutable attribute");
        QString asked;
        testenv::whenModalAppears(
            [&](QWidget* dialog) {
                asked = dialog->windowTitle();
                dialog->findChild<QAbstractButton*>(QStringLiteral("pbSkip"))->click();
            },
            "ConflictDialog");
        QTest::keyClick(window->view(0), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(asked, QStringLiteral("Access denied"));
        QCOMPARE(testenv::listTree(dir), QStringList({"New folder/", "New folder/x", "named/"}));
    }

    void archiveEditsAreWritten_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("command"); // an action, or "drop"
        QTest::addColumn<QStringList>("sources"); // added into "docs", which the panel shows
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QStringList>("added");

        for (const char* format : {"7z", "zip", "qv"}) {
            const QString f = QLatin1String(format);
            QTest::addRow("%s: delete a folder", format)
                << f << "actDelete" << QStringList()
                << QStringList{"docs", "docs/a.txt", "docs/sub", "docs/sub/b.txt"} << QStringList();
            QTest::addRow("%s: rename a folder", format)
                << f << "actRename" << QStringList()
                << QStringList{"New folder", "New folder/n.txt"}
                << QStringList{"renamed", "renamed/n.txt"};
            QTest::addRow("%s: new folder beside \"New folder\"", format)
                << f << "actCreateDir" << QStringList() << QStringList()
                << QStringList{"New folder (1)"};
        }
        QTest::newRow("Add file(s)...") << "7z" << "addFilesToCurrentArchive"
                                        << QStringList{"one/f.txt"} << QStringList()
                                        << QStringList{"docs/f.txt"};
        QTest::newRow("Add Directory...")
            << "7z" << "addFolderToCurrentArchive" << QStringList{"one"} << QStringList()
            << QStringList{"docs/one", "docs/one/deep", "docs/one/deep/d.txt", "docs/one/f.txt"};
        QTest::newRow("drop from two folders")
            << "7z" << "drop" << QStringList{"one/f.txt", "two/g.txt"} << QStringList()
            << QStringList{"docs/one/f.txt", "docs/two/g.txt"};
    }

    void archiveEditsAreWritten()
    {
        QFETCH(QString, format);
        QFETCH(QString, command);
        QFETCH(QStringList, sources);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, added);

        const QString dir = testenv::makeDir("edits");
        testenv::makeTree(dir, {{"one/f.txt", "f"}, {"one/deep/d.txt", "d"}, {"two/g.txt", "g"}});
        const QString archive = archiveIn(dir, format);
        const QStringList before = testarchives::entryPaths(archive);
        QVERIFY(before.contains(QStringLiteral("top.txt")));
        const QString folder = sources.isEmpty() ? QString() : QStringLiteral("docs");
        MainWindow* window = restart(archive + "/" + folder);
        QStringList paths;
        for (const QString& source : sources)
            paths << dir + "/" + source;
        if (sources.isEmpty())
            select(0, {command == QLatin1String("actDelete") ? "docs" : "New folder"});
        QString offered;
        if (command == QLatin1String("actCreateDir"))
            testenv::whenModalAppears(
                [&](QWidget* dialog) {
                    offered = dialog->findChild<QLineEdit*>(QStringLiteral("lineEdit"))->text();
                    static_cast<QDialog*>(dialog)->accept();
                },
                "NewFolderDialog");
        if (!sources.isEmpty() && command != QLatin1String("drop"))
            testenv::whenModalAppears(
                [&](QWidget* dialog) {
                    static_cast<QFileDialog*>(dialog)->selectFile(paths.first());
                    static_cast<QDialog*>(dialog)->accept();
                },
                "QFileDialog");
        if (command == QLatin1String("drop")) {
            QMimeData data;
            QList<QUrl> urls;
            for (const QString& path : paths)
                urls << QUrl::fromLocalFile(path);
            data.setUrls(urls);
            QVERIFY(window->archiveModel(0)->dropMimeData(&data, Qt::CopyAction, -1, -1,
                                                          QModelIndex()));
        } else {
            trigger(qPrintable(command));
        }
        if (command == QLatin1String("actRename"))
            commitEditor(0, QStringLiteral("renamed"));
        if (command == QLatin1String("actCreateDir"))
            QCOMPARE(offered, QStringLiteral("New folder (1)"));

        QStringList expected = before + added;
        for (const QString& path : gone)
            expected.removeOne(path);
        expected.sort();
        QCOMPARE(testarchives::entryPaths(archive), expected);
        // The panel stays where it was and shows what came; what was added stays.
        QCOMPARE(shown(0), archive + "/" + folder + " [archive]");
        const int inside = folder.isEmpty() ? 0 : folder.size() + 1;
        if (!added.isEmpty())
            rowOf(0, added.first().mid(inside).section('/', 0, 0));
        for (const QString& path : paths)
            QVERIFY(QFileInfo::exists(path));
    }

    void renamesThatCannotBeDone_data()
    {
        QTest::addColumn<bool>("inArchive");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("title");

        QTest::newRow("a slash") << false << "sub/b.txt" << "Invalid filename";
        QTest::newRow("onto another file") << false << "b.txt" << "Error";
        QTest::newRow("a colon inside an archive") << true << "a:b.txt" << "Invalid filename";
    }

    void renamesThatCannotBeDone()
    {
        QFETCH(bool, inArchive);
        QFETCH(QString, newName);
        QFETCH(QString, title);

        const QString dir = testenv::makeDir("rename");
        testenv::makeTree(dir, {{"top.txt", "t"}, {"b.txt", "b"}, {"sub/c", "c"}});
        const QString archive = archiveIn(dir, QStringLiteral("7z"));
        const QStringList before =
            inArchive ? testarchives::entryPaths(archive) : testenv::listTree(dir);
        restart(inArchive ? archive : dir);
        select(0, {"top.txt"});
        QString shownTitle;
        testenv::answerNextMessageBox(&shownTitle);
        QTest::keyClick(MainWindow::getInstance()->view(0), Qt::Key_F2);
        commitEditor(0, newName);
        QTRY_COMPARE(shownTitle, title);
        QCOMPARE(inArchive ? testarchives::entryPaths(archive) : testenv::listTree(dir), before);
        QCOMPARE(testenv::readFile(dir + QStringLiteral("/b.txt")), QByteArray("b"));
    }

    void extractCommands_data()
    {
        QTest::addColumn<QString>("inside");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("tree");

        // Into a folder named after the archive is tst_commandline's part ("ed").
        QTest::newRow("Extract here")
            << "" << "x.7z" << "actExtractHere_2"
            << QStringList{"docs/",   "docs/a.txt",  "docs/sub/",       "docs/sub/b.txt",
                           "top.txt", "New folder/", "New folder/n.txt"};
        QTest::newRow("Extract here from inside, below the folder shown")
            << "/docs" << "sub" << "actExtractHere_2" << QStringList{"sub/", "sub/b.txt"};
        QTest::newRow("Extract the archive... from inside")
            << "/docs" << "a.txt" << "actExtract" << QStringList{"a.txt"};
    }

    void extractCommands()
    {
        QFETCH(QString, inside);
        QFETCH(QString, row);
        QFETCH(QString, command);
        QFETCH(QStringList, tree);

        const QString dir = testenv::makeDir(QStringLiteral("extract"));
        const QString archive = archiveIn(dir, QStringLiteral("7z"));
        CSettings::setPanelPath(1, dir);
        restart(inside.isEmpty() ? dir : archive + inside);
        select(0, {row});
        if (command == QLatin1String("actExtract"))
            testenv::whenModalAppears(
                [](QWidget* dialog) {
                    dialog->findChild<QAbstractButton*>(QStringLiteral("pbOk"))->click();
                },
                "ExtractDialog");
        trigger(qPrintable(command));
        tree.sort();
        QStringList found = testenv::listTree(dir);
        found.removeOne(QStringLiteral("x.7z"));
        QCOMPARE(found, tree);
    }

    void openingAnEntryUsesAPrivateFolder()
    {
        const QString archive =
            archiveIn(testenv::makeDir(QStringLiteral("open")), QStringLiteral("zip"));
        MainWindow* window = restart(archive + QStringLiteral("/docs"));
        select(0, {"a.txt"});
        QTest::keyClick(window->view(0), Qt::Key_Return);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(testenv::readFile(m_opened.first()), QByteArray("a"));
        const QString folder = m_opened.first().section(QLatin1Char('/'), 0, -3);
        QVERIFY2(temporaryLeftovers().contains(QFileInfo(folder).fileName()), qPrintable(folder));
        QVERIFY(privateToTheUser(folder));
    }

    void dragOutOfAnArchiveLandsAsFiles()
    {
        const QString dir = testenv::makeDir(QStringLiteral("drag"));
        const QString archive = archiveIn(dir, QStringLiteral("7z"));
        QVERIFY(QDir(dir).mkdir(QStringLiteral("target")));
        CSettings::setPanelPath(1, dir + QStringLiteral("/target"));
        MainWindow* window = restart(archive);
        CArchiveDataModel* model = window->archiveModel(0);
        // Each drag gets a private folder of its own (the last one's goes), and
        // nothing is extracted before a drop asks for the data.
        std::unique_ptr<QMimeData> first(model->mimeData({rowOf(0, "docs")}));
        const QString firstFolder = model->dragFolder();
        std::unique_ptr<QMimeData> data(model->mimeData({rowOf(0, "docs"), rowOf(0, "top.txt")}));
        const QString folder = model->dragFolder();
        QVERIFY(folder != firstFolder && !QFileInfo::exists(firstFolder));
        QVERIFY2(temporaryLeftovers().contains(QFileInfo(folder).fileName()), qPrintable(folder));
        QVERIFY(privateToTheUser(folder));
        QCOMPARE(testenv::listTree(folder), QStringList());

        // The file panel asks for the data while the drop happens; the entries
        // are extracted then, and the copy drop moves them on.
        FileSystemModel* files = window->fileModel(1);
        MainWindow::setDropEventStarted();
        const bool dropped =
            files->dropMimeData(data.get(), Qt::CopyAction, -1, -1, files->index(dir + "/target"));
        MainWindow::setDropEventEnded();
        QVERIFY(dropped);
        QCOMPARE(testenv::listTree(dir + QStringLiteral("/target")),
                 QStringList({"docs/", "docs/a.txt", "docs/sub/", "docs/sub/b.txt", "top.txt"}));
        QCOMPARE(model->dragFolder(), QString());
        QVERIFY(!QFileInfo::exists(folder));
    }

    void bothPanelsShowTimesAlike()
    {
        const QString dir = testenv::makeDir(QStringLiteral("times"));
        const QString archive = archiveIn(dir, QStringLiteral("7z"));
        CSettings::setPanelPath(1, m_source);
        restart(archive);
        const QString inArchive = rowOf(0, "top.txt").siblingAtColumn(3).data().toString();
        const QString onDisk = rowOf(1, "top.txt").siblingAtColumn(3).data().toString();
        QVERIFY(!onDisk.isEmpty());
        QCOMPARE(inArchive, onDisk);
    }

    void browsingRaisesNoModelWarnings()
    {
        const QString archive =
            archiveIn(testenv::makeDir(QStringLiteral("browse")), QStringLiteral("zip"));
        MainWindow* window = restart(m_source);
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordWarnings);
        for (const QString& path :
             {QString(), m_source, archive + QStringLiteral("/docs"), QString(), archive})
            window->setPanelPath(path, 0);
        window->goBack();
        qInstallMessageHandler(previous);
        QCOMPARE(warnings.filter(QStringLiteral("model")), QStringList());
    }

    void conflictAnswers_data()
    {
        QTest::addColumn<bool>("move");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("removeSourceFiles");
        QTest::addColumn<QStringList>("target");
        QTest::addColumn<QStringList>("sourcesLeft");

        const QStringList all{"a.txt", "b.txt", "c.txt"};
        // Two answers in a row also show that an earlier answer is not taken
        // again for the next question.
        QTest::newRow("copy: replace, then rename")
            << false << QStringList{"pbReplace", "pbRename"} << false
            << QStringList{"a.txt=new a", "b.txt=old b", "b_1.txt=new b", "c.txt=new c"} << all;
        QTest::newRow("copy: skip with RemoveSourceFiles keeps the sources")
            << false << QStringList{"pbSkip", "pbSkip"} << true
            << QStringList{"a.txt=old a", "b.txt=old b", "c.txt=new c"} << all;
        QTest::newRow("move: rename, then replace")
            << true << QStringList{"pbRename", "pbReplace"} << false
            << QStringList{"a.txt=old a", "a_1.txt=new a", "b.txt=new b", "c.txt=new c"}
            << QStringList();
        QTest::newRow("move: skip keeps the skipped source")
            << true << QStringList{"pbSkip", "pbReplace"} << false
            << QStringList{"a.txt=old a", "b.txt=new b", "c.txt=new c"} << QStringList{"a.txt"};
        QTest::newRow("move: skip with RemoveSourceFiles removes the skipped source")
            << true << QStringList{"pbSkip", "pbRename"} << true
            << QStringList{"a.txt=old a", "b.txt=old b", "b_1.txt=new b", "c.txt=new c"}
            << QStringList();
    }

    void conflictAnswers()
    {
        QFETCH(bool, move);
        QFETCH(QStringList, answers);
        QFETCH(bool, removeSourceFiles);
        QFETCH(QStringList, target);
        QFETCH(QStringList, sourcesLeft);

        CSettings::setBoolValue("RemoveSourceFiles", removeSourceFiles);
        const QString from = testenv::makeDir("from");
        const QString to = testenv::makeDir("to");
        testenv::makeTree(from, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}});
        testenv::makeTree(to, {{"a.txt", "old a"}, {"b.txt", "old b"}});

        QStringList questions;
        answerConflicts(answers, &questions);
        runCopy({from + "/a.txt", from + "/b.txt", from + "/c.txt"}, to, move);
        QCOMPARE(questions,
                 QStringList({"File exists: " + to + "/a.txt", "File exists: " + to + "/b.txt"}));
        QCOMPARE(contents(to), target);
        QCOMPARE(testenv::listTree(from), sourcesLeft);
    }

    void refusedBeforeAnythingIsCopied_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("message"); // empty: not refused

        const QString missing = "Path to destination does not exist.";
        const QString subsidiary
            = "Source and its subsidiary folders cannot be destination folders.";
        QTest::newRow("destination missing")
            << "file.txt" << "missing" << "An error occurred while copying. " + missing;
        QTest::newRow("folder into itself") << "folder" << "folder" << subsidiary;
        QTest::newRow("folder below itself through a link") << "folder" << "link" << subsidiary;
        QTest::newRow("the root folder anywhere") << "/" << "folder" << subsidiary;
        QTest::newRow("file into its own folder")
            << "file.txt" << "" << "Source and destination files are the same. %1";
        QTest::newRow("a folder into a sibling named alike") << "folder" << "folder2" << "";
        QTest::newRow("a link to a folder into that folder") << "folderlink" << "folder2" << "";
    }

    void refusedBeforeAnythingIsCopied()
    {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(QString, message);

        const QString work = testenv::makeDir("refused");
        testenv::makeTree(work,
                          {{"folder/sub/inner.txt", "inner"},
                           {"file.txt", "file"},
                           {"target.txt", "target"}},
                          {"folder2"});
        QVERIFY(QFile::link(work + "/folder/sub", work + "/link"));
        QVERIFY(QFile::link(work + "/folder2", work + "/folderlink"));
        const QString path = source.startsWith('/') ? source : work + "/" + source;
        if (message.contains("%1"))
            message = message.arg(path);
        const QStringList before = contents(work);
        QString title;
        QString text;
        if (!message.isEmpty())
            testenv::answerNextMessageBox(&title, &text);
        runCopy({path}, work + "/" + destination, false);
        if (message.isEmpty()) {
            QVERIFY(QFileInfo::exists(work + "/" + destination + "/" + QFileInfo(path).fileName()));
            return;
        }
        QCOMPARE(title + ": " + text, "Error: " + message);
        QCOMPARE(contents(work), before);
    }

    void failedDeletions()
    {
        const int failures = 10;
        const QString dir = testenv::makeDir("delete");
        QStringList missing;
        for (int i = 0; i < failures; ++i)
            missing << dir + QString("/missing%1.txt").arg(i);
        QVERIFY(testenv::writeFile(dir + "/real.txt", "real"));

        QStringList questions;
        answerConflicts({"pbSkipAll"}, &questions);
        DeleteProgressDialog dialog(missing + QStringList{dir + "/real.txt"}, false);
        testenv::execModal(&dialog, [](QDialog*) {});
        QCOMPARE(questions, QStringList{"Access denied: " + missing.first()});
        QCOMPARE(dialog.failedPaths(), missing);
        QVERIFY(!QFileInfo::exists(dir + "/real.txt"));

        QString title;
        QString text;
        testenv::answerNextMessageBox(&title, &text);
        dialog.showFailures(nullptr);
        // Each failure names its path and the system's reason, also under the
        // count (which lacked both).
        QString expected = QString("Failed to delete %1 item(s)\n\n").arg(failures);
        for (const QString& path : missing.mid(0, 9))
            expected += "  " + path + ": " + QString::fromLocal8Bit(strerror(ENOENT)) + "\n";
        expected += QString("  and %1 more\n").arg(failures - 9);
        QCOMPARE(title, QString("Error"));
        QCOMPARE(text, expected);
    }

    void goingAwayWhileAsking_data()
    {
        QTest::addColumn<bool>("copy");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("copy dialog deleted") << true << true;
        QTest::newRow("copy dialog closed") << true << false;
        QTest::newRow("delete dialog deleted") << false << true;
        QTest::newRow("delete dialog closed") << false << false;
    }

    void goingAwayWhileAsking()
    {
        QFETCH(bool, copy);
        QFETCH(bool, deleted);
        const QString dir = testenv::makeDir("away");
        testenv::makeTree(dir, {{"from/a.txt", "new a"},
                                {"from/b.txt", "new b"},
                                {"to/a.txt", "old a"}});
        const QStringList sources{dir + "/from/a.txt", dir + "/from/b.txt"};
        // Not modal, as with a window that goes away while its worker waits for
        // the answer about the first file.
        QPointer<QDialog> dialog =
            copy ? static_cast<QDialog*>(new CopyProgressDialog(sources, dir + "/to"))
                 : new DeleteProgressDialog({dir + "/from/missing.txt", sources[1]}, false);
        bool gone = false;
        testenv::dropDialogWhenAsked(dialog, deleted, &gone);
        dialog->show();
        QTRY_VERIFY_WITH_TIMEOUT(gone, 30000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        delete dialog.data();
        QCOMPARE(contents(dir),
                 QStringList({"from/a.txt=new a", "from/b.txt=new b", "to/a.txt=old a"}));
        QVERIFY(!UserActions::isChosen(UA_CANCEL));
    }

private:
    // An archive of the source tree in dir: by the 7z tool, or by the program
    // for its own ".qv" container.
    QString archiveIn(const QString& dir, const QString& format)
    {
        const QString archive = dir + QStringLiteral("/x.") + format;
        const QStringList top{"docs", "top.txt", "New folder"};
        if (format != QLatin1String("qv")) {
            [&] {
                QCOMPARE(testenv::run7z(QStringList{"a", archive} + top, m_source).exitCode, 0);
            }();
            return archive;
        }
        CompressOptions request;
        request.archivePath = archive;
        request.format = ZF_QV;
        request.baseDirectory = m_source;
        for (const QString& name : top)
            request.files << m_source + QLatin1Char('/') + name;
        ArchiveProgressDlg progress;
        progress.doCompress(request);
        return archive;
    }

    QString m_source;
    QStringList m_opened;
};

QUENVAR_TEST_MAIN(TestWindowCommands)
#include "tst_windowcommands.moc"
