#include "follower.h"

#include <QGeoPositionInfoSource>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QtMath>

#include <algorithm>
#include <cmath>

#include "isocialinfo.h"
#include "mapwidget.h"
#include "outsideaddresses.h"
#include "positionservicerequests.h"

namespace Pinrova::Map {

namespace {

// Which request a reply answers.
constexpr QNetworkRequest::Attribute KindTag = QNetworkRequest::User;
enum RequestKind { SetPosKind, RegisterKind, HideKind, ForgetKind };

// A session key is 43 base64url characters; anything far longer or of other characters is no
// key and must not be echoed into a header.
constexpr int MaximumKeyLength = 256;

bool isSessionKey(const QByteArray &key)
{
    if (key.isEmpty() || key.size() > MaximumKeyLength)
        return false;
    return std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || c == '-' || c == '_';
    });
}

QByteArray bearer(const QByteArray &key)
{
    return QByteArrayLiteral("Bearer ") + key;
}

constexpr double GridDegrees = 0.01;

// The main window asks for position updates on every activation; a warning shown each time
// would re-trigger itself when it closes, so it is shown once per process.
bool warnedOfNoSource = false;

} // namespace

QGeoCoordinate approximatePosition(const QGeoCoordinate &exact)
{
    if (!exact.isValid())
        return exact;
    const double lat
        = qBound(-90.0, std::round(exact.latitude() / GridDegrees) * GridDegrees, 90.0);
    // Near the poles a degree of longitude shrinks to nothing; the step stops at a whole turn.
    const double shrink = std::cos(qDegreesToRadians(lat));
    const double lonStep = shrink > GridDegrees / 360 ? GridDegrees / shrink : 360.0;
    double lon = std::round(exact.longitude() / lonStep) * lonStep;
    if (lon > 180)
        lon -= 360;
    else if (lon < -180)
        lon += 360;
    return QGeoCoordinate(lat, qBound(-180.0, lon, 180.0));
}

Follower::Follower(MapWidget *map, QGeoPositionInfoSource *source, QObject *parent)
    : QObject(parent)
    , map(map)
    , positionSource(source)
{
    if (map)
        connect(map, &MapWidget::userMovedMap, this, &Follower::stopFollowing);
    connect(&requests, &Network::RequestReplyStack::reply, this, &Follower::networkReply);
    requests.setMaximumBodyBytes(MaximumAnswerBytes);
    requests.setDeadline(ServiceDeadlineMs);
    requests.setSavingToDisk(false); // the installation's uid and the user's track
    if (source) {
        connect(source, &QGeoPositionInfoSource::positionUpdated, this, &Follower::positionUpdated);
        connect(source, &QGeoPositionInfoSource::updateTimeout, this, &Follower::updateTimeout);
    }
}

Follower::~Follower()
{
    if (map)
        disconnect(map, &MapWidget::userMovedMap, this, &Follower::stopFollowing);
    if (positionSource) {
        positionSource->stopUpdates();
        disconnect(positionSource, nullptr, nullptr, nullptr);
    }
}

void Follower::startPositionUpdates()
{
    if (!positionSource) {
        warnNoPositionSource();
        return;
    }
    positionSource->setPreferredPositioningMethods(QGeoPositionInfoSource::AllPositioningMethods);
    positionSource->setUpdateInterval(UpdateInterval);
    positionSource->startUpdates();
}

void Follower::stopPositionUpdates()
{
    if (positionSource)
        positionSource->stopUpdates();
}

void Follower::warnNoPositionSource()
{
    if (warnedOfNoSource)
        return;
    warnedOfNoSource = true;
    // Not modal to the caller's loop: open() returns at once, so no activation change can
    // reach this again while the box is up.
    auto *box = new QMessageBox(QMessageBox::Warning, QString(),
        tr("Unable to retrieve your coordinates. Can not display your current position."),
        QMessageBox::Ok, qobject_cast<QWidget *>(parent()));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void Follower::tellRefusal()
{
    if (toldOfRefusal)
        return;
    toldOfRefusal = true;
    // Not modal, like the warning above: the box's activation changes register again, and
    // a refusal then must not bring up another box.
    auto *box = new QMessageBox(QMessageBox::Warning, QString(),
        tr("The position service did not accept your profile, so other people cannot see you "
           "on the map."),
        QMessageBox::Ok, qobject_cast<QWidget *>(parent()));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void Follower::tellSignInAgain()
{
    if (toldToSignIn)
        return;
    toldToSignIn = true;
    auto *box = new QMessageBox(QMessageBox::Information, QString(),
        tr("Your sign-in has expired. Sign in again to stay visible to other people."),
        QMessageBox::Ok, qobject_cast<QWidget *>(parent()));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The map stays usable while the box is up: the user may sign in again when they like.
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void Follower::updateTimeout()
{
    QTimer::singleShot(RestartDelay, this, &Follower::startPositionUpdates);
}

void Follower::startFollowing()
{
    startPositionUpdates();
    following = true;
    if (map && positionSource) {
        const QGeoPositionInfo last = positionSource->lastKnownPosition(false);
        if (last.coordinate().isValid())
            positionUpdated(last);
        else
            map->setCenter(map->myLatitude(), map->myLongitude());
    }
    emit followingChanged();
}

void Follower::stopFollowing()
{
    if (!following)
        return;
    following = false;
    emit followingChanged();
}

void Follower::positionUpdated(QGeoPositionInfo info)
{
    const QGeoCoordinate coordinate = info.coordinate();
    if (!coordinate.isValid())
        return;
    if (map) {
        if (following)
            map->setCenter(coordinate.latitude(), coordinate.longitude());
        map->setMyPosition(coordinate.latitude(), coordinate.longitude());
    }
    emit newPosition(info);
    sendPosition(info);
}

void Follower::startServerCommunication(QUuid newUid)
{
    uid = newUid;
    stalled = false;
    if (forgotten)
        return;
    for (int type = Facebook; type < UnknownNetwork; ++type) {
        const QSharedPointer<Social::ISocialInfo> connector
            = Social::socialInfoForNetwork(static_cast<NetworkType>(type));
        if (!connector)
            continue;
        if (connector->credentialExpired())
            tellSignInAgain();
        if (!connector->isLoggedIn())
            continue;
        // Unique: starting again while a profile is on its way must not register it twice.
        connect(connector.data(), &Social::ISocialInfo::userInfoRetrieved, this,
            &Follower::userInfoRetrieved, Qt::UniqueConnection);
        connector->retrieveUserInfo();
        return;
    }
}

void Follower::stopServerCommunication()
{
    communicating = false;
}

void Follower::userInfoRetrieved(Person userInfo)
{
    const int type = userInfo.networkType;
    if (type < 0 || type >= NetworkTypeCount)
        return;
    const QSharedPointer<Social::ISocialInfo> connector
        = Social::socialInfoForNetwork(userInfo.networkType);
    if (!connector)
        return;
    disconnect(connector.data(), &Social::ISocialInfo::userInfoRetrieved, this,
        &Follower::userInfoRetrieved);
    // The service keys people by their identifier; without one there is nobody to register.
    // The next startServerCommunication asks for the profile again.
    // A profile that comes while the service forgets the user must not register them again.
    if (userInfo.userIds[static_cast<std::size_t>(type)].isEmpty() || forgotten || forgetting)
        return;

    registration = QNetworkRequest(Social::registerUrl(Network::positionService(), uid, userInfo));
    registration.setRawHeader("User-Agent", Social::positionServiceUserAgent());
    registration.setAttribute(KindTag, RegisterKind);
    registration.setTransferTimeout(ServiceTimeoutMs);
    network = userInfo.networkType;
    registered = false;
    refused = false;
    communicating = true;
    sendRegistration();
}

void Follower::sendRegistration()
{
    if (network == UnknownNetwork || refused || forgotten || !quietUntil.hasExpired())
        return;
    // The connector's current credential: a new sign-in since the profile came brings a new one.
    const QSharedPointer<Social::ISocialInfo> connector = Social::socialInfoForNetwork(network);
    if (!connector)
        return;
    if (connector->credentialExpired()) {
        tellSignInAgain();
        return;
    }
    registration.setRawHeader("Authorization", connector->serviceCredential());
    registering = true;
    requests.get(registration);
}

void Follower::sendWithKey(const QUrl &url, int kind)
{
    QNetworkRequest request(url);
    if (!sessionKey.isEmpty())
        request.setRawHeader("Authorization", bearer(sessionKey));
    request.setAttribute(KindTag, kind);
    request.setTransferTimeout(ServiceTimeoutMs);
    if (kind == SetPosKind)
        requests.get(request);
    else
        requests.post(request);
}

void Follower::setShown(bool show)
{
    if (show == shown)
        return;
    shown = show;
    if (!shown) {
        if (registered)
            sendWithKey(Social::hideUrl(Network::positionService(), uid), HideKind);
        return;
    }
    // Only a Register ends the hiding; the user chose to be seen, so a forgetting ends too.
    forgotten = false;
    refused = false;
    stalled = false;
    if (communicating && !registering) {
        registered = false;
        sendRegistration();
    }
}

void Follower::setApproximate(bool on)
{
    approximate = on;
}

void Follower::forgetMe()
{
    if (forgetting)
        return;
    // Already forgotten: nothing is left to delete, and no key to ask with.
    if (forgotten) {
        emit forgetFinished(true);
        return;
    }
    forgetting = true;
    if (registered) {
        sendWithKey(Social::forgetUrl(Network::positionService(), uid), ForgetKind);
        return;
    }
    // Forget needs a key: a Register first, whose answer sends it.
    stalled = false;
    refused = false;
    if (!registering)
        sendRegistration();
    if (!registering)
        forgetAnswered(false);
}

void Follower::registerAgain(const QByteArray &refusedKey)
{
    if (refusedKey.isEmpty() || refusedKey != sessionKey || registering)
        return;
    loseKey(true);
}

void Follower::loseKey(bool registerAgain)
{
    registered = false;
    if (!sessionKey.isEmpty()) {
        sessionKey.clear();
        emit sessionKeyChanged(QByteArray());
    }
    if (!registerAgain)
        return;
    if (registeredAfterRefusal) {
        stalled = true;
        return;
    }
    registeredAfterRefusal = true;
    sendRegistration();
}

void Follower::holdOff(const QByteArray &retryAfter)
{
    bool ok = false;
    const int seconds = retryAfter.trimmed().toInt(&ok);
    // A date or nothing at all: a second, the shortest pause that helps.
    const int wait = ok ? qBound(1, seconds, MaximumRetryAfter) : 1;
    quietUntil.setRemainingTime(wait * 1000);
    // A Register put off this way is sent again when the pause ends, fixes or not.
    QTimer::singleShot(wait * 1000 + 50, Qt::PreciseTimer, this, [this] {
        if (communicating && !registered && !registering && !stalled)
            sendRegistration();
    });
}

void Follower::networkReply(QNetworkReply *reply)
{
    const QNetworkRequest request = reply->request();
    const int kind = request.attribute(KindTag).toInt();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool answered = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    const QByteArray body = answered && kind == RegisterKind ? reply->readAll() : QByteArray();
    const QByteArray retryAfter = reply->rawHeader("Retry-After");
    requests.releaseReply(reply);
    if (status == 429 || (status == 503 && !retryAfter.isEmpty()))
        holdOff(retryAfter);

    switch (kind) {
    case RegisterKind:
        // An answer to a profile that has since been replaced says nothing about the new one.
        if (request.url() == registration.url())
            registerAnswered(answered ? 200 : (status >= 300 ? status : 0), body.trimmed());
        return;
    case SetPosKind:
        positionAnswered(status, request.rawHeader("Authorization").mid(7));
        return;
    case ForgetKind:
        forgetAnswered(answered);
        return;
    default:
        return; // Hide: a failed one is sent again when the user next hides
    }
}

void Follower::registerAnswered(int status, const QByteArray &body)
{
    registering = false;
    registered = status == 200;
    // A 4xx is the service's verdict on the profile or its credential; a failure, a 5xx or a
    // request to slow down may pass.
    refused = status >= 400 && status < 500 && status != 408 && status != 429;
    if (refused)
        tellRefusal();
    if (!registered) {
        if (forgetting)
            forgetAnswered(false);
        return;
    }
    // A service on the open protocol answers without a key; requests then go without one.
    const QByteArray key = isSessionKey(body) ? body : QByteArray();
    if (sessionKey != key) {
        sessionKey = key;
        emit sessionKeyChanged(sessionKey);
    }
    if (forgetting) {
        sendWithKey(Social::forgetUrl(Network::positionService(), uid), ForgetKind);
        return;
    }
    // A Register ends any hiding on the service; a user who hides is hidden again at once.
    if (!shown) {
        sendWithKey(Social::hideUrl(Network::positionService(), uid), HideKind);
        return;
    }
    if (!communicating || !positionSource)
        return;
    const QGeoPositionInfo last = positionSource->lastKnownPosition(false);
    if (last.coordinate().isValid())
        sendPosition(last);
}

void Follower::positionAnswered(int status, const QByteArray &usedKey)
{
    if (status >= 200 && status < 300) {
        registeredAfterRefusal = false;
        return;
    }
    // A refusal of a key already replaced says nothing about the current one.
    if (usedKey != sessionKey)
        return;
    // The service answers 404 to a uid it does not know: register again with the next fix.
    if (status == 404)
        registered = false;
    else if (status == 401)
        loseKey(!registering);
}

void Follower::forgetAnswered(bool deleted)
{
    forgetting = false;
    if (deleted) {
        forgotten = true;
        loseKey(false);
    }
    emit forgetFinished(deleted);
}

void Follower::sendPosition(const QGeoPositionInfo &info)
{
    if (!communicating || refused || !shown || forgotten || forgetting || !quietUntil.hasExpired())
        return;
    if (!registered) {
        if (!registering && !stalled)
            sendRegistration();
        return;
    }
    // Rounded here, so the exact fix never leaves the machine.
    const QGeoCoordinate coordinate
        = approximate ? approximatePosition(info.coordinate()) : info.coordinate();
    sendWithKey(Social::setPosUrl(
                    Network::positionService(), uid, coordinate.latitude(), coordinate.longitude()),
        SetPosKind);
}

} // namespace Pinrova::Map
