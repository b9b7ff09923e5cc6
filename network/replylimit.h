#pragma once

#include <QtGlobal>

class QNetworkReply;

namespace Pinrova::Network {

// Aborts the reply as soon as its body is known to be longer than maximumBytes: from a
// Content-Length that announces more, or from the unread bytes as they arrive. Watching
// downloadProgress() is not enough: Qt emits it at most every 100 ms, and a fast server sends
// far more than any limit in that time. Meant for owners that read the reply once it has
// finished; the aborted reply finishes with QNetworkReply::OperationCanceledError.
void limitReplyBody(QNetworkReply *reply, qint64 maximumBytes);

} // namespace Pinrova::Network
