#include "http/responsehead.h"

#include <boost/beast/http.hpp>

namespace Pinrova::Server {

void writeResponseHead(
    std::string &head, const WebReply &reply, bool keepAlive, unsigned httpVersion)
{
    // Written by hand into a buffer kept across requests: Beast's general response object
    // allocates for every field, which showed in the SetPos profile.
    namespace http = boost::beast::http;
    head.clear();
    head += "HTTP/1.1 ";
    head += std::to_string(reply.status);
    head += ' ';
    const auto reason = http::obsolete_reason(static_cast<http::status>(reply.status));
    head.append(reason.data(), reason.size());
    // A 204 has no body, so neither its type nor its length.
    if (reply.status != 204) {
        head += "\r\nContent-Type: ";
        head += reply.contentType;
        head += "\r\nContent-Length: ";
        head += std::to_string(reply.body.size());
    }
    // Every answer is about this moment: a cached list or acknowledgement would be wrong.
    head += "\r\nCache-Control: no-store";
    if (reply.status == 405) {
        head += "\r\nAllow: ";
        head += reply.allow;
    }
    if (reply.askForKey)
        head += "\r\nWWW-Authenticate: Bearer";
    if (reply.retryAfterSeconds > 0) {
        head += "\r\nRetry-After: ";
        head += std::to_string(reply.retryAfterSeconds);
    }
    if (!keepAlive)
        head += "\r\nConnection: close";
    else if (httpVersion == 10)
        head += "\r\nConnection: keep-alive";
    head += "\r\n\r\n";
}

} // namespace Pinrova::Server
