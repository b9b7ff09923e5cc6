#pragma once

#include <QElapsedTimer>

#include <optional>

#include "isocialinfo.h"
#include "requestreplystack.h"
#include "webviewlink.h"

class QNetworkReply;

namespace Pinrova::Social {

// Facebook through its OAuth dialog in the client-side ("token") flow: the dialog ends on the
// product's own web site with the access token in the address's fragment, which is all this
// connector needs. The token lives only in memory.
class FacebookInfo : public ISocialInfo
{
    Q_OBJECT
    Q_DISABLE_COPY(FacebookInfo)

public:
    explicit FacebookInfo(QObject *parent = nullptr);

    QUrl loginUrl() const override;
    bool isLoggedIn() const override;
    NetworkType networkType() const override;
    void setWebView(QWebEngineView *view) override;
    void login() override;
    void detachWebView() override;
    void retrieveUserInfo() override;
    void retrieveUsersInfo(QVector<QString> ids) override;
    QUrl profileUrl(QString id) const override;
    QByteArray serviceCredential() const override;
    bool credentialExpired() const override;

    QString accessToken() const { return token; }
    int tokenLifetime() const { return lifetime; }

private slots:
    void getUserInfoReply(QNetworkReply *reply);
    void redirected(const QUrl &url);

private:
    bool takeToken(const QString &fragment);
    void sendGraphRequest(const QString &pathAndQuery);

    bool loggedIn = false;
    int lifetime = 0; // seconds; 0 or less never expires
    WebViewLink webView;
    QElapsedTimer tokenTime;
    QString token;
    bool retried = false;
    Network::RequestReplyStack requests {this};
};

struct FacebookToken
{
    QString token;
    int lifetime = 0; // seconds; 0 or less never expires
};

// The token and its lifetime in the fragment of the dialog's redirect ("access_token=...", then
// optionally "&expires_in=..."); nothing when the fragment carries no token.
std::optional<FacebookToken> parseFacebookFragment(const QString &fragment);

// The profile in a Graph "/me" answer; an answer that is not a JSON object gives a Person with
// only the Facebook network and the picture addresses of an empty id.
Person parseFacebookProfile(const QByteArray &json);

} // namespace Pinrova::Social
