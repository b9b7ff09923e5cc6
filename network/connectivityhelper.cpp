#include "connectivityhelper.h"

#include <QTimer>
#include <QWidget>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

ConnectivityHelper::ConnectivityHelper(QNetworkSession *session, QObject *parent)
    : QObject(parent)
    , session(session)
{
    if (session) {
        connect(session, qOverload<QNetworkSession::SessionError>(&QNetworkSession::error), this,
            &ConnectivityHelper::error);
    }
}

void ConnectivityHelper::detachSession()
{
    if (session) {
        disconnect(session, qOverload<QNetworkSession::SessionError>(&QNetworkSession::error), this,
            &ConnectivityHelper::error);
    }
}

std::optional<ConnectivityHelper::Question> ConnectivityHelper::questionFor(
    QNetworkSession::SessionError error, QNetworkSession::State state)
{
    switch (error) {
    case QNetworkSession::UnknownSessionError:
        // Outside a connection attempt this error carries nothing the user can act on.
        if (state != QNetworkSession::Connecting)
            return std::nullopt;
        return Question {tr("This application requires network access to function."),
            tr("Press Cancel to quit the application."), QMessageBox::Information};
    case QNetworkSession::SessionAbortedError:
        return Question {tr("Out of range of network."),
            tr("Move back into range and press Retry, or press Cancel to quit the application."),
            QMessageBox::Warning};
    default:
        return std::nullopt;
    }
}

void ConnectivityHelper::error(QNetworkSession::SessionError error)
{
    const QNetworkSession::State state = session ? session->state() : QNetworkSession::Invalid;
    const std::optional<Question> question = questionFor(error, state);
    if (!question)
        return;

    QMessageBox box(qobject_cast<QWidget *>(parent()));
    box.setText(question->text);
    box.setInformativeText(question->informativeText);
    box.setIcon(question->icon);
    box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Retry);

    switch (box.exec()) {
    case QMessageBox::Retry:
        // Reopen only once the dialog has been torn down.
        if (session)
            QTimer::singleShot(0, session, &QNetworkSession::open);
        break;
    case QMessageBox::Cancel:
        emit networkingCancelled();
        break;
    default:
        break;
    }
}

QT_WARNING_POP
