#pragma once

#include <functional>
#include <string>

namespace Pinrova::Server {

// One request as the handlers see it: GET only, so no body.
struct WebRequest
{
    std::string path; // target up to "?"
    std::string query; // target after "?", still percent-encoded
};

struct WebReply
{
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    int retryAfterSeconds = 0; // sent as Retry-After when above 0

    static WebReply text(int status, std::string line)
    {
        WebReply reply;
        reply.status = status;
        reply.body = std::move(line) + "\n";
        return reply;
    }
};

// Handlers answer through this, at once or later from another thread; exactly once.
using Respond = std::function<void(WebReply)>;
using WebHandler = std::function<void(const WebRequest &, Respond)>;

} // namespace Pinrova::Server
