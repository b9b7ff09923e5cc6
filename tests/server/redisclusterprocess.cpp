#include "redisclusterprocess.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <csignal>

namespace Pinrova::Testing {

namespace {

// A free loopback port whose cluster bus port (port + 10000) is free as well.
quint16 freeNodePort(const std::vector<quint16> &taken)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            continue;
        const quint16 port = probe.serverPort();
        if (port > 55000 || std::find(taken.begin(), taken.end(), port) != taken.end())
            continue;
        QTcpServer bus;
        if (bus.listen(QHostAddress::LocalHost, static_cast<quint16>(port + 10000)))
            return port;
    }
    return 0;
}

} // namespace

bool RedisClusterProcess::available()
{
    return !QStandardPaths::findExecutable("redis-server").isEmpty()
        && !QStandardPaths::findExecutable("redis-cli").isEmpty();
}

RedisClusterProcess::RedisClusterProcess(int masters, int replicasEach)
{
    if (!available()) {
        failure = "redis-server or redis-cli is not installed";
        return;
    }
    replicas = replicasEach;
    const int total = masters * (1 + replicasEach);
    std::vector<quint16> taken;
    for (int i = 0; i < total; ++i) {
        Node node;
        node.port = freeNodePort(taken);
        taken.push_back(node.port);
        if (!node.port || !startNode(node)) {
            failure = QString("redis-server did not start on port %1").arg(node.port);
            return;
        }
        nodes.push_back(std::move(node));
    }
    QStringList create {"--cluster", "create"};
    for (const auto &node : nodes)
        create << QString("127.0.0.1:%1").arg(node.port);
    create << "--cluster-replicas" << QString::number(replicasEach) << "--cluster-yes";
    QProcess cli;
    cli.start("redis-cli", create);
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0) {
        failure = "redis-cli --cluster create failed: " + QString::fromUtf8(cli.readAll());
        return;
    }
    if (!waitUntilOk(30000))
        failure = "the cluster did not reach cluster_state:ok";
}

RedisClusterProcess::~RedisClusterProcess()
{
    for (auto &node : nodes) {
        if (node.process && node.process->state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(node.process->processId()), SIGCONT);
            node.process->kill();
            node.process->waitForFinished(5000);
        }
    }
}

bool RedisClusterProcess::startNode(Node &node)
{
    const QString dir = folder.path();
    const QString port = QString::number(node.port);
    node.process = std::make_unique<QProcess>();
    node.process->setProcessChannelMode(QProcess::MergedChannels);
    node.process->setStandardOutputFile(dir + "/node-" + port + ".log", QIODevice::Append);
    // No snapshots or append-only file: a write is kept by its replica (WAIT), and a node
    // that restarts comes back as a replica of whoever took over. A master that fails is
    // noticed within a second, and the nodes keep serving the slots that still have a master.
    node.process->start("redis-server",
        {"--port", port, "--bind", "127.0.0.1", "--cluster-enabled", "yes", "--cluster-config-file",
            dir + "/nodes-" + port + ".conf", "--dir", dir, "--save", "", "--appendonly", "no",
            "--cluster-node-timeout", "1000", "--cluster-require-full-coverage", "no",
            "--cluster-allow-reads-when-down", "no", "--daemonize", "no"});
    if (!node.process->waitForStarted(5000))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        QProcess ping;
        ping.start("redis-cli", {"-p", port, "ping"});
        if (ping.waitForFinished(2000) && ping.readAll().trimmed() == "PONG")
            return true;
        QThread::msleep(50);
    }
    return false;
}

QString RedisClusterProcess::seeds() const
{
    QStringList list;
    for (const auto &node : nodes)
        list << QString("127.0.0.1:%1").arg(node.port);
    return list.join(',');
}

bool RedisClusterProcess::running(int node) const
{
    return nodes[node].process && nodes[node].process->state() == QProcess::Running;
}

QString RedisClusterProcess::cli(int node, const QStringList &arguments, int timeoutMs) const
{
    QProcess process;
    process.start("redis-cli", QStringList {"-p", QString::number(nodes[node].port)} + arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString RedisClusterProcess::nodeId(int node) const
{
    return cli(node, {"cluster", "myid"});
}

int RedisClusterProcess::masterOfKey(const QString &key) const
{
    const QString slot = cli(0, {"cluster", "keyslot", key});
    for (int i = 0; i < nodeCount(); ++i) {
        if (!running(i))
            continue;
        const QString shards = cli(i, {"cluster", "slots"});
        const QStringList lines = shards.split('\n');
        // CLUSTER SLOTS, flattened by redis-cli: start, end, master ip, port, id, replicas…
        for (int line = 0; line + 3 < lines.size(); ++line) {
            bool isStart = false;
            bool isEnd = false;
            const int start = lines[line].toInt(&isStart);
            const int end = lines[line + 1].toInt(&isEnd);
            if (!isStart || !isEnd || lines[line + 2] != "127.0.0.1")
                continue;
            if (slot.toInt() >= start && slot.toInt() <= end) {
                const quint16 port = lines[line + 3].toUShort();
                for (int n = 0; n < nodeCount(); ++n) {
                    if (nodes[n].port == port)
                        return n;
                }
            }
        }
        return -1;
    }
    return -1;
}

void RedisClusterProcess::kill(int node)
{
    if (running(node)) {
        nodes[node].process->kill();
        nodes[node].process->waitForFinished(5000);
    }
}

void RedisClusterProcess::pause(int node)
{
    if (running(node))
        ::kill(static_cast<pid_t>(nodes[node].process->processId()), SIGSTOP);
}

void RedisClusterProcess::resume(int node)
{
    if (running(node))
        ::kill(static_cast<pid_t>(nodes[node].process->processId()), SIGCONT);
}

bool RedisClusterProcess::restart(int node)
{
    return !running(node) && startNode(nodes[node]);
}

bool RedisClusterProcess::waitUntilOk(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        bool allOk = true;
        for (int i = 0; i < nodeCount() && allOk; ++i) {
            if (!running(i))
                continue;
            if (!cli(i, {"cluster", "info"}).contains("cluster_state:ok"))
                allOk = false;
            // A replica still in its first sync would not acknowledge a WAIT.
            const QString replication = cli(i, {"info", "replication"});
            if (replication.contains("role:master")
                && replication.count(",state=online,") < replicas)
                allOk = false;
        }
        if (allOk)
            return true;
        QThread::msleep(100);
    }
    return false;
}

} // namespace Pinrova::Testing
