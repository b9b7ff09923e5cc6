#include "webserver.h"

#include "accesslog.h"
#include "metrics.h"
#include "router.h"
#include "waitingconnections.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <optional>
#include <thread>

namespace Pinrova::Server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

namespace {

class WebSession : public std::enable_shared_from_this<WebSession>
{
public:
    WebSession(tcp::socket &&socket, const Router &router, const WebServerLimits &limits,
        AccessLog *log, Metrics *metrics, std::shared_ptr<std::atomic<int>> connections,
        std::shared_ptr<std::atomic<bool>> draining, WaitingConnections &waiting)
        : stream(std::move(socket))
        , router(router)
        , limits(limits)
        , log(log)
        , metrics(metrics)
        , connections(std::move(connections))
        , draining(std::move(draining))
        , waiting(waiting)
        , place(waiting.enter([this] { close(); }))
    {
        beast::error_code ignored;
        const auto remote = stream.socket().remote_endpoint(ignored);
        client = ignored ? std::string("-") : remote.address().to_string();
    }

    ~WebSession()
    {
        waiting.leave(place);
        --*connections;
    }

    void start()
    {
        asio::dispatch(
            stream.get_executor(), [self = shared_from_this()] { self->awaitRequest(); });
    }

private:
    void awaitRequest()
    {
        if (*draining)
            return close();
        waiting.markWaiting(place);
        parser.emplace();
        parser->header_limit(static_cast<std::uint32_t>(limits.maxHeaderBytes));
        if (buffer.size() > 0) {
            readRequest();
            return;
        }
        // Waiting for the first byte of a request is idle time; the rest of it is read time.
        stream.expires_after(limits.idleTimeout);
        stream.async_read_some(
            buffer.prepare(4096), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                if (ec)
                    return self->close();
                self->buffer.commit(n);
                self->readRequest();
            });
    }

    void readRequest()
    {
        stream.expires_after(limits.readTimeout);
        http::async_read(stream, buffer, *parser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
    }

    void onRead(beast::error_code ec)
    {
        waiting.markBusy(place);
        started = std::chrono::steady_clock::now();
        if (ec == http::error::end_of_stream || ec == beast::error::timeout
            || ec == asio::error::operation_aborted || ec == asio::error::connection_reset
            || ec == asio::error::eof)
            return close();
        keepAlive = false;
        method = "-";
        target = "-";
        if (ec == http::error::header_limit)
            return send(WebReply::text(431, "request line and headers exceed the size limit"));
        if (ec)
            return send(WebReply::text(400, "malformed HTTP request"));

        const auto &request = parser->get();
        method = std::string(request.method_string());
        target = std::string(request.target());
        keepAlive = request.keep_alive();
        httpVersion = request.version();
        if (request.method() != http::verb::get)
            return send(WebReply::text(405, "only GET is served"));
        if (target.empty() || target.front() != '/')
            return send(WebReply::text(400, "target is not a path"));

        WebRequest webRequest;
        const auto question = target.find('?');
        webRequest.path = target.substr(0, question);
        if (question != std::string::npos)
            webRequest.query = target.substr(question + 1);
        router.dispatch(webRequest, [self = shared_from_this()](WebReply reply) {
            // Inline when answered on this connection's thread, queued when from another one.
            asio::dispatch(self->stream.get_executor(),
                [self, reply = std::move(reply)]() mutable { self->send(std::move(reply)); });
        });
    }

    void send(WebReply reply)
    {
        // The head is written by hand into a buffer kept across requests: Beast's general
        // response object allocates for every field, which showed in the SetPos profile.
        if (*draining)
            keepAlive = false; // the server is stopping: this is the connection's last answer
        head.clear();
        head += "HTTP/1.1 ";
        head += std::to_string(reply.status);
        head += ' ';
        const auto reason = http::obsolete_reason(static_cast<http::status>(reply.status));
        head.append(reason.data(), reason.size());
        head += "\r\nContent-Type: ";
        head += reply.contentType;
        head += "\r\nContent-Length: ";
        head += std::to_string(reply.body.size());
        // Every answer is about this moment: a cached list or acknowledgement would be wrong.
        head += "\r\nCache-Control: no-store";
        if (reply.status == 405)
            head += "\r\nAllow: GET";
        if (reply.retryAfterSeconds > 0) {
            head += "\r\nRetry-After: ";
            head += std::to_string(reply.retryAfterSeconds);
        }
        if (!keepAlive)
            head += "\r\nConnection: close";
        else if (httpVersion == 10)
            head += "\r\nConnection: keep-alive";
        head += "\r\n\r\n";
        body = std::move(reply.body);
        if (log || metrics) {
            const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - started)
                                    .count();
            if (log)
                log->record(client, method, target, reply.status, body.size(), micros);
            if (metrics)
                metrics->recordRequest(target, reply.status, micros);
        }
        stream.expires_after(limits.readTimeout);
        const std::array<asio::const_buffer, 2> buffers {asio::buffer(head), asio::buffer(body)};
        asio::async_write(
            stream, buffers, [self = shared_from_this()](beast::error_code ec, std::size_t) {
                if (ec || !self->keepAlive)
                    return self->close();
                self->awaitRequest();
            });
    }

    void close()
    {
        beast::error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream.close();
    }

    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::empty_body>> parser;
    std::string head;
    std::string body;
    unsigned httpVersion = 11;
    const Router &router;
    const WebServerLimits &limits;
    AccessLog *log;
    Metrics *metrics;
    std::shared_ptr<std::atomic<int>> connections;
    std::shared_ptr<std::atomic<bool>> draining;
    std::string client;
    std::string method;
    std::string target;
    bool keepAlive = false;
    std::chrono::steady_clock::time_point started;
    WaitingConnections &waiting;
    const WaitingConnections::Place place;
};

} // namespace

WebServer::WebServer(const Router &router, WebServerLimits limits, AccessLog *log, Metrics *metrics)
    : router(router)
    , limits(limits)
    , log(log)
    , metrics(metrics)
    , draining(std::make_shared<std::atomic<bool>>(false))
    , connections(std::make_shared<std::atomic<int>>(0))
{ }

WebServer::~WebServer()
{
    stop();
}

void WebServer::start(const std::string &host, unsigned short port)
{
    int count = limits.threads > 0 ? limits.threads
                                   : static_cast<int>(std::thread::hardware_concurrency());
    if (count < 1)
        count = 1;
    for (int i = 0; i < count; ++i) {
        contexts.push_back(std::make_unique<asio::io_context>(1));
        waiting.push_back(std::make_unique<WaitingConnections>());
    }
    const tcp::endpoint endpoint(asio::ip::make_address(host), port);
    acceptor = std::make_unique<tcp::acceptor>(*contexts[0]);
    acceptor->open(endpoint.protocol());
    acceptor->set_option(asio::socket_base::reuse_address(true));
    acceptor->bind(endpoint);
    acceptor->listen(asio::socket_base::max_listen_connections);
    boundPort = acceptor->local_endpoint().port();
    accept();
    for (auto &context : contexts) {
        asio::io_context *io = context.get();
        threads.emplace_back([io] {
            // Keeps the thread's loop alive while it has no connection yet.
            auto work = asio::make_work_guard(*io);
            io->run();
        });
    }
}

void WebServer::drain(std::chrono::milliseconds grace)
{
    if (threads.empty())
        return;
    *draining = true;
    asio::dispatch(*contexts[0], [this] {
        beast::error_code ignored;
        acceptor->close(ignored);
    });
    for (std::size_t i = 0; i < contexts.size(); ++i)
        asio::post(*contexts[i], [line = waiting[i].get()] { line->closeAllWaiting(); });
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (*connections > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void WebServer::stop()
{
    if (threads.empty())
        return;
    asio::dispatch(*contexts[0], [this] {
        beast::error_code ignored;
        acceptor->close(ignored);
    });
    for (auto &context : contexts)
        context->stop();
    for (auto &thread : threads)
        thread.join();
    threads.clear();
}

void WebServer::accept()
{
    const std::size_t index = nextContext;
    nextContext = (nextContext + 1) % contexts.size();
    acceptor->async_accept(
        *contexts[index], [this, index](beast::error_code ec, tcp::socket socket) {
            if (!acceptor->is_open())
                return;
            if (ec) {
                // Out of file descriptors and the like: back off instead of spinning.
                auto timer = std::make_shared<asio::steady_timer>(
                    *contexts[0], std::chrono::milliseconds(50));
                timer->async_wait([this, timer](beast::error_code) { accept(); });
                return;
            }
            // The session is made on its own thread: that thread's line is touched by no other.
            const bool room = *connections < limits.maxConnections;
            if (room)
                ++*connections;
            asio::post(*contexts[index], [this, index, room, socket = std::move(socket)]() mutable {
                if (!room) {
                    // The evicted connection is counted until it ends, soon after; its
                    // descriptor is closed at once.
                    if (!waiting[index]->closeLongestWaiting()) {
                        if (metrics)
                            metrics->recordRefusal();
                        beast::error_code ignored;
                        socket.close(ignored);
                        return;
                    }
                    if (metrics)
                        metrics->recordEviction();
                    ++*connections;
                }
                startSession(index, std::move(socket));
            });
            accept();
        });
}

void WebServer::startSession(std::size_t context, tcp::socket socket)
{
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    std::make_shared<WebSession>(
        std::move(socket), router, limits, log, metrics, connections, draining, *waiting[context])
        ->start();
}

} // namespace Pinrova::Server
