#pragma once

#include <QList>
#include <QObject>
#include <QReadWriteLock>
#include <QSet>
#include <QSize>
#include <QUrl>
#include <QVector>

#include "nearbyuser.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace Pinrova::Social {

// The people around the point the map shows: asks the position service for them on every
// updateUserList() and every five seconds, keeps what it knew of people it lists again, and
// fetches their small pictures one at a time in list order. The service lists people only to
// a holder of a session key, so the list asks nothing until the follower has handed it one. The map
// paints from users() under the read lock; the list takes the write lock only to swap in a new
// vector or store a picture.
class NearByUserList : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(NearByUserList)

public:
    explicit NearByUserList(QObject *parent = nullptr);
    ~NearByUserList() override;

    void lockForRead();
    void unlock();
    // Valid between lockForRead() and unlock() only; copy what you need before unlocking.
    const QVector<NearByUser> &users() const { return userVector; }
    // The cells of the view the service counts beyond the people it lists; as users().
    const QVector<NearByCrowd> &crowds() const { return crowdVector; }
    // Goes up whenever a new answer replaces the people (not when a picture arrives); as
    // users(). What the map works out from positions stays valid while it stays the same.
    quint64 revision() const { return answerRevision; }

    // Whether GetUsers asks for the view's crowd too ("&crowds=1"); off by default, as a
    // service without the key answers the same either way.
    void setCrowdsWanted(bool wanted);
    bool crowdsWanted() const { return wantCrowds; }

    // Where the next refresh asks, without asking now: the map tells it when it moves by
    // itself (the follower re-centring it).
    void setPlace(qreal lat, qreal lon, int zoomLevel);
    // The map's size in pixels, sent with every request so the service lists the whole view.
    void setViewSize(const QSize &size);
    bool hasSessionKey() const { return !sessionKey.isEmpty(); }

    // The picture download in flight (redirects included); empty when none runs.
    QUrl pictureInFlight() const { return currentPictureUrl; }

    static constexpr int RefreshInterval = 5000; // ms
    // An answer or picture body beyond this is cut off unread; the list stays as it was.
    static constexpr qint64 MaximumBodyBytes = 4 * 1024 * 1024;
    // A picture whose header announces more than this on either edge is not decoded.
    static constexpr int MaximumPictureEdge = 2048;
    // A picture that redirects more often than this counts as failed.
    static constexpr int MaximumRedirects = 5;

signals:
    void userListChanged();
    // The service refused the key (401); the list waits for a new one.
    void sessionKeyRefused(const QByteArray &key);

public slots:
    void updateUserList(qreal lat, qreal lon, int zoomLevel);
    void updateUserList();
    // Empty: nothing is asked until a key comes. A key after a wait asks at once.
    void setSessionKey(const QByteArray &key);

private slots:
    void handleNetworkData(QNetworkReply *reply);

private:
    QNetworkReply *send(const QUrl &url, int tag);
    void handleUserList(QNetworkReply *reply);
    void handlePicture(QNetworkReply *reply, int index);
    void startNextPicture();
    void finishPicture();

    QVector<NearByUser> userVector;
    QVector<NearByCrowd> crowdVector;
    quint64 answerRevision = 0;
    bool wantCrowds = false;
    QNetworkAccessManager *manager = nullptr;
    QUrl currentPictureUrl;
    QList<QNetworkReply *> pendingReplies; // started, not yet handled; in start order
    QReadWriteLock lock;
    QTimer *refreshTimer = nullptr;
    qreal lastLat = 0;
    qreal lastLon = 0;
    int lastZoomLevel = 0;
    QSize viewSize;
    QByteArray sessionKey; // memory only
    bool waitingForKey = false; // a refresh was due while there was no key

    // Bounds on a broken picture: it is not asked again before the next answer, and its
    // redirects are counted.
    QSet<QUrl> failedPictures;
    QUrl requestedPictureUrl; // as the list holds it, before any redirect
    int redirectsFollowed = 0;
    bool pictureRunning = false;
};

} // namespace Pinrova::Social
