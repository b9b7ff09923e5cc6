#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include <cstdio>

#include "iconpainter.h"

// Writes every picture of the resource collection below the folder given as the only argument.
int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const Pinrova::Resources::IconEntry &icon : Pinrova::Resources::iconEntries()) {
        const QString file = root.filePath(icon.path);
        QDir().mkpath(QFileInfo(file).path());
        if (!icon.paint().save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
