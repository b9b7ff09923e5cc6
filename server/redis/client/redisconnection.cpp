#include "redis/client/redisconnection.h"

#include "redis/client/redisreply.h"

#include <boost/asio/posix/stream_descriptor.hpp>
#include <hiredis/async.h>
#include <hiredis/hiredis.h>

namespace Pinrova::Server::Redis {

// Lives as long as any waiting handler holds it, so a handler that runs after hiredis freed
// its context finds context null instead of freed memory.
struct RedisConnection::Link : std::enable_shared_from_this<Link>
{
    explicit Link(boost::asio::io_context &io)
        : socket(io)
    { }

    boost::asio::posix::stream_descriptor socket;
    redisAsyncContext *context = nullptr;
    bool wantRead = false;
    bool wantWrite = false;
    bool readArmed = false;
    bool writeArmed = false;
    std::size_t pending = 0;
    // hiredis' data pointer holds this; it owns one reference while the context lives.
    std::shared_ptr<Link> self;

    void armRead()
    {
        if (readArmed || !context)
            return;
        readArmed = true;
        socket.async_wait(boost::asio::posix::stream_descriptor::wait_read,
            [link = shared_from_this()](const boost::system::error_code &error) {
                link->readArmed = false;
                if (error || !link->context || !link->wantRead)
                    return;
                redisAsyncHandleRead(link->context);
                if (link->context && link->wantRead)
                    link->armRead();
            });
    }

    void armWrite()
    {
        if (writeArmed || !context)
            return;
        writeArmed = true;
        socket.async_wait(boost::asio::posix::stream_descriptor::wait_write,
            [link = shared_from_this()](const boost::system::error_code &error) {
                link->writeArmed = false;
                if (error || !link->context || !link->wantWrite)
                    return;
                redisAsyncHandleWrite(link->context);
                if (link->context && link->wantWrite)
                    link->armWrite();
            });
    }

    static Link *of(void *data) { return static_cast<Link *>(data); }

    static void addRead(void *data)
    {
        of(data)->wantRead = true;
        of(data)->armRead();
    }
    static void delRead(void *data) { of(data)->wantRead = false; }
    static void addWrite(void *data)
    {
        of(data)->wantWrite = true;
        of(data)->armWrite();
    }
    static void delWrite(void *data) { of(data)->wantWrite = false; }

    // hiredis frees the context right after this; the descriptor is its to close.
    static void cleanup(void *data)
    {
        Link *link = of(data);
        link->context = nullptr;
        link->wantRead = link->wantWrite = false;
        boost::system::error_code ignored;
        link->socket.cancel(ignored);
        link->socket.release();
        // The last line: may destroy the link when no handler holds it.
        auto keep = std::move(link->self);
    }

    static void onReply(redisAsyncContext *context, void *reply, void *data)
    {
        std::unique_ptr<ReplyCallback> callback(static_cast<ReplyCallback *>(data));
        if (auto *link = static_cast<Link *>(context->ev.data); link && link->pending)
            --link->pending;
        if (!reply) {
            (*callback)(nullptr);
            return;
        }
        const RedisReply copy = RedisReply::from(*static_cast<redisReply *>(reply));
        (*callback)(&copy);
    }
};

RedisConnection::RedisConnection(boost::asio::io_context &io, const std::string &host, int port)
    : link(std::make_shared<Link>(io))
{
    redisAsyncContext *context = redisAsyncConnect(host.c_str(), port);
    if (!context)
        return;
    if (context->err) {
        redisAsyncFree(context);
        return;
    }
    boost::system::error_code error;
    link->socket.assign(context->c.fd, error);
    if (error) {
        redisAsyncFree(context);
        return;
    }
    link->context = context;
    link->self = link;
    context->ev.data = link.get();
    context->ev.addRead = &Link::addRead;
    context->ev.delRead = &Link::delRead;
    context->ev.addWrite = &Link::addWrite;
    context->ev.delWrite = &Link::delWrite;
    context->ev.cleanup = &Link::cleanup;
}

RedisConnection::~RedisConnection()
{
    close();
}

bool RedisConnection::send(const std::vector<std::string> &args, ReplyCallback callback)
{
    if (!link->context)
        return false;
    std::vector<const char *> argv;
    std::vector<std::size_t> lengths;
    argv.reserve(args.size());
    lengths.reserve(args.size());
    for (const auto &arg : args) {
        argv.push_back(arg.data());
        lengths.push_back(arg.size());
    }
    auto owned = std::make_unique<ReplyCallback>(std::move(callback));
    if (redisAsyncCommandArgv(link->context, &Link::onReply, owned.get(),
            static_cast<int>(args.size()), argv.data(), lengths.data())
        != REDIS_OK)
        return false;
    owned.release();
    ++link->pending;
    return true;
}

bool RedisConnection::usable() const
{
    return link->context != nullptr
        && !(link->context->c.flags & (REDIS_DISCONNECTING | REDIS_FREEING));
}

bool RedisConnection::gone() const
{
    return link->context == nullptr;
}

std::size_t RedisConnection::pending() const
{
    return link->pending;
}

void RedisConnection::close()
{
    if (link->context)
        redisAsyncFree(link->context);
}

} // namespace Pinrova::Server::Redis
