#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <unistd.h>

#include "privatebus.h"

using Pinrova::Testing::PrivateBus;

namespace {

// The names the application addresses the mode-control service by, spelt out here rather
// than taken from the service, so a typo on either side shows.
const QString service = QStringLiteral("com.nokia.mce");
const QString requestPath = QStringLiteral("/com/nokia/mce/request");
const QString requestInterface = QStringLiteral("com.nokia.mce.request");
const QString signalPath = QStringLiteral("/com/nokia/mce/signal");
const QString signalInterface = QStringLiteral("com.nokia.mce.signal");

QDBusMessage request(
    const QDBusConnection &bus, const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(service, requestPath, requestInterface, method);
    call.setArguments(arguments);
    return bus.call(call);
}

QString displayStatus(const QDBusConnection &bus)
{
    const QDBusMessage reply = request(bus, QStringLiteral("get_display_status"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("s"))
        return QStringLiteral("<bad reply: %1 %2>").arg(reply.errorName(), reply.signature());
    return reply.arguments().constFirst().toString();
}

} // namespace

// Receives display_status_ind through a subscription made the way the application makes it.
class DisplaySignalRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList states;

public slots:
    void displayStateChanged(const QDBusMessage &message)
    {
        states << (message.signature() == QLatin1String("s")
                ? message.arguments().constFirst().toString()
                : QStringLiteral("<signature %1>").arg(message.signature()));
    }
};

class TestMceService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void answersInitialState_data();
    void answersInitialState();
    void ownsTheName();
    void signalsStateChanges_data();
    void signalsStateChanges();
    void refusesToStart_data();
    void refusesToStart();
    void quitsOnSignal_data();
    void quitsOnSignal();
    void systemBusPolicyLetsRootServe();

private:
    QDBusConnection connect(const PrivateBus &bus);

    QStringList m_connections;
};

QDBusConnection TestMceService::connect(const PrivateBus &bus)
{
    m_connections << QStringLiteral("tst_mceservice-%1").arg(m_connections.size());
    return bus.connect(m_connections.constLast());
}

void TestMceService::initTestCase()
{
    qRegisterMetaType<QProcess::ExitStatus>();
}

void TestMceService::cleanup()
{
    for (const QString &name : qAsConst(m_connections))
        QDBusConnection::disconnectFromBus(name);
    m_connections.clear();
}

void TestMceService::answersInitialState_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("state");

    QTest::newRow("on by default") << QStringList() << "on";
    QTest::newRow("started off") << QStringList {"--display", "off"} << "off";
    QTest::newRow("started dimmed") << QStringList {"--display", "dimmed"} << "dimmed";
}

void TestMceService::answersInitialState()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, state);

    PrivateBus bus;
    QVERIFY2(bus.isValid(), qPrintable(bus.error()));
    QVERIFY2(bus.startMce(arguments), qPrintable(bus.error()));
    QCOMPARE(displayStatus(connect(bus)), state);
}

void TestMceService::ownsTheName()
{
    PrivateBus bus;
    QVERIFY2(bus.isValid(), qPrintable(bus.error()));
    QProcess *mce = bus.startMce();
    QVERIFY2(mce, qPrintable(bus.error()));

    QDBusConnectionInterface *daemon = connect(bus).interface();
    QVERIFY(daemon->isServiceRegistered(service));
    QCOMPARE(daemon->servicePid(service).value(), quint64(mce->processId()));
}

void TestMceService::signalsStateChanges_data()
{
    QTest::addColumn<QStringList>("initial");
    QTest::addColumn<QStringList>("requested");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QStringList>("signalled");
    QTest::addColumn<QString>("final");

    const QString invalid = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    QTest::newRow("on to off") << QStringList() << QStringList {"off"} << QStringList {""}
                               << QStringList {"off"} << "off";
    QTest::newRow("off, dimmed, on")
        << QStringList() << QStringList {"off", "dimmed", "on"} << QStringList {"", "", ""}
        << QStringList {"off", "dimmed", "on"} << "on";
    QTest::newRow("off to on") << QStringList {"--display", "off"} << QStringList {"on"}
                               << QStringList {""} << QStringList {"on"} << "on";
    // The handset's service signals transitions, so a repeat of the state says nothing.
    QTest::newRow("same state is not signalled")
        << QStringList() << QStringList {"on", "off"} << QStringList {"", ""} << QStringList {"off"}
        << "off";
    QTest::newRow("unknown state is refused")
        << QStringList() << QStringList {"bright", "", "Off", "off"}
        << QStringList {invalid, invalid, invalid, ""} << QStringList {"off"} << "off";
}

void TestMceService::signalsStateChanges()
{
    QFETCH(QStringList, initial);
    QFETCH(QStringList, requested);
    QFETCH(QStringList, errors);
    QFETCH(QStringList, signalled);
    QFETCH(QString, final);

    PrivateBus bus;
    QVERIFY2(bus.isValid(), qPrintable(bus.error()));
    QVERIFY2(bus.startMce(initial), qPrintable(bus.error()));
    QDBusConnection connection = connect(bus);
    DisplaySignalRecorder recorder;
    QVERIFY(connection.connect(service, signalPath, signalInterface,
        QStringLiteral("display_status_ind"), &recorder, SLOT(displayStateChanged(QDBusMessage))));

    QStringList answered;
    for (const QString &state : qAsConst(requested))
        answered << request(connection, QStringLiteral("set_display_status"), {state}).errorName();
    QCOMPARE(answered, errors);

    QTRY_COMPARE(recorder.states, signalled);
    QCOMPARE(displayStatus(connection), final);
}

void TestMceService::refusesToStart_data()
{
    QTest::addColumn<bool>("firstInstance");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("name already owned") << true << QStringList() << "already owned";
    QTest::newRow("unknown initial state")
        << false << QStringList {"--display", "bright"} << "unknown display state \"bright\"";
}

void TestMceService::refusesToStart()
{
    QFETCH(bool, firstInstance);
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    PrivateBus bus;
    QVERIFY2(bus.isValid(), qPrintable(bus.error()));
    QProcess *first = firstInstance ? bus.startMce({"--display", "dimmed"}) : nullptr;
    QVERIFY2(!firstInstance || first, qPrintable(bus.error()));

    QString errorOutput;
    QCOMPARE(bus.runMceToExit(arguments, &errorOutput), 1);
    QVERIFY2(errorOutput.contains("pinrova-mce: ") && errorOutput.contains(message),
        qPrintable(errorOutput));

    const QDBusConnection connection = connect(bus);
    if (first) {
        QCOMPARE(connection.interface()->servicePid(service).value(), quint64(first->processId()));
        QCOMPARE(displayStatus(connection), QStringLiteral("dimmed"));
    } else {
        QVERIFY(!connection.interface()->isServiceRegistered(service));
    }
}

void TestMceService::quitsOnSignal_data()
{
    QTest::addColumn<int>("signal");

    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestMceService::quitsOnSignal()
{
    QFETCH(int, signal);

    PrivateBus bus;
    QVERIFY2(bus.isValid(), qPrintable(bus.error()));
    QProcess *mce = bus.startMce();
    QVERIFY2(mce, qPrintable(bus.error()));
    QSignalSpy finished(mce, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));

    QCOMPARE(::kill(pid_t(mce->processId()), signal), 0);
    QVERIFY(finished.wait(5000));
    QCOMPARE(mce->exitStatus(), QProcess::NormalExit);
    QCOMPARE(mce->exitCode(), 0);
    QTRY_VERIFY(!connect(bus).interface()->isServiceRegistered(service));
}

// The installed policy file on a bus that, like the system bus, denies what it does not allow.
void TestMceService::systemBusPolicyLetsRootServe()
{
    if (::getuid() != 0)
        QSKIP("the policy lets root own the name; this test does not run as root");

    PrivateBus bus(QStringLiteral(PINROVA_MCE_POLICY));
    QVERIFY2(bus.isValid(), qPrintable(bus.error()));
    QVERIFY2(bus.startMce(), qPrintable(bus.error()));
    const QDBusConnection connection = connect(bus);
    QCOMPARE(displayStatus(connection), QStringLiteral("on"));
    QCOMPARE(
        request(connection, QStringLiteral("set_display_status"), {QStringLiteral("off")}).type(),
        QDBusMessage::ReplyMessage);
    QCOMPARE(displayStatus(connection), QStringLiteral("off"));
}

QTEST_GUILESS_MAIN(TestMceService)
#include "tst_mceservice.moc"
