#include "redis/client/rediscluster.h"

#include "redis/client/keyslot.h"
#include "redis/client/redisconnection.h"

#include <boost/asio/steady_timer.hpp>

#include <charconv>
#include <set>

namespace Pinrova::Server::Redis {

namespace {

// Redirections one call follows before its last reply is taken as the answer: a slot that
// moves more often than this during one call means the map is changing faster than we learn.
constexpr int MaxRedirects = 5;
// A lost connection is tried once more, after the slot map was asked for again: a failover
// may have moved the slot. A second loss answers the call as unreachable at once.
constexpr int MaxConnectionFailures = 1;
constexpr std::chrono::milliseconds RetryDelay {20};
// CLUSTER SLOTS at most this often, so a storm of MOVED or lost nodes asks once.
constexpr std::chrono::milliseconds RefreshInterval {100};

bool parsePort(std::string_view text, int &port)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    return error == std::errc() && end == text.data() + text.size() && port > 0 && port < 65536;
}

std::string hostOf(const std::string &node)
{
    return node.substr(0, node.rfind(':'));
}

// "MOVED 3999 127.0.0.1:6381" → the node; a host left out means the node that answered.
std::string redirectTarget(const std::string &error, const std::string &answeredBy)
{
    const auto space = error.rfind(' ');
    if (space == std::string::npos)
        return {};
    std::string target = error.substr(space + 1);
    if (!target.empty() && target.front() == ':')
        target = hostOf(answeredBy) + target;
    return target;
}

} // namespace

std::vector<RedisEndpoint> parseEndpoints(const std::string &text)
{
    std::vector<RedisEndpoint> endpoints;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = std::min(text.find(',', start), text.size());
        const std::string part = text.substr(start, comma - start);
        const auto colon = part.rfind(':');
        RedisEndpoint endpoint;
        if (colon == std::string::npos || colon == 0
            || !parsePort(std::string_view(part).substr(colon + 1), endpoint.port))
            return {};
        endpoint.host = part.substr(0, colon);
        endpoints.push_back(endpoint);
        start = comma + 1;
    }
    return endpoints;
}

struct RedisCluster::Call
{
    Call(boost::asio::io_context &io)
        : deadline(io)
        , retry(io)
    { }

    std::string key;
    unsigned slot = 0;
    std::vector<std::string> args;
    Done done;
    bool blocking = false;
    bool pinned = false; // sent to sentTo only
    bool finished = false;
    bool waitedForSlots = false;
    int redirects = 0;
    int connectionFailures = 0;
    std::string sentTo; // the node the call was last sent to
    boost::asio::steady_timer deadline;
    boost::asio::steady_timer retry;
};

struct RedisCluster::Node
{
    std::unique_ptr<RedisConnection> links[2]; // pipelined, blocking
};

RedisCluster::RedisCluster(boost::asio::io_context &io, std::vector<RedisEndpoint> seeds,
    std::chrono::milliseconds timeout)
    : io(io)
    , seeds(std::move(seeds))
    , timeout(timeout)
    , slotOwner(SlotCount)
    , alive(std::make_shared<bool>(true))
{ }

RedisCluster::~RedisCluster()
{
    close();
}

void RedisCluster::close()
{
    if (closed)
        return;
    closed = true;
    *alive = false;
    auto calls = std::move(inFlight);
    for (auto &call : calls) {
        call->finished = true;
        call->deadline.cancel();
        call->retry.cancel();
        call->done = nullptr;
    }
    waitingForSlots.clear();
    nodes.clear();
}

std::string RedisCluster::masterOf(unsigned slot) const
{
    return slot < slotOwner.size() ? slotOwner[slot] : std::string();
}

void RedisCluster::call(const std::string &key, std::vector<std::string> args, Done done)
{
    start(key, std::move(args), std::move(done), false);
}

void RedisCluster::callBlocking(const std::string &key, std::vector<std::string> args, Done done)
{
    start(key, std::move(args), std::move(done), true);
}

void RedisCluster::callBlockingOn(const std::string &node, std::vector<std::string> args, Done done)
{
    start({}, std::move(args), std::move(done), true, node);
}

void RedisCluster::start(const std::string &key, std::vector<std::string> args, Done done,
    bool blocking, const std::string &node)
{
    auto call = std::make_shared<Call>(io);
    call->blocking = blocking;
    call->pinned = !node.empty();
    call->sentTo = node;
    call->key = key;
    call->slot = keySlot(key);
    call->args = std::move(args);
    call->done = std::move(done);
    if (closed)
        return;
    inFlight.insert(call);
    call->deadline.expires_after(timeout);
    call->deadline.async_wait([this, call, alive = alive](const boost::system::error_code &error) {
        if (error || !*alive || call->finished)
            return;
        finish(call, {CallStatus::TimedOut, {}});
        dropConnection(call->sentTo, call->blocking);
    });
    dispatch(call);
}

void RedisCluster::dispatch(const std::shared_ptr<Call> &call)
{
    if (closed || call->finished)
        return;
    if (call->pinned)
        return sendTo(call, call->sentTo, false);
    const std::string &owner = slotOwner[call->slot];
    if (owner.empty()) {
        if (call->waitedForSlots)
            return finish(call, {CallStatus::Unreachable, {}});
        call->waitedForSlots = true;
        waitingForSlots.push_back(call);
        refreshSlots();
        return;
    }
    sendTo(call, owner, false);
}

RedisConnection *RedisCluster::connection(const std::string &node, bool blocking)
{
    auto &slot = nodes[node];
    if (!slot)
        slot = std::make_unique<Node>();
    auto &link = slot->links[blocking ? 1 : 0];
    // A connection that is gone has no callbacks left, so replacing it calls none; one being
    // closed (this may be one of its callbacks) is left alone and the call tried again later.
    if (link && !link->gone() && !link->usable())
        return nullptr;
    if (!link || link->gone()) {
        int port = 0;
        const auto colon = node.rfind(':');
        if (colon == std::string::npos
            || !parsePort(std::string_view(node).substr(colon + 1), port))
            return nullptr;
        link = std::make_unique<RedisConnection>(io, node.substr(0, colon), port);
    }
    return link.get();
}

void RedisCluster::sendTo(const std::shared_ptr<Call> &call, const std::string &node, bool asking)
{
    RedisConnection *link = connection(node, call->blocking);
    call->sentTo = node;
    // ASKING holds for the next command on the same connection only.
    if (link && asking)
        link->send({"ASKING"}, [](const RedisReply *) {});
    const bool sent = link
        && link->send(call->args, [this, call, node, alive = alive](const RedisReply *reply) {
               if (*alive)
                   onReply(call, node, reply);
           });
    if (!sent)
        onReply(call, node, nullptr);
}

void RedisCluster::onReply(
    const std::shared_ptr<Call> &call, const std::string &node, const RedisReply *reply)
{
    if (call->finished)
        return;
    if (!reply) {
        refreshSlots();
        if (call->pinned)
            return finish(call, {CallStatus::Unreachable, {}});
        if (++call->connectionFailures > MaxConnectionFailures)
            return finish(call, {CallStatus::Unreachable, {}});
        return retryLater(call, RetryDelay);
    }
    const std::string code = reply->errorCode();
    if (call->pinned)
        return finish(call, {CallStatus::Replied, *reply});
    if (code == "MOVED" || code == "ASK") {
        const std::string target = redirectTarget(reply->text, node);
        if (target.empty() || ++call->redirects > MaxRedirects)
            return finish(call, {CallStatus::Replied, *reply});
        ++redirects;
        if (code == "MOVED") {
            slotOwner[call->slot] = target;
            refreshSlots();
        }
        return sendTo(call, target, code == "ASK");
    }
    // A multi-key call over a migrating slot, a failover in progress, a node loading its data:
    // all pass within moments, so the call is tried again until its time-out.
    if (code == "TRYAGAIN" || code == "CLUSTERDOWN" || code == "LOADING" || code == "MASTERDOWN"
        || code == "READONLY") {
        if (code != "TRYAGAIN")
            refreshSlots();
        return retryLater(call, RetryDelay);
    }
    finish(call, {CallStatus::Replied, *reply});
}

void RedisCluster::retryLater(const std::shared_ptr<Call> &call, std::chrono::milliseconds delay)
{
    call->retry.expires_after(delay);
    call->retry.async_wait([this, call, alive = alive](const boost::system::error_code &error) {
        if (!error && *alive)
            dispatch(call);
    });
}

void RedisCluster::finish(const std::shared_ptr<Call> &call, CallResult result)
{
    if (call->finished)
        return;
    call->finished = true;
    call->deadline.cancel();
    call->retry.cancel();
    inFlight.erase(call);
    result.node = call->sentTo;
    auto done = std::move(call->done);
    if (done)
        done(std::move(result));
}

void RedisCluster::dropConnection(const std::string &node, bool blocking)
{
    // A node that let a call time out may be hanging: its connection would collect the
    // callbacks of every later call until it woke. Closed now, those calls are retried once on
    // a new connection, and the hanging node costs each of them a time-out, not memory.
    const auto it = nodes.find(node);
    if (it == nodes.end())
        return;
    auto &link = it->second->links[blocking ? 1 : 0];
    if (link && link->pending() > 0) {
        auto closing = std::move(link);
        closing->close();
    }
}

std::vector<std::string> RedisCluster::refreshCandidates() const
{
    std::vector<std::string> candidates;
    std::set<std::string> seen;
    for (const auto &owner : slotOwner) {
        if (!owner.empty() && seen.insert(owner).second)
            candidates.push_back(owner);
    }
    for (const auto &seed : seeds) {
        if (seen.insert(seed.name()).second)
            candidates.push_back(seed.name());
    }
    return candidates;
}

void RedisCluster::refreshSlots()
{
    if (closed || refreshing)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (refreshes > 0 && now - lastRefresh < RefreshInterval) {
        // Asked again soon after the last: once more when the interval is over.
        refreshing = true;
        auto timer = std::make_shared<boost::asio::steady_timer>(io, lastRefresh + RefreshInterval);
        timer->async_wait([this, timer, alive = alive](const boost::system::error_code &error) {
            if (error || !*alive)
                return;
            refreshing = false;
            refreshSlots();
        });
        return;
    }
    refreshing = true;
    lastRefresh = now;
    ++refreshes;
    askForSlots(0);
}

void RedisCluster::askForSlots(std::size_t candidate)
{
    const auto candidates = refreshCandidates();
    if (candidate >= candidates.size()) {
        refreshing = false;
        // Nobody answered: the calls waiting for a map are answered now rather than at their
        // time-out, so a cluster that is wholly down costs a quick 503.
        auto waiting = std::move(waitingForSlots);
        for (auto &call : waiting)
            finish(call, {CallStatus::Unreachable, {}});
        return;
    }
    const std::string node = candidates[candidate];
    struct Attempt
    {
        explicit Attempt(boost::asio::io_context &io)
            : timer(io)
        { }
        bool over = false;
        boost::asio::steady_timer timer;
    };
    auto attempt = std::make_shared<Attempt>(io);
    auto next = [this, attempt, candidate, node](const RedisReply *reply) {
        if (attempt->over)
            return;
        attempt->over = true;
        attempt->timer.cancel();
        if (reply && reply->kind == RedisReply::Kind::Array && !reply->elements.empty()) {
            applySlots(*reply, node);
            refreshing = false;
            auto waiting = std::move(waitingForSlots);
            for (auto &call : waiting)
                dispatch(call);
            return;
        }
        askForSlots(candidate + 1);
    };
    attempt->timer.expires_after(timeout);
    attempt->timer.async_wait([next, alive = alive](const boost::system::error_code &error) {
        if (!error && *alive)
            next(nullptr);
    });
    RedisConnection *link = connection(node, false);
    const bool sent
        = link && link->send({"CLUSTER", "SLOTS"}, [next, alive = alive](const RedisReply *reply) {
              if (*alive)
                  next(reply);
          });
    if (!sent)
        next(nullptr);
}

void RedisCluster::applySlots(const RedisReply &reply, const std::string &askedNode)
{
    std::vector<std::string> owners(SlotCount);
    for (const auto &range : reply.elements) {
        if (range.elements.size() < 3 || range.elements[2].elements.size() < 2)
            continue;
        const long long first = range.elements[0].integer;
        const long long last = range.elements[1].integer;
        const auto &master = range.elements[2];
        std::string host = master.elements[0].text;
        if (host.empty() || host == "?")
            host = hostOf(askedNode);
        const std::string name = host + ":" + std::to_string(master.elements[1].integer);
        for (long long slot = std::max(0LL, first); slot <= last && slot < SlotCount; ++slot)
            owners[static_cast<std::size_t>(slot)] = name;
    }
    slotOwner = std::move(owners);
}

} // namespace Pinrova::Server::Redis
