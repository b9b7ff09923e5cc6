#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include <cstdio>

#include "appicon.h"
#include "iconpainter.h"

namespace {

bool save(const QImage &image, const QString &file)
{
    QDir().mkpath(QFileInfo(file).path());
    if (image.save(file, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

} // namespace

// Writes every picture of the resource collection below OUTPUT_FOLDER, or with --app-icon the
// application's icon at each size, laid out as a hicolor theme (NxN/apps/pinrova.png).
int main(int argc, char *argv[])
{
    const bool appIcon
        = argc == 3 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--app-icon");
    if (argc != 2 && !appIcon) {
        std::fprintf(stderr, "usage: %s [--app-icon] OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[argc - 1]));
    if (appIcon) {
        for (int size : Pinrova::Resources::appIconSizes()) {
            const QString file = root.filePath(QStringLiteral("%1x%1/apps/pinrova.png").arg(size));
            if (!save(Pinrova::Resources::paintAppIcon(size), file))
                return 1;
        }
        return 0;
    }
    for (const Pinrova::Resources::IconEntry &icon : Pinrova::Resources::iconEntries()) {
        if (!save(icon.paint(), root.filePath(icon.path)))
            return 1;
    }
    return 0;
}
