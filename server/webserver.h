#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Pinrova::Server {

class AccessLog;
class Metrics;
class Router;
class WaitingConnections;

struct WebServerLimits
{
    std::size_t maxHeaderBytes = 8 * 1024; // request line and headers together
    std::chrono::milliseconds idleTimeout {30000}; // keep-alive connection with no request
    std::chrono::milliseconds readTimeout {10000}; // from a request's first byte to its end
    // At the cap a newcomer takes the place of the connection that has waited longest for a
    // request; with none waiting on its thread it is closed at once.
    int maxConnections = 4096;
    int threads = 0; // 0: one per core
};

// HTTP/1.1 with keep-alive on Boost.Beast: GET requests without a body, answered by the
// router. One single-threaded io_context per thread (a thread per core by default), and new
// connections dealt out to them in turn: a connection never changes threads, so there are no
// strands and no hand-offs between threads on the hot path; each thread keeps its own line of
// connections waiting for a request. The router, the access log and the metrics (both may be
// null) are not owned and must outlive the server.
class WebServer
{
public:
    WebServer(const Router &router, WebServerLimits limits, AccessLog *log, Metrics *metrics);
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
    int connectionCount() const { return *connections; }

private:
    void accept();
    void startSession(std::size_t context, boost::asio::ip::tcp::socket socket);

    const Router &router;
    const WebServerLimits limits;
    AccessLog *log;
    Metrics *metrics;
    std::shared_ptr<std::atomic<bool>> draining;
    // Before the contexts: sessions still queued in them leave their line when destroyed.
    std::vector<std::unique_ptr<WaitingConnections>> waiting; // one per context
    std::vector<std::unique_ptr<boost::asio::io_context>> contexts; // [0] also accepts
    std::size_t nextContext = 0;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> acceptor;
    std::shared_ptr<std::atomic<int>> connections;
    std::vector<std::thread> threads;
    unsigned short boundPort = 0;
};

} // namespace Pinrova::Server
