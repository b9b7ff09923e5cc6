#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>

// Qt's bearer classes are deprecated in 5.15 but are the session API this program is built on.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkSession>

#include <optional>

// Watches the application's network session and turns its errors into a modal question: Retry
// reopens the session, Cancel emits networkingCancelled() (the main window quits on it). The
// session is not owned and may be null.
class ConnectivityHelper : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ConnectivityHelper)

public:
    // What the user is asked about one session error.
    struct Question
    {
        QString text;
        QString informativeText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    ConnectivityHelper(QNetworkSession *session, QObject *parent);

    // Stops watching the session's errors; the session pointer itself is kept.
    void detachSession();

    // The question an error raises while the session is in the given state, or none when the
    // error is not the user's business.
    static std::optional<Question> questionFor(
        QNetworkSession::SessionError error, QNetworkSession::State state);

signals:
    void networkingCancelled();

private slots:
    void error(QNetworkSession::SessionError error);

private:
    QNetworkSession *session = nullptr;
};

QT_WARNING_POP
