#include "sandboxworld.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtDebug>

#include "crowd/avatargallery.h"
#include "crowd/crowd.h"
#include "crowd/crowdroster.h"
#include "crowd/settledcrowd.h"
#include "demousers.h"
#include "httpserver.h"
#include "sandboxoptions.h"
#include "standins/facebookstandin.h"
#include "standins/vkstandin.h"
#include "tiles/calmtilepainter.h"
#include "tiles/mbtilesreader.h"
#include "tiles/tileindex.h"
#include "tiles/tileservice.h"

namespace Pinrova::Sandbox {

namespace {

QString baseOf(const Http::HttpServer &server)
{
    return QString::fromStdString(server.baseUrl());
}

TileSource generatedTiles()
{
    // Built here, on the GUI thread, because it renders its glyphs; the server thread only
    // calls render(), which stamps them.
    auto painter = std::make_shared<const CalmTilePainter>();
    return [painter](const TileIndex &tile) -> std::optional<std::string> {
        return painter->png(tile).toStdString();
    };
}

// The secret is the file's first line; no file named, no secret.
bool readSecret(const QString &path, QString &secret)
{
    secret.clear();
    if (path.isEmpty())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    secret = QString::fromUtf8(file.readLine(4096)).trimmed();
    return true;
}

QString randomToken()
{
    QByteArray bytes(24, Qt::Uninitialized);
    for (char &c : bytes)
        c = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

SandboxWorld::SandboxWorld(QObject *parent)
    : QObject(parent)
{ }

SandboxWorld::~SandboxWorld() = default;

bool SandboxWorld::start(const SandboxOptions &options, const DemoUsers &users)
{
    TileSource source;
    QString tileOrigin = QStringLiteral("generated");
    if (!options.mbtiles.isEmpty()) {
        auto reader = std::make_shared<MbTilesReader>();
        if (!reader->open(options.mbtiles.toStdString())) {
            failure = QString::fromStdString(reader->error());
            return false;
        }
        source = [reader](const TileIndex &tile) { return reader->tile(tile); };
        tileOrigin = options.mbtiles;
    } else {
        source = generatedTiles();
    }

    tileServer = std::make_unique<Http::HttpServer>();
    facebookServer = std::make_unique<Http::HttpServer>();
    vkServer = std::make_unique<Http::HttpServer>();
    for (Http::HttpServer *server : {tileServer.get(), facebookServer.get(), vkServer.get()}) {
        if (!server->start()) {
            failure = QStringLiteral("cannot listen on 127.0.0.1");
            return false;
        }
    }

    TileService::Options tileOptions;
    tileOptions.cacheBytes = static_cast<std::size_t>(options.tileCacheMiB) << 20;
    tiles = std::make_unique<TileService>(*tileServer, std::move(source), tileOptions);

    QVector<CrowdPerson> people = crowdRoster(options.crowd, options.seed);
    facebookAvatars = std::make_unique<AvatarGallery>(*facebookServer, people, Facebook);
    vkAvatars = std::make_unique<AvatarGallery>(*vkServer, people, Vkontakte);

    QString facebookSecret;
    QString vkSecret;
    for (const auto &[path, secret] : {std::pair(options.facebookAppSecretFile, &facebookSecret),
             std::pair(options.vkAppSecretFile, &vkSecret)}) {
        if (!readSecret(path, *secret)) {
            failure = QStringLiteral("cannot read the secret file ") + path;
            return false;
        }
    }

    FacebookStandIn::Options facebookOptions;
    facebookOptions.appSecret = facebookSecret;
    facebookOptions.clientId = options.facebookClientId;
    facebookOptions.redirectHost = options.redirectHost;
    facebookOptions.user = users.facebook;
    VkStandIn::Options vkOptions;
    vkOptions.appId = options.vkAppId;
    vkOptions.appSecret = vkSecret;
    vkOptions.users = users.vkontakte;
    for (CrowdPerson &person : people) {
        if (person.network == Facebook) {
            // Each of them signed in on their own handset once: a token of their own.
            const QString token = randomToken();
            person.credential = QByteArrayLiteral("Facebook ") + token.toLatin1();
            facebookOptions.others.append({person.id, person.firstName, person.lastName,
                person.gender == Female ? QStringLiteral("female") : QStringLiteral("male"),
                QString(), token});
        } else {
            vkOptions.users.append({person.id, person.firstName, person.lastName,
                person.gender == Female ? 1 : 2, QString(), QString(), QString()});
        }
    }
    facebook = std::make_unique<FacebookStandIn>(*facebookServer, facebookOptions);
    vkontakte = std::make_unique<VkStandIn>(*vkServer, vkOptions);
    for (CrowdPerson &person : people) {
        if (person.network == Vkontakte)
            person.credential = QByteArrayLiteral("VKontakte ")
                + vkontakte->signedSession(person.id).toBase64(
                    QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    }

    const QString vk = baseOf(*vkServer);
    const QString fb = baseOf(*facebookServer);
    lines = QStringList {
        QStringLiteral("PINROVA_TILE_SERVER=") + baseOf(*tileServer),
        QStringLiteral("PINROVA_POSITION_SERVICE=") + options.positionService.toString(),
        QStringLiteral("PINROVA_FACEBOOK_WEB=") + fb,
        QStringLiteral("PINROVA_FACEBOOK_GRAPH=") + fb,
        QStringLiteral("PINROVA_FACEBOOK_CLIENT_ID=") + options.facebookClientId,
        QStringLiteral("PINROVA_REDIRECT_HOST=") + options.redirectHost,
        QStringLiteral("PINROVA_VK_HOST=") + vk,
        QStringLiteral("PINROVA_VK_PROFILE=") + vk,
        QStringLiteral("PINROVA_VK_APP_ID=") + options.vkAppId,
    };

    qInfo().noquote() << "pinrova-sandbox: tiles (" + tileOrigin + ") on" << baseOf(*tileServer)
                      << "| facebook on" << fb << "| vkontakte on" << vk;

    if (!people.isEmpty()) {
        Crowd::Options crowdOptions;
        crowdOptions.positionService = options.positionService;
        crowdOptions.centre = options.centre;
        crowdOptions.radiusMetres = options.radiusMetres;
        crowdOptions.reportIntervalMs = options.reportIntervalMs;
        crowdOptions.silentShare = options.silentShare;
        crowdOptions.silenceSeconds = options.silenceSeconds;
        crowdOptions.seed = options.seed;
        crowdOfPeople = new Crowd(people, crowdOptions, this);
        crowdOfPeople->start();
    }
    if (options.settled > 0) {
        SettledCrowd::Options settledOptions;
        settledOptions.positionService = options.positionService;
        settledOptions.centre = options.centre;
        settledOptions.seed = options.seed;
        settledOptions.credential = [this](const CrowdPerson &person) {
            return QByteArrayLiteral("VKontakte ")
                + vkontakte->signedSession(person.id).toBase64(
                    QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        };
        settledPeople = new SettledCrowd(options.settled, settledOptions, this);
        connect(settledPeople, &SettledCrowd::finished, this, [](int settled, int failed) {
            qInfo().noquote() << QStringLiteral(
                "pinrova-sandbox: %1 people settled, %2 refused or unanswered")
                                     .arg(settled)
                                     .arg(failed);
        });
        settledPeople->start();
    }
    return true;
}

QStringList SandboxWorld::addresses() const
{
    return lines;
}

} // namespace Pinrova::Sandbox
