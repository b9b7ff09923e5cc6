#pragma once

#include <QGeoPositionInfo>
#include <QNetworkRequest>
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
    // A service request that stalls this long fails, so a hung service cannot pile them up.
    static constexpr int ServiceTimeoutMs = 30000;
    // A service request still running after this long fails, however its bytes trickle in.
    static constexpr int ServiceDeadlineMs = 60000;
    // Register and SetPos answer with a few bytes; a longer body is cut off while it arrives.
    static constexpr qint64 MaximumAnswerBytes = 64 * 1024;

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
    void sendRegistration();
    void warnNoPositionSource();
    void tellRefusal();

    QPointer<MapWidget> map;
    bool following = false;
    QPointer<QGeoPositionInfoSource> positionSource;
    bool communicating = false;
    QUuid uid;
    // The last profile's Register, sent again whenever the service does not know the uid: it
    // was down when the profile came, or it has lost its records.
    QNetworkRequest registration;
    bool registered = false; // the service answered the Register
    bool registering = false; // a Register is on its way
    bool refused = false; // the service rejected the profile; asking again cannot help
    bool toldOfRefusal = false; // the user hears of a refusal once, not at every activation
    Network::RequestReplyStack requests {this};
};

} // namespace Pinrova::Map
