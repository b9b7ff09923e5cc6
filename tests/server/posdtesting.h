#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVector>

#include <utility>

class QNetworkAccessManager;

namespace Pinrova::Testing {

struct PosdAnswer
{
    int status = 0; // 0: no HTTP answer
    QByteArray body;
    QByteArray contentType;
    QByteArray cacheControl;
    QByteArray retryAfter;
};

// GETs url and waits for the answer (at most timeoutMs).
PosdAnswer httpGet(QNetworkAccessManager &manager, const QUrl &url, int timeoutMs = 10000);
// The same with a verb ("GET", "POST") and raw headers (name, value).
PosdAnswer httpSend(QNetworkAccessManager &manager, const QByteArray &verb, const QUrl &url,
    const QList<std::pair<QByteArray, QByteArray>> &headers, int timeoutMs = 10000);

// One <User> as the app's list reads the answer: QDomDocument without namespace processing,
// the first element of each name below the User, Online upper-cased against "TRUE", the
// UserId children of the first UserIds.
struct ListedUser
{
    double lat = 0;
    double lon = 0;
    bool online = false;
    QString name;
    QString sex;
    QString smallPicture;
    QString mediumPicture;
    QList<std::pair<QString, QString>> ids; // (Id, NetworkType)
};

// False when the body is not well-formed XML or its document element is not ArrayOfUser.
bool readUserList(const QByteArray &body, QVector<ListedUser> &users);

// A VKontakte session as its success page gives it (expire, mid, secret, sid and sig signed
// with appSecret), base64url without padding, as Register's credential carries it.
QByteArray testVkSession(const QString &mid, qint64 expire, const QByteArray &appSecret);

// A "uid=" value as the app sends it, numbered for tests.
QString testUid(int n);

// The query of a Register of facebook person n ("n<n>", no pictures) under testUid(n).
QString testRegisterQuery(int n);
// The query of a SetPos for testUid(n).
QString testPosQuery(int n, double lat, double lon = 30);

// A point offset (dx, dy) screen pixels from (lat, lon) on the app's map at zoom.
std::pair<double, double> offsetByPixels(double lat, double lon, int zoom, double dx, double dy);

} // namespace Pinrova::Testing
