#include <QFile>
#include <QImage>
#include <QResource>
#include <QtTest>

namespace {

// The colour type byte of a PNG's header chunk: 2 RGB, 3 palette, 6 RGBA.
int pngColorType(const QByteArray &bytes)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (!bytes.startsWith(signature) || bytes.size() < 26 || bytes.mid(12, 4) != "IHDR")
        return -1;
    return static_cast<unsigned char>(bytes.at(25));
}

bool isUniform(const QImage &image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first)
                return false;
        }
    }
    return true;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void icons_data();
    void icons();
    void framesLeaveThePictureVisible_data();
    void framesLeaveThePictureVisible();
    void catalogues_data();
    void catalogues();
};

void TestResources::icons_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colorType");

    const int rgb = 2, palette = 3, rgba = 6;
    QTest::newRow("online frame") << ":/Icons/Map/FrameOnline.png" << QSize(69, 69) << rgba;
    QTest::newRow("offline frame") << ":/Icons/Map/FrameOffline.png" << QSize(69, 69) << rgba;
    QTest::newRow("online dot") << ":/Icons/Map/DotOnline.png" << QSize(13, 12) << rgba;
    QTest::newRow("offline dot") << ":/Icons/Map/DotOffline.png" << QSize(13, 12) << rgba;
    QTest::newRow("person placeholder") << ":/Icons/Map/Person.png" << QSize(48, 48) << rgba;
    QTest::newRow("own position") << ":/Icons/Map/UserPos.png" << QSize(24, 24) << rgba;
    QTest::newRow("zoom in") << ":/Icons/Map/ZoomIn.png" << QSize(48, 48) << rgba;
    QTest::newRow("zoom out") << ":/Icons/Map/ZoomOut.png" << QSize(48, 48) << rgba;
    QTest::newRow("facebook") << ":/Icons/Social/facebook.png" << QSize(140, 140) << palette;
    QTest::newRow("vk") << ":/Icons/Social/vk.png" << QSize(364, 363) << rgba;
    QTest::newRow("twitter") << ":/Icons/Social/twitter.png" << QSize(300, 300) << rgb;
}

void TestResources::icons()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, colorType);

    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    QCOMPARE(pngColorType(bytes), colorType);

    const QImage image = QImage::fromData(bytes, "PNG");
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QVERIFY2(!isUniform(image), "the generator drew nothing");
}

void TestResources::framesLeaveThePictureVisible_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("online") << ":/Icons/Map/FrameOnline.png";
    QTest::newRow("offline") << ":/Icons/Map/FrameOffline.png";
}

// The map places a 50 x 50 picture at (5, 5) inside the frame and paints the frame over it.
void TestResources::framesLeaveThePictureVisible()
{
    QFETCH(QString, path);
    const QImage frame = QImage(path).convertToFormat(QImage::Format_ARGB32);
    for (int y = 6; y < 54; ++y) {
        for (int x = 6; x < 54; ++x)
            QCOMPARE(qAlpha(frame.pixel(x, y)), 0);
    }
    QCOMPARE(qAlpha(frame.pixel(30, 3)), 255);
    QCOMPARE(qAlpha(frame.pixel(3, 30)), 255);
}

void TestResources::catalogues_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("russian") << ":/translations/pinrova_ru.qm";
    QTest::newRow("english") << ":/translations/pinrova_en.qm";
}

void TestResources::catalogues()
{
    QFETCH(QString, path);
    const QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // The .qm magic number.
    QVERIFY(file.readAll().startsWith(QByteArray::fromHex("3cb86418caef9c95cd211cbf60a1bddd")));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
