#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include "crowd/streetwalker.h"

namespace Pinrova::Sandbox {

// What pinrova-sandbox is asked to do, from its command line and the environment.
struct SandboxOptions
{
    QUrl positionService; // where the crowd registers and reports
    int crowd = 40;
    int settled = 0; // people who register once and stay, a city around the centre
    GeoPoint centre {59.944069, 30.306141};
    double radiusMetres = 2000;
    int reportIntervalMs = 3000;
    double silentShare = 0.2;
    double silenceSeconds = 150;
    quint32 seed = 1;
    QString mbtiles; // empty: generated tiles
    int tileCacheMiB = 64;
    QString demoUsers; // JSON file with the people who can sign in; empty: the built-in ones
    bool printAddresses = false;
    QString addressesFile;

    // The identifiers the application sends, which the stand-ins check.
    QString facebookClientId;
    QString redirectHost;
    QString vkAppId;
    // Files with the application secrets the position service checks credentials with; empty:
    // none (Facebook's /debug_token then refuses, VKontakte signs with an empty secret).
    QString facebookAppSecretFile;
    QString vkAppSecretFile;

    QString error; // why the command line was refused; empty when it was not
    bool helpShown = false;

    // Reads the arguments (the program name first). --help prints the options and sets
    // helpShown.
    static SandboxOptions parse(const QStringList &arguments);
};

} // namespace Pinrova::Sandbox
