#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <QtTest>

#include "translations.h"

// The catalogues as main loads them: by the system locale's name, falling back to English.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void chooses_data();
    void chooses();
    void texts_data();
    void texts();
    void aboutPage_data();
    void aboutPage();

private:
    void install(const QString &localeName);

    QTranslator *translator = nullptr;
};

void TestTranslations::install(const QString &localeName)
{
    translator = new QTranslator(this);
    QVERIFY(loadTranslation(*translator, QLocale(localeName)));
    QVERIFY(QCoreApplication::installTranslator(translator));
}

void TestTranslations::cleanup()
{
    if (translator)
        QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
}

void TestTranslations::chooses_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("vkName");

    // ru_RU has no catalogue of its own: the loader shortens the name to "ru".
    QTest::newRow("Russian, Russia") << "ru_RU"
                                     << "ru" << QStringLiteral("Вконтакте");
    QTest::newRow("Russian, Ukraine") << "ru_UA"
                                      << "ru" << QStringLiteral("Вконтакте");
    QTest::newRow("English, US") << "en_US"
                                 << "en"
                                 << "vk.com";
    QTest::newRow("German falls back to English") << "de_DE"
                                                  << "en"
                                                  << "vk.com";
    QTest::newRow("C locale falls back to English") << "C"
                                                    << "en"
                                                    << "vk.com";
}

void TestTranslations::chooses()
{
    QFETCH(QString, locale);
    QFETCH(QString, language);
    QFETCH(QString, vkName);

    install(locale);
    QCOMPARE(translator->language().left(2), language);
    QCOMPARE(QCoreApplication::translate("QObject", "vk"), vkName);
    QCOMPARE(QCoreApplication::translate("MainWindow", "Pinrova"), QStringLiteral("Pinrova"));
}

void TestTranslations::texts_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");

    const QByteArray noNetwork = "This example requires networking, and no available networks or "
                                 "access points could be found.";
    QTest::newRow("en: no-network message is rewritten")
        << "en_US" << QByteArray("MainWindow") << noNetwork
        << "This programm requires networking, and no available networks or access points "
           "could be found.";
    QTest::newRow("de: no-network message is rewritten")
        << "de_DE" << QByteArray("MainWindow") << noNetwork
        << "This programm requires networking, and no available networks or access points "
           "could be found.";
    QTest::newRow("ru: no-network message")
        << "ru_RU" << QByteArray("MainWindow") << noNetwork
        << QStringLiteral("Этой программе необходим выход в интернет, но ни одна доступная "
                          "точка доступа не найдена.");
    QTest::newRow("ru: connecting")
        << "ru_RU" << QByteArray("MainWindow") << QByteArray("Connecting...")
        << QStringLiteral("Поиск сети...");
    QTest::newRow("ru: follow me") << "ru_RU" << QByteArray("MainWindow") << QByteArray("Follow me")
                                   << QStringLiteral("Моя позиция");
    QTest::newRow("ru: out of range")
        << "ru_RU" << QByteArray("ConnectivityHelper") << QByteArray("Out of range of network.")
        << QStringLiteral("Не найдено доступных сетей.");
    QTest::newRow("ru: press cancel")
        << "ru_RU" << QByteArray("ConnectivityHelper")
        << QByteArray("Press Cancel to quit the application.")
        << QStringLiteral("Нажмите 'Отмена' для выхода из приложения.");
    QTest::newRow("ru: follower context keeps its namespace")
        << "ru_RU" << QByteArray("Pinrova::Map::Follower")
        << QByteArray("Unable to retrieve your coordinates. Can not display your current position.")
        << QStringLiteral("Невозможно получить координаты, чтобы отображать вашу позицию.");
    QTest::newRow("ru: same source, other context")
        << "ru_RU" << QByteArray("MapUserInfo") << QByteArray("Male") << QStringLiteral("М");
    QTest::newRow("ru: placeholder name")
        << "ru_RU" << QByteArray("MapUserInfo") << QByteArray("First and Last name") << "-";
    QTest::newRow("en: placeholder name")
        << "en_US" << QByteArray("MapUserInfo") << QByteArray("First and Last name") << "-";
    QTest::newRow("ru: unknown gender")
        << "ru_RU" << QByteArray("QObject") << QByteArray("Unknown") << "-";
    QTest::newRow("en: twitter capitalised")
        << "en_US" << QByteArray("QObject") << QByteArray("twitter") << "Twitter";
    QTest::newRow("ru: json error keeps its argument")
        << "ru_RU" << QByteArray("QJson::ParserRunnable")
        << QByteArray("An error occured while parsing json: %1")
        << QStringLiteral("Ошибка разбора данных QJSON: %1");
}

void TestTranslations::texts()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);

    install(locale);
    QCOMPARE(QCoreApplication::translate(context.constData(), source.constData()), expected);
}

void TestTranslations::aboutPage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("english") << "en_US"
                             << QStringList {
                                    "Name: Pinrova.", "Version: 1.0.1.", "Developer:", "E-mail:"};
    QTest::newRow("russian") << "ru_RU"
                             << QStringList {QStringLiteral("Название: Pinrova."),
                                    QStringLiteral("Версия: 1.0.1."),
                                    QStringLiteral("Разработчик:"), "E-mail:"};
}

void TestTranslations::aboutPage()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, labels);

    install(locale);
    const QString maemo = QCoreApplication::translate("About", "MaemoAbout");
    QCOMPARE(QCoreApplication::translate("About", "SimpleAbout"), maemo);
    QVERIFY(maemo.startsWith(QLatin1String("<!DOCTYPE HTML PUBLIC")));
    for (const QString &label : labels)
        QVERIFY2(maemo.contains(label), qPrintable(label));
    QVERIFY(!maemo.contains(QLatin1String("1.0.0")));
    QVERIFY(maemo.contains(QLatin1String("color:#0000ff")));
    // The credit lines stay in English in both catalogues.
    QVERIFY(maemo.contains(QLatin1String("(and) contributors, CC-BY-SA.")));
    QVERIFY(maemo.contains(QLatin1String("This programm is using QJSON.")));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
