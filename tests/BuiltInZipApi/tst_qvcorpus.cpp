// Replays every input the reader fuzzer kept (fuzz/corpus/qv) through the
// same harness, so that what fuzzing once found stays fixed.
#include "common/testenv.h"

#include "qv_reader_harness.h"

#include <QDir>
#include <QFile>

class TestQvCorpus : public QObject
{
    Q_OBJECT

private slots:
    void replayCorpus();
    void harnessWorksAGoodArchive();
};

void TestQvCorpus::replayCorpus()
{
    const QDir corpus(QStringLiteral(QUENVAR_SOURCE_DIR "/fuzz/corpus/qv"));
    const QStringList inputs = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY2(inputs.size() >= 20, qPrintable(corpus.path()));
    const QString work = testenv::makeDir("qvcorpus");
    int opened = 0;
    for (const QString& name : inputs) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QString broken;
        QVERIFY2(qvReaderHarness(reinterpret_cast<const uint8_t*>(data.constData()),
                                 size_t(data.size()), work, &broken),
                 qPrintable(name + ": " + broken));
        opened += QFile::exists(work + "/copy.qv") ? 1 : 0;
    }
    // The corpus is more than junk the reader refuses at once.
    QVERIFY(opened > inputs.size() / 10);
}

void TestQvCorpus::harnessWorksAGoodArchive()
{
    // Refused input passes trivially; a good archive gets listed, copied
    // and appended to.
    const QString work = testenv::makeDir("qvcorpus-check");
    const QByteArray empty = QByteArray(1, char(qvHarnessFlags(false, 0)))
        + QByteArray::fromHex("AA4A0506") + QByteArray(22, '\0');
    QVERIFY(qvReaderHarness(reinterpret_cast<const uint8_t*>(empty.constData()),
                            size_t(empty.size()), work));
    QVERIFY(QFile::exists(work + "/copy.qv"));
    QVERIFY(QFileInfo(work + "/in.qv").size() > empty.size());
}

QUENVAR_TEST_MAIN(TestQvCorpus)
#include "tst_qvcorpus.moc"
