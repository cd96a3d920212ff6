// Every text the program shows has its Russian translation. lupdate reads the
// code into a copy of the catalogue, as the update_translations target does;
// a text it finds new (unfinished) or gone from the code (vanished) fails by
// name, and so does a translation that drops a placeholder or an accelerator.
#include "common/testenv.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

struct Message
{
    QString context;
    QString source;
    QString state; // the translation's type: empty when finished
    QStringList forms; // the translation, or one text per plural form
};

QList<Message> readCatalogue(const QByteArray& xml)
{
    QList<Message> messages;
    QXmlStreamReader reader(xml);
    QString context;
    Message message;
    bool numerus = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == QLatin1String("message"))
            messages << message;
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QLatin1String("name")) {
            context = reader.readElementText();
        } else if (reader.name() == QLatin1String("message")) {
            message = Message{context, {}, {}, {}};
            numerus = reader.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
        } else if (reader.name() == QLatin1String("source")) {
            message.source = reader.readElementText();
        } else if (reader.name() == QLatin1String("translation")) {
            message.state = reader.attributes().value(QLatin1String("type")).toString();
            if (!numerus)
                message.forms << reader.readElementText();
        } else if (reader.name() == QLatin1String("numerusform")) {
            message.forms << reader.readElementText();
        }
    }
    return messages;
}

QStringList placeholders(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral("%(\\d+|n)"));
    QStringList found;
    for (auto it = marker.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

// "&File" marks F as the accelerator; "&&" and entities such as "&lt;" do not.
bool hasAccelerator(QString text)
{
    static const QRegularExpression accelerator(QStringLiteral("&(?![&\\s])(?!#?\\w+;)"));
    return text.replace(QLatin1String("&&"), QString()).contains(accelerator);
}

} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QList<Message> m_messages;

    void addMessageRows() const
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("forms");
        for (const Message& message : m_messages)
            QTest::newRow(qPrintable(message.context + QLatin1String(": ") + message.source))
                << message.source << message.state << message.forms;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString catalogue = m_dir.filePath(QStringLiteral("Quenvar_ru.ts"));
        QVERIFY(
            QFile::copy(QStringLiteral(QUENVAR_SOURCE_DIR "/ui/lang/Quenvar_ru.ts"), catalogue));
        QVERIFY(QFile::setPermissions(catalogue, QFile::ReadOwner | QFile::WriteOwner));
        QStringList arguments{"-I", QUENVAR_SOURCE_DIR, "-locations", "none"};
        arguments << QString::fromUtf8(QUENVAR_TRANSLATED_DIRS).split(QLatin1Char(',')) << "-ts"
            << catalogue;
        const testenv::ProcessResult lupdate = testenv::runProcess(
            QStringLiteral(QUENVAR_LUPDATE), arguments, 120000, QStringLiteral(QUENVAR_SOURCE_DIR));
        QVERIFY2(lupdate.finished && lupdate.exitCode == 0, lupdate.out + lupdate.err);
        m_messages = readCatalogue(testenv::readFile(catalogue));
        QVERIFY(!m_messages.isEmpty());
    }

    void everyTextTranslated_data() { addMessageRows(); }

    void everyTextTranslated()
    {
        QFETCH(QString, state);
        QFETCH(QStringList, forms);
        QVERIFY2(state != QLatin1String("vanished") && state != QLatin1String("obsolete"),
                 "no longer in the code: the update_translations target removes it");
        QVERIFY2(state != QLatin1String("unfinished"), "no Russian translation");
        for (const QString& form : qAsConst(forms))
            QVERIFY2(!form.isEmpty(), "a form of the translation is empty");
    }

    void translationKeepsMarkers_data() { addMessageRows(); }

    void translationKeepsMarkers()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, forms);
        for (const QString& form : qAsConst(forms)) {
            if (form.isEmpty())
                continue; // a missing translation fails everyTextTranslated
            QCOMPARE(placeholders(form), placeholders(source));
            QCOMPARE(hasAccelerator(form), hasAccelerator(source));
        }
    }
};

QUENVAR_TEST_MAIN(TestTranslation)
#include "tst_translation.moc"
