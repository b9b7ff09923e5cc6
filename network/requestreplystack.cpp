#include "requestreplystack.h"

#include "replylimit.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QTimer>

namespace Pinrova::Network {

RequestReplyStack::RequestReplyStack(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
{
    // Every stack in the process shares the one cache folder; the manager owns the cache.
    auto *cache = new QNetworkDiskCache;
    cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    manager->setCache(cache);
    connect(manager, &QNetworkAccessManager::finished, this, &RequestReplyStack::handleNetworkData);
}

RequestReplyStack::~RequestReplyStack()
{
    deletePending();
}

void RequestReplyStack::get(const QNetworkRequest &original)
{
    QNetworkRequest request = original;
    if (!saveToDisk)
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    track(bodyLimit > 0 ? getWithBodyLimit(*manager, request, bodyLimit) : manager->get(request));
}

void RequestReplyStack::post(const QNetworkRequest &original)
{
    QNetworkRequest request = original;
    // Nothing is sent; a type keeps Qt from guessing (and warning about) a form.
    if (!request.header(QNetworkRequest::ContentTypeHeader).isValid())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain"));
    if (!saveToDisk)
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    track(bodyLimit > 0 ? postWithBodyLimit(*manager, request, bodyLimit)
                        : manager->post(request, QByteArray()));
}

void RequestReplyStack::track(QNetworkReply *reply)
{
    pendingReplies.append(reply);
    // The reply as context: the timer goes with it. Aborting a finished reply does nothing.
    if (deadlineMs > 0)
        QTimer::singleShot(deadlineMs, reply, &QNetworkReply::abort);
    // An owner that deletes a reply itself instead of releasing it must not leave a dangling
    // entry behind for the destructor to delete again.
    connect(reply, &QObject::destroyed, this, [this, reply] { pendingReplies.removeOne(reply); });
}

void RequestReplyStack::releaseReply(QNetworkReply *reply)
{
    if (!reply)
        return;
    pendingReplies.removeOne(reply);
    reply->deleteLater();
}

int RequestReplyStack::pendingCount() const
{
    return pendingReplies.size();
}

void RequestReplyStack::deleteAllReplies()
{
    deletePending();
}

void RequestReplyStack::handleNetworkData(QNetworkReply *reply)
{
    delivering.append(reply);
    emit this->reply(reply);
    delivering.removeLast();
}

void RequestReplyStack::deletePending()
{
    const QList<QNetworkReply *> replies = pendingReplies;
    pendingReplies.clear();
    for (QNetworkReply *reply : replies) {
        // A reply must not be deleted inside its own finished() chain (an owner that drops
        // everything from its reply() slot would otherwise crash the manager); it goes later.
        if (delivering.contains(reply))
            reply->deleteLater();
        else
            delete reply;
    }
}

} // namespace Pinrova::Network
