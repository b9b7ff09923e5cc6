#pragma once

#include <QList>
#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace Pinrova::Network {

// A one-shot GET (and bodiless POST) client that its owner embeds. Every finished reply, failed or
// not, comes back once through reply(); the owner reads it and hands it back with releaseReply().
// The stack owns each reply from get() until it is released, and deletes those it still holds when
// it is destroyed. It adds no error handling, retries or redirects of its own; it only cuts off,
// when asked to, a body larger than a limit while it arrives (see getWithBodyLimit()), so a hostile
// server cannot fill the memory, and a request that outlives a deadline.
class RequestReplyStack : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RequestReplyStack)

public:
    explicit RequestReplyStack(QObject *parent = nullptr);
    ~RequestReplyStack() override;

    void get(const QNetworkRequest &request);
    // An empty-bodied POST, for requests that change something; handled like get().
    void post(const QNetworkRequest &request);
    // Drops the reply from the pending list (if it is there) and deletes it later, either way.
    void releaseReply(QNetworkReply *reply);
    int pendingCount() const;
    // 0 (the default) reads bodies of any size; applies to requests started afterwards.
    void setMaximumBodyBytes(qint64 bytes) { bodyLimit = bytes; }
    // Aborts a request still running this many ms after it started (it then finishes with
    // QNetworkReply::OperationCanceledError). A transfer time-out only catches a stall; a
    // server trickling a byte at a time never stalls. 0 (the default): no deadline. Applies to
    // requests started afterwards.
    void setDeadline(int ms) { deadlineMs = ms; }
    // False: no answer is written to the disk cache (requests carrying a credential or the
    // installation's uid, and their answers, must not sit in a cache folder). Cached answers
    // may still be read. True by default; applies to requests started afterwards.
    void setSavingToDisk(bool save) { saveToDisk = save; }
    // Deletes every pending reply at once; running downloads are dropped without a reply().
    void deleteAllReplies();

signals:
    void reply(QNetworkReply *reply);

private slots:
    void handleNetworkData(QNetworkReply *reply);

private:
    void track(QNetworkReply *reply);
    void deletePending();

    QList<QNetworkReply *> pendingReplies; // started, not yet released; in start order
    QNetworkAccessManager *manager = nullptr;
    qint64 bodyLimit = 0;
    int deadlineMs = 0;
    bool saveToDisk = true;
    // Replies whose reply() is being emitted; more than one when an owner's slot runs a nested
    // event loop.
    QList<QNetworkReply *> delivering;
};

} // namespace Pinrova::Network
