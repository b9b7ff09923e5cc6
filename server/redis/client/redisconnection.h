#pragma once

#include <boost/asio/io_context.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Pinrova::Server::Redis {

struct RedisReply;

// One hiredis asynchronous connection to one Redis node, driven by a Boost.Asio io_context:
// hiredis asks to watch the socket for reading or writing and the io_context's reactor tells
// it when it may. Commands are written back to back without waiting for replies (pipelining);
// replies come in order. Used from the io_context's thread only.
//
// Every sent command's callback is called exactly once: with the reply, or with nullptr when
// the connection failed, was lost or is closed (also by the destructor).
class RedisConnection
{
public:
    using ReplyCallback = std::function<void(const RedisReply *reply)>;

    RedisConnection(boost::asio::io_context &io, const std::string &host, int port);
    ~RedisConnection();
    RedisConnection(const RedisConnection &) = delete;
    RedisConnection &operator=(const RedisConnection &) = delete;

    // False when the connection is gone; callback is then not called.
    bool send(const std::vector<std::string> &args, ReplyCallback callback);

    // False once the connection failed, was lost or is being closed: it is never usable again.
    bool usable() const;
    // True once hiredis has let go of it entirely (no callback left to call): only then may it
    // be destroyed from inside one of its own callbacks.
    bool gone() const;
    // Commands sent and not answered yet.
    std::size_t pending() const;

    // Ends the connection now; pending callbacks get nullptr.
    void close();

private:
    struct Link;
    std::shared_ptr<Link> link;
};

} // namespace Pinrova::Server::Redis
