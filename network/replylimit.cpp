#include "replylimit.h"

#include <QNetworkReply>

namespace Pinrova::Network {

void limitReplyBody(QNetworkReply *reply, qint64 maximumBytes)
{
    const auto check = [reply, maximumBytes] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (reply->bytesAvailable() > maximumBytes
            || (announced.isValid() && announced.toLongLong() > maximumBytes))
            reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, check);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, check);
}

} // namespace Pinrova::Network
