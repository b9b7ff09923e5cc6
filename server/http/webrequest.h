#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace Pinrova::Server {

// One request as the handlers see it: GET, or a POST without a body, so no body.
struct WebRequest
{
    std::string path; // target up to "?"
    std::string query; // target after "?", still percent-encoded
    std::string client; // the peer's address
    // Headers the handlers read, empty when absent. Never logged: Authorization carries
    // credentials and keys.
    std::string authorization;
    std::string forwardedFor; // X-Forwarded-For, believed only from a trusted proxy
};

struct WebReply
{
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    int retryAfterSeconds = 0; // sent as Retry-After when above 0
    const char *allow = "GET"; // the Allow header of a 405
    bool askForKey = false; // a 401 that names the Bearer scheme (WWW-Authenticate)

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

// One answered request, as the access log and the metrics see it. route is the name the
// router matched the path with, empty when none did (and for requests refused before
// routing); the views are valid during the call only.
struct AnsweredRequest
{
    std::string_view client;
    std::string_view method;
    std::string_view target;
    std::string_view route;
    int status = 0;
    std::size_t bytes = 0;
    long long micros = 0;
};

// Told of every answer and of connections turned away at the cap, from the HTTP threads at
// once: implementations must be thread-safe and must not block.
class WebObserver
{
public:
    virtual ~WebObserver() = default;
    virtual void requestAnswered(const AnsweredRequest &request) = 0;
    // A waiting connection closed at the cap to make room for a newcomer.
    virtual void connectionEvicted() { }
    // A newcomer closed at the cap because no connection was waiting.
    virtual void connectionRefused() { }
};

} // namespace Pinrova::Server
