#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Pinrova::Http {
class HttpServer;
}

namespace Pinrova::Sandbox {

struct FacebookUser
{
    QString id = QStringLiteral("100000000000001");
    QString firstName = QStringLiteral("Anna");
    QString lastName = QStringLiteral("Smirnova");
    QString gender = QStringLiteral("female");
    QString birthday = QStringLiteral("4/17/1990"); // M/d/yyyy, as the Graph API writes it
    // A token of their own, for people who use the service without signing in here (the
    // crowd); it never expires. Empty: none.
    QString accessToken;
};

// Facebook as the application meets it: the OAuth dialog (client-side token flow) as a page with
// "Continue" and "Cancel", the Graph profile of the signed-in user, profile pictures (behind a
// redirect, as the real Graph API answers), profile pages, and "/debug_token", with which the
// position service checks the tokens this stand-in issued. Web and Graph paths do not overlap,
// so one server can play both hosts.
class FacebookStandIn
{
public:
    struct Options
    {
        QString clientId = QStringLiteral("100000000000000");
        QString redirectHost = QStringLiteral("www.pinrova.example");
        QString accessToken = QStringLiteral("sandbox-token-2f9c");
        int expiresIn = 3600; // 0 leaves "&expires_in=" out of the redirect
        // With the client id, the application's own token ("<id>|<secret>") that /debug_token
        // asks for. Empty: /debug_token refuses every caller.
        QString appSecret;
        FacebookUser user;
        // More people with profile pages and no sign-in (the sandbox's crowd).
        QVector<FacebookUser> others;
    };

    // Adds the routes to the server; they keep copies of what they need.
    FacebookStandIn(Http::HttpServer &server, Options options);
    ~FacebookStandIn();
    FacebookStandIn(const FacebookStandIn &) = delete;
    FacebookStandIn &operator=(const FacebookStandIn &) = delete;

    const Options &options() const { return settings; }

private:
    struct State;
    Options settings;
    std::shared_ptr<State> state;
};

} // namespace Pinrova::Sandbox
