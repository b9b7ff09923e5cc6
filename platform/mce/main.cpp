// pinrova-mce: stands in for the handset's mode-control service, which reports whether the
// display is on. It owns com.nokia.mce on the system bus (or the session bus with --session;
// DBUS_SYSTEM_BUS_ADDRESS points the system bus at a private daemon).

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>

#include <cstdio>

#include "displaystate.h"
#include "mceservice.h"
#include "quitonsignal.h"

using namespace Pinrova::Platform;

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "pinrova-mce: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QuitOnSignal::blockSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pinrova-mce"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Owns com.nokia.mce and reports the display state, \"on\" unless told otherwise.\n"
        "Change it with the method com.nokia.mce.request.set_display_status(string)."));
    parser.addHelpOption();
    const QCommandLineOption session(
        QStringLiteral("session"), QStringLiteral("Use the session bus, not the system bus."));
    const QCommandLineOption display(QStringLiteral("display"),
        QStringLiteral("Initial state: on, off or dimmed."), QStringLiteral("state"),
        QStringLiteral("on"));
    parser.addOption(session);
    parser.addOption(display);
    parser.process(app);

    const QString initial = parser.value(display);
    if (!DisplayState::isValid(initial))
        return fail(
            QStringLiteral("unknown display state \"%1\": use on, off or dimmed").arg(initial));

    QuitOnSignal quitter;
    if (!quitter.isValid())
        return fail(QStringLiteral("cannot watch SIGTERM and SIGINT"));

    const bool onSession = parser.isSet(session);
    DisplayState state(initial);
    MceService service(
        onSession ? QDBusConnection::sessionBus() : QDBusConnection::systemBus(), &state);
    QString error;
    if (!service.start(&error))
        return fail(
            QStringLiteral("%1 bus: %2")
                .arg(onSession ? QStringLiteral("session") : QStringLiteral("system"), error));
    return app.exec();
}
