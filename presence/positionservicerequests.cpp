#include "positionservicerequests.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QUrl>
#include <QUuid>

#include "person.h"

namespace Pinrova::Social {

namespace {

const QString ServicePath = QStringLiteral("/PosService/PosService.svc/");

// Six significant digits: four decimals for most coordinates, which is what the service keeps.
QString coordinate(double value)
{
    return QString::number(value, 'g', 6);
}

// Builds "base/PosService/PosService.svc/<method>?k1=v1&k2=v2..." with every value encoded.
class QueryBuilder
{
public:
    QueryBuilder(const QString &base, const char *method)
        : text((base + ServicePath + QLatin1String(method) + QLatin1Char('?')).toUtf8())
    { }

    QueryBuilder &add(const char *key, const QString &value)
    {
        if (!first)
            text += '&';
        first = false;
        text += key;
        text += '=';
        text += QUrl::toPercentEncoding(value);
        return *this;
    }

    // Strict parsing keeps the percent escapes exactly as written.
    QUrl url() const { return QUrl::fromEncoded(text, QUrl::StrictMode); }

private:
    QByteArray text;
    bool first = true;
};

} // namespace

QByteArray positionServiceUserAgent()
{
    return QByteArrayLiteral("Pinrova. Qt mobile application.");
}

QUrl registerUrl(const QString &base, const QUuid &uid, const Person &person)
{
    const int type = person.networkType;
    const QString id = type >= 0 && type < NetworkTypeCount
        ? person.userIds[static_cast<std::size_t>(type)]
        : QString();
    return QueryBuilder(base, "Register")
        .add("uid", uid.toString())
        .add("network", networkTypeToString(person.networkType))
        .add("id", id)
        .add("name", person.name)
        .add("smallPic", person.smallPicture.toString())
        .add("mediumPic", person.mediumPicture.toString())
        .add("sex", QString::number(int(person.gender)))
        .url();
}

QUrl setPosUrl(const QString &base, const QUuid &uid, double lat, double lon)
{
    return QueryBuilder(base, "SetPos")
        .add("uid", uid.toString())
        .add("lat", coordinate(lat))
        .add("lon", coordinate(lon))
        .url();
}

QUrl hideUrl(const QString &base, const QUuid &uid)
{
    return QueryBuilder(base, "Hide").add("uid", uid.toString()).url();
}

QUrl forgetUrl(const QString &base, const QUuid &uid)
{
    return QueryBuilder(base, "Forget").add("uid", uid.toString()).url();
}

QUrl getUsersUrl(const QString &base, qreal lat, qreal lon, int zoomLevel, const QSize &viewSize)
{
    QueryBuilder query(base, "GetUsers");
    query.add("lat", coordinate(double(lat)))
        .add("lon", coordinate(double(lon)))
        .add("zoomlevel", QString::number(zoomLevel));
    if (!viewSize.isEmpty()) {
        query.add("width", QString::number(qBound(1, viewSize.width(), MaximumViewEdge)))
            .add("height", QString::number(qBound(1, viewSize.height(), MaximumViewEdge)));
    }
    return query.url();
}

QUrl getUsersUrl(const QString &base, qreal lat, qreal lon, int zoomLevel)
{
    return getUsersUrl(base, lat, lon, zoomLevel, QSize());
}

} // namespace Pinrova::Social
