// The copy and delete progress dialogs on real files: each conflict answer
// of copies and moves, a move to another file system with its statistics,
// what is refused before anything is copied, the report of failed
// deletions, and the question before a deletion is aborted.
#include "ui/dialogtest.h"
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "ui/DeleteProgressDialog.h"
#include "ui/copyprogressdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <cerrno>
#include <cstring>

using dialogtest::child;

namespace {

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

// Runs a copy or move to its end. With atEnd, "Do not close" is ticked,
// atEnd sees the dialog once its button reads "Close", then closes it.
void runCopy(const QStringList& sources, const QString& destination, bool move,
             const std::function<void(QDialog*)>& atEnd = nullptr)
{
    auto* dialog = new CopyProgressDialog(sources, destination, nullptr, move);
    if (atEnd) {
        child<QCheckBox>(dialog, "cbDontClose")->setChecked(true);
        const QPointer<QDialog> guard(dialog);
        auto* button = child<QPushButton>(dialog, "pbCancel");
        testenv::whenTrue([guard, button] { return guard && button->text() == "Close"; },
                          [guard, button, atEnd] {
                              atEnd(guard);
                              button->click();
                          });
    }
    testenv::execModal(dialog, [](QDialog*) {});
}

// Every file below root as "path=content", sorted.
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

class TestCopyAndDelete : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        UserActions::reset();
        CSettings::setBoolValue("RemoveSourceFiles", false);
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
        QTest::newRow("copy: skip, then replace")
            << false << QStringList{"pbSkip", "pbReplace"} << false
            << QStringList{"a.txt=old a", "b.txt=new b", "c.txt=new c"} << all;
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

    void moveToOtherFileSystem()
    {
        const QString other = testenv::makeDirOnOtherFileSystem("moved");
        if (other.isEmpty())
            QSKIP("no second file system (/dev/shm) on this machine");
        const QString from = testenv::makeDir("tomove");
        const QString reference = testenv::makeDir("reference");
        const QMap<QString, QByteArray> files{{"docs/big.bin", testenv::randomBytes(3 << 20)},
                                              {"docs/sub/x.txt", "x"},
                                              {"docs/.hidden", "hidden"},
                                              {"single.txt", "single"}};
        testenv::makeTree(from, files);
        testenv::makeTree(reference, files);
        QFile::link("sub/x.txt", from + "/docs/link");
        QFile::link("sub/x.txt", reference + "/docs/link");

        QMap<QString, QString> shown;
        int progress = -1;
        runCopy({from + "/docs", from + "/single.txt"}, other, true, [&](QDialog* dialog) {
            shown["title"] = dialog->windowTitle();
            for (const char* name :
                 {"lbNumberValue", "lbTotalValue", "lbProcessedValue", "lbCurrentFile"})
                shown[name] = child<QLabel>(dialog, name)->text();
            progress = child<QProgressBar>(dialog, "pgProgress")->value();
        });
        // Four files and a link, whose bytes are not counted.
        const QString size = formatDataSize((3 << 20) + 1 + 6 + 6);
        QCOMPARE(shown["title"], QString("Moving..."));
        QCOMPARE(shown["lbNumberValue"], QString("5/5"));
        QCOMPARE(shown["lbTotalValue"], size);
        QCOMPARE(shown["lbProcessedValue"], size);
        QVERIFY(!shown["lbCurrentFile"].isEmpty());
        QCOMPARE(progress, 100);
        QCOMPARE(testenv::compareTrees(reference, other), QString());
        QCOMPARE(testenv::listTree(from), QStringList());
    }

    void refusedBeforeAnythingIsCopied_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("move");
        QTest::addColumn<QString>("message"); // empty: not refused

        const QString missing = "Path to destination does not exist.";
        const QString subsidiary
            = "Source and its subsidiary folders cannot be destination folders.";
        QTest::newRow("destination missing")
            << "file.txt" << "missing" << false << "An error occurred while copying. " + missing;
        QTest::newRow("destination missing, move")
            << "folder" << "missing" << true << "An error occurred while moving. " + missing;
        QTest::newRow("destination is a file")
            << "file.txt" << "target.txt" << false << "An error occurred while copying. " + missing;
        QTest::newRow("folder into itself") << "folder" << "folder" << false << subsidiary;
        QTest::newRow("folder below itself, move") << "folder"
                                                   << "folder/sub" << true << subsidiary;
        QTest::newRow("folder below itself through a link")
            << "folder" << "link" << false << subsidiary;
        QTest::newRow("the root folder anywhere") << "/" << "folder" << false << subsidiary;
        QTest::newRow("file into its own folder")
            << "file.txt" << "" << false << "Source and destination files are the same. %1";
        QTest::newRow("a folder into a sibling named alike") << "folder"
                                                             << "folder2" << false << "";
        QTest::newRow("a link to a folder into that folder")
            << "folderlink" << "folder2" << false << "";
    }

    void refusedBeforeAnythingIsCopied()
    {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(bool, move);
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
        // What the paths alone decide, before anything is touched.
        const QString refusal = message.startsWith("Source") ? message : QString();
        QCOMPARE(copyRefusal({path}, work + "/" + destination), refusal);
        if (message.isEmpty())
            return;
        const QStringList before = contents(work);
        QString title;
        QString text;
        testenv::answerNextMessageBox(&title, &text);
        runCopy({path}, work + "/" + destination, move);
        QCOMPARE(title + ": " + text, "Error: " + message);
        QCOMPARE(contents(work), before);
    }

    void failedDeletions_data()
    {
        QTest::addColumn<int>("failures");
        QTest::newRow("nine are listed") << 9;
        QTest::newRow("ten are counted") << 10;
    }

    void failedDeletions()
    {
        QFETCH(int, failures);
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
        QString expected = failures >= 10 ? QString("Failed to delete %1 item(s)\n\n").arg(failures)
                                          : QString("Failed to delete the following items:\n\n");
        for (const QString& path : missing.mid(0, 9))
            expected += "  " + path + ": " + QString::fromLocal8Bit(strerror(ENOENT)) + "\n";
        if (failures >= 10)
            expected += QString("  and %1 more\n").arg(failures - 9);
        QCOMPARE(title, QString("Error"));
        QCOMPARE(text, expected);
    }

    void abortQuestion_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("restDeleted");
        QTest::newRow("yes stops") << "Yes" << false;
        QTest::newRow("no goes on") << "No" << true;
    }

    void abortQuestion()
    {
        QFETCH(QString, answer);
        QFETCH(bool, restDeleted);
        const QString dir = testenv::makeDir("abort");
        testenv::makeTree(dir, {{"a.txt", "a"}, {"b.txt", "b"}});

        DeleteProgressDialog dialog({dir + "/gone.txt", dir + "/a.txt", dir + "/b.txt"}, false);
        child<QCheckBox>(&dialog, "cbDontClose")->setChecked(true);
        QString question;
        // Cancel while the deleter waits for the answer about its first path,
        // then answer that one with Skip.
        testenv::whenModalAppears(
            [&](QWidget*) {
                dialog.on_pbCancel_clicked();
                testenv::whenModalAppears(
                    [&](QWidget* modal) {
                        auto* box = qobject_cast<QMessageBox*>(modal);
                        question = box->windowTitle() + ": " + box->text();
                        for (QAbstractButton* button : box->buttons()) {
                            if (button->text() == answer)
                                button->click();
                        }
                        testenv::whenModalAppears(
                            [](QWidget* conflict) {
                                child<QPushButton>(conflict, "pbSkip")->click();
                            },
                            "ConflictDialog");
                    },
                    "QMessageBox");
            },
            "ConflictDialog");
        auto* button = child<QPushButton>(&dialog, "pbCancel");
        testenv::whenTrue([button] { return button->text() == "Close"; },
                          [button] { button->click(); });
        QCOMPARE(testenv::execModal(&dialog, [](QDialog*) {}), int(QDialog::Accepted));

        QCOMPARE(question, QString("Interrupt: Are you sure you want to abort the operation?"));
        QCOMPARE(dialog.failedPaths(), QStringList{dir + "/gone.txt"});
        const QStringList rest = restDeleted ? QStringList() : QStringList{"a.txt", "b.txt"};
        QCOMPARE(testenv::listTree(dir), rest);
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
        testenv::whenModalAppears(
            [&](QWidget*) {
                testenv::HangGuard guard(deleted ? "deleting the dialog" : "closing the dialog",
                                         30000);
                if (deleted)
                    delete dialog.data();
                else
                    dialog->close();
                gone = true;
            },
            "ConflictDialog");
        dialog->show();
        QTRY_VERIFY_WITH_TIMEOUT(gone, 30000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        delete dialog.data();
        // Nothing after the question was done, and no answer is left over.
        QCOMPARE(contents(dir),
                 QStringList({"from/a.txt=new a", "from/b.txt=new b", "to/a.txt=old a"}));
        QVERIFY(!UserActions::isChosen(UA_CANCEL));
    }
};

QUENVAR_TEST_MAIN(TestCopyAndDelete)
#include "tst_copyanddelete.moc"
