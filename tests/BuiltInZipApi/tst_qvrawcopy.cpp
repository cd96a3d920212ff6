// Copying entries raw from one own-format archive into another, as updates do.
#include "common/testenv.h"

#include "qvbytes.h"

#include <QFile>

using namespace qvbytes;

namespace {

struct Item
{
    QString name;
    QByteArray data;
    int level;
};

bool writeArchive(const QString& path, const QString& password, const QList<Item>& items)
{
    // Levels change per entry, so every entry goes in through an append.
    QFile::remove(path);
    zip_t* zip = zip_open(path, 6, 'w', -1, password);
    if (!zip || zip_close(zip) != 0)
        return false;
    for (const Item& item : items) {
        zip = zip_open(path, item.level, 'a', -1, password);
        if (!zip || addEntry(zip, item.name, item.data) != 0) {
            zip_close(zip);
            return false;
        }
        if (zip_close(zip) != 0)
            return false;
    }
    return true;
}

// Copies the given source entries (with new names where given) into target.
bool copyEntries(const QString& source, const QString& sourcePassword, const QString& target,
                 const QList<QPair<int, QString>>& picks, ZipError* error = nullptr)
{
    zip_t* src = zip_open(source, 0, 'r', -1, sourcePassword);
    zip_t* dest = zip_open(target, 0, 'w', -1, QString());
    bool ok = src && dest;
    for (const auto& pick : picks) {
        if (!ok)
            break;
        ok = mz_zip_writer_add_from_zip_reader(dest, src, pick.first, pick.second, false);
    }
    if (error)
        *error = zip_last_error(dest);
    zip_close(src);
    return zip_close(dest) == 0 && ok;
}

QByteArray extracted(const QString& archive, const QString& password, int index)
{
    const QString out = archive + QString(".out%1").arg(index);
    zip_t* zip = zip_open(archive, 0, 'r', -1, password);
    const int result = zip ? extract(zip, index, out) : -1;
    zip_close(zip);
    const QByteArray data = result == 0 ? testenv::readFile(out) : QByteArray("<failed>");
    QFile::remove(out);
    return data;
}

} // namespace

class TestQvRawCopy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void plainEntriesKeepTheirBytes();
    void renamesGoToTheDirectoryOnly();
    void scrambledEntriesStayReadableWhenMoved_data();
    void scrambledEntriesStayReadableWhenMoved();
    void movingScrambledDataNeedsThePassword();
    void wrongPasswordIsCaughtWhileCopying();
    void unmovedAndPlainStoredEntriesNeedNoPassword();
    void archivesOfTheOriginalRuleStayReadable_data();
    void archivesOfTheOriginalRuleStayReadable();
    void copyThenAppendLikeAnUpdate();
    void copyRefusals();

private:
    QString m_dir;
};

void TestQvRawCopy::initTestCase()
{
    m_dir = testenv::makeDir("qvrawcopy");
}

void TestQvRawCopy::plainEntriesKeepTheirBytes()
{
    const QString source = m_dir + "/plain.qv";
    const QList<Item> items = {{"first.txt", text(9000), 6},   {"dropped.bin", pattern(5000), 6},
                               {"stored.bin", pattern(3000), 0}, {"folder/", {}, 6},
                               {"empty", {}, 0},                 {"last.bin", pattern(200000), 9}};
    QVERIFY(writeArchive(source, QString(), items));
    const QString target = m_dir + "/plain-copy.qv";
    QVERIFY(copyEntries(source, QString(), target, {{0, {}}, {2, {}}, {3, {}}, {4, {}}, {5, {}}}));

    const QByteArray before = testenv::readFile(source);
    const QByteArray after = testenv::readFile(target);
    const QVector<Listed> old = parse(before);
    const QVector<Listed> copied = parse(after);
    QCOMPARE(copied.size(), 5);
    const QList<int> from = {0, 2, 3, 4, 5};
    for (int i = 0; i < copied.size(); ++i) {
        const Listed& o = old[from[i]];
        const Listed& c = copied[i];
        QCOMPARE(c.name, o.name);
        QCOMPARE(c.method, o.method);
        QCOMPARE(c.crc, o.crc);
        QCOMPARE(c.compressed, o.compressed);
        QCOMPARE(c.uncompressed, o.uncompressed);
        QCOMPARE(c.dosTime, o.dosTime);
        QCOMPARE(c.dosDate, o.dosDate);
        QCOMPARE(c.external, o.external);
        QCOMPARE(dataOf(after, c), dataOf(before, o));
        // The local header and its name travel unchanged.
        QCOMPARE(after.mid(int(c.localOffset), int(c.dataOffset - c.localOffset)),
                 before.mid(int(o.localOffset), int(o.dataOffset - o.localOffset)));
    }
    QVERIFY(copied[1].localOffset < old[2].localOffset);
    for (int i = 0; i < 5; ++i)
        if (!items[from[i]].name.endsWith('/'))
            QCOMPARE(extracted(target, QString(), i), items[from[i]].data);
}

void TestQvRawCopy::renamesGoToTheDirectoryOnly()
{
    const QString source = m_dir + "/rename.qv";
    QVERIFY(writeArchive(source, QString(), {{"docs/", {}, 6}, {"docs/a.txt", "a", 6}, {"b.txt", "b", 6}}));
    const QString target = m_dir + "/rename-copy.qv";
    zip_t* src = zip_open(source, 0, 'r', -1, QString());
    zip_t* dest = zip_open(target, 0, 'w', -1, QString());
    QVERIFY(mz_zip_writer_add_from_zip_reader(dest, src, 0, QString::fromUtf8("папка"), true));
    QVERIFY(mz_zip_writer_add_from_zip_reader(dest, src, 1, QString::fromUtf8("папка/a.txt"), false));
    QVERIFY(mz_zip_writer_add_from_zip_reader(dest, src, 2, QString(), false));
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, 2, QString(ZIP_MAX_NAME_CHARS + 1, 'x'), false));
    QCOMPARE(zip_last_error(dest), ZIP_ELIMIT);
    zip_close(src);
    QCOMPARE(zip_close(dest), 0);

    const QByteArray after = testenv::readFile(target);
    const QVector<Listed> copied = parse(after);
    QCOMPARE(copied.size(), 3);
    QCOMPARE(copied[0].name, QString::fromUtf8("папка/"));
    QCOMPARE(copied[1].name, QString::fromUtf8("папка/a.txt"));
    QCOMPARE(copied[2].name, QStringLiteral("b.txt"));
    // The local header still carries the stored name.
    QCOMPARE(after.mid(int(copied[1].localOffset) + 38, int(copied[1].dataOffset - copied[1].localOffset) - 38),
             utf32Name("docs/a.txt"));
    QCOMPARE(extracted(target, QString(), 1), QByteArray("a"));
}

void TestQvRawCopy::scrambledEntriesStayReadableWhenMoved_data()
{
    QTest::addColumn<QString>("password");
    for (const QString& password : {QString("k"), QString("pw"), QString("abc"), QString("four"), QString("secret"),
                                    QString::fromUtf8("семь7ми"), QString(41, 'L')})
        QTest::newRow(qPrintable(QString("length %1").arg(password.size()))) << password;
}

void TestQvRawCopy::scrambledEntriesStayReadableWhenMoved()
{
    QFETCH(QString, password);
    const QString source = m_dir + "/scrambled.qv";
    const QList<Item> items = {{"a", text(1000), 6}, {"bb", pattern(777), 6}, {"ccc", text(90000), 6},
                               {"d", pattern(100001), 6}, {"stored", text(70000), 0}};
    QVERIFY(writeArchive(source, password, items));
    // Dropping the first entry moves every other one by a different amount
    // than dropping the second.
    for (const QList<QPair<int, QString>>& picks :
         {QList<QPair<int, QString>>{{1, {}}, {2, {}}, {3, {}}, {4, {}}},
          QList<QPair<int, QString>>{{0, {}}, {2, {}}, {3, {}}, {4, {}}},
          QList<QPair<int, QString>>{{4, {}}, {3, {}}, {2, {}}, {1, {}}, {0, {}}}}) {
        const QString target = m_dir + "/scrambled-copy.qv";
        ZipError error = ZIP_ENOERROR;
        QVERIFY(copyEntries(source, password, target, picks, &error));
        QCOMPARE(error, ZIP_ENOERROR);
        for (int i = 0; i < picks.size(); ++i)
            QCOMPARE(extracted(target, password, i), items[picks[i].first].data);
        // And a copy of the copy, moved once more.
        const QString again = m_dir + "/scrambled-again.qv";
        QVERIFY(copyEntries(target, password, again, {{picks.size() - 1, {}}, {0, {}}}));
        QCOMPARE(extracted(again, password, 0), items[picks.last().first].data);
        QCOMPARE(extracted(again, password, 1), items[picks.first().first].data);
    }
}

void TestQvRawCopy::movingScrambledDataNeedsThePassword()
{
    const QString source = m_dir + "/needs.qv";
    QVERIFY(writeArchive(source, "pw", {{"a", text(1000), 6}, {"b", text(3000), 6}}));
    const QString target = m_dir + "/needs-copy.qv";
    zip_t* src = zip_open(source, 0, 'r', -1, QString());
    zip_t* dest = zip_open(target, 0, 'w', -1, QString());
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, 1, QString(), false));
    QCOMPARE(zip_last_error(dest), ZIP_EPASSWORD);
    // The failed copy left the target as it was: given the password, the
    // same copy goes through.
    zip_set_password(src, "pw");
    QVERIFY(mz_zip_writer_add_from_zip_reader(dest, src, 1, QString(), false));
    zip_close(src);
    QCOMPARE(zip_close(dest), 0);
    QCOMPARE(parse(testenv::readFile(target)).size(), 1);
    QCOMPARE(extracted(target, "pw", 0), text(3000));
}

void TestQvRawCopy::wrongPasswordIsCaughtWhileCopying()
{
    const QString source = m_dir + "/caught.qv";
    QVERIFY(writeArchive(source, "right", {{"a", text(1000), 6}, {"b", text(50000), 6}, {"c", "c", 6}}));
    const QString target = m_dir + "/caught-copy.qv";
    zip_t* src = zip_open(source, 0, 'r', -1, "wrong");
    zip_t* dest = zip_open(target, 0, 'w', -1, QString());
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, 1, QString(), false));
    QCOMPARE(zip_last_error(dest), ZIP_EDATA);
    // A one-character key divides every move, yet the data is still checked.
    zip_set_password(src, "w");
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, 1, QString(), false));
    QCOMPARE(zip_last_error(dest), ZIP_EDATA);
    zip_set_password(src, "right");
    QVERIFY(mz_zip_writer_add_from_zip_reader(dest, src, 2, QString(), false));
    zip_close(src);
    QCOMPARE(zip_close(dest), 0);
    QCOMPARE(parse(testenv::readFile(target)).size(), 1);
    QCOMPARE(extracted(target, "right", 0), QByteArray("c"));
}

void TestQvRawCopy::unmovedAndPlainStoredEntriesNeedNoPassword()
{
    const QString source = m_dir + "/unmoved.qv";
    QVERIFY(writeArchive(source, "pw", {{"a", text(1000), 6}, {"stored", text(500), 0}, {"c", text(10), 6}}));
    const QString target = m_dir + "/unmoved-copy.qv";
    // Entry 0 stays where it was; the stored one is scrambled and moves.
    QVERIFY(copyEntries(source, QString(), target, {{0, {}}}));
    const QByteArray before = testenv::readFile(source);
    const QByteArray after = testenv::readFile(target);
    QCOMPARE(dataOf(after, parse(after)[0]), dataOf(before, parse(before)[0]));
    ZipError error = ZIP_ENOERROR;
    QVERIFY(!copyEntries(source, QString(), target, {{1, {}}}, &error));
    QCOMPARE(error, ZIP_EPASSWORD);
    // The original rule left stored data as it stands: it moves as it is.
    QVERIFY(toOriginalRule(source, "pw"));
    QVERIFY(copyEntries(source, QString(), target, {{0, {}}, {1, {}}}));
    QCOMPARE(parse(testenv::readFile(target))[1].marker, uint16_t(1));
    QCOMPARE(extracted(target, "pw", 0), text(1000));
    QCOMPARE(extracted(target, QString(), 1), text(500));
}

void TestQvRawCopy::archivesOfTheOriginalRuleStayReadable_data()
{
    QTest::addColumn<QString>("password");
    for (const auto& kind : kindsOfPassword())
        QTest::newRow(kind.first.constData()) << kind.second;
}

void TestQvRawCopy::archivesOfTheOriginalRuleStayReadable()
{
    QFETCH(QString, password);
    const QString source = m_dir + "/original.qv";
    const QList<Item> items = {{"a", text(5000), 6}, {"stored", text(3000), 0}, {"c", pattern(70000), 6},
                               {"d", text(900), 6}};
    QVERIFY(writeArchive(source, password, items));
    QVERIFY(toOriginalRule(source, password));
    for (int i = 0; i < items.size(); ++i) {
        // Over a file that exists: a form tried first is undone in a replacement too.
        QVERIFY(testenv::writeFile(source + QString(".out%1").arg(i), "old"));
        QCOMPARE(extracted(source, password, i), items[i].data);
    }

    // An update keeps the first entry where it was and moves the others,
    // whose deflate data is scrambled anew under the mended rule.
    const QList<int> picks = {0, 2, 3, 1};
    const QString target = m_dir + "/original-copy.qv";
    QVERIFY(copyEntries(source, password, target, {{0, {}}, {2, {}}, {3, {}}, {1, {}}}));
    const QByteArray after = testenv::readFile(target);
    const QVector<Listed> copied = parse(after);
    for (int i = 0; i < picks.size(); ++i) {
        const Item& item = items[picks[i]];
        QCOMPARE(extracted(target, password, i), item.data);
        if (i > 0 && item.level != 0)
            QVERIFY(inflateRaw(dataOf(after, copied[i])) != item.data);
    }
}

void TestQvRawCopy::copyThenAppendLikeAnUpdate()
{
    // Unchanged entries are copied into a new file, which is then opened for
    // appending the new ones under the request's password.
    const QString source = m_dir + "/update.qv";
    QVERIFY(writeArchive(source, "old", {{"gone", pattern(4000), 6}, {"kept", text(6000), 6}}));
    const QString target = m_dir + "/update_tmp1.qv";
    QVERIFY(copyEntries(source, "old", target, {{1, {}}}));
    zip_t* zip = zip_open(target, 6, 'a', -1, "new");
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "added", text(700)), 0);
    QCOMPARE(zip_close(zip), 0);
    QCOMPARE(extracted(target, "old", 0), text(6000));
    QCOMPARE(extracted(target, "new", 1), text(700));
    // The source stayed as it was.
    QCOMPARE(extracted(source, "old", 0), pattern(4000));
}

void TestQvRawCopy::copyRefusals()
{
    const QString source = m_dir + "/refuse.qv";
    QVERIFY(writeArchive(source, QString(), {{"a", "a", 6}}));
    zip_t* src = zip_open(source, 0, 'r', -1, QString());
    zip_t* dest = zip_open(m_dir + "/refuse-copy.qv", 0, 'w', -1, QString());
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, 1, QString(), false));
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, -1, QString(), false));
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, nullptr, 0, QString(), false));
    QVERIFY(!mz_zip_writer_add_from_zip_reader(src, dest, 0, QString(), false));
    QCOMPARE(zip_last_error(dest), ZIP_EARGS);
    // Not while an entry of the target is being written.
    const std::wstring name = L"open";
    QCOMPARE(zip_entry_open_last_access(dest, name.c_str(), 1), 0);
    QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, 0, QString(), false));
    QCOMPARE(zip_entry_close(dest), 0);
    QVERIFY(mz_zip_writer_add_from_zip_reader(dest, src, 0, QString(), false));
    zip_close(src);
    QCOMPARE(zip_close(dest), 0);
    zip_t* zip = zip_open(m_dir + "/refuse-copy.qv", 0, 'r', -1, QString());
    QCOMPARE(names(zip), QStringList({"open", "a"}));
    zip_close(zip);
}

QUENVAR_TEST_MAIN(TestQvRawCopy)
#include "tst_qvrawcopy.moc"
