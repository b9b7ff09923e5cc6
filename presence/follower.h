#pragma once

#include <QDeadlineTimer>
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
// user's profile it registers it with the connector's credential, keeps the session key the
// service answers (in memory only) and reports every fix with it. The user may hide from
// others, report only an approximate position, or have the service forget them. Neither the map
// nor the position source is owned; the source belongs to whoever created it.
class Follower : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Follower)

public:
    Follower(MapWidget *map, QGeoPositionInfoSource *source, QObject *parent = nullptr);
    ~Follower() override;

    bool isFollowing() const { return following; }
    bool isCommunicating() const { return communicating; }
    bool isShown() const { return shown; }
    bool isApproximate() const { return approximate; }

    static constexpr int UpdateInterval = 3000; // ms between fixes asked of the source
    static constexpr int RestartDelay = 1000; // ms after a source time-out
    // A service request that stalls this long fails, so a hung service cannot pile them up.
    static constexpr int ServiceTimeoutMs = 30000;
    // A service request still running after this long fails, however its bytes trickle in.
    static constexpr int ServiceDeadlineMs = 60000;
    // Register and SetPos answer with a few bytes; a longer body is cut off while it arrives.
    static constexpr qint64 MaximumAnswerBytes = 64 * 1024;
    // The longest wait a Retry-After may ask for, in seconds; a longer one is cut to this.
    static constexpr int MaximumRetryAfter = 3600;

signals:
    void followingChanged();
    void newPosition(QGeoPositionInfo info);
    // The key other requests carry; empty when there is none (yet, or any more).
    void sessionKeyChanged(QByteArray key);
    // How a forgetMe() ended: true once the service has deleted the person.
    void forgetFinished(bool forgotten);

public slots:
    void startFollowing();
    void stopFollowing();
    void startPositionUpdates();
    void stopPositionUpdates();
    void startServerCommunication(QUuid uid);
    void stopServerCommunication();
    void positionUpdated(QGeoPositionInfo info);
    // Off: the service stops listing the user and gets no more positions; on: registers again.
    void setShown(bool show);
    // Reports rounded to about a kilometre from now on; the map keeps the exact fix.
    void setApproximate(bool on);
    // Asks the service to delete the user; then nothing more is sent in this process.
    void forgetMe();
    // Someone else had this key refused (401): registers again, if it is still the current one.
    void registerAgain(const QByteArray &refusedKey);

private slots:
    void networkReply(QNetworkReply *reply);
    void userInfoRetrieved(Person userInfo);
    void updateTimeout();

private:
    void sendPosition(const QGeoPositionInfo &info);
    void sendRegistration();
    void sendWithKey(const QUrl &url, int kind);
    void registerAnswered(int status, const QByteArray &body);
    void positionAnswered(int status, const QByteArray &usedKey);
    void forgetAnswered(bool deleted);
    void loseKey(bool registerAgain);
    void holdOff(const QByteArray &retryAfter);
    void warnNoPositionSource();
    void tellRefusal();
    void tellSignInAgain();

    QPointer<MapWidget> map;
    bool following = false;
    QPointer<QGeoPositionInfoSource> positionSource;
    bool communicating = false;
    QUuid uid;
    // The last profile's Register, sent again whenever the service does not know the uid: it
    // was down when the profile came, or it has lost its records.
    QNetworkRequest registration;
    NetworkType network = UnknownNetwork; // whose connector's credential Register carries
    QByteArray sessionKey;
    bool registered = false; // the service answered the Register
    bool registering = false; // a Register is on its way
    bool refused = false; // the service rejected the profile; asking again cannot help
    bool toldOfRefusal = false; // the user hears of a refusal once, not at every activation
    bool toldToSignIn = false; // likewise of an expired credential
    // A refused key leads to one new Register; a second refusal before any report got through
    // waits for the next activation, so a service that refuses every key is not asked again
    // and again.
    bool registeredAfterRefusal = false;
    bool stalled = false;
    bool shown = true;
    bool approximate = false;
    bool forgetting = false; // a Forget waits for a key or for its answer
    bool forgotten = false;
    QDeadlineTimer quietUntil; // the service asked for a pause (429 or 503 with Retry-After)
    Network::RequestReplyStack requests {this};
};

// The centre of the cell of a grid of about a kilometre that holds the coordinate: 0.01 degree
// of latitude, and the longitude step that spans about as far at that latitude.
QGeoCoordinate approximatePosition(const QGeoCoordinate &exact);

} // namespace Pinrova::Map
