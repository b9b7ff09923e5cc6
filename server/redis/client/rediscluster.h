#pragma once

#include "redis/client/redisreply.h"

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace Pinrova::Server::Redis {

class RedisConnection;

struct RedisEndpoint
{
    std::string host;
    int port = 0;

    std::string name() const { return host + ":" + std::to_string(port); }
};

// "HOST:PORT[,HOST:PORT…]"; empty when any part is malformed.
std::vector<RedisEndpoint> parseEndpoints(const std::string &text);

// A Redis Cluster client on one io_context. It keeps the cluster's slot map (CLUSTER SLOTS
// from a seed at start, again after a MOVED or a lost node), sends each call to the master
// owning its key's slot over one pipelined connection per master, follows ASK for that call
// only while a slot migrates, and ends every call within its time-out. Nothing blocks: a slow
// node costs pending calls and a timer each.
//
// Used from the io_context's thread only; done is called there, exactly once per call, unless
// close() came first.
class RedisCluster
{
public:
    using Done = std::function<void(CallResult)>;

    RedisCluster(boost::asio::io_context &io, std::vector<RedisEndpoint> seeds,
        std::chrono::milliseconds timeout);
    ~RedisCluster();
    RedisCluster(const RedisCluster &) = delete;
    RedisCluster &operator=(const RedisCluster &) = delete;

    // args[0] is the command; key routes it (a hash tag keeps related keys on one node).
    void call(const std::string &key, std::vector<std::string> args, Done done);
    // The same on the master's second connection, for commands that block it (WAIT): the
    // pipelined connection of other calls never waits behind them.
    void callBlocking(const std::string &key, std::vector<std::string> args, Done done);
    // A command on one node's second connection, the one callBlocking used: WAIT after a
    // write that result says where it ended (after retries and redirections). Neither
    // redirected nor retried on a new connection, which would not have sent the write.
    void callBlockingOn(const std::string &node, std::vector<std::string> args, Done done);

    // Asks for the slot map again (at most once per short interval).
    void refreshSlots();
    // Ends every call without calling its done, and lets go of each done now (they may own
    // what must go before their owners); the object is unusable afterwards.
    void close();

    // The master serving a slot in the current map; empty when none is known.
    std::string masterOf(unsigned slot) const;
    std::size_t refreshCount() const { return refreshes; }
    std::size_t redirectCount() const { return redirects; }

private:
    struct Call;
    struct Node;

    void start(const std::string &key, std::vector<std::string> args, Done done, bool blocking,
        const std::string &node = {});
    void dispatch(const std::shared_ptr<Call> &call);
    void sendTo(const std::shared_ptr<Call> &call, const std::string &node, bool asking);
    void onReply(
        const std::shared_ptr<Call> &call, const std::string &node, const RedisReply *reply);
    void retryLater(const std::shared_ptr<Call> &call, std::chrono::milliseconds delay);
    void finish(const std::shared_ptr<Call> &call, CallResult result);
    void askForSlots(std::size_t candidate);
    void applySlots(const RedisReply &reply, const std::string &askedNode);
    RedisConnection *connection(const std::string &node, bool blocking);
    void dropConnection(const std::string &node, bool blocking);
    std::vector<std::string> refreshCandidates() const;

    boost::asio::io_context &io;
    const std::vector<RedisEndpoint> seeds;
    const std::chrono::milliseconds timeout;
    std::vector<std::string> slotOwner; // node name per slot, empty when unknown
    std::map<std::string, std::unique_ptr<Node>> nodes;
    std::vector<std::shared_ptr<Call>> waitingForSlots;
    std::unordered_set<std::shared_ptr<Call>> inFlight; // started and not finished
    bool refreshing = false;
    bool closed = false;
    std::chrono::steady_clock::time_point lastRefresh;
    std::size_t refreshes = 0;
    std::size_t redirects = 0;
    std::shared_ptr<bool> alive;
};

} // namespace Pinrova::Server::Redis
