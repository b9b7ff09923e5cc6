#include "avatargallery.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <map>
#include <string>

#include "httpserver.h"

namespace Pinrova::Sandbox {

QByteArray avatarPng(const QString &initials, const QColor &color, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(qMax(6, size * 2 / 5));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, initials.toUpper());
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct AvatarGallery::Pictures
{
    std::map<std::string, std::string> byPath; // "/avatars/<id>_<size>.png" -> PNG
};

AvatarGallery::AvatarGallery(
    Http::HttpServer &server, QVector<CrowdPerson> &people, NetworkType network)
    : pictures(std::make_shared<Pictures>())
{
    const QString base = QString::fromStdString(server.baseUrl());
    for (CrowdPerson &person : people) {
        if (person.network != network)
            continue;
        for (const int size : {SmallSize, MediumSize}) {
            const QString path = QStringLiteral("/avatars/%1_%2.png").arg(person.id).arg(size);
            const QByteArray png = avatarPng(person.initials(), person.color, size);
            pictures->byPath[path.toStdString()] = png.toStdString();
            (size == SmallSize ? person.smallPicture : person.mediumPicture) = base + path;
        }
    }
    server.routePrefix("/avatars/",
        [p = std::shared_ptr<const Pictures>(pictures)](const Http::HttpRequest &request) {
            const auto it = p->byPath.find(request.path);
            if (it == p->byPath.end())
                return Http::HttpResponse::error(404, "No such picture");
            return Http::HttpResponse::ok(it->second, "image/png")
                .withHeader("Cache-Control", "public, max-age=86400");
        });
}

AvatarGallery::~AvatarGallery() = default;

} // namespace Pinrova::Sandbox
