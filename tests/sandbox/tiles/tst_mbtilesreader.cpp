#include "mbtilesreader.h"
#include "tileindex.h"

#include "testsupport.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

using namespace Pinrova::Sandbox;
using namespace Pinrova::Testing;

class TestMbTilesReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rowsAreFlippedFromTms_data();
    void rowsAreFlippedFromTms();
    void missingTilesAreNothing();
    void unusableFilesAreRefused_data();
    void unusableFilesAreRefused();

private:
    QString path(const QString &name) const { return folder.filePath(name); }

    QTemporaryDir folder;
};

namespace {

bool execute(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The colour a test tile has in the file, by its TMS row.
QColor storedColour(int tmsRow)
{
    return QColor(30 * tmsRow, 255 - 30 * tmsRow, 128);
}

} // namespace

void TestMbTilesReader::initTestCase()
{
    QVERIFY(folder.isValid());
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(qPrintable(path("tiny.mbtiles")), &db), SQLITE_OK);
    QVERIFY(execute(db,
        "CREATE TABLE metadata (name TEXT, value TEXT);"
        "INSERT INTO metadata VALUES ('name', 'tiny'), ('format', 'png');"
        "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
        "tile_data BLOB);"));
    // Column 5 of zoom 3, every row, each in a colour of its own.
    sqlite3_stmt *insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (3, 5, ?, ?)", -1, &insert, nullptr),
        SQLITE_OK);
    for (int tmsRow = 0; tmsRow < 8; ++tmsRow) {
        const QByteArray png = pngBytes(storedColour(tmsRow));
        sqlite3_bind_int(insert, 1, tmsRow);
        sqlite3_bind_blob(insert, 2, png.constData(), png.size(), SQLITE_TRANSIENT);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    QVERIFY(execute(db, "PRAGMA user_version = 1"));
    sqlite3_close(db);

    QCOMPARE(sqlite3_open(qPrintable(path("vector.mbtiles")), &db), SQLITE_OK);
    QVERIFY(execute(db,
        "CREATE TABLE metadata (name TEXT, value TEXT);"
        "INSERT INTO metadata VALUES ('format', 'pbf');"
        "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
        "tile_data BLOB);"));
    sqlite3_close(db);

    QCOMPARE(sqlite3_open(qPrintable(path("notiles.mbtiles")), &db), SQLITE_OK);
    QVERIFY(execute(db, "CREATE TABLE metadata (name TEXT, value TEXT);"));
    sqlite3_close(db);

    QFile text(path("text.mbtiles"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray("this is not a database, only some text\n").repeated(40));
}

void TestMbTilesReader::rowsAreFlippedFromTms_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("tmsRow");
    QTest::newRow("northernmost") << 0 << 7;
    QTest::newRow("second") << 1 << 6;
    QTest::newRow("above the equator") << 3 << 4;
    QTest::newRow("below the equator") << 4 << 3;
    QTest::newRow("southernmost") << 7 << 0;
}

void TestMbTilesReader::rowsAreFlippedFromTms()
{
    QFETCH(int, row);
    QFETCH(int, tmsRow);
    MbTilesReader reader;
    QVERIFY2(reader.open(path("tiny.mbtiles").toStdString()), reader.error().c_str());
    const std::optional<std::string> tile = reader.tile({3, 5, row});
    QVERIFY(tile);
    QImage image;
    QVERIFY(image.loadFromData(QByteArray::fromStdString(*tile), "PNG"));
    QCOMPARE(image.pixelColor(128, 128), storedColour(tmsRow));
}

void TestMbTilesReader::missingTilesAreNothing()
{
    MbTilesReader reader;
    QVERIFY(reader.open(path("tiny.mbtiles").toStdString()));
    QVERIFY(!reader.tile({3, 4, 0}));
    QVERIFY(!reader.tile({4, 5, 0}));
}

void TestMbTilesReader::unusableFilesAreRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such file") << "absent.mbtiles"
                                  << "absent.mbtiles";
    QTest::newRow("vector tiles") << "vector.mbtiles"
                                  << "pbf";
    QTest::newRow("no tiles table") << "notiles.mbtiles"
                                    << "not an MBTiles file";
    QTest::newRow("not a database") << "text.mbtiles"
                                    << "not an MBTiles file";
}

void TestMbTilesReader::unusableFilesAreRefused()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    MbTilesReader reader;
    QVERIFY(!reader.open(path(file).toStdString()));
    QVERIFY2(QString::fromStdString(reader.error()).contains(reason), reader.error().c_str());
    QVERIFY(!reader.tile({3, 5, 0}));
}

QTEST_MAIN(TestMbTilesReader)
#include "tst_mbtilesreader.moc"
