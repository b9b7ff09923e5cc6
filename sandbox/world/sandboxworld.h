#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Pinrova::Http {
class HttpServer;
}

namespace Pinrova::Sandbox {

class AvatarGallery;
class Crowd;
class SettledCrowd;
class FacebookStandIn;
class TileService;
class VkStandIn;
struct DemoUsers;
struct SandboxOptions;

// Everything pinrova-sandbox serves: a tile server, the Facebook stand-in (web and Graph on one
// server), the VKontakte stand-in (sign-in, API and profile pages on one server), the crowd's
// avatars and profile pages on their own network's server, and the crowd itself. Each server
// listens on 127.0.0.1 on a port the system picks.
class SandboxWorld : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SandboxWorld)

public:
    explicit SandboxWorld(QObject *parent = nullptr);
    ~SandboxWorld() override;

    // Call on the GUI thread: tiles' glyphs and avatars are drawn here. False with error()
    // when a server cannot listen or the MBTiles file cannot be read.
    bool start(const SandboxOptions &options, const DemoUsers &users);
    QString error() const { return failure; }

    // "NAME=URL" lines for the application's environment, in a fixed order.
    QStringList addresses() const;

    Crowd *crowd() const { return crowdOfPeople; }

private:
    std::unique_ptr<Http::HttpServer> tileServer;
    std::unique_ptr<Http::HttpServer> facebookServer;
    std::unique_ptr<Http::HttpServer> vkServer;
    std::unique_ptr<TileService> tiles;
    std::unique_ptr<FacebookStandIn> facebook;
    std::unique_ptr<VkStandIn> vkontakte;
    std::unique_ptr<AvatarGallery> facebookAvatars;
    std::unique_ptr<AvatarGallery> vkAvatars;
    Crowd *crowdOfPeople = nullptr; // child
    SettledCrowd *settledPeople = nullptr; // child
    QStringList lines;
    QString failure;
};

} // namespace Pinrova::Sandbox
