// The archive progress dialog on real operations, on a clock the test drives. A dialog started
// paused holds its worker.
#include "ui/dialogtest.h"
#include "common/testenv.h"

#include "engine/ArchiveLock.h"
#include "engine/ArchiveProgressDlg.h"
#include "engine/OperationPriority.h"
#include "fileops/UserActions.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>

using dialogtest::child;

namespace {

QString label(QWidget* dialog, const char* name)
{
    return child<QLabel>(dialog, name)->text();
}

} // namespace

class TestProgressDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_data = testenv::makeDir("data");
        testenv::makeTree(
            m_data, {{"big.bin", testenv::randomBytes(4 << 20)}, {"sub/small.txt", "small\n"}});
    }

    void init() { UserActions::reset(); }

    void statisticsFollowTheRunningTime()
    {
        ArchiveProgressDlg dialog;
        qint64 now = 0;
        dialog.setClock([&now] { return now; });
        ArchiveProgress& progress = dialog.progressBlock();
        const uint64_t MiB = 1 << 20;
        // Scanning: every number is unknown, only the time runs.
        progress.operation = AO_SCANNING;
        progress.setCurrentFile("/data/a.txt");
        now = 2000;
        dialog.refreshDialog();
        QCOMPARE(label(&dialog, "lbElapsedValue"), QString("00:00:02"));
        QCOMPARE(label(&dialog, "lblOperation"), QString("Scanning:"));
        QCOMPARE(child<QTextEdit>(&dialog, "txtOperation2")->toPlainText(),
                 QString("/data/a.txt"));
        for (const char* name :
             {"lbSpeedValue", "lbExpectedSize", "lbCompressRateValue", "lbCompressedValue",
              "lbProcessedValue", "lbTotalValue", "lbRemainValue"})
            QCOMPARE(label(&dialog, name), QString("-"));

        // One second of compressing after two of scanning: the speed counts the one second.
        progress.operation = AO_COMPRESSING;
        progress.total = 10 * MiB;
        progress.completed = 1 * MiB;
        progress.compressedSize = MiB / 2;
        now = 3000;
        dialog.refreshDialog();
        QCOMPARE(label(&dialog, "lbSpeedValue"), QString("1.00 MB/s"));
        QCOMPARE(label(&dialog, "lbRemainValue"), QString("00:00:09"));
        QCOMPARE(label(&dialog, "lbCompressRateValue"), QString("50%"));
        QCOMPARE(label(&dialog, "lbExpectedSize"), QString("-"));

        // A pause of a minute, with a refresh in it, does not count, and the speed stays.
        auto* pause = child<QPushButton>(&dialog, "pbPause");
        pause->click();
        now = 63000;
        dialog.refreshDialog();
        QCOMPARE(label(&dialog, "lbElapsedValue"), QString("00:00:03"));
        pause->click();
        now = 64000;
        progress.completed = 2 * MiB;
        dialog.refreshDialog();
        QCOMPARE(label(&dialog, "lbElapsedValue"), QString("00:00:04"));
        QCOMPARE(label(&dialog, "lbSpeedValue"), QString("1.00 MB/s"));
    }

    void cancelAsks_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("closeWindow");
        QTest::addColumn<bool>("waiting"); // for another update of the archive
        QTest::newRow("no goes on, and the dialog stays with Close") << "No" << false << false;
        // Closing the window asks the same question.
        QTest::newRow("yes stops and leaves nothing") << "Yes" << true << false;
        QTest::newRow("yes while waiting for another update") << "Yes" << false << true;
    }

    void cancelAsks()
    {
        QFETCH(QString, answer);
        QFETCH(bool, closeWindow);
        QFETCH(bool, waiting);
        ArchiveProgressDlg dialog;
        qint64 now = 0;
        dialog.setClock([&now] { return now; });
        const QString folder = testenv::makeDir(answer);
        const QString archive = folder + "/data.7z";
        QByteArray before;
        ArchiveLock other(archive);
        const CompressOptions options = dataRequest(archive);
        dialog.setBlocking(false);
        if (waiting) {
            QCOMPARE(testenv::run7z({"a", archive, m_data + "/sub"}).exitCode, 0);
            before = testenv::readFile(archive);
            QCOMPARE(other.acquire({}), ArchiveLock::Held);
            dialog.doCompress(options);
            QTRY_COMPARE(label(&dialog, "lblOperation"),
                         QString("Waiting for another operation on this archive..."));
        } else {
            child<QCheckBox>(&dialog, "cbDontClose")->setChecked(answer == "No");
            dialog.on_pbPause_pressed();
            dialog.doCompress(options);
            QCOMPARE(dialog.windowTitle(), QString("Compressing data.7z"));
            // Started paused: this second does not count.
            now = 1000;
            dialog.refreshDialog();
        }
        QString title, text;
        testenv::answerNextMessageBox(&title, &text, 10000, answer);
        if (closeWindow)
            dialog.reject();
        else
            child<QPushButton>(&dialog, "pbCancel")->click();
        QTRY_COMPARE(title, QString("Interrupt"));
        QCOMPARE(text, QString("Are you sure you want to abort the operation?"));
        if (answer == "Yes") {
            QTRY_VERIFY_WITH_TIMEOUT(dialog.isFinished(), 60000);
            QVERIFY(dialog.failed());
            QVERIFY(dialog.isHidden());
            other.release();
            QCOMPARE(testenv::listTree(folder), waiting ? QStringList{"data.7z"} : QStringList());
            QCOMPARE(testenv::readFile(archive), before);
            return;
        }
        QVERIFY(!dialog.progressBlock().canceled);
        child<QPushButton>(&dialog, "pbPause")->click();
        now = 2000;
        dialog.refreshDialog();
        QCOMPARE(label(&dialog, "lbElapsedValue"), QString("00:00:01"));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isFinished(), 120000);
        QVERIFY(!dialog.failed());
        // "Do not close": the dialog stays, with Close the only way out.
        QVERIFY(dialog.isVisible());
        QVERIFY(!child<QWidget>(&dialog, "pbIdle")->isVisible());
        QVERIFY(!child<QWidget>(&dialog, "pbPause")->isVisible());
        auto* close = child<QPushButton>(&dialog, "pbCancel");
        QCOMPARE(close->text(), QString("Close"));
        QCOMPARE(child<QProgressBar>(&dialog, "pgProgress")->value(), 100);
        close->click();
        QVERIFY(dialog.isHidden());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(testenv::run7z({"t", archive}).exitCode, 0);
    }

    void workerWaitsForThePassword()
    {
        // With the entries' names hidden nothing can be written before the password is given.
        const QString folder = testenv::makeDir("questions");
        QCOMPARE(testenv::run7z({"a", "-psecret", "-mhe=on", folder + "/data.7z", m_data}).exitCode,
                 0);
        ExtractOptions options;
        options.archivePath = folder + "/data.7z";
        options.targetDirectory = folder + "/out";
        ArchiveProgressDlg dialog;
        bool waited = false;
        testenv::whenModalAppears(
            [&](QWidget* question) {
                QTest::qWait(500);
                waited = !dialog.isFinished() && !QFileInfo::exists(folder + "/out/data");
                child<QLineEdit>(question, "lineEdit")->setText("secret");
                child<QPushButton>(question, "pbOk")->click();
            },
            "PasswordDialog");
        dialog.setBlocking(false);
        dialog.doExtract(options);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isFinished(), 60000);
        QVERIFY(waited);
        QVERIFY(!dialog.failed());
        QCOMPARE(child<QProgressBar>(&dialog, "pgProgress")->value(), 100);
        QCOMPARE(testenv::compareTrees(m_data, folder + "/out/data"), QString());
    }

    void dialogGoingAwayStopsAWaitingWorker_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("deleted") << true;
        QTest::newRow("closed") << false;
    }

    void dialogGoingAwayStopsAWaitingWorker()
    {
        QFETCH(bool, deleted);
        const QString folder = testenv::makeDir("away");
        QCOMPARE(testenv::run7z({"a", folder + "/data.7z", m_data}).exitCode, 0);
        const QString mine = folder + "/out/data/sub/small.txt";
        QVERIFY(testenv::writeFile(mine, "mine"));
        ExtractOptions options;
        options.archivePath = folder + "/data.7z";
        options.targetDirectory = folder + "/out";
        // Not modal: the worker asks about the existing file and waits.
        auto* dialog = new ArchiveProgressDlg;
        QPointer<ArchiveProgressDlg> alive(dialog);
        bool gone = false;
        testenv::dropDialogWhenAsked(dialog, deleted, &gone);
        dialog->setBlocking(false);
        dialog->doExtract(options);
        QTRY_VERIFY_WITH_TIMEOUT(gone, 60000);
        // The question went with the operation; the worker has stopped (closing returned only
        // then) without touching the user's file.
        QTRY_VERIFY(!QApplication::activeModalWidget());
        if (deleted) {
            QVERIFY(!alive);
        } else {
            QVERIFY(alive->isHidden());
            QVERIFY(alive->failed());
            delete alive;
        }
        QCOMPARE(testenv::readFile(mine), QByteArray("mine"));
        QCOMPARE(testenv::otherEntries(folder + "/out/data/sub", {"small.txt"}), QStringList());
        QVERIFY(!UserActions::isChosen(UA_CANCEL));
    }

    void lowPriorityLowersOnlyTheOperationThreads()
    {
        // Threads that exist before the operation (the GUI's and Qt's own) keep their priority;
        // the worker, started for the operation, is lowered.
        QMap<long, int> before;
        for (long thread : OperationPriority::processThreads())
            before[thread] = OperationPriority::threadNice(thread);
        const auto started = [&before] {
            QList<long> threads;
            for (long thread : OperationPriority::processThreads()) {
                if (!before.contains(thread))
                    threads << thread;
            }
            return threads;
        };
        const auto untouched = [&before] {
            for (auto it = before.cbegin(); it != before.cend(); ++it) {
                bool alive = false;
                const int nice = OperationPriority::threadNice(it.key(), &alive);
                if (alive && nice != it.value())
                    return false;
            }
            return true;
        };
        ArchiveProgressDlg dialog;
        dialog.setBlocking(false);
        dialog.on_pbPause_pressed();
        dialog.doCompress(dataRequest(testenv::makeDir("idle") + "/data.7z"));
        QTRY_VERIFY(!started().isEmpty());

        auto* idle = child<QPushButton>(&dialog, "pbIdle");
        QCOMPARE(idle->text(), QString("Low priority"));
        idle->click();
        QCOMPARE(idle->text(), QString("Normal priority"));
        for (long thread : started())
            QCOMPARE(OperationPriority::threadNice(thread), OperationPriority::kLowNice);
        QVERIFY(untouched());
        idle->click();
        const int guiNice = before.value(OperationPriority::currentThread());
        for (long thread : started())
            QCOMPARE(OperationPriority::threadNice(thread), guiNice);
        idle->click();
        child<QPushButton>(&dialog, "pbPause")->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isFinished(), 120000);
        QVERIFY(!dialog.failed());
        QVERIFY(untouched());
    }

private:
    CompressOptions dataRequest(const QString& archive) const
    {
        CompressOptions options;
        options.files = QStringList{m_data};
        options.baseDirectory = QFileInfo(m_data).path();
        options.archivePath = archive;
        options.level = 1;
        return options;
    }

    QString m_data;
};

QUENVAR_TEST_MAIN(TestProgressDialog)
#include "tst_progressdialog.moc"
