#include <QtTest>

#include "nmeasentence.h"

using namespace Pinrova::Platform;

class TestNmeaSentence : public QObject
{
    Q_OBJECT

private slots:
    void checksum_data();
    void checksum();
    void sentenceTime_data();
    void sentenceTime();
    void shiftedSentence_data();
    void shiftedSentence();
};

void TestNmeaSentence::checksum_data()
{
    QTest::addColumn<QByteArray>("sentence");
    QTest::addColumn<bool>("valid");

    QTest::newRow("valid") << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3C") << true;
    QTest::newRow("with line ending")
        << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3C\r\n") << true;
    QTest::newRow("lower-case digits") << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3c") << true;
    QTest::newRow("wrong sum") << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3D") << false;
    QTest::newRow("one digit") << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3") << false;
    QTest::newRow("no sum") << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A") << false;
    QTest::newRow("no dollar") << QByteArray("GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3C") << false;
}

void TestNmeaSentence::checksum()
{
    QFETCH(QByteArray, sentence);
    QFETCH(bool, valid);

    QCOMPARE(Nmea::hasValidChecksum(sentence), valid);
}

void TestNmeaSentence::sentenceTime_data()
{
    QTest::addColumn<QByteArray>("sentence");
    QTest::addColumn<QTime>("time");

    QTest::newRow("RMC") << QByteArray(
        "$GPRMC,120000.00,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*6E")
                         << QTime(12, 0);
    QTest::newRow("GGA") << QByteArray(
        "$GPGGA,235959.00,5956.6441,N,03018.3685,E,1,08,0.9,10.0,M,15.0,M,,*53")
                         << QTime(23, 59, 59);
    QTest::newRow("GLL, time in field 5, tenths")
        << QByteArray("$GPGLL,5956.6441,N,03018.3685,E,101500.5,A,A*53") << QTime(10, 15, 0, 500);
    QTest::newRow("ZDA from another talker")
        << QByteArray("$GNZDA,083000.00,01,06,2012,00,00*75") << QTime(8, 30);
    QTest::newRow("milliseconds") << QByteArray(
        "$GPRMC,125959.750,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*5C")
                                  << QTime(12, 59, 59, 750);
    QTest::newRow("VTG has no time") << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3C") << QTime();
    QTest::newRow("empty time") << QByteArray("$GPRMC,,V,,,,,,,,,,N*53") << QTime();
    QTest::newRow("malformed time")
        << QByteArray("$GPRMC,12a000.00,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*3F")
        << QTime();
    QTest::newRow("not a sentence") << QByteArray("GPRMC,120000.00,A") << QTime();
}

void TestNmeaSentence::sentenceTime()
{
    QFETCH(QByteArray, sentence);
    QFETCH(QTime, time);

    QCOMPARE(Nmea::sentenceTime(sentence), time);
}

void TestNmeaSentence::shiftedSentence_data()
{
    QTest::addColumn<QByteArray>("sentence");
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<QByteArray>("shifted");

    QTest::newRow("RMC a second on, hundredths kept, ending kept")
        << QByteArray("$GPRMC,120000.00,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*6E\r\n")
        << qint64(1000)
        << QByteArray("$GPRMC,120001.00,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*6F\r\n");
    QTest::newRow("whole seconds, carries into minutes")
        << QByteArray("$GPRMC,120000,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*40")
        << qint64(90000)
        << QByteArray("$GPRMC,120130,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*42");
    QTest::newRow("milliseconds carry into the hour")
        << QByteArray("$GPRMC,125959.750,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*5C")
        << qint64(500)
        << QByteArray("$GPRMC,130000.250,A,5956.6441,N,03018.3685,E,2.6,90.0,010612,,,A*58");
    QTest::newRow("GGA wraps at midnight")
        << QByteArray("$GPGGA,235959.00,5956.6441,N,03018.3685,E,1,08,0.9,10.0,M,15.0,M,,*53")
        << qint64(5000)
        << QByteArray("$GPGGA,000004.00,5956.6441,N,03018.3685,E,1,08,0.9,10.0,M,15.0,M,,*56");
    QTest::newRow("GLL, tenths") << QByteArray("$GPGLL,5956.6441,N,03018.3685,E,101500.5,A,A*53")
                                 << qint64(1000)
                                 << QByteArray("$GPGLL,5956.6441,N,03018.3685,E,101501.5,A,A*52");
    QTest::newRow("ZDA, whole days dropped")
        << QByteArray("$GNZDA,083000.00,01,06,2012,00,00*75") << qint64(3 * 86400000LL + 10000)
        << QByteArray("$GNZDA,083010.00,01,06,2012,00,00*74");
    QTest::newRow("no time, unchanged")
        << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3C\n") << qint64(1000)
        << QByteArray("$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3C\n");
    QTest::newRow("empty time, unchanged") << QByteArray("$GPRMC,,V,,,,,,,,,,N*53") << qint64(1000)
                                           << QByteArray("$GPRMC,,V,,,,,,,,,,N*53");
    QTest::newRow("not a sentence, unchanged")
        << QByteArray("garbage 120000\n") << qint64(1000) << QByteArray("garbage 120000\n");
}

void TestNmeaSentence::shiftedSentence()
{
    QFETCH(QByteArray, sentence);
    QFETCH(qint64, msecs);
    QFETCH(QByteArray, shifted);

    QCOMPARE(Nmea::shiftedSentence(sentence, msecs), shifted);
}

QTEST_GUILESS_MAIN(TestNmeaSentence)
#include "tst_nmeasentence.moc"
