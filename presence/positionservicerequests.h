#pragma once

#include <QtGlobal>

class QByteArray;
class QString;
class QUrl;
class QUuid;
struct Person;

namespace Pinrova::Social {

// The raw User-Agent of Register and GetUsers and of the list's picture downloads (SetPos
// goes without one).
QByteArray positionServiceUserAgent();

// The position service's three requests under the base address (scheme, host, optional port,
// no trailing "/"). Keys and their order are fixed; every value is percent-encoded as a query
// value, so names and picture addresses carrying "&", "=", "#" or "+" reach the service whole.
QUrl registerUrl(const QString &base, const QUuid &uid, const Person &person);
QUrl setPosUrl(const QString &base, const QUuid &uid, double lat, double lon);
QUrl getUsersUrl(const QString &base, qreal lat, qreal lon, int zoomLevel);

} // namespace Pinrova::Social
