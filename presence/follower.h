#pragma once

#include <QGeoPositionInfo>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include "person.h"
#include "requestreplystack.h"

class QGeoPositionInfoSource;
class QNetworkReply;

namespace Pinrova::Map {

class MapWidget;

// Turns position fixes into the own position on the map (and, in follow mode, the map's
// centre), and into reports to the position service: once a signed-in connector delivers the
// user's profile it registers it, then reports every fix. Neither the map nor the position
// source is owned; the source belongs to whoever created it.
class Follower : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Follower)

public:
    Follower(MapWidget *map, QGeoPositionInfoSource *source, QObject *parent = nullptr);
    ~Follower() override;

    bool isFollowing() const { return following; }
    bool isCommunicating() const { return communicating; }

    static constexpr int UpdateInterval = 3000; // ms between fixes asked of the source
    static constexpr int RestartDelay = 1000; // ms after a source time-out

signals:
    void followingChanged();
    void newPosition(QGeoPositionInfo info);

public slots:
    void startFollowing();
    void stopFollowing();
    void startPositionUpdates();
    void stopPositionUpdates();
    void startServerCommunication(QUuid uid);
    void stopServerCommunication();
    void positionUpdated(QGeoPositionInfo info);

private slots:
    void networkReply(QNetworkReply *reply);
    void userInfoRetrieved(Person userInfo);
    void updateTimeout();

private:
    void sendPosition(const QGeoPositionInfo &info);
    void warnNoPositionSource();

    QPointer<MapWidget> map;
    bool following = false;
    QPointer<QGeoPositionInfoSource> positionSource;
    bool communicating = false;
    QUuid uid;
    Network::RequestReplyStack requests;
};

} // namespace Pinrova::Map
