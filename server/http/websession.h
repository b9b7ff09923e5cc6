#pragma once

#include "http/waitingconnections.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Pinrova::Server {

struct WebContext;
struct WebReply;

// One HTTP/1.1 connection: reads a request, hands it to the router and writes its answer,
// as long as the client keeps the connection alive. Owned by the asynchronous operation in
// progress; lives on one thread of the server and counts itself among the server's
// connections until it ends.
class WebSession : public std::enable_shared_from_this<WebSession>
{
public:
    WebSession(boost::asio::ip::tcp::socket &&socket, std::shared_ptr<WebContext> context,
        WaitingConnections &waiting);
    ~WebSession();

    void start();

private:
    void awaitRequest();
    void readRequest();
    void onRead(boost::beast::error_code ec);
    void send(WebReply reply);
    void close();

    boost::beast::tcp_stream stream;
    boost::beast::flat_buffer buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> parser;
    const std::shared_ptr<WebContext> context;
    WaitingConnections &waiting;
    const WaitingConnections::Place place;
    std::string client;
    // The request being answered, kept for the observers.
    std::string method;
    std::string target;
    std::string_view route;
    unsigned httpVersion = 11;
    bool keepAlive = false;
    std::chrono::steady_clock::time_point started;
    std::string head; // kept across requests: its buffer is reused
    std::string body;
};

} // namespace Pinrova::Server
