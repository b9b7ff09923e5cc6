#pragma once

#include "http/webcontext.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Pinrova::Server {

class Router;
class WaitingConnections;

// HTTP/1.1 with keep-alive on Boost.Beast: GET requests without a body, answered by the
// router. One single-threaded io_context per thread (a thread per core by default), and new
// connections dealt out to them in turn: a connection never changes threads, so there are no
// strands and no hand-offs between threads on the hot path; each thread keeps its own line of
// connections waiting for a request. The router and the observers (the access log, the
// metrics) are not owned and must outlive the server.
class WebServer
{
public:
    WebServer(const Router &router, WebServerLimits limits, std::vector<WebObserver *> observers);
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    // Binds (port 0 lets the system pick) and starts the threads; throws on failure.
    void start(const std::string &host, unsigned short port);
    // Stops accepting and closes every connection waiting for a request; a connection with a
    // request in hand is closed once its answer is sent. Returns when none is left or after
    // grace, whichever is first. The threads keep running: stop() ends them.
    void drain(std::chrono::milliseconds grace);
    // Stops accepting and answering and joins the threads. Answers still to come from other
    // threads are dropped with their connections when the server is destroyed.
    void stop();

    unsigned short port() const { return boundPort; }
    int connectionCount() const { return context->connections; }

private:
    void accept();
    void startSession(std::size_t index, boost::asio::ip::tcp::socket socket);

    const std::shared_ptr<WebContext> context;
    // Before the contexts: sessions still queued in them leave their line when destroyed.
    std::vector<std::unique_ptr<WaitingConnections>> waiting; // one per io_context
    std::vector<std::unique_ptr<boost::asio::io_context>> contexts; // [0] also accepts
    std::size_t nextContext = 0;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> acceptor;
    std::vector<std::thread> threads;
    unsigned short boundPort = 0;
};

} // namespace Pinrova::Server
