#include <QLabel>
#include <QScrollArea>
#include <QTranslator>
#include <QtTest>

#include "about.h"

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void cataloguePageIsShown_data();
    void cataloguePageIsShown();
};

void TestAbout::form()
{
    QWidget owner;
    About about(&owner);
    QVERIFY(about.isWindow());
    QCOMPARE(about.parentWidget(), &owner);
    QCOMPARE(about.objectName(), QStringLiteral("About"));
    QCOMPARE(about.size(), QSize(505, 292));
    auto *scroll = about.findChild<QScrollArea *>(QStringLiteral("scrollArea"));
    QVERIFY(scroll);
    QVERIFY(scroll->widgetResizable());
    QCOMPARE(scroll->widget()->objectName(), QStringLiteral("scrollAreaWidgetContents"));
    auto *label = about.findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(label->wordWrap());
    QVERIFY(label->openExternalLinks());
    // Links work, the text cannot be selected.
    QCOMPARE(int(label->textInteractionFlags()), 12);
    // Without a catalogue the bare key shows.
    QCOMPARE(label->text(), QStringLiteral("MaemoAbout"));
}

void TestAbout::cataloguePageIsShown_data()
{
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("fragments");

    QTest::newRow("english") << "pinrova_en"
                             << "About"
                             << QStringList {"Name: Pinrova.", "Version: 1.0.1.",
                                    "Developer: Tavrion (", "(and) contributors, CC-BY-SA.",
                                    "This programm is using QJSON.", "color:#0000ff",
                                    "text-decoration: underline"};
    QTest::newRow("russian") << "pinrova_ru" << QString::fromUtf8("О программе")
                             << QStringList {QString::fromUtf8("Название: Pinrova."),
                                    QString::fromUtf8("Версия: 1.0.1."),
                                    QString::fromUtf8("Разработчик: Tavrion ("),
                                    "Map (c) by OpenStreetMap.org (and) contributors, CC-BY-SA."};
}

void TestAbout::cataloguePageIsShown()
{
    QFETCH(QString, catalogue);
    QFETCH(QString, title);
    QFETCH(QStringList, fragments);

    QTranslator translator;
    QVERIFY(translator.load(catalogue, QStringLiteral(":/translations")));
    QCoreApplication::installTranslator(&translator);
    About about;
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(about.windowTitle(), title);
    const QString page = about.findChild<QLabel *>(QStringLiteral("label"))->text();
    for (const QString &fragment : fragments)
        QVERIFY2(page.contains(fragment), qPrintable(fragment));
    QVERIFY(!page.contains(QStringLiteral("1.0.0")));
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
