// The log: written only on request, one stamped line per message, from any thread.
#include "common/testenv.h"

#include "app/Logger.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

class TestLogger : public QObject
{
    Q_OBJECT

private:
    QString dataDir() const
    {
        return QStandardPaths::standardLocations(QStandardPaths::AppDataLocation).first();
    }
    QStringList logLines() const
    {
        return QString::fromUtf8(testenv::readFile(dataDir() + "/Logs/Quenvar.log"))
            .split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase();
    void silentUnlessExactlyOne();
    void linesFromAnyThreadAreWholeAndStamped();
    void removeLogFolderKeepsLastLog();
};

void TestLogger::initTestCase()
{
    static Logger logger(QStringLiteral("Quenvar.log"));
}

void TestLogger::silentUnlessExactlyOne()
{
    for (const char* value : {"", "0", "true", "01", "1 "}) {
        qputenv("QuenvarLog", value);
        qDebug() << "should not be written";
        qWarning() << "nor this";
    }
    qunsetenv("QuenvarLog");
    qDebug() << "nor this";
    QVERIFY2(!QFileInfo::exists(dataDir()), qPrintable(dataDir()));
}

void TestLogger::linesFromAnyThreadAreWholeAndStamped()
{
    qputenv("QuenvarLog", "1");
    const QDate today = QDate::currentDate();
    // The message type is not written: a warning looks like a debug line.
    qWarning().noquote() << "a warning";
    QList<QThread*> threads;
    for (int t = 0; t < 4; ++t) {
        threads << QThread::create([t]() {
            for (int i = 0; i < 200; ++i)
                qDebug().noquote() << QStringLiteral("thread %1 line %2 ").arg(t).arg(i) +
                                          QString(40, QChar('a' + t));
        });
        threads.last()->start();
    }
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
    qunsetenv("QuenvarLog");
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 801);
    // Day first, then month.
    const QString stamp = today.toString("dd/MM") + " \\d\\d:\\d\\d:\\d\\d ";
    QVERIFY2(QRegularExpression("^" + stamp + "a warning$").match(lines.first()).hasMatch(),
             qPrintable(lines.first()));
    const QRegularExpression whole("^" + stamp + "thread (\\d) line \\d+ ([a-d])\\2{39}$");
    for (const QString& line : lines.mid(1)) {
        const auto match = whole.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QCOMPARE(match.captured(2).at(0), QChar('a' + match.captured(1).toInt()));
    }
}

void TestLogger::removeLogFolderKeepsLastLog()
{
    const QStringList last = logLines();
    QVERIFY(!last.isEmpty());
    Logger::removeLogFolder();
    QVERIFY(!QFileInfo::exists(dataDir()));
    const QString kept = QDir::tempPath() + "/b.log";
    QCOMPARE(QDir::tempPath(), testenv::tempDir());
    QCOMPARE(QString::fromUtf8(testenv::readFile(kept)).split('\n', Qt::SkipEmptyParts), last);
}

QUENVAR_TEST_MAIN(TestLogger)
#include "tst_logger.moc"
