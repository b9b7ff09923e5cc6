#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Pinrova::Http {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// One request as the server received it.
struct HttpRequest
{
    std::string method;
    std::string target; // as sent: path, then "?" and the query when there is one
    std::string path; // target up to "?"
    std::string query; // target after "?", still percent-encoded
    HttpHeaders headers; // in the order received, names as sent
    std::string body;

    // Header value by case-insensitive name; empty when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
    // Percent-decoded value of a query key ("+" stays "+"); empty when absent.
    std::string queryValue(std::string_view key) const;
    bool hasQueryKey(std::string_view key) const;
};

// What a route answers. Built with the static helpers, refined with the "with" setters.
struct HttpResponse
{
    enum class Mode {
        Answer, // send status, headers and body
        Drop, // close the connection without answering
    };

    int status = 200;
    HttpHeaders headers;
    std::string body;
    std::chrono::milliseconds delay {
        0}; // wait this long before answering (the server stays responsive)
    Mode mode = Mode::Answer;
    bool chunked = false; // body in chunked framing, without a Content-Length

    static HttpResponse ok(std::string body, std::string contentType = "text/plain");
    static HttpResponse error(int status, std::string body = {});
    static HttpResponse redirect(std::string location, int status = 302);
    static HttpResponse drop();

    HttpResponse &withHeader(std::string name, std::string value);
    HttpResponse &withDelay(std::chrono::milliseconds wait);
    HttpResponse &withChunkedBody();
};

using HttpHandler = std::function<HttpResponse(const HttpRequest &)>;

class Session;

// A small HTTP/1.1 server on Boost.Beast for the tests and the sandbox's stand-ins. It listens on
// 127.0.0.1 on a port the system picks, runs in its own thread and answers each request from
// scripted routes. Every request is logged with its headers. Handlers run on the server's
// thread, so whatever they capture must be safe to read from there.
class HttpServer
{
public:
    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Binds and starts serving; false when the socket cannot be opened.
    bool start();
    // Stops serving and drops every open connection; also done by the destructor.
    void stop();

    unsigned short port() const;
    // "http://127.0.0.1:<port>"
    std::string baseUrl() const;

    // Routes may be changed while the server runs. An exact path wins over a prefix; the
    // longest matching prefix wins among prefixes; requests nothing matches get the fallback,
    // which answers 404 unless replaced.
    void route(std::string path, HttpHandler handler);
    void routePrefix(std::string prefix, HttpHandler handler);
    void setFallback(HttpHandler handler);
    void clearRoutes();

    std::vector<HttpRequest> requests() const;
    std::size_t requestCount() const;
    // Requests logged for one path (the target up to "?").
    int requestCount(const std::string &path) const;
    void clearLog();

    // Requests received and not yet answered, and the highest that count has been.
    int requestsInFlight() const;
    int maxRequestsInFlight() const;
    void resetMaxRequestsInFlight();

private:
    struct Impl;
    friend class Session;
    std::shared_ptr<Impl> d;
};

// Percent-decodes a URL component; malformed escapes are kept as they are.
std::string percentDecode(std::string_view text);

} // namespace Pinrova::Http
