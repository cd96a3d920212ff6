// Browsing an archive as folders: the rows of a folder (implied folders,
// hidden entries, name prefixes, order), what a selection collects, names
// that are no UTF-8, read-only kinds and a drag dropped back where it came
// from.
#include "common/testarchives.h"
#include "common/testenv.h"

#include "fileops/UserActions.h"
#include "ui/MimeData.h"
#include "ui/archivedatamodel.h"
#include "ui/mainwindow.h"

#include <QFileInfo>


using testarchives::dir;
using testarchives::file;

class TestArchiveDataModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rowsOfAFolder_data();
    void rowsOfAFolder();
    void selectionCollectsEverythingBelow_data();
    void selectionCollectsEverythingBelow();
    void foreignNameBytesShowReadably();
    void readOnlyKinds_data();
    void readOnlyKinds();
    void dropBackIntoTheSourceExtractsNothing_data();
    void dropBackIntoTheSourceExtractsNothing();

private:
    QString zip(const QList<testarchives::Entry>& entries);
    static QStringList rowNames(const CArchiveDataModel& model);
    static QModelIndexList rowsNamed(const CArchiveDataModel& model, const QStringList& names);
    QString m_dir;
};

void TestArchiveDataModel::init()
{
    UserActions::reset();
    m_dir = testenv::makeDir(QStringLiteral("browse"));
}

QString TestArchiveDataModel::zip(const QList<testarchives::Entry>& entries)
{
    const QString path = m_dir + QStringLiteral("/a.zip");
    testenv::writeFile(path, testarchives::makeZip(entries));
    return path;
}

// Names in row order, folders with a trailing "/".
QStringList TestArchiveDataModel::rowNames(const CArchiveDataModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        const ArchiveItemInfo info = model.rowInfo(row);
        names << info.name + (info.isDir ? QStringLiteral("/") : QString());
    }
    return names;
}

QModelIndexList TestArchiveDataModel::rowsNamed(const CArchiveDataModel& model,
                                                const QStringList& names)
{
    QModelIndexList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (names.contains(model.rowInfo(row).name))
            rows << model.index(row, 0);
    }
    return rows;
}

void TestArchiveDataModel::rowsOfAFolder_data()
{
    QTest::addColumn<QList<testarchives::Entry>>("entries");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("rows");

    const QList<testarchives::Entry> deep{file("a/b/c.txt", "c")};
    QTest::newRow("implied outer folder")
        << deep << "" << int(Qt::AscendingOrder) << QStringList{"a/"};
    QTest::newRow("implied inner folder")
        << deep << "a" << int(Qt::AscendingOrder) << QStringList{"b/"};
    QTest::newRow("file two folders down")
        << deep << "a/b" << int(Qt::AscendingOrder) << QStringList{"c.txt"};

    const QList<testarchives::Entry> hidden{file(".profile"), file("x.txt"),    file(".git/config"),
                                            dir(".cache"),    file(".cache/y"), file("d/.h")};
    QTest::newRow("hidden entries and folders")
        << hidden << "" << int(Qt::AscendingOrder) << QStringList{"x.txt"};

    const QList<testarchives::Entry> prefix{file("docs/a.txt"), file("docs2/b.txt"),
                                            file("docs.txt")};
    QTest::newRow("docs is not docs2")
        << prefix << "docs" << int(Qt::AscendingOrder) << QStringList{"a.txt"};
    QTest::newRow("top of docs and docs2")
        << prefix << "" << int(Qt::AscendingOrder) << QStringList{"docs/", "docs2/", "docs.txt"};

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
    QTest::newRow("folders match in any case")
        << listedLater << "p" << int(Qt::AscendingOrder) << QStringList{"q.txt", "r.txt"};
}

void TestArchiveDataModel::rowsOfAFolder()
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
    QCOMPARE(rowNames(model), rows);
}

void TestArchiveDataModel::selectionCollectsEverythingBelow_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QStringList>("collected");

    QTest::newRow("listed folder")
        << "" << QStringList{"docs"}
        << QStringList{"docs/a.txt", "docs/sub/b.txt", "docs", "docs/.hidden"};
    QTest::newRow("implied folder and a file")
        << "" << QStringList{"lone", "top.txt"} << QStringList{"lone/deep/x.txt", "top.txt"};
    QTest::newRow("inner folder") << "docs" << QStringList{"sub"} << QStringList{"docs/sub/b.txt"};
}

void TestArchiveDataModel::selectionCollectsEverythingBelow()
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

void TestArchiveDataModel::foreignNameBytesShowReadably()
{
    // A Latin-1 name, as tar files from other systems hold them.
    const QString name = QFile::decodeName("caf\xe9.txt");
    const QString archive = m_dir + QStringLiteral("/latin1.tar");
    testenv::writeFile(archive, testarchives::makeTar({file(name, "x")}));
    CArchiveDataModel model;
    QVERIFY(model.openArchive(archive, QString()));
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(),
             QString::fromUtf8("caf\xef\xbf\xbd.txt"));
    // A rename starts from the name that leads to the bytes.
    QCOMPARE(model.data(model.index(0, 0), Qt::EditRole).toString(), name);
}

void TestArchiveDataModel::readOnlyKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("updatable");

    QTest::newRow("gz") << "x.txt.gz" << false;
    QTest::newRow("bz2") << "x.txt.bz2" << false;
    QTest::newRow("xz") << "x.txt.xz" << false;
    QTest::newRow("gz volume") << "x.txt.gz.001" << false;
    QTest::newRow("rar") << "x.rar" << false;
    QTest::newRow("7z") << "x.7z" << true;
}

void TestArchiveDataModel::readOnlyKinds()
{
    QFETCH(QString, name);
    QFETCH(bool, updatable);

    const QString source = m_dir + QStringLiteral("/x.txt");
    QVERIFY(testenv::writeFile(source, "some text"));
    const QString archive = m_dir + QLatin1Char('/') + name;
    if (name.endsWith(QLatin1String(".rar"))) {
        QVERIFY(testenv::writeFile(archive, testarchives::makeRar5({file("x.txt", "some text")})));
    } else {
        const QString made = name.endsWith(QLatin1String(".001")) ? name.chopped(4) : name;
        QStringList arguments{QStringLiteral("a"), made, QStringLiteral("x.txt")};
        if (made != name)
            arguments << QStringLiteral("-v1m");
        QCOMPARE(testenv::run7z(arguments, m_dir).exitCode, 0);
    }

    CArchiveDataModel model;
    QVERIFY(model.openArchive(archive, QString()));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.isArchiveUpdateSupported(), updatable);
    const Qt::ItemFlags flags = model.flags(model.index(0, 0));
    QCOMPARE(bool(flags & Qt::ItemIsEditable), updatable);
    QCOMPARE(bool(model.flags(QModelIndex()) & Qt::ItemIsDropEnabled), updatable);
}

void TestArchiveDataModel::dropBackIntoTheSourceExtractsNothing_data()
{
    QTest::addColumn<QString>("dropFolder");
    QTest::addColumn<bool>("extracts");

    QTest::newRow("the folder they came from") << "docs" << false;
    QTest::newRow("below a dragged folder") << "docs/sub/deeper" << false;
    QTest::newRow("another folder") << "other" << true;
}

void TestArchiveDataModel::dropBackIntoTheSourceExtractsNothing()
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

QUENVAR_TEST_MAIN(TestArchiveDataModel)
#include "tst_archivedatamodel.moc"
