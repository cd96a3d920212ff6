// The settings store and log, and the settings dialog on a Russian system: its boxes,
// associations and language, and the Russian catalogue checked against the code by lupdate.
#include "common/testenv.h"
#include "ui/dialogtest.h"

#include "app/Logger.h"
#include "app/settings.h"
#include "desktop/RegistryUtils.h"
#include "ui/compressdialog.h"
#include "ui/settingsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>

Q_DECLARE_METATYPE(ZipFormat)

using dialogtest::child;

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

class TestSettingsDialog : public QObject
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

    static void close(SettingsDialog& dialog)
    {
        QTest::mouseClick(child<QPushButton>(&dialog, "pbClose"), Qt::LeftButton);
    }
    static QList<QCheckBox*> associationBoxes(SettingsDialog& dialog)
    {
        return dialog.findChildren<QCheckBox*>("cbAssociations");
    }
    static QString logDir()
    {
        return QStandardPaths::standardLocations(QStandardPaths::AppDataLocation).first();
    }
    static QString settingsFile()
    {
        return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Quenvar/Settings.conf";
    }

private slots:
    void init()
    {
        QFile::remove(settingsFile());
        QFile::remove(mimeAppsListPath());
    }

    void cleanup()
    {
        installLanguage(QLocale::English);
    }

    void logWrittenOnlyOnRequestWholeLinesFromAnyThread()
    {
        static Logger logger(QStringLiteral("Quenvar.log"));
        for (const char* value : {"", "0", "true", "01", "1 "}) {
            qputenv("QuenvarLog", value);
            qWarning() << "should not be written";
        }
        QVERIFY2(!QFileInfo::exists(logDir()), qPrintable(logDir()));
        qputenv("QuenvarLog", "1");
        const QDate today = QDate::currentDate();
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
        const QByteArray log = testenv::readFile(logDir() + "/Logs/Quenvar.log");
        const QStringList lines = QString::fromUtf8(log).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 800);
        // Day first, then month.
        const QString stamp = today.toString("dd/MM") + " \\d\\d:\\d\\d:\\d\\d ";
        const QRegularExpression whole("^" + stamp + "thread (\\d) line \\d+ ([a-d])\\2{39}$");
        for (const QString& line : lines) {
            const auto match = whole.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            QCOMPARE(match.captured(2).at(0), QChar('a' + match.captured(1).toInt()));
        }
    }

    void firstRunWritesDefaultsOnce()
    {
        QVERIFY(!QFile::exists(settingsFile()));
        CSettings::initSettings();
        QVERIFY(CSettings::getBoolValue("DualPanel"));
        // A second run leaves the user's changes alone.
        CSettings::setBoolValue("DualPanel", false);
        const QByteArray before = testenv::readFile(settingsFile());
        CSettings::initSettings();
        QCOMPARE(testenv::readFile(settingsFile()), before);
    }

    // Every option box stores a setting of its own and shows it when the dialog
    // opens again.
    void optionBoxesStoreTheirSettings()
    {
        CSettings::initSettings();
        QSettings stored(settingsFile(), QSettings::IniFormat);
        QMap<QString, QString> before;
        for (const QString& key : stored.allKeys())
            before.insert(key, stored.value(key).toString());
        QMap<QString, bool> boxes;
        {
            SettingsDialog dialog;
            for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
                if (box->objectName() != QLatin1String("cbAssociations")) {
                    box->toggle();
                    boxes.insert(box->objectName(), box->isChecked());
                }
            }
            close(dialog);
        }
        stored.sync();
        int changed = 0;
        for (const QString& key : stored.allKeys())
            changed += stored.value(key).toString() != before.value(key);
        QCOMPARE(changed, boxes.size());
        SettingsDialog again;
        for (auto it = boxes.cbegin(); it != boxes.cend(); ++it)
            QCOMPARE(child<QCheckBox>(&again, qPrintable(it.key()))->isChecked(), it.value());
    }

    void associationsFollowTheBoxes_data()
    {
        QTest::addColumn<QList<ZipFormat>>("before");
        QTest::addColumn<QList<ZipFormat>>("tick");
        QTest::addColumn<bool>("closed"); // or cancelled
        QTest::addColumn<QList<ZipFormat>>("registered");
        const QList<ZipFormat> all = getListOfExtensionsToRegister();
        QTest::newRow("cancelled: nothing written")
            << QList<ZipFormat>{ZF_XZ, ZF_RAR5} << QList<ZipFormat>{} << false
            << QList<ZipFormat>{ZF_XZ, ZF_TAR_XZ, ZF_RAR5, ZF_RAR};
        QTest::newRow("none") << all << QList<ZipFormat>{} << true << QList<ZipFormat>{};
        QTest::newRow("gz and rar")
            << all << QList<ZipFormat>{ZF_GZIP, ZF_RAR5} << true
            << QList<ZipFormat>{ZF_GZIP, ZF_TAR_GZIP, ZF_RAR5, ZF_RAR};
    }

    void associationsFollowTheBoxes()
    {
        QFETCH(QList<ZipFormat>, before);
        QFETCH(QList<ZipFormat>, tick);
        QFETCH(bool, closed);
        QFETCH(QList<ZipFormat>, registered);
        SetRegisteredExtensions_local(before);
        const QByteArray file = testenv::readFile(mimeAppsListPath());
        SettingsDialog dialog;
        dialog.show();
        child<QCheckBox>(&dialog, "cbRecycleBin")->setChecked(true);
        QList<ZipFormat> shown;
        for (QCheckBox* box : associationBoxes(dialog)) {
            const auto format = ZipFormat(box->property("format_index").toInt());
            if (box->isChecked())
                shown << format;
            box->setChecked(tick.contains(format));
        }
        if (closed)
            close(dialog);
        else
            dialog.reject();
        QCOMPARE(GetRegisteredExtensions_local(), registered);
        QCOMPARE(CSettings::contains("RecycleBin"), closed);
        if (closed)
            return;
        QCOMPARE(shown, before);
        QCOMPARE(testenv::readFile(mimeAppsListPath()), file);
    }

    void languageChangesAtOnce_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("close");
        QTest::addColumn<QString>("defaultItem");
        QTest::newRow("Default") << kSystemLanguage << QString("Закрыть")
                                 << QString("По умолчанию");
        QTest::newRow("English") << int(QLocale::English) << QString("Close") << QString("Default");
    }

    void languageChangesAtOnce()
    {
        QFETCH(int, language);
        QFETCH(QString, close);
        QFETCH(QString, defaultItem);

        const bool toEnglish = close == QLatin1String("Close");
        const QLocale::Language before = toEnglish ? QLocale::Russian : QLocale::English;
        CSettings::setIntValue("DefaultLanguage", int(before));
        installLanguage(before);
        SettingsDialog dialog;
        dialog.show();
        auto* combo = child<QComboBox>(&dialog, "cbChangeLanguage");
        combo->setCurrentIndex(combo->findData(language));

        QCOMPARE(CSettings::getIntValue("DefaultLanguage"), language);
        QCOMPARE(combo->itemText(0), defaultItem);
        QTRY_COMPARE(child<QPushButton>(&dialog, "pbClose")->text(), close);
        QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->tabText(1),
                 toEnglish ? QString("Hotkeys") : QString("Горячие клавиши"));
    }

    void standardFolderGetsItsDisplayName()
    {
        QCOMPARE(QLocale::system().language(), QLocale::Russian);
        const QString documents = QDir::homePath() + "/Documents";
        QVERIFY(QDir().mkpath(documents));
        CompressDialog dialog;
        CompressOptions options;
        options.files = QStringList{documents};
        options.baseDirectory = QDir::homePath();
        options.archivePath = documents;
        dialog.setCompressOptions(options);
        auto* name = child<QComboBox>(&dialog, "cbArchiveName");
        QCOMPARE(name->currentText(), QDir::homePath() + "/Documentation.7z");
    }

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

QUENVAR_TEST_MAIN_WITH_LOCALE(TestSettingsDialog, "ru_RU.UTF-8")
#include "tst_settingsdialog.moc"
