#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QVector>

#include <memory>

#include "crowdperson.h"

namespace Pinrova::Http {
class HttpServer;
}

namespace Pinrova::Sandbox {

// A person's initials in white on a disc of their colour, as PNG bytes of size x size pixels.
QByteArray avatarPng(const QString &initials, const QColor &color, int size);

// Serves the crowd's avatars under "/avatars/<id>_50.png" and "/avatars/<id>_100.png" (the
// small and medium pictures the networks offer). The pictures are drawn in the constructor,
// on the calling thread (the GUI thread, where text may be rendered); the route only reads them.
class AvatarGallery
{
public:
    static constexpr int SmallSize = 50;
    static constexpr int MediumSize = 100;

    // Draws the avatars of the people on one network and writes their picture addresses under
    // the server's base URL into them. One gallery per server.
    AvatarGallery(Http::HttpServer &server, QVector<CrowdPerson> &people, NetworkType network);
    ~AvatarGallery();
    AvatarGallery(const AvatarGallery &) = delete;
    AvatarGallery &operator=(const AvatarGallery &) = delete;

private:
    struct Pictures;
    std::shared_ptr<Pictures> pictures;
};

} // namespace Pinrova::Sandbox
