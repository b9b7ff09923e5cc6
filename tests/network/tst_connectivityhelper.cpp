#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include "connectivityhelper.h"
#include "dialoganswerer.h"

using Pinrova::Testing::DialogAnswerer;

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfigurationManager>

Q_DECLARE_METATYPE(QMessageBox::Icon)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

// An active configuration, so that opening a session on it reports opened() at once on Qt's
// generic bearer; invalid when this machine has none.
QNetworkConfiguration usableConfiguration()
{
    QNetworkConfigurationManager manager;
    const QNetworkConfiguration preferred = manager.defaultConfiguration();
    if (preferred.state().testFlag(QNetworkConfiguration::Active))
        return preferred;
    const QList<QNetworkConfiguration> active
        = manager.allConfigurations(QNetworkConfiguration::Active);
    return active.isEmpty() ? QNetworkConfiguration() : active.first();
}

void raise(QNetworkSession &session, QNetworkSession::SessionError error)
{
    // Emitting the session's own signal goes through the connection the helper made.
    emit session.error(error);
}

} // namespace

class TestConnectivityHelper : public QObject
{
    Q_OBJECT

private slots:
    void question_data();
    void question();
    void sessionErrorsAsked_data();
    void sessionErrorsAsked();
    void answers_data();
    void answers();
    void dialogParent();
    void detachedSessionIsNotWatched();
    void nullSession();
};

void TestConnectivityHelper::question_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("informativeText");
    QTest::addColumn<QMessageBox::Icon>("icon");

    const QString needed = "This application requires network access to function.";
    const QString cancel = "Press Cancel to quit the application.";
    const QString range = "Out of range of network.";
    const QString back = "Move back into range and press Retry, or press Cancel to quit the "
                         "application.";
    using S = QNetworkSession;
    QTest::newRow("unknown while connecting") << int(S::UnknownSessionError) << int(S::Connecting)
                                              << needed << cancel << QMessageBox::Information;
    for (const auto &[name, state] : {std::pair {"invalid", S::Invalid},
             {"not available", S::NotAvailable}, {"disconnected", S::Disconnected},
             {"connected", S::Connected}, {"closing", S::Closing}, {"roaming", S::Roaming}}) {
        QTest::newRow(qPrintable(QStringLiteral("unknown while %1").arg(name))) << int(
            S::UnknownSessionError) << int(state) << QString() << QString() << QMessageBox::NoIcon;
        QTest::newRow(qPrintable(QStringLiteral("aborted while %1").arg(name)))
            << int(S::SessionAbortedError) << int(state) << range << back << QMessageBox::Warning;
    }
    QTest::newRow("aborted while connecting") << int(S::SessionAbortedError) << int(S::Connecting)
                                              << range << back << QMessageBox::Warning;
    QTest::newRow("roaming failed") << int(S::RoamingError) << int(S::Connecting) << QString()
                                    << QString() << QMessageBox::NoIcon;
    QTest::newRow("operation not supported")
        << int(S::OperationNotSupportedError) << int(S::Connected) << QString() << QString()
        << QMessageBox::NoIcon;
    QTest::newRow("invalid configuration")
        << int(S::InvalidConfigurationError) << int(S::Connecting) << QString() << QString()
        << QMessageBox::NoIcon;
}

void TestConnectivityHelper::question()
{
    QFETCH(int, error);
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(QString, informativeText);
    QFETCH(QMessageBox::Icon, icon);

    const auto question
        = ConnectivityHelper::questionFor(static_cast<QNetworkSession::SessionError>(error),
            static_cast<QNetworkSession::State>(state));
    QCOMPARE(question.has_value(), !text.isNull());
    if (!question)
        return;
    QCOMPARE(question->text, text);
    QCOMPARE(question->informativeText, informativeText);
    QCOMPARE(question->icon, icon);
}

void TestConnectivityHelper::sessionErrorsAsked_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("asked");
    // A real session here is never Connecting, so the unknown error stays silent.
    QTest::newRow("unknown outside a connection attempt")
        << int(QNetworkSession::UnknownSessionError) << false;
    QTest::newRow("aborted") << int(QNetworkSession::SessionAbortedError) << true;
    QTest::newRow("roaming") << int(QNetworkSession::RoamingError) << false;
    QTest::newRow("not supported") << int(QNetworkSession::OperationNotSupportedError) << false;
    QTest::newRow("invalid configuration")
        << int(QNetworkSession::InvalidConfigurationError) << false;
}

void TestConnectivityHelper::sessionErrorsAsked()
{
    QFETCH(int, error);
    QFETCH(bool, asked);

    QNetworkSession session(usableConfiguration());
    QVERIFY(session.state() != QNetworkSession::Connecting);
    ConnectivityHelper helper(&session, nullptr);
    QSignalSpy cancelled(&helper, &ConnectivityHelper::networkingCancelled);
    DialogAnswerer answerer(QMessageBox::Cancel);

    raise(session, static_cast<QNetworkSession::SessionError>(error));
    QCOMPARE(answerer.count, asked ? 1 : 0);
    QCOMPARE(cancelled.count(), asked ? 1 : 0);
    if (!asked)
        return;
    QCOMPARE(answerer.seen.text, QStringLiteral("Out of range of network."));
    QCOMPARE(answerer.seen.icon, QMessageBox::Warning);
    QCOMPARE(answerer.seen.buttons, QMessageBox::Retry | QMessageBox::Cancel);
    QCOMPARE(answerer.seen.defaultButton, QMessageBox::Retry);
    QVERIFY(answerer.seen.modal);
}

void TestConnectivityHelper::answers_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("cancelled");
    QTest::addColumn<int>("reopened");
    QTest::newRow("retry reopens") << QMessageBox::Retry << 0 << 1;
    QTest::newRow("cancel quits") << QMessageBox::Cancel << 1 << 0;
    QTest::newRow("escape is cancel") << QMessageBox::NoButton << 1 << 0;
}

void TestConnectivityHelper::answers()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, cancelled);
    QFETCH(int, reopened);

    // Without any configuration (a machine with only loopback) the session cannot open, and a
    // reopen shows as its complaint about the configuration.
    const QNetworkConfiguration configuration = usableConfiguration();
    QNetworkSession session(configuration);
    ConnectivityHelper helper(&session, nullptr);
    QSignalSpy cancelSpy(&helper, &ConnectivityHelper::networkingCancelled);
    QSignalSpy openedSpy(&session, &QNetworkSession::opened);
    QSignalSpy stateSpy(&session, &QNetworkSession::stateChanged);
    QSignalSpy errorSpy(
        &session, qOverload<QNetworkSession::SessionError>(&QNetworkSession::error));
    DialogAnswerer answerer(answer);

    raise(session, QNetworkSession::SessionAbortedError);
    QCOMPARE(answerer.count, 1);
    QCOMPARE(cancelSpy.count(), cancelled);
    // Not yet: the session is reopened only after the dialog is gone.
    QCOMPARE(openedSpy.count() + stateSpy.count(), 0);
    QCOMPARE(errorSpy.count(), 1);
    QVERIFY(!session.isOpen());

    if (!configuration.isValid()) {
        if (reopened)
            QTRY_COMPARE(errorSpy.count(), 2);
        else
            QTest::qWait(50);
        QCOMPARE(errorSpy.count(), 1 + reopened);
        QCOMPARE(errorSpy.last().first().value<QNetworkSession::SessionError>(),
            reopened ? QNetworkSession::InvalidConfigurationError
                     : QNetworkSession::SessionAbortedError);
    } else if (reopened) {
        QTRY_VERIFY(session.isOpen());
    } else {
        QTest::qWait(50);
    }
    QCOMPARE(session.isOpen(), configuration.isValid() && reopened);
    QCOMPARE(cancelSpy.count(), cancelled);
}

void TestConnectivityHelper::dialogParent()
{
    QWidget window;
    QObject plain;
    QNetworkSession session(usableConfiguration());
    for (QObject *parent : {static_cast<QObject *>(&window), &plain}) {
        auto *helper = new ConnectivityHelper(&session, parent);
        DialogAnswerer answerer(QMessageBox::Cancel);
        raise(session, QNetworkSession::SessionAbortedError);
        QCOMPARE(answerer.count, 1);
        QCOMPARE(answerer.seen.parent, parent == &window ? &window : nullptr);
        delete helper;
    }
}

void TestConnectivityHelper::detachedSessionIsNotWatched()
{
    QNetworkSession session(usableConfiguration());
    ConnectivityHelper helper(&session, nullptr);
    helper.detachSession();
    helper.detachSession(); // harmless twice
    DialogAnswerer answerer(QMessageBox::Cancel);
    raise(session, QNetworkSession::SessionAbortedError);
    QCOMPARE(answerer.count, 0);
}

void TestConnectivityHelper::nullSession()
{
    ConnectivityHelper helper(nullptr, nullptr);
    helper.detachSession();
    QSignalSpy cancelled(&helper, &ConnectivityHelper::networkingCancelled);

    // The slot still asks about an aborted session; Retry has nothing to reopen and must not
    // crash.
    for (const QMessageBox::StandardButton answer : {QMessageBox::Retry, QMessageBox::Cancel}) {
        DialogAnswerer answerer(answer);
        QVERIFY(QMetaObject::invokeMethod(&helper, "error", Qt::DirectConnection,
            Q_ARG(QNetworkSession::SessionError, QNetworkSession::SessionAbortedError)));
        QCOMPARE(answerer.count, 1);
        QTest::qWait(10);
    }
    QCOMPARE(cancelled.count(), 1);

    DialogAnswerer answerer(QMessageBox::Cancel);
    QVERIFY(QMetaObject::invokeMethod(&helper, "error", Qt::DirectConnection,
        Q_ARG(QNetworkSession::SessionError, QNetworkSession::UnknownSessionError)));
    QCOMPARE(answerer.count, 0);
}

QT_WARNING_POP

QTEST_MAIN(TestConnectivityHelper)
#include "tst_connectivityhelper.moc"
