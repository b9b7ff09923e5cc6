#include "httpserver.h"

#include "base/textcoding.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace Pinrova::Http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

// Calls back for every "key=value" pair of a query, both still encoded.
template<typename Visit> void forEachQueryPair(std::string_view query, Visit visit)
{
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const auto eq = pair.find('=');
        if (eq == std::string_view::npos) {
            if (!visit(pair, std::string_view()))
                return;
        } else if (!visit(pair.substr(0, eq), pair.substr(eq + 1))) {
            return;
        }
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
}

} // namespace

class Session;

std::string percentDecode(std::string_view text)
{
    std::string out;
    Pinrova::percentDecode(text, out, MalformedEscape::Keep);
    return out;
}

std::string HttpRequest::header(std::string_view name) const
{
    for (const auto &[key, value] : headers) {
        if (equalsIgnoringCase(key, name))
            return value;
    }
    return {};
}

bool HttpRequest::hasHeader(std::string_view name) const
{
    return std::any_of(headers.begin(), headers.end(),
        [name](const auto &h) { return equalsIgnoringCase(h.first, name); });
}

std::string HttpRequest::queryValue(std::string_view key) const
{
    std::string result;
    forEachQueryPair(query, [&](std::string_view k, std::string_view v) {
        if (percentDecode(k) != key)
            return true;
        result = percentDecode(v);
        return false;
    });
    return result;
}

bool HttpRequest::hasQueryKey(std::string_view key) const
{
    bool found = false;
    forEachQueryPair(query, [&](std::string_view k, std::string_view) {
        found = percentDecode(k) == key;
        return !found;
    });
    return found;
}

HttpResponse HttpResponse::ok(std::string body, std::string contentType)
{
    HttpResponse response;
    response.body = std::move(body);
    response.headers.emplace_back("Content-Type", std::move(contentType));
    return response;
}

HttpResponse HttpResponse::error(int status, std::string body)
{
    HttpResponse response;
    response.status = status;
    response.body = std::move(body);
    response.headers.emplace_back("Content-Type", "text/plain");
    return response;
}

HttpResponse HttpResponse::redirect(std::string location, int status)
{
    HttpResponse response;
    response.status = status;
    response.headers.emplace_back("Location", std::move(location));
    response.headers.emplace_back("Content-Type", "text/html");
    response.body = "<html><body>Moved</body></html>";
    return response;
}

HttpResponse HttpResponse::drop()
{
    HttpResponse response;
    response.mode = Mode::Drop;
    return response;
}

HttpResponse &HttpResponse::withHeader(std::string name, std::string value)
{
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

HttpResponse &HttpResponse::withDelay(std::chrono::milliseconds wait)
{
    delay = wait;
    return *this;
}

HttpResponse &HttpResponse::withChunkedBody()
{
    chunked = true;
    return *this;
}

struct HttpServer::Impl : std::enable_shared_from_this<HttpServer::Impl>
{
    asio::io_context io;
    tcp::acceptor acceptor {io};
    std::thread thread;
    unsigned short port = 0;

    mutable std::mutex mutex;
    std::map<std::string, HttpHandler> exactRoutes;
    std::map<std::string, HttpHandler> prefixRoutes;
    HttpHandler fallback;
    std::vector<HttpRequest> log;

    std::atomic<int> inFlight {0};
    std::atomic<int> maxInFlight {0};

    // Touched only on the server's thread.
    std::vector<std::weak_ptr<Session>> sessions;

    HttpHandler handlerFor(const std::string &path) const
    {
        std::lock_guard lock(mutex);
        if (auto it = exactRoutes.find(path); it != exactRoutes.end())
            return it->second;
        const HttpHandler *best = nullptr;
        std::size_t bestLength = 0;
        for (const auto &[prefix, handler] : prefixRoutes) {
            if (path.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= bestLength) {
                best = &handler;
                bestLength = prefix.size();
            }
        }
        if (best)
            return *best;
        return fallback;
    }

    void record(const HttpRequest &request)
    {
        std::lock_guard lock(mutex);
        log.push_back(request);
    }

    void requestStarted()
    {
        const int now = ++inFlight;
        int seen = maxInFlight.load();
        while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) { }
    }

    void requestEnded() { --inFlight; }

    void accept();
    void closeEverything();
};

class Session : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket socket, std::shared_ptr<HttpServer::Impl> server)
        : socket(std::move(socket))
        , timer(this->socket.get_executor())
        , server(std::move(server))
    { }

    void close()
    {
        endRequest();
        timer.cancel();
        beast::error_code ignored;
        socket.shutdown(tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
    }

    void read()
    {
        parser.emplace();
        parser->header_limit(64 * 1024);
        parser->body_limit(8 * 1024 * 1024);
        http::async_read(socket, buffer, *parser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
    }

private:
    void onRead(beast::error_code ec)
    {
        if (ec) {
            close();
            return;
        }
        const auto &message = parser->get();
        HttpRequest logged;
        logged.method = std::string(message.method_string());
        logged.target = std::string(message.target());
        const auto question = logged.target.find('?');
        logged.path = logged.target.substr(0, question);
        if (question != std::string::npos)
            logged.query = logged.target.substr(question + 1);
        for (const auto &field : message)
            logged.headers.emplace_back(
                std::string(field.name_string()), std::string(field.value()));
        logged.body = message.body();
        keepAlive = message.keep_alive();
        version = message.version();

        server->record(logged);
        server->requestStarted();
        inFlight = true;

        const HttpHandler handler = server->handlerFor(logged.path);
        HttpResponse answer = handler ? handler(logged) : HttpResponse::error(404, "Not found");

        if (answer.mode == HttpResponse::Mode::Drop) {
            close();
            return;
        }
        response = std::make_shared<http::response<http::string_body>>();
        response->version(version);
        response->result(static_cast<unsigned>(answer.status));
        for (const auto &[name, value] : answer.headers)
            response->set(name, value);
        response->body() = std::move(answer.body);
        response->keep_alive(keepAlive);
        if (answer.chunked)
            response->chunked(true);
        else
            response->prepare_payload();

        if (answer.delay.count() > 0) {
            timer.expires_after(answer.delay);
            timer.async_wait([self = shared_from_this()](beast::error_code waitError) {
                if (waitError)
                    self->close();
                else
                    self->write();
            });
        } else {
            write();
        }
    }

    void write()
    {
        http::async_write(socket, *response,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onWrite(ec); });
    }

    void onWrite(beast::error_code ec)
    {
        endRequest();
        if (ec || !keepAlive) {
            close();
            return;
        }
        read();
    }

    void endRequest()
    {
        if (inFlight) {
            inFlight = false;
            server->requestEnded();
        }
    }

    tcp::socket socket;
    asio::steady_timer timer;
    std::shared_ptr<HttpServer::Impl> server;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    std::shared_ptr<http::response<http::string_body>> response;
    bool keepAlive = true;
    unsigned version = 11;
    bool inFlight = false;
};

void HttpServer::Impl::accept()
{
    acceptor.async_accept([self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
        if (ec)
            return; // the acceptor was closed: the server is stopping
        socket.set_option(tcp::no_delay(true), ec);
        auto session = std::make_shared<Session>(std::move(socket), self);
        auto &all = self->sessions;
        all.erase(std::remove_if(all.begin(), all.end(), [](const auto &w) { return w.expired(); }),
            all.end());
        all.push_back(session);
        session->read();
        self->accept();
    });
}

void HttpServer::Impl::closeEverything()
{
    beast::error_code ignored;
    acceptor.close(ignored);
    for (const auto &weak : sessions) {
        if (auto session = weak.lock())
            session->close();
    }
    sessions.clear();
}

HttpServer::HttpServer()
    : d(std::make_shared<Impl>())
{ }

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::start()
{
    if (d->thread.joinable())
        return true;
    beast::error_code ec;
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    d->acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        d->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        d->acceptor.bind(endpoint, ec);
    if (!ec)
        d->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        return false;
    d->port = d->acceptor.local_endpoint().port();
    d->accept();
    d->thread = std::thread([impl = d] { impl->io.run(); });
    return true;
}

void HttpServer::stop()
{
    if (!d->thread.joinable())
        return;
    // Closing the acceptor and every connection aborts all pending operations; their handlers
    // release the sessions and the context then runs out of work, which ends the thread.
    asio::post(d->io, [impl = d] { impl->closeEverything(); });
    d->thread.join();
}

unsigned short HttpServer::port() const
{
    return d->port;
}

std::string HttpServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(d->port);
}

void HttpServer::route(std::string path, HttpHandler handler)
{
    std::lock_guard lock(d->mutex);
    d->exactRoutes[std::move(path)] = std::move(handler);
}

void HttpServer::routePrefix(std::string prefix, HttpHandler handler)
{
    std::lock_guard lock(d->mutex);
    d->prefixRoutes[std::move(prefix)] = std::move(handler);
}

void HttpServer::setFallback(HttpHandler handler)
{
    std::lock_guard lock(d->mutex);
    d->fallback = std::move(handler);
}

void HttpServer::clearRoutes()
{
    std::lock_guard lock(d->mutex);
    d->exactRoutes.clear();
    d->prefixRoutes.clear();
    d->fallback = nullptr;
}

std::vector<HttpRequest> HttpServer::requests() const
{
    std::lock_guard lock(d->mutex);
    return d->log;
}

std::size_t HttpServer::requestCount() const
{
    std::lock_guard lock(d->mutex);
    return d->log.size();
}

int HttpServer::requestCount(const std::string &path) const
{
    std::lock_guard lock(d->mutex);
    return static_cast<int>(std::count_if(d->log.begin(), d->log.end(),
        [&](const HttpRequest &request) { return request.path == path; }));
}

void HttpServer::clearLog()
{
    std::lock_guard lock(d->mutex);
    d->log.clear();
}

int HttpServer::requestsInFlight() const
{
    return d->inFlight.load();
}

int HttpServer::maxRequestsInFlight() const
{
    return d->maxInFlight.load();
}

void HttpServer::resetMaxRequestsInFlight()
{
    d->maxInFlight = d->inFlight.load();
}

} // namespace Pinrova::Http
