#include "follower.h"

#include <QGeoPositionInfoSource>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "isocialinfo.h"
#include "mapwidget.h"
#include "outsideaddresses.h"
#include "positionservicerequests.h"

namespace Pinrova::Map {

namespace {

// Marks the Register request, whose answer triggers the first report.
constexpr QNetworkRequest::Attribute RegisterTag = QNetworkRequest::User;

// The main window asks for position updates on every activation; a warning shown each time
// would re-trigger itself when it closes, so it is shown once per process.
bool warnedOfNoSource = false;

} // namespace

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
    for (int type = Facebook; type < UnknownNetwork; ++type) {
        const QSharedPointer<Social::ISocialInfo> connector
            = Social::socialInfoForNetwork(static_cast<NetworkType>(type));
        if (!connector || !connector->isLoggedIn())
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
    if (userInfo.userIds[static_cast<std::size_t>(type)].isEmpty())
        return;

    registration = QNetworkRequest(Social::registerUrl(Network::positionService(), uid, userInfo));
    registration.setRawHeader("User-Agent", Social::positionServiceUserAgent());
    registration.setAttribute(RegisterTag, true);
    registration.setTransferTimeout(ServiceTimeoutMs);
    registered = false;
    refused = false;
    sendRegistration();
    communicating = true;
}

void Follower::sendRegistration()
{
    registering = true;
    requests.get(registration);
}

void Follower::networkReply(QNetworkReply *reply)
{
    const bool wasRegister = reply->request().attribute(RegisterTag).toBool();
    const bool current = wasRegister && reply->request().url() == registration.url();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool answered = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    requests.releaseReply(reply);
    if (!wasRegister) {
        // The service answers 404 to a uid it does not know: register again with the next fix.
        if (status == 404)
            registered = false;
        return;
    }
    if (!current)
        return;
    registering = false;
    registered = answered;
    // A 4xx is the service's verdict on the profile itself; a failure or a 5xx may pass.
    refused = !answered && status >= 400 && status < 500;
    if (refused)
        tellRefusal();
    if (!registered || !communicating || !positionSource)
        return;
    const QGeoPositionInfo last = positionSource->lastKnownPosition(false);
    if (last.coordinate().isValid())
        sendPosition(last);
}

void Follower::sendPosition(const QGeoPositionInfo &info)
{
    if (!communicating || refused)
        return;
    if (!registered) {
        if (!registering)
            sendRegistration();
        return;
    }
    const QGeoCoordinate coordinate = info.coordinate();
    QNetworkRequest request(Social::setPosUrl(
        Network::positionService(), uid, coordinate.latitude(), coordinate.longitude()));
    request.setTransferTimeout(ServiceTimeoutMs);
    requests.get(request);
}

} // namespace Pinrova::Map
