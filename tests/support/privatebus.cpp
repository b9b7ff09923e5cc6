#include "privatebus.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTimer>

#ifndef PINROVA_MCE_EXECUTABLE
#error "PINROVA_MCE_EXECUTABLE must name the built pinrova-mce"
#endif

namespace Pinrova::Testing {

namespace {

constexpr int startTimeout = 10000;
constexpr int stopTimeout = 5000;

const char openPolicy[] = R"(
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>)";

// What a system bus allows before any service's own policy file adds to it.
const char systemPolicy[] = R"(
  <policy context="default">
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
  </policy>
  <include>%1</include>)";

QString busConfig(const QString &socket, const QString &policyFile)
{
    const QString policy = policyFile.isEmpty()
        ? QString::fromLatin1(openPolicy)
        : QString::fromLatin1(systemPolicy).arg(policyFile.toHtmlEscaped());
    return QStringLiteral(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>session</type>\n"
        "  <listen>unix:path=%1</listen>\n"
        "  <auth>EXTERNAL</auth>%2\n"
        "</busconfig>\n")
        .arg(socket.toHtmlEscaped(), policy);
}

} // namespace

PrivateBus::PrivateBus(const QString &policyFile, QObject *parent)
    : QObject(parent)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon is not installed (Debian package dbus)");
        return;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
        return;
    }
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly)
        || config.write(busConfig(m_dir.filePath(QStringLiteral("bus")), policyFile).toUtf8())
            < 0) {
        m_error = QStringLiteral("cannot write %1").arg(config.fileName());
        return;
    }
    config.close();

    m_daemon = new QProcess(this);
    // Kept aside: as root it warns on every start that it may not raise its file limit.
    const QString log = m_dir.filePath(QStringLiteral("bus.log"));
    m_daemon->setStandardErrorFile(log);
    m_daemon->start(daemon,
        {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
            QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
    // The daemon prints its address once it listens.
    while (!m_daemon->canReadLine() && m_daemon->waitForReadyRead(startTimeout)) { }
    const QString address = QString::fromUtf8(m_daemon->readLine()).trimmed();
    if (address.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon did not start (%1), see %2")
                      .arg(m_daemon->errorString(), log);
        m_dir.setAutoRemove(false);
        return;
    }
    m_address = address;
    m_watchName = QStringLiteral("pinrova-privatebus-%1").arg(quintptr(this), 0, 16);
}

PrivateBus::~PrivateBus()
{
    const QList<QProcess *> services = findChildren<QProcess *>();
    for (QProcess *service : services) {
        if (service != m_daemon)
            stop(service);
    }
    if (!m_watchName.isEmpty())
        QDBusConnection::disconnectFromBus(m_watchName);
    if (m_daemon)
        stop(m_daemon);
}

QDBusConnection PrivateBus::connect(const QString &name) const
{
    return QDBusConnection::connectToBus(m_address, name);
}

void PrivateBus::exportAsSystemBus() const
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
}

QProcess *PrivateBus::newMceProcess(const QStringList &arguments)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    process->setProcessEnvironment(environment);
    process->setProgram(QStringLiteral(PINROVA_MCE_EXECUTABLE));
    process->setArguments(arguments);
    return process;
}

QProcess *PrivateBus::startMce(const QStringList &arguments)
{
    if (!isValid())
        return nullptr;
    const QString name = QStringLiteral("com.nokia.mce");
    const QDBusConnection bus = connect(m_watchName);
    QDBusServiceWatcher watcher(name, bus, QDBusServiceWatcher::WatchForOwnerChange);
    QProcess *process = newMceProcess(arguments);
    // Another instance may hold the name already, so wait for this process to be its owner.
    const auto owned = [&] {
        return process->state() == QProcess::Running
            && bus.interface()->servicePid(name).value() == quint64(process->processId());
    };
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceOwnerChanged, &loop, [&] {
        if (owned())
            loop.quit();
    });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
        &QEventLoop::quit);
    QObject::connect(process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(startTimeout, &loop, &QEventLoop::quit);
    process->start();
    if (process->waitForStarted(startTimeout) && !owned())
        loop.exec();

    if (!owned()) {
        m_error
            = QStringLiteral("pinrova-mce did not take %1 (%2)").arg(name, process->errorString());
        stop(process);
        delete process;
        return nullptr;
    }
    return process;
}

int PrivateBus::runMceToExit(const QStringList &arguments, QString *errorOutput)
{
    QProcess *process = newMceProcess(arguments);
    process->start();
    const bool exited = process->waitForFinished(startTimeout);
    if (!exited)
        stop(process);
    *errorOutput = QString::fromLocal8Bit(process->readAllStandardError());
    const int code
        = exited && process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    delete process;
    return code;
}

void PrivateBus::stop(QProcess *process)
{
    if (process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(stopTimeout)) {
        process->kill();
        process->waitForFinished(stopTimeout);
    }
}

} // namespace Pinrova::Testing
