#include "replylimit.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace Pinrova::Network {

QNetworkReply *getWithBodyLimit(
    QNetworkAccessManager &manager, QNetworkRequest request, qint64 maximumBytes)
{
    // Qt only inflates what it asked for itself.
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply *const reply = manager.get(request);
    // Without it Qt's HTTP thread reads on into memory however long the GUI thread is busy;
    // with it, the thread pauses once one byte over the limit is in, which the checks see.
    reply->setReadBufferSize(maximumBytes + 1);
    const auto check = [reply, maximumBytes] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (reply->bytesAvailable() > maximumBytes
            || (announced.isValid() && announced.toLongLong() > maximumBytes))
            reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, check);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, check);
    return reply;
}

} // namespace Pinrova::Network
