#include "http/websession.h"

#include "http/responsehead.h"
#include "http/router.h"
#include "http/webcontext.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/range/iterator_range.hpp>

#include <array>

namespace Pinrova::Server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

WebSession::WebSession(
    tcp::socket &&socket, std::shared_ptr<WebContext> context, WaitingConnections &waiting)
    : stream(std::move(socket))
    , context(std::move(context))
    , waiting(waiting)
    , place(waiting.enter([this] { close(); }))
{
    beast::error_code ignored;
    const auto remote = stream.socket().remote_endpoint(ignored);
    client = ignored ? std::string("-") : remote.address().to_string();
}

WebSession::~WebSession()
{
    waiting.leave(place);
    --context->connections;
}

void WebSession::start()
{
    asio::dispatch(stream.get_executor(), [self = shared_from_this()] { self->awaitRequest(); });
}

void WebSession::awaitRequest()
{
    if (context->draining)
        return close();
    waiting.markWaiting(place);
    parser.emplace();
    parser->header_limit(static_cast<std::uint32_t>(context->limits.maxHeaderBytes));
    if (buffer.size() > 0) {
        readRequest();
        return;
    }
    // Waiting for the first byte of a request is idle time; the rest of it is read time.
    stream.expires_after(context->limits.idleTimeout);
    stream.async_read_some(
        buffer.prepare(4096), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
            if (ec)
                return self->close();
            self->buffer.commit(n);
            self->readRequest();
        });
}

void WebSession::readRequest()
{
    stream.expires_after(context->limits.readTimeout);
    http::async_read(stream, buffer, *parser,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
}

void WebSession::onRead(beast::error_code ec)
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
    route = {};
    if (ec == http::error::header_limit)
        return send(WebReply::text(431, "request line and headers exceed the size limit"));
    if (ec)
        return send(WebReply::text(400, "malformed HTTP request"));

    const auto &request = parser->get();
    method = std::string(request.method_string());
    target = std::string(request.target());
    keepAlive = request.keep_alive();
    httpVersion = request.version();
    const bool post = request.method() == http::verb::post;
    if (request.method() != http::verb::get && !post)
        return send(WebReply::text(405, "only GET and POST are served"));
    if (target.empty() || target.front() != '/')
        return send(WebReply::text(400, "target is not a path"));

    WebRequest webRequest;
    const auto question = target.find('?');
    webRequest.path = target.substr(0, question);
    if (question != std::string::npos)
        webRequest.query = target.substr(question + 1);
    // The route is decided here, once: the observers are told the router's choice.
    const Router::Route *found = context->router.find(webRequest.path);
    if (found)
        route = found->name;
    if (found ? found->post != post : post) {
        WebReply refused = WebReply::text(405, "this resource is not served with " + method);
        refused.allow = found && found->post ? "POST" : "GET";
        return send(std::move(refused));
    }
    webRequest.client = client;
    if (const auto it = request.find(http::field::authorization); it != request.end())
        webRequest.authorization = std::string(it->value());
    // HAProxy adds a header line of its own after any the client sent, so every line counts,
    // in order, as one list.
    for (const auto &line : boost::make_iterator_range(request.equal_range("X-Forwarded-For"))) {
        if (!webRequest.forwardedFor.empty())
            webRequest.forwardedFor += ", ";
        webRequest.forwardedFor.append(line.value().data(), line.value().size());
    }
    Router::dispatch(found, webRequest, [self = shared_from_this()](WebReply reply) {
        // Inline when answered on this connection's thread, queued when from another one.
        asio::dispatch(self->stream.get_executor(),
            [self, reply = std::move(reply)]() mutable { self->send(std::move(reply)); });
    });
}

void WebSession::send(WebReply reply)
{
    if (context->draining)
        keepAlive = false; // the server is stopping: this is the connection's last answer
    writeResponseHead(head, reply, keepAlive, httpVersion);
    body = std::move(reply.body);
    if (!context->observers.empty()) {
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - started)
                                .count();
        context->answered({client, method, target, route, reply.status, body.size(), micros});
    }
    stream.expires_after(context->limits.readTimeout);
    const std::array<asio::const_buffer, 2> buffers {asio::buffer(head), asio::buffer(body)};
    asio::async_write(
        stream, buffers, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec || !self->keepAlive)
                return self->close();
            self->awaitRequest();
        });
}

void WebSession::close()
{
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream.close();
}

} // namespace Pinrova::Server
