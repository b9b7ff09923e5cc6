#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include "loopingnmeafile.h"
#include "nmeasentence.h"

using namespace Pinrova::Platform;

namespace {

// An RMC fix at the given time of day with a correct checksum.
QByteArray rmc(const QString &time, const QByteArray &latitude = "5956.6441")
{
    const QByteArray body
        = "GPRMC," + time.toLatin1() + ",A," + latitude + ",N,03018.3685,E,2.6,90.0,010612,,,A";
    return '$' + body + '*' + QByteArray::number(Nmea::checksum(body), 16).rightJustified(2, '0')
        + "\r\n";
}

const QByteArray vtg = "$GPVTG,90.0,T,,M,2.6,N,4.8,K,A*3C\r\n";

bool writeFile(const QString &fileName, const QByteArrayList &lines)
{
    // Written aside and renamed, as an editor saves, so an open reader keeps the old file.
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(lines.join()) >= 0 && file.commit();
}

// Each line read, or "end" once the device has nothing more.
QStringList readLines(QIODevice *device, int count)
{
    QStringList lines;
    while (lines.size() < count) {
        if (device->atEnd()) {
            lines << QStringLiteral("end");
            break;
        }
        const QByteArray line = device->readLine();
        const QTime time = Nmea::sentenceTime(line);
        if (!Nmea::hasValidChecksum(line))
            lines << QStringLiteral("bad checksum: ") + line;
        else if (line.startsWith("$GPRMC") && !line.contains("5956.6441"))
            lines << QStringLiteral("new ") + time.toString(QStringLiteral("HH:mm:ss.zzz"));
        else
            lines << (time.isValid() ? time.toString(QStringLiteral("HH:mm:ss.zzz"))
                                     : QString::fromLatin1(line.left(6)));
    }
    return lines;
}

} // namespace

class TestLoopingNmeaFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void passes_data();
    void passes();
    void betweenPasses_data();
    void betweenPasses();
    void refusesUnreadableFile();

private:
    QString fileName() const { return m_dir.filePath(QStringLiteral("track.nmea")); }

    QTemporaryDir m_dir;
};

void TestLoopingNmeaFile::init()
{
    QFile::remove(fileName());
}

void TestLoopingNmeaFile::passes_data()
{
    QTest::addColumn<QByteArrayList>("track");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("a fix a second runs on")
        << QByteArrayList {rmc("120000.00"), rmc("120001.00"), rmc("120002.00")} << 7
        << QStringList {"12:00:00.000", "12:00:01.000", "12:00:02.000", "12:00:03.000",
               "12:00:04.000", "12:00:05.000", "12:00:06.000"};
    QTest::newRow("last interval ends each pass")
        << QByteArrayList {rmc("120000"), rmc("120001"), rmc("120005")} << 6
        << QStringList {"12:00:00.000", "12:00:01.000", "12:00:05.000", "12:00:09.000",
               "12:00:10.000", "12:00:14.000"};
    QTest::newRow("tenths of a second")
        << QByteArrayList {rmc("120000.0"), rmc("120000.2")} << 4
        << QStringList {"12:00:00.000", "12:00:00.200", "12:00:00.400", "12:00:00.600"};
    QTest::newRow("untimed sentences pass through")
        << QByteArrayList {rmc("120000.00"), vtg, rmc("120001.00"), vtg} << 6
        << QStringList {
               "12:00:00.000", "$GPVTG", "12:00:01.000", "$GPVTG", "12:00:02.000", "$GPVTG"};
    QTest::newRow("a single fix repeats a second later") << QByteArrayList {
        rmc("120000.00")} << 3 << QStringList {"12:00:00.000", "12:00:01.000", "12:00:02.000"};
    // The source would take the wrap to midnight for a jump back and stall.
    QTest::newRow("ends before midnight")
        << QByteArrayList {rmc("235940.00"), rmc("235945.00")} << 10
        << QStringList {"23:59:40.000", "23:59:45.000", "23:59:50.000", "23:59:55.000", "end"};
    QTest::newRow("nothing timed: one pass")
        << QByteArrayList {vtg, vtg} << 5 << QStringList {"$GPVTG", "$GPVTG", "end"};
    QTest::newRow("empty file") << QByteArrayList() << 5 << QStringList {"end"};
}

void TestLoopingNmeaFile::passes()
{
    QFETCH(QByteArrayList, track);
    QFETCH(int, count);
    QFETCH(QStringList, lines);

    QVERIFY(writeFile(fileName(), track));
    LoopingNmeaFile device(fileName());
    QVERIFY(device.open(QIODevice::ReadOnly));
    QCOMPARE(readLines(&device, count), lines);
}

void TestLoopingNmeaFile::betweenPasses_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("replaced file is read")
        << "replace"
        << QStringList {"12:00:00.000", "12:00:01.000", "new 12:00:02.000", "new 12:00:03.000"};
    QTest::newRow("removed file ends the replay")
        << "remove" << QStringList {"12:00:00.000", "12:00:01.000", "end"};
    QTest::newRow("emptied file ends the replay")
        << "empty" << QStringList {"12:00:00.000", "12:00:01.000", "end"};
}

void TestLoopingNmeaFile::betweenPasses()
{
    QFETCH(QString, change);
    QFETCH(QStringList, lines);

    QVERIFY(writeFile(fileName(), {rmc("120000.00"), rmc("120001.00")}));
    LoopingNmeaFile device(fileName());
    QVERIFY(device.open(QIODevice::ReadOnly));
    QStringList read = readLines(&device, 1);

    if (change == "replace")
        QVERIFY(writeFile(fileName(), {rmc("080000.00", "5957.0000")}));
    else if (change == "remove")
        QVERIFY(QFile::remove(fileName()));
    else
        QVERIFY(writeFile(fileName(), {}));
    // The new file's own times are earlier, yet the replay carries on from where it was.
    read << readLines(&device, lines.size() - 1);
    QCOMPARE(read, lines);
}

void TestLoopingNmeaFile::refusesUnreadableFile()
{
    LoopingNmeaFile missing(m_dir.filePath(QStringLiteral("missing.nmea")));
    QVERIFY(!missing.open(QIODevice::ReadOnly));

    QVERIFY(writeFile(fileName(), {rmc("120000.00")}));
    LoopingNmeaFile writable(fileName());
    QVERIFY(!writable.open(QIODevice::ReadWrite));
}

QTEST_GUILESS_MAIN(TestLoopingNmeaFile)
#include "tst_loopingnmeafile.moc"
