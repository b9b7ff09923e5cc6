#include "redis/client/redisreply.h"

#include <hiredis/hiredis.h>

namespace Pinrova::Server::Redis {

RedisReply RedisReply::from(const redisReply &reply)
{
    RedisReply out;
    switch (reply.type) {
    case REDIS_REPLY_STATUS:
        out.kind = Kind::Status;
        out.text.assign(reply.str, reply.len);
        break;
    case REDIS_REPLY_ERROR:
        out.kind = Kind::Error;
        out.text.assign(reply.str, reply.len);
        break;
    case REDIS_REPLY_INTEGER:
        out.kind = Kind::Integer;
        out.integer = reply.integer;
        break;
    case REDIS_REPLY_STRING:
        out.kind = Kind::String;
        out.text.assign(reply.str, reply.len);
        break;
    case REDIS_REPLY_ARRAY:
        out.kind = Kind::Array;
        out.elements.reserve(reply.elements);
        for (std::size_t i = 0; i < reply.elements; ++i)
            out.elements.push_back(from(*reply.element[i]));
        break;
    default:
        break;
    }
    return out;
}

std::string RedisReply::errorCode() const
{
    if (kind != Kind::Error)
        return {};
    return text.substr(0, text.find(' '));
}

} // namespace Pinrova::Server::Redis
