#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace Pinrova::Testing {

// A Redis Cluster of real redis-server processes on free loopback ports, in a temporary
// folder, stopped by the destructor: `masters` masters with `replicasEach` replicas each,
// created with redis-cli --cluster create. Nodes notice a failed peer within a second.
class RedisClusterProcess
{
public:
    RedisClusterProcess(int masters, int replicasEach);
    ~RedisClusterProcess();
    RedisClusterProcess(const RedisClusterProcess &) = delete;
    RedisClusterProcess &operator=(const RedisClusterProcess &) = delete;

    // redis-server and redis-cli on PATH.
    static bool available();

    // Empty when the cluster formed and every node reports it ok; else why not.
    QString error() const { return failure; }

    // "127.0.0.1:port,…" of every node, masters first.
    QString seeds() const;
    int nodeCount() const { return static_cast<int>(nodes.size()); }
    quint16 port(int node) const { return nodes[node].port; }
    bool running(int node) const;

    // redis-cli against one node; the output, trimmed. Waits at most timeoutMs.
    QString cli(int node, const QStringList &arguments, int timeoutMs = 10000) const;
    // The node currently serving key's slot as master, or -1.
    int masterOfKey(const QString &key) const;
    QString nodeId(int node) const;

    void kill(int node); // SIGKILL, as a crash
    void pause(int node); // SIGSTOP: the node hangs with its connections open
    void resume(int node);
    // Starts a killed node again on its port, with its cluster file.
    bool restart(int node);
    // Waits until every running node reports cluster_state:ok and every master has its
    // replicas in sync.
    bool waitUntilOk(int timeoutMs);

private:
    struct Node
    {
        quint16 port = 0;
        std::unique_ptr<QProcess> process;
    };

    bool startNode(Node &node);

    QTemporaryDir folder;
    std::vector<Node> nodes;
    QString failure;
    int replicas = 0;
};

} // namespace Pinrova::Testing
