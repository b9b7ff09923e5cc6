// A picture or tile from outside, read through its header check.
#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "boundedimage.h"

namespace {

// The larger of the app's two bounds (pictures 2048, tiles 1024).
constexpr int MaxEdge = 2048;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The image plugins are found through the application; one for the whole run, with
    // arguments of its own so it cannot take any of libFuzzer's.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_boundedimage";
    static char *argv[] = {name, nullptr};
    // Never destroyed: the offscreen platform's teardown loses its screen objects.
    static QGuiApplication *app = new QGuiApplication(argc, argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QImage image = Pinrova::Network::readBoundedImage(&buffer, MaxEdge);
    if (image.width() > MaxEdge || image.height() > MaxEdge)
        std::abort();
    return 0;
}
