#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

namespace Pinrova::Testing {

// A dbus-daemon of the test's own, listening on a unix socket in a temporary folder, so tests
// never touch the machine's buses. The daemon and every service started on it stop when the
// object is destroyed. Blocks for at most a few seconds while starting. Check isValid() (QVERIFY2
// with error()) before using it.
class PrivateBus : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PrivateBus)

public:
    // With a policy file the bus denies by default, as a system bus does, and reads that file
    // on top; without one everyone may own and call anything.
    explicit PrivateBus(const QString &policyFile = QString(), QObject *parent = nullptr);
    ~PrivateBus() override;

    bool isValid() const { return !m_address.isEmpty(); }
    QString error() const { return m_error; }
    QString address() const { return m_address; }

    // A connection of its own on this bus; give each test its own name.
    QDBusConnection connect(const QString &name) const;

    // Makes QDBusConnection::systemBus() this bus. Qt connects the system bus once per
    // process, so call it before anything in the process touches the system bus.
    void exportAsSystemBus() const;

    // Starts pinrova-mce on this bus with the extra arguments and waits until it owns
    // com.nokia.mce. Returns the running process, or null with error() saying why. The process
    // is a child of this object: stop it if the test needs to, but do not delete it.
    QProcess *startMce(const QStringList &arguments = {});

    // Starts pinrova-mce on this bus and waits for it to exit, for runs that are meant to fail.
    // Returns its exit code, -1 when it did not exit in time; *errorOutput gets its stderr.
    int runMceToExit(const QStringList &arguments, QString *errorOutput);

private:
    QProcess *newMceProcess(const QStringList &arguments);
    void stop(QProcess *process);

    QTemporaryDir m_dir;
    QProcess *m_daemon = nullptr;
    QString m_address;
    QString m_error;
    QString m_watchName; // this object's own connection, to see names come and go
};

} // namespace Pinrova::Testing
