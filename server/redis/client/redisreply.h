#pragma once

#include <string>
#include <vector>

struct redisReply;

namespace Pinrova::Server::Redis {

// One Redis reply, copied out of hiredis so it outlives the callback it came to.
struct RedisReply
{
    enum class Kind { Nil, Status, Error, Integer, String, Array };

    Kind kind = Kind::Nil;
    long long integer = 0;
    std::string text; // status, error or string
    std::vector<RedisReply> elements;

    static RedisReply from(const redisReply &reply);

    bool isError() const { return kind == Kind::Error; }
    bool isNil() const { return kind == Kind::Nil; }
    // The error's first word ("MOVED", "ASK", "TRYAGAIN", ...), empty when no error.
    std::string errorCode() const;
};

// How a call ended: a reply (which may be a Redis error), or no reply at all.
enum class CallStatus {
    Replied,
    TimedOut, // no reply within the call's time-out
    Unreachable, // the node owning the key refused or lost the connection, or none is known
};

struct CallResult
{
    CallStatus status = CallStatus::Replied;
    RedisReply reply;
    std::string node {}; // the node last asked, "host:port"; empty when none was

    bool ok() const { return status == CallStatus::Replied && !reply.isError(); }
};

} // namespace Pinrova::Server::Redis
