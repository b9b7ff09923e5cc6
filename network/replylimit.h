#pragma once

#include <QtGlobal>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace Pinrova::Network {

// Starts a GET whose body may hold at most maximumBytes and aborts the reply as soon as it is
// known to be longer: from a Content-Length that announces more, or from the unread bytes as
// they arrive, with or without a Content-Length. The reply's read buffer is one byte over the
// limit, which asks Qt's HTTP thread not to read on while the GUI thread is busy. Watching
// downloadProgress() is not enough: Qt emits it at most every 100 ms, and a fast server sends far
// more than any limit in that time. The request asks for an uncompressed body, and a compressed one
// is left as it came: Qt inflates bodies on its own thread before the limit can see them, so a
// megabyte of gzip could fill gigabytes. Meant for owners that read the reply once it has finished;
// an aborted reply finishes with QNetworkReply::OperationCanceledError.
QNetworkReply *getWithBodyLimit(
    QNetworkAccessManager &manager, QNetworkRequest request, qint64 maximumBytes);
// The same for a POST with an empty body.
QNetworkReply *postWithBodyLimit(
    QNetworkAccessManager &manager, QNetworkRequest request, qint64 maximumBytes);

} // namespace Pinrova::Network
