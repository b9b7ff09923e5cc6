#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QTranslator>

#include "mainwindow.h"
#include "translations.h"

int main(int argc, char *argv[])
{
    // The sign-in web view draws through OpenGL contexts shared with Qt's own; this must be set
    // before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    // Sources and catalogues are UTF-8, which is what Qt 5 decodes literals and tr() with.
    QCoreApplication::setOrganizationName(QStringLiteral("Tavrion"));
    QCoreApplication::setApplicationName(QStringLiteral("Pinrova"));
    // Ties the windows to the installed menu entry and its icon (Wayland's app id, the X11
    // window's desktop file); run from the build, the theme has no such icon and nothing shows.
    QGuiApplication::setDesktopFileName(QStringLiteral("pinrova"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pinrova")));

    QTranslator translator;
    loadTranslation(translator, QLocale::system());
    QCoreApplication::installTranslator(&translator);

    MainWindow window;
    window.showMaximized();
    return QApplication::exec();
}
