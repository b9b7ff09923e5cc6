#pragma once

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QUrl>
#include <QVector>

#include "networktype.h"
#include "person.h"

class QWebEngineView;

namespace Pinrova::Social {

// The connector to one social network: it runs the network's sign-in pages in a web view the
// login flow lends it, keeps the credentials in memory, reads profiles and turns them into
// Person records. Every user of a connector gets it from socialInfoForNetwork(), so all of them
// see the same sign-in state.
class ISocialInfo : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ISocialInfo)

public:
    using QObject::QObject;

    virtual QUrl loginUrl() const = 0;
    virtual bool isLoggedIn() const = 0;
    virtual NetworkType networkType() const = 0;
    // Lends the view the sign-in runs in (not owned); null detaches.
    virtual void setWebView(QWebEngineView *view) = 0;
    virtual void login() = 0;
    virtual void detachWebView() = 0;
    virtual void retrieveUserInfo() = 0;
    virtual void retrieveUsersInfo(QVector<QString> ids) = 0;
    virtual QUrl profileUrl(QString id) const = 0;

    // What proves the signed-in user to the position service: the value of Register's
    // Authorization header, empty while nobody is signed in. It lives in memory only.
    virtual QByteArray serviceCredential() const = 0;
    // The network's credential has run out: only signing in again brings the user back.
    virtual bool credentialExpired() const { return false; }

    // A profile answer is well under a kilobyte; a longer one is cut off and read as none.
    static constexpr qint64 MaximumProfileBytes = 16 * 1024;

signals:
    void loginResult(bool loggedIn);
    // Person is not a registered meta-type: connect only directly, on the GUI thread.
    void userInfoRetrieved(Person userInfo);
};

// The one shared connector for a network, created on first demand; empty for networks without
// a connector (Twitter and later).
QSharedPointer<ISocialInfo> socialInfoForNetwork(NetworkType type);

// Empties the table (the main window does this on its way out). A connector dies with it unless
// someone else still holds it.
void releaseSocialInfos();

} // namespace Pinrova::Social
