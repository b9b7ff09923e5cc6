#pragma once

#include <QtGlobal>

class QByteArray;
class QSize;
class QString;
class QUrl;
class QUuid;
struct Person;

namespace Pinrova::Social {

// The raw User-Agent of Register and GetUsers and of the list's picture downloads (SetPos
// goes without one).
QByteArray positionServiceUserAgent();

// The position service's requests under the base address (scheme, host, optional port,
// no trailing "/"). Keys and their order are fixed; every value is percent-encoded as a query
// value, so names and picture addresses carrying "&", "=", "#" or "+" reach the service whole.
QUrl registerUrl(const QString &base, const QUuid &uid, const Person &person);
QUrl setPosUrl(const QString &base, const QUuid &uid, double lat, double lon);
// Hide and Forget, both POSTed with the session key: stop listing the installation's person,
// or delete everything the service keeps about them.
QUrl hideUrl(const QString &base, const QUuid &uid);
QUrl forgetUrl(const QString &base, const QUuid &uid);
// GetUsers appends the view's size in pixels when it is known (each edge clamped into
// 1 ... MaximumViewEdge); without it the service answers for the handset's 800 x 480 screen.
QUrl getUsersUrl(const QString &base, qreal lat, qreal lon, int zoomLevel, const QSize &viewSize);
QUrl getUsersUrl(const QString &base, qreal lat, qreal lon, int zoomLevel);

// The largest view edge the service accepts.
constexpr int MaximumViewEdge = 4096;

} // namespace Pinrova::Social
