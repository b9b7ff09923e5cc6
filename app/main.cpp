#include <QApplication>
#include <QLocale>
#include <QTranslator>

#include "mainwindow.h"
#include "translations.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Sources and catalogues are UTF-8, which is what Qt 5 decodes literals and tr() with.
    QCoreApplication::setOrganizationName(QStringLiteral("Tavrion"));
    QCoreApplication::setApplicationName(QStringLiteral("Pinrova"));

    QTranslator translator;
    loadTranslation(translator, QLocale::system());
    QCoreApplication::installTranslator(&translator);

    MainWindow window;
    window.showMaximized();
    return QApplication::exec();
}
