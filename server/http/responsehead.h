#pragma once

#include "http/webrequest.h"

#include <string>

namespace Pinrova::Server {

// Writes the status line and headers of reply into head (replacing what it held, keeping its
// capacity). keepAlive false adds "Connection: close"; an HTTP/1.0 client (httpVersion 10)
// kept alive is told so, since 1.0 closes by default. The body is sent after it as it is.
void writeResponseHead(
    std::string &head, const WebReply &reply, bool keepAlive, unsigned httpVersion);

} // namespace Pinrova::Server
