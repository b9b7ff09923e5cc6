#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

// Guards the catalogues against the code: every text the code passes to tr() must be in both
// committed catalogues, translated.
namespace {

struct Message
{
    QString context;
    QString source;
    QString translation;
    bool finished = true;
};

QVector<Message> readCatalogue(const QString &path, QString *error)
{
    QVector<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = Message {context, {}, {}, true};
        } else if (xml.name() == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const QStringRef type = xml.attributes().value(QLatin1String("type"));
            message.finished = type.isEmpty();
            message.translation = xml.readElementText();
            messages.append(message);
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

QString key(const Message &message)
{
    return message.context + QLatin1String(" / ") + message.source;
}

QSet<QString> keys(const QVector<Message> &messages)
{
    QSet<QString> result;
    for (const Message &message : messages)
        result.insert(key(message));
    return result;
}

QStringList sorted(const QSet<QString> &set)
{
    QStringList list = set.values();
    list.sort();
    return list;
}

} // namespace

class TestCatalogues : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cataloguesHoldTheSameTranslatedKeys();
    void everyTextOfTheCodeIsCatalogued_data();
    void everyTextOfTheCodeIsCatalogued();

private:
    QVector<Message> english;
    QVector<Message> russian;
    QVector<Message> scanned;
};

void TestCatalogues::initTestCase()
{
    QString error;
    for (const QString &path : QStringLiteral(PINROVA_CATALOGUES).split(QLatin1Char(','))) {
        const QVector<Message> messages = readCatalogue(path, &error);
        QVERIFY2(error.isEmpty(), qPrintable(path + QLatin1String(": ") + error));
        (path.endsWith(QLatin1String("_ru.ts")) ? russian : english) = messages;
    }
    QVERIFY(!english.isEmpty());
    QVERIFY(!russian.isEmpty());

    // lupdate writes what it finds in the sources into a fresh catalogue.
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString scan = scratch.filePath(QStringLiteral("scan.ts"));
    QStringList arguments {QStringLiteral("-silent"), QStringLiteral("-no-obsolete"),
        QStringLiteral("-locations"), QStringLiteral("none")};
    const QDir root(QStringLiteral(PINROVA_SOURCE_ROOT));
    for (const QString &folder : QStringLiteral(PINROVA_TRANSLATED_DIRS).split(QLatin1Char(','))) {
        if (root.exists(folder))
            arguments << root.filePath(folder);
    }
    arguments << QStringLiteral("-ts") << scan;

    QProcess lupdate;
    lupdate.start(QStringLiteral(PINROVA_LUPDATE), arguments);
    QVERIFY2(lupdate.waitForFinished(60000), qPrintable(lupdate.errorString()));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
        lupdate.readAllStandardError().constData());
    scanned = readCatalogue(scan, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // The code has at least the window title; an empty scan means lupdate looked elsewhere.
    QVERIFY(keys(scanned).contains(QStringLiteral("MainWindow / Pinrova")));
}

void TestCatalogues::cataloguesHoldTheSameTranslatedKeys()
{
    const QSet<QString> englishKeys = keys(english);
    const QSet<QString> russianKeys = keys(russian);
    QCOMPARE(sorted(englishKeys - russianKeys), QStringList());
    QCOMPARE(sorted(russianKeys - englishKeys), QStringList());
    QCOMPARE(englishKeys.size(), english.size()); // no key twice

    QStringList unfinished;
    for (const QVector<Message> *catalogue : {&english, &russian}) {
        for (const Message &message : *catalogue) {
            if (!message.finished || message.translation.isEmpty())
                unfinished << key(message);
        }
    }
    QCOMPARE(unfinished, QStringList()); // unfinished, vanished or obsolete: not compiled
}

void TestCatalogues::everyTextOfTheCodeIsCatalogued_data()
{
    QTest::addColumn<bool>("russianCatalogue");
    QTest::newRow("english") << false;
    QTest::newRow("russian") << true;
}

void TestCatalogues::everyTextOfTheCodeIsCatalogued()
{
    QFETCH(bool, russianCatalogue);
    const QSet<QString> missing = keys(scanned) - keys(russianCatalogue ? russian : english);
    QVERIFY2(missing.isEmpty(),
        qPrintable(QLatin1String("texts of the code missing from the catalogue (run lupdate, "
                                 "then translate them):\n  ")
            + sorted(missing).join(QLatin1String("\n  "))));
}

QTEST_GUILESS_MAIN(TestCatalogues)
#include "tst_catalogues.moc"
