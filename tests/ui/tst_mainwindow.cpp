// Browsing with the main window against real folders and archives, and the model of an
// archive shown as folders.
#include "common/testarchives.h"
#include "common/testenv.h"
#include "common/windowdriver.h"

#include "app/globals.h"
#include "app/settings.h"
#include "engine/zipapi.h"
#include "fileops/UserActions.h"
#include "ui/AboutDialog.h"
#include "ui/MimeData.h"
#include "ui/addressbar.h"
#include "ui/archivedatamodel.h"
#include "ui/filetreeview.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>

using namespace windowdriver;
using testarchives::dir;
using testarchives::file;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_dir = testenv::makeDir(QStringLiteral("panels"));
        testenv::makeTree(m_dir, {{"a.txt", "a"}, {"sub/inner.txt", "i"}, {"other/o.txt", "o"}},
                          {QStringLiteral("empty")});
        const QString source = testenv::makeDir(QStringLiteral("source"));
        testenv::makeTree(source, {{"docs/a.txt", "a"}, {"docs/sub/b.txt", "b"}, {"top.txt", "t"}});
        m_archive = m_dir + QStringLiteral("/x.7z");
        QCOMPARE(testenv::run7z({"a", m_archive, "docs", "top.txt"}, source).exitCode, 0);
        QCOMPARE(testenv::run7z({"a", m_dir + "/y.txt.gz", "top.txt"}, source).exitCode, 0);
        QCOMPARE(testenv::run7z({"a", "-v1m", m_dir + "/z.txt.gz", "top.txt"}, source).exitCode, 0);
        QVERIFY(testenv::writeFile(m_dir + "/r.rar", testarchives::makeRar5({file("top.txt")})));
    }

    void init()
    {
        CSettings::initSettings();
        UserActions::reset();
        m_browse = testenv::makeDir(QStringLiteral("browse"));
    }

    void cleanupTestCase()
    {
        delete MainWindow::getInstance();
    }

    void startUpShowsTheArchiveOrTheStoredPaths_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QStringList>("settings"); // "key=1" or "key=0"
        const auto row = [](const char* name, const QString& command, const QString& archive,
                            const QString& stored, const QString& left,
                            const QStringList& settings = {}) {
            QTest::newRow(name) << command << archive << stored << left << settings;
        };
        const QString sub = m_dir + "/sub";
        const QString top = m_archive + "/ [archive]";
        row("no argument: the stored paths", "", "", sub, sub);
        row("stored path gone: home, silently", "", "", m_dir + "/gone", testenv::home());
        row("stored path through a deleted archive: its folder", "", "",
            m_dir + "/deleted.zip/docs", m_dir);
        row("stored path through a file that replaced the archive", "", "", m_dir + "/a.txt/docs",
            m_dir);
        row("inside an archive, reopened", "", "", m_archive + "/docs",
            m_archive + "/docs [archive]");
        row("inside an archive, not reopened: its folder", "", "", m_archive + "/docs", m_dir,
            {"DoNotOpenSavedArchives=1"});
        row("not remembered: home", "", "", sub, testenv::home(),
            {"ShouldRememberLastDirectory=0"});
        row("o x.7z", "o", m_archive, sub, top);
        row("plain x.7z", "", m_archive, sub, top);
        row("unknown command, last argument", "zz", m_archive, sub, top);
        row("t x.7z opens none", "t", m_archive, sub, sub);
    }

    void startUpShowsTheArchiveOrTheStoredPaths()
    {
        QFETCH(QString, command);
        QFETCH(QString, archive);
        QFETCH(QString, stored);
        QFETCH(QString, left);
        QFETCH(QStringList, settings);

        CSettings::setBoolValue("ShouldRememberLastDirectory", true);
        CSettings::setBoolValue("DoNotOpenSavedArchives", false);
        for (const QString& setting : settings)
            CSettings::setBoolValue(setting.section('=', 0, 0), setting.endsWith("=1"));
        CSettings::setPanelPath(0, stored);
        CSettings::setPanelPath(1, m_dir + "/other");
        QStringList arguments{"quenvar"};
        if (!command.isEmpty())
            arguments << "-c" << command;
        const QStringList positional = archive.isEmpty() ? QStringList() : QStringList{archive};
        restart(mainWindowArchive(command, arguments + positional, positional));
        QCOMPARE(shown(0), left);
        const bool remembered = !settings.contains("ShouldRememberLastDirectory=0");
        QCOMPARE(shown(1), remembered ? m_dir + "/other" : testenv::home());
        QCOMPARE(MainWindow::getInstance()->currentPanel(), 0);
    }

    void pathIntoArchiveOpensItsFolder_data()
    {
        QTest::addColumn<QString>("inner");
        QTest::addColumn<QString>("folder");

        QTest::newRow("inner folder") << "docs/sub" << "docs/sub";
        QTest::newRow("inner file opens its folder") << "docs/sub/b.txt" << "docs/sub";
        QTest::newRow("implied folder, any case, extra slashes") << "/Lone//deep/" << "lone/deep";
        QTest::newRow("no such entry gives the top") << "nothing/here" << "";
    }

    void pathIntoArchiveOpensItsFolder()
    {
        QFETCH(QString, inner);
        QFETCH(QString, folder);

        const QString archive
            = testenv::makeDir(QStringLiteral("inner")) + QStringLiteral("/i.zip");
        QVERIFY(testenv::writeFile(
            archive,
            testarchives::makeZip({testarchives::dir("docs"), testarchives::file("docs/sub/b.txt"),
                                   testarchives::file("lone/deep/x.txt")})));
        MainWindow* window = restart(m_dir);
        window->setPanelPath(archive + QLatin1Char('/') + inner, 1);
        QVERIFY(window->isArchiveShown(1));
        QCOMPARE(window->archiveModel(1)->getCurrentDir().toLower(), folder);
        QCOMPARE(shown(1).toLower(),
                 (archive + QLatin1Char('/') + folder + QStringLiteral(" [archive]")).toLower());
        QVERIFY(window->upButton(1)->isEnabled());
    }

    void menusFollowTheSelection_data()
    {
        // The menu's commands enabled, and the entries of the context menu at
        // the first row selected (or the empty area below the rows).
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("enabled");
        QTest::addColumn<QStringList>("entries");

        const QStringList files{"actAddToArchive", "actCopy", "actCreateDir", "actDelete",
                                "actMove"};
        const QStringList fileEnd{"", "Create directory", "Copy...", "Move...", "Rename", "Delete"};
        const QStringList several{"Add to archive...", "", "Create directory", "Copy...",
                                  "Move...", "Delete"};
        const QStringList updatable{"actExtract", "actExtractHere_2", "actDelete", "actRename",
                                    "actCreateDir", "addFilesToCurrentArchive",
                                    "addFolderToCurrentArchive"};
        QTest::newRow("nothing selected")
            << m_dir << QStringList() << QStringList{"actCreateDir"}
            << QStringList{"Create directory"};
        QTest::newRow("one file") << m_dir << QStringList{"a.txt"}
                                  << files + QStringList{"actRename"}
                                  << QStringList{"Add to archive..."} + fileEnd;
        QTest::newRow("one archive")
            << m_dir << QStringList{"x.7z"}
            << files + QStringList{"actRename", "actExtract", "actExtractHere_2"}
            << QStringList{"Add to archive...", "Extract the archive...", "Extract here",
                           "Extract to x"}
                   + fileEnd;
        QTest::newRow("several") << m_dir << QStringList{"sub", "x.7z"} << files << several;
        QTest::newRow("root") << QString() << QStringList{"/"}
                              << QStringList{"actAddToArchive", "actCopy"}
                              << QStringList{"Add to archive...", "Copy..."};
        QTest::newRow("entry of an updatable archive")
            << m_archive << QStringList{"top.txt"} << updatable
            << QStringList{"Extract the archive...", "Create directory", "Add file(s)...",
                           "Add directory...",       "Delete",           "Rename"};
        QTest::newRow("empty area of an updatable archive")
            << m_archive << QStringList()
            << QStringList{"actCreateDir", "addFilesToCurrentArchive", "addFolderToCurrentArchive"}
            << QStringList{"Create directory", "Add file(s)...", "Add Directory..."};
        for (const char* readOnly : {"y.txt.gz", "z.txt.gz.001", "r.rar"}) {
            QTest::addRow("entry of %s", readOnly)
                << m_dir + "/" + readOnly << QStringList{"top.txt"}
                << QStringList{"actExtract", "actExtractHere_2"}
                << QStringList{"Extract the archive..."};
            QTest::addRow("empty area of %s", readOnly)
                << m_dir + "/" + readOnly << QStringList() << QStringList() << QStringList();
        }
    }

    void menusFollowTheSelection()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, enabled);
        QFETCH(QStringList, entries);

        MainWindow* window = restart(m_dir);
        window->setPanelPath(path, 0);
        select(0, selected);
        QStringList actual;
        const QStringList names{"actAddToArchive", "actExtract", "actExtractHere_2",
                                "actCreateDir",    "addFilesToCurrentArchive",
                                "addFolderToCurrentArchive", "actCopy", "actMove",
                                "actRename",       "actDelete"};
        for (const QString& name : names) {
            if (window->findChild<QAction*>(name)->isEnabled())
                actual << name;
        }
        actual.sort();
        enabled.sort();
        QCOMPARE(actual, enabled);
        QCOMPARE(window->toolBarAction(QStringLiteral("tbDelete"))->isEnabled(),
                 enabled.contains("actDelete"));
        QCOMPARE(window->toolBarAction(QStringLiteral("tbExtract"))->isEnabled(),
                 enabled.contains("actExtract"));

        const FileTreeView* view = window->view(0);
        const QPoint point = selected.isEmpty() ? QPoint(5, view->viewport()->height() - 5)
                                                : view->visualRect(rowOf(0, selected[0])).center();
        std::unique_ptr<QMenu> menu(window->createContextMenu(0, point));
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, entries);
    }

    void deletingTheOpenArchiveSendsThePanelBack()
    {
        const QString copy = m_dir + QStringLiteral("/doomed.7z");
        QVERIFY(QFile::copy(m_archive, copy));
        MainWindow* window = restart(copy + QStringLiteral("/docs"));
        QCOMPARE(shown(0), copy + QStringLiteral("/docs [archive]"));
        QVERIFY(QFile::remove(copy));
        QTRY_COMPARE(shown(0), m_dir);
        QVERIFY(!window->isArchiveShown(0));
    }

    void aboutNamesAMissingEngineAndWhy()
    {
        setEngineLibraryPathForTests("/nonexistent/7z.so");
        const QStringList lines = AboutDialog::versionLines();
        setEngineLibraryPathForTests(QString());
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines.at(0).contains(QStringLiteral(QUENVAR_VERSION)), qPrintable(lines.at(0)));
        QVERIFY2(lines.at(2).startsWith("zlib 1."), qPrintable(lines.at(2)));
        const QString missing = "Archive engine not loaded from /nonexistent/7z.so: ";
        QVERIFY2(lines.at(3).startsWith(missing) && lines.at(3).size() > missing.size(),
                 qPrintable(lines.at(3)));
    }

    void listingHiddenItemsInSettingsShowsThemInBothPanels()
    {
        const QString dir = testenv::makeDir(QStringLiteral("hidden"));
        testenv::makeTree(dir, {{".secret", "s"}, {"plain.txt", "p"}});
        CSettings::setPanelPath(1, dir);
        MainWindow* window = restart(dir);
        for (int panel = 0; panel < 2; ++panel) {
            const QModelIndex plain = rowOf(panel, QStringLiteral("plain.txt"));
            const QModelIndex first = plain.siblingAtRow(0);
            QVERIFY(plain.model()->match(first, Qt::DisplayRole, ".secret").isEmpty());
        }
        testenv::whenModalAppears(
            [](QWidget* dialog) {
                dialog->findChild<QCheckBox*>(QStringLiteral("cbListHiddenItems"))->click();
                QTest::mouseClick(dialog->findChild<QPushButton*>("pbClose"), Qt::LeftButton);
            },
            "SettingsDialog");
        window->findChild<QAction*>(QStringLiteral("actSettings"))->trigger();
        rowOf(0, QStringLiteral(".secret"));
        rowOf(1, QStringLiteral(".secret"));
        CSettings::setBoolValue(QStringLiteral("ListHiddenItems"), false);
    }

    void rowsOfAFolder_data()
    {
        QTest::addColumn<QList<testarchives::Entry>>("entries");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("rows");

        const QList<testarchives::Entry> hidden{file(".profile"),    file("x.txt"),
                                                file(".git/config"), dir(".cache"),
                                                file(".cache/y"),    file("d/.h")};
        QTest::newRow("hidden entries and folders")
            << hidden << "" << int(Qt::AscendingOrder) << QStringList{"x.txt"};

        const QList<testarchives::Entry> prefix{file("docs/a.txt"), file("docs2/b.txt"),
                                                file("docs.txt")};
        QTest::newRow("docs is not docs2")
            << prefix << "docs" << int(Qt::AscendingOrder) << QStringList{"a.txt"};

        const QList<testarchives::Entry> numbered{file("f10.txt"), file("f9.txt"), file("f1.txt"),
                                                  file("z/a"), dir("m")};
        QTest::newRow("numbers in names, folders first")
            << numbered << "" << int(Qt::AscendingOrder)
            << QStringList{"m/", "z/", "f1.txt", "f9.txt", "f10.txt"};
        QTest::newRow("descending puts files first")
            << numbered << "" << int(Qt::DescendingOrder)
            << QStringList{"f10.txt", "f9.txt", "f1.txt", "z/", "m/"};

        const QList<testarchives::Entry> listedLater{file("p/q.txt"), dir("p"), file("P/r.txt")};
        QTest::newRow("one row per exact name")
            << listedLater << "" << int(Qt::AscendingOrder) << QStringList{"p/", "P/"};
    }

    void rowsOfAFolder()
    {
        QFETCH(QList<testarchives::Entry>, entries);
        QFETCH(QString, folder);
        QFETCH(int, order);
        QFETCH(QStringList, rows);

        CArchiveDataModel model;
        QVERIFY(model.openArchive(zip(entries), QString()));
        model.sort(0, Qt::SortOrder(order));
        model.setCurrentDir(folder);
        QCOMPARE(model.getCurrentDir(), folder);
        QStringList names;
        for (int row = 0; row < model.rowCount(); ++row)
            names << model.rowInfo(row).name + (model.rowInfo(row).isDir ? "/" : "");
        QCOMPARE(names, rows);
    }

    void selectionCollectsEverythingBelow_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("collected");

        QTest::newRow("listed folder")
            << "" << QStringList{"docs"}
            << QStringList{"docs/a.txt", "docs/sub/b.txt", "docs", "docs/.hidden"};
        QTest::newRow("implied folder and a file")
            << "" << QStringList{"lone", "top.txt"} << QStringList{"lone/deep/x.txt", "top.txt"};
    }

    void selectionCollectsEverythingBelow()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, collected);

        const QString archive =
            zip({file("docs/a.txt"), file("docs2/c.txt"), file("docs/sub/b.txt"), dir("docs"),
                 file("lone/deep/x.txt"), file("top.txt"), file("docs/.hidden")});
        CArchiveDataModel model;
        QVERIFY(model.openArchive(archive, QString()));
        model.setCurrentDir(folder);
        const QList<int> indexes = model.getInArchiveIndexesWithSubdir(rowsNamed(model, selected));

        // The peer tool numbers the entries in the same order.
        const testarchives::PeerListing listing = testarchives::listWith7z(archive);
        QStringList names;
        for (int index : indexes)
            names << listing.items.value(index).value(QStringLiteral("Path"));
        names.sort();
        collected.sort();
        QCOMPARE(names, collected);
    }

    void foreignNameBytesShowReadably()
    {
        // A Latin-1 name, as tar files from other systems hold them.
        const QString name = QFile::decodeName("caf\xe9.txt");
        const QString archive = m_browse + QStringLiteral("/latin1.tar");
        testenv::writeFile(archive, testarchives::makeTar({file(name, "x")}));
        CArchiveDataModel model;
        QVERIFY(model.openArchive(archive, QString()));
        QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(),
                 QString::fromUtf8("caf\xef\xbf\xbd.txt"));
        // A rename starts from the name that leads to the bytes.
        QCOMPARE(model.data(model.index(0, 0), Qt::EditRole).toString(), name);
    }

    void dropBackIntoTheSourceExtractsNothing_data()
    {
        QTest::addColumn<QString>("dropFolder");
        QTest::addColumn<bool>("extracts");

        QTest::newRow("the folder they came from") << "docs" << false;
        QTest::newRow("another folder") << "other" << true;
    }

    void dropBackIntoTheSourceExtractsNothing()
    {
        QFETCH(QString, dropFolder);
        QFETCH(bool, extracts);

        const QString archive =
            zip({file("docs/a.txt", "a"), file("docs/sub/deeper/b.txt", "b"), file("other/c")});
        CArchiveDataModel model;
        QVERIFY(model.openArchive(archive, QStringLiteral("docs")));
        std::unique_ptr<QMimeData> data(model.mimeData(rowsNamed(model, {"a.txt", "sub"})));

        CArchiveDataModel::m_archivePathDataDroppedIn = archive;
        CArchiveDataModel::m_archiveFolderDataDroppedIn = dropFolder;
        CArchiveDataModel::m_timeDataDroppedIn = QDateTime::currentMSecsSinceEpoch();
        MainWindow::setDropEventStarted();
        data->data(QStringLiteral("text/uri-list"));
        MainWindow::setDropEventEnded();
        QCOMPARE(!testenv::listTree(model.dragFolder()).isEmpty(), extracts);
    }

private:
    QString zip(const QList<testarchives::Entry>& entries)
    {
        const QString path = m_browse + QStringLiteral("/a.zip");
        testenv::writeFile(path, testarchives::makeZip(entries));
        return path;
    }

    static QModelIndexList rowsNamed(const CArchiveDataModel& model, const QStringList& names)
    {
        QModelIndexList rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            if (names.contains(model.rowInfo(row).name))
                rows << model.index(row, 0);
        }
        return rows;
    }

    QString m_dir;
    QString m_archive;
    QString m_browse;
};

QUENVAR_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
