#include "sandboxoptions.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <cmath>

namespace Pinrova::Sandbox {

namespace {

QString environmentOr(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

bool readInt(const QString &text, int low, int high, int &out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool readDouble(const QString &text, double low, double high, double &out)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        return false;
    out = value;
    return true;
}

} // namespace

SandboxOptions SandboxOptions::parse(const QStringList &arguments)
{
    SandboxOptions options;
    options.facebookClientId = environmentOr(
        "PINROVA_FACEBOOK_CLIENT_ID", QStringLiteral(PINROVA_DEFAULT_FACEBOOK_CLIENT_ID));
    options.redirectHost
        = environmentOr("PINROVA_REDIRECT_HOST", QStringLiteral(PINROVA_DEFAULT_REDIRECT_HOST));
    options.vkAppId = environmentOr("PINROVA_VK_APP_ID", QStringLiteral(PINROVA_DEFAULT_VK_APP_ID));
    const QString defaultService = environmentOr(
        "PINROVA_POSITION_SERVICE", QStringLiteral(PINROVA_DEFAULT_POSITION_SERVICE));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-ins for Pinrova's tile server, Facebook and VKontakte on loopback, and a crowd of "
        "demo people who use the position service. Every server listens on 127.0.0.1 on a port "
        "the system picks; --print-addresses tells which."));
    const QCommandLineOption help(QStringList {"h", "help"}, "Show the options.");
    const QCommandLineOption service("position-service",
        "Base URL of the position service the crowd uses (default $PINROVA_POSITION_SERVICE, "
        "else "
            + defaultService + ").",
        "URL", defaultService);
    const QCommandLineOption crowd("crowd", "Demo people, 0 to 1000 (default 40).", "N", "40");
    const QCommandLineOption settled("settled",
        "People who register once and stay put, dense at the centre and thinning out like a "
        "city's, 0 to 1000000 (default 0).",
        "N", "0");
    const QCommandLineOption centre(
        "center", "Where the crowd walks (default 59.944069,30.306141).", "LAT,LON");
    const QCommandLineOption radius(
        "radius", "How far from the centre people go, 100-20000 (default 2000).", "METRES", "2000");
    const QCommandLineOption report("report-ms",
        "Interval between a person's reports, 100-60000 (default 3000).", "MS", "3000");
    const QCommandLineOption share(
        "silent-share", "Share of the people who go quiet now and then (default 0.2).", "F", "0.2");
    const QCommandLineOption silence("silence-seconds",
        "How long they stay quiet; the service shows them offline once it is past its online "
        "window, 60 s (default 150, 0 never).",
        "S", "150");
    const QCommandLineOption seed(
        "seed", "Picks the crowd's names and paths (default 1).", "N", "1");
    const QCommandLineOption mbtiles("mbtiles",
        "Serve the raster tiles of this MBTiles file instead of generated ones.", "FILE");
    const QCommandLineOption cache(
        "tile-cache-mib", "Memory for tiles already served, 1-4096 (default 64).", "MIB", "64");
    const QCommandLineOption users(
        "demo-users", "JSON file with the people who can sign in (see the README).", "FILE");
    const QCommandLineOption print("print-addresses",
        "Once serving, print NAME=URL lines (the application's environment) on standard output.");
    const QCommandLineOption file("addresses-file",
        "Once serving, write the same NAME=URL lines to FILE (atomically).", "FILE");
    const QCommandLineOption facebookSecret("facebook-app-secret-file",
        "File holding the Facebook application secret that /debug_token checks.", "FILE");
    const QCommandLineOption vkSecret(
        "vk-app-secret-file", "File holding the VKontakte secret that signs sessions.", "FILE");
    parser.addOptions({help, service, crowd, settled, centre, radius, report, share, silence, seed,
        mbtiles, cache, users, print, file, facebookSecret, vkSecret});

    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        options.helpShown = true;
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error
            = QStringLiteral("unexpected argument ") + parser.positionalArguments().first();
        return options;
    }

    options.positionService = QUrl(parser.value(service), QUrl::StrictMode);
    if (!options.positionService.isValid()
        || !options.positionService.scheme().startsWith(QLatin1String("http"))
        || options.positionService.host().isEmpty())
        options.error = QStringLiteral("--position-service wants an http:// base URL");
    else if (!readInt(parser.value(crowd), 0, 1000, options.crowd))
        options.error = QStringLiteral("--crowd wants a number from 0 to 1000");
    else if (!readInt(parser.value(settled), 0, 1000000, options.settled))
        options.error = QStringLiteral("--settled wants a number from 0 to 1000000");
    else if (!readDouble(parser.value(radius), 100, 20000, options.radiusMetres))
        options.error = QStringLiteral("--radius wants metres from 100 to 20000");
    else if (!readInt(parser.value(report), 100, 60000, options.reportIntervalMs))
        options.error = QStringLiteral("--report-ms wants milliseconds from 100 to 60000");
    else if (!readDouble(parser.value(share), 0, 1, options.silentShare))
        options.error = QStringLiteral("--silent-share wants a number from 0 to 1");
    else if (!readDouble(parser.value(silence), 0, 86400, options.silenceSeconds))
        options.error = QStringLiteral("--silence-seconds wants seconds from 0 to 86400");
    else if (!readInt(parser.value(cache), 1, 4096, options.tileCacheMiB))
        options.error = QStringLiteral("--tile-cache-mib wants a number from 1 to 4096");
    if (!options.error.isEmpty())
        return options;

    bool seedOk = false;
    options.seed = parser.value(seed).toUInt(&seedOk);
    if (!seedOk) {
        options.error = QStringLiteral("--seed wants a non-negative number");
        return options;
    }
    if (parser.isSet(centre)) {
        const QStringList parts = parser.value(centre).split(QLatin1Char(','));
        if (parts.size() != 2 || !readDouble(parts[0].trimmed(), -85, 85, options.centre.lat)
            || !readDouble(parts[1].trimmed(), -180, 180, options.centre.lon)) {
            options.error = QStringLiteral("--center wants LAT,LON (latitude within ±85)");
            return options;
        }
    }
    options.mbtiles = parser.value(mbtiles);
    options.demoUsers = parser.value(users);
    options.printAddresses = parser.isSet(print);
    options.addressesFile = parser.value(file);
    options.facebookAppSecretFile = parser.value(facebookSecret);
    options.vkAppSecretFile = parser.value(vkSecret);
    return options;
}

} // namespace Pinrova::Sandbox
