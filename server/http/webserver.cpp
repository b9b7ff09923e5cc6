#include "http/webserver.h"

#include "http/waitingconnections.h"
#include "http/websession.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <thread>

namespace Pinrova::Server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

WebServer::WebServer(
    const Router &router, WebServerLimits limits, std::vector<WebObserver *> observers)
    : context(std::make_shared<WebContext>(router, limits, std::move(observers)))
{ }

WebServer::~WebServer()
{
    stop();
}

void WebServer::start(const std::string &host, unsigned short port)
{
    int count = context->limits.threads > 0 ? context->limits.threads
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
    context->draining = true;
    asio::dispatch(*contexts[0], [this] {
        boost::system::error_code ignored;
        acceptor->close(ignored);
    });
    for (std::size_t i = 0; i < contexts.size(); ++i)
        asio::post(*contexts[i], [line = waiting[i].get()] { line->closeAllWaiting(); });
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (context->connections > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void WebServer::stop()
{
    if (threads.empty())
        return;
    asio::dispatch(*contexts[0], [this] {
        boost::system::error_code ignored;
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
        *contexts[index], [this, index](boost::system::error_code ec, tcp::socket socket) {
            if (!acceptor->is_open())
                return;
            if (ec) {
                // Out of file descriptors and the like: back off instead of spinning.
                auto timer = std::make_shared<asio::steady_timer>(
                    *contexts[0], std::chrono::milliseconds(50));
                timer->async_wait([this, timer](boost::system::error_code) { accept(); });
                return;
            }
            // The session is made on its own thread: that thread's line is touched by no other.
            const bool room = context->connections < context->limits.maxConnections;
            if (room)
                ++context->connections;
            asio::post(*contexts[index], [this, index, room, socket = std::move(socket)]() mutable {
                if (!room) {
                    // The evicted connection is counted until it ends, soon after; its
                    // descriptor is closed at once.
                    if (!waiting[index]->closeLongestWaiting()) {
                        for (WebObserver *observer : context->observers)
                            observer->connectionRefused();
                        boost::system::error_code ignored;
                        socket.close(ignored);
                        return;
                    }
                    for (WebObserver *observer : context->observers)
                        observer->connectionEvicted();
                    ++context->connections;
                }
                startSession(index, std::move(socket));
            });
            accept();
        });
}

void WebServer::startSession(std::size_t index, tcp::socket socket)
{
    boost::system::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    std::make_shared<WebSession>(std::move(socket), context, *waiting[index])->start();
}

} // namespace Pinrova::Server
