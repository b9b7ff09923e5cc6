#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

#include "world/demousers.h"
#include "world/sandboxoptions.h"
#include "world/sandboxworld.h"
#include "world/stopsignals.h"

using namespace Pinrova::Sandbox;

namespace {

bool writeAddresses(const QString &path, const QStringList &lines)
{
    // Written whole or not at all, so a script that waits for the file never reads half of it.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return file.commit();
}

} // namespace

int main(int argc, char **argv)
{
    // No window is ever shown; painting needs a GUI application but no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("pinrova-sandbox"));

    const SandboxOptions options = SandboxOptions::parse(QGuiApplication::arguments());
    if (options.helpShown)
        return 0;
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "pinrova-sandbox: %s (see --help)\n", qPrintable(options.error));
        return 2;
    }

    DemoUsers users;
    if (!options.demoUsers.isEmpty()) {
        QFile file(options.demoUsers);
        QString error;
        if (!file.open(QIODevice::ReadOnly)) {
            error = file.errorString();
        } else if (!readDemoUsers(file.readAll(), users, error)) {
            error = QStringLiteral("not valid demo users: ") + error;
        }
        if (!error.isEmpty()) {
            std::fprintf(stderr, "pinrova-sandbox: %s: %s\n", qPrintable(options.demoUsers),
                qPrintable(error));
            return 2;
        }
    }

    // A file left by an earlier run must not pass for this run's addresses.
    if (!options.addressesFile.isEmpty())
        QFile::remove(options.addressesFile);

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, &QCoreApplication::quit);

    SandboxWorld world;
    if (!world.start(options, users)) {
        std::fprintf(stderr, "pinrova-sandbox: %s\n", qPrintable(world.error()));
        return 1;
    }
    // The file first: whoever has seen the printed lines may rely on it being there.
    if (!options.addressesFile.isEmpty()
        && !writeAddresses(options.addressesFile, world.addresses())) {
        std::fprintf(
            stderr, "pinrova-sandbox: cannot write %s\n", qPrintable(options.addressesFile));
        return 1;
    }
    if (options.printAddresses) {
        QTextStream out(stdout);
        for (const QString &line : world.addresses())
            out << line << '\n';
        out.flush();
    }
    QStringList accounts;
    for (const VkUser &user : users.vkontakte) {
        if (!user.email.isEmpty())
            accounts.append(user.email + QStringLiteral(" / ") + user.password);
    }
    std::fprintf(stderr, "pinrova-sandbox: Facebook signs in %s; VKontakte accounts: %s\n",
        qPrintable(users.facebook.firstName + QLatin1Char(' ') + users.facebook.lastName),
        qPrintable(
            accounts.isEmpty() ? QStringLiteral("none") : accounts.join(QStringLiteral(", "))));

    const int status = app.exec();
    if (!options.addressesFile.isEmpty())
        QFile::remove(options.addressesFile);
    return status;
}
