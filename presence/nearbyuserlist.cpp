#include "nearbyuserlist.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QTimer>

#include "boundedimage.h"
#include "outsideaddresses.h"
#include "positionservicerequests.h"
#include "replylimit.h"
#include "userlistanswer.h"

namespace Pinrova::Social {

namespace {

// The tag of the GetUsers reply; picture downloads carry their person's index.
constexpr int UserListTag = -1;

// Pictures come from the web only: an answer or a redirect naming a local file or resource
// must not make the list read it.
bool isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace

NearByUserList::NearByUserList(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , refreshTimer(new QTimer(this))
{
    auto *cache = new QNetworkDiskCache;
    cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    manager->setCache(cache);
    connect(manager, &QNetworkAccessManager::finished, this, &NearByUserList::handleNetworkData);
    connect(refreshTimer, &QTimer::timeout, this,
        static_cast<void (NearByUserList::*)()>(&NearByUserList::updateUserList));
}

NearByUserList::~NearByUserList()
{
    const QList<QNetworkReply *> replies = pendingReplies;
    pendingReplies.clear();
    qDeleteAll(replies);
}

void NearByUserList::lockForRead()
{
    lock.lockForRead();
}

void NearByUserList::unlock()
{
    lock.unlock();
}

void NearByUserList::updateUserList(qreal lat, qreal lon, int zoomLevel)
{
    lastLat = lat;
    lastLon = lon;
    lastZoomLevel = zoomLevel;
    refreshTimer->start(RefreshInterval);

    // A refresh abandons whatever still runs; abandoned replies are ignored if they finish
    // before they are deleted.
    const QList<QNetworkReply *> replies = pendingReplies;
    pendingReplies.clear();
    for (QNetworkReply *reply : replies)
        reply->deleteLater();
    currentPictureUrl.clear();
    pictureRunning = false;

    waitingForKey = sessionKey.isEmpty();
    if (waitingForKey)
        return;
    QUrl url = getUsersUrl(Network::positionService(), lat, lon, zoomLevel, viewSize);
    // After every key the designed service knows; one that does not know it ignores it.
    if (wantCrowds)
        url.setQuery(url.query(QUrl::FullyEncoded) + QLatin1String("&crowds=1"), QUrl::StrictMode);
    send(url, UserListTag);
}

void NearByUserList::setCrowdsWanted(bool wanted)
{
    wantCrowds = wanted;
    if (!wanted) {
        lock.lockForWrite();
        crowdVector.clear();
        lock.unlock();
    }
}

void NearByUserList::setPlace(qreal lat, qreal lon, int zoomLevel)
{
    lastLat = lat;
    lastLon = lon;
    lastZoomLevel = zoomLevel;
}

void NearByUserList::setViewSize(const QSize &size)
{
    viewSize = size;
}

void NearByUserList::setSessionKey(const QByteArray &key)
{
    sessionKey = key;
    if (waitingForKey && !sessionKey.isEmpty())
        updateUserList();
}

void NearByUserList::updateUserList()
{
    updateUserList(lastLat, lastLon, lastZoomLevel);
}

QNetworkReply *NearByUserList::send(const QUrl &url, int tag)
{
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", positionServiceUserAgent());
    request.setAttribute(QNetworkRequest::User, tag);
    // Names and positions of other people stay off the disk; pictures may be cached. Only the
    // service sees the key, never a picture host.
    if (tag == UserListTag) {
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setRawHeader("Authorization", QByteArrayLiteral("Bearer ") + sessionKey);
    }
    // Cut off hostile bodies while they arrive, so memory stays bounded.
    QNetworkReply *reply = Pinrova::Network::getWithBodyLimit(*manager, request, MaximumBodyBytes);
    pendingReplies.append(reply);
    return reply;
}

void NearByUserList::handleNetworkData(QNetworkReply *reply)
{
    // A reply a refresh has abandoned may still finish before its deletion; it belongs to a
    // list that no longer exists.
    if (!pendingReplies.contains(reply))
        return;
    const int tag = reply->request().attribute(QNetworkRequest::User).toInt();
    if (tag == UserListTag)
        handleUserList(reply);
    else
        handlePicture(reply, tag);
}

void NearByUserList::handleUserList(QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 401) {
        const QByteArray refused = reply->request().rawHeader("Authorization").mid(7);
        pendingReplies.removeOne(reply);
        reply->deleteLater();
        // Only the key in use is dropped; a late answer to an older one changes nothing.
        if (refused == sessionKey) {
            sessionKey.clear();
            waitingForKey = true;
            emit sessionKeyRefused(refused);
        }
        return;
    }
    // A failed answer stays pending until the next refresh disposes of it; the list stays.
    if (reply->error() != QNetworkReply::NoError)
        return;
    const QByteArray body = reply->read(MaximumBodyBytes + 1);
    pendingReplies.removeOne(reply);
    reply->deleteLater();
    if (body.size() > MaximumBodyBytes)
        return;

    lock.lockForRead();
    const QVector<NearByUser> current = userVector;
    lock.unlock();
    QVector<NearByCrowd> crowds;
    std::optional<QVector<NearByUser>> merged
        = readUserListAnswer(body, current, wantCrowds ? &crowds : nullptr);
    if (!merged)
        return;

    lock.lockForWrite();
    userVector = std::move(*merged);
    crowdVector = std::move(crowds);
    ++answerRevision;
    lock.unlock();
    failedPictures.clear();
    // Announced at once: people without pictures, people who moved and people who left would
    // otherwise stay as they were on the map until a picture arrives or the map moves.
    emit userListChanged();
    startNextPicture();
}

void NearByUserList::handlePicture(QNetworkReply *reply, int index)
{
    pendingReplies.removeOne(reply);
    reply->deleteLater();

    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    const QUrl next = reply->url().resolved(target);
    if (!target.isEmpty() && redirectsFollowed < MaximumRedirects && isWebUrl(next)) {
        ++redirectsFollowed;
        currentPictureUrl = next;
        send(currentPictureUrl, index);
        return;
    }

    QImage picture;
    if (target.isEmpty() && reply->error() == QNetworkReply::NoError)
        picture = Pinrova::Network::readBoundedImage(reply, MaximumPictureEdge);
    if (picture.isNull()) {
        failedPictures.insert(requestedPictureUrl);
    } else {
        lock.lockForWrite();
        if (index >= 0 && index < userVector.size())
            userVector[index].picture = picture;
        lock.unlock();
    }
    finishPicture();
    emit userListChanged();
    startNextPicture();
}

void NearByUserList::finishPicture()
{
    currentPictureUrl.clear();
    requestedPictureUrl.clear();
    redirectsFollowed = 0;
    pictureRunning = false;
}

void NearByUserList::startNextPicture()
{
    if (pictureRunning)
        return;
    int index = -1;
    QUrl url;
    lock.lockForRead();
    for (int i = 0; i < userVector.size(); ++i) {
        const NearByUser &user = userVector[i];
        const QUrl &candidate = user.person.smallPicture;
        // A person without a web address, or whose picture failed, waits for the next answer.
        if (user.picture.isNull() && isWebUrl(candidate) && !failedPictures.contains(candidate)) {
            index = i;
            url = candidate;
            break;
        }
    }
    lock.unlock();
    if (index < 0)
        return;

    pictureRunning = true;
    currentPictureUrl = url;
    requestedPictureUrl = url;
    redirectsFollowed = 0;
    send(url, index);
}

} // namespace Pinrova::Social
