#pragma once

#include "isocialinfo.h"
#include "requestreplystack.h"
#include "vkemailmemory.h"
#include "webviewlink.h"

class QNetworkReply;

namespace Pinrova::Social {

// VKontakte through its browser login page for applications: on success the page sends the view
// to a fixed success page whose query holds the session as JSON. Profiles come from the signed
// "getProfiles" API call. The e-mail address last typed into the login page is remembered in the
// settings ("VkLogin") and filled in next time.
class VkInfo : public ISocialInfo
{
    Q_OBJECT
    Q_DISABLE_COPY(VkInfo)

public:
    explicit VkInfo(QObject *parent = nullptr);

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

    QString userId() const { return mid; }
    QString sessionId() const { return sid; }

private slots:
    void getUserInfoReply(QNetworkReply *reply);
    void urlChanged(const QUrl &url);

private:
    void takeSession(const QString &json);

    bool loggedIn = false;
    WebViewLink webView;
    VkEmailMemory emailMemory {this};
    QString mid; // the signed-in user's id
    QString sid; // sent with every API call
    QString secret; // ends every signature input, never sent to VKontakte
    QByteArray session; // the success page's JSON as it came, for the position service only
    Network::RequestReplyStack requests {this};
};

struct VkSession
{
    QString mid;
    QString secret;
    QString sid;
};

// Register's Authorization value for a session JSON: "VKontakte " and the JSON exactly as it
// came, base64url-encoded without padding.
QByteArray vkServiceCredential(const QByteArray &sessionJson);

// The session JSON of the success page; missing keys give empty strings.
VkSession parseVkSession(const QByteArray &json);

// The text whose MD5 signs a "getProfiles" call: the user id, the parameters other than "sid"
// and "sig" as name=value in ascending name order, then the secret.
QByteArray vkSignatureInput(
    const QString &mid, const QString &appId, const QString &uids, const QString &secret);

// The people of a "getProfiles" answer, in answer order; empty without a "response" list.
QVector<Person> parseVkProfiles(const QByteArray &json);

} // namespace Pinrova::Social
