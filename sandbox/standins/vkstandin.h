#pragma once

#include <QString>
#include <QVector>

#include <memory>

namespace Pinrova::Http {
class HttpServer;
}

namespace Pinrova::Sandbox {

struct VkUser
{
    QString uid;
    QString firstName;
    QString lastName;
    int sex = 0; // 1 female, 2 male, 0 not given
    QString birthDate; // "d.M.yyyy" or "d.M" without a year, empty when hidden
    QString email; // sign-in address; empty for people who only appear in profiles
    QString password;
};

// VKontakte as the application meets it: the browser login page for applications (an HTML form
// with an e-mail and a password field), the success page with the session as JSON and the
// failure page (sessions signed with the application secret), the signed "getProfiles" API call,
// photos, and profile pages (which live on a different host; any path of the form "/id<uid>" on
// this server serves them).
class VkStandIn
{
public:
    struct Options
    {
        QString appId = QStringLiteral("1000000");
        QVector<VkUser> users;
        // Signs every session ("sig"), so the position service can check it. Keep it out of logs.
        QString appSecret;
        // Seconds a session lives; 0 writes "expire":0, which means no expiry.
        int sessionSeconds = 0;
    };

    // The default people: one account that can sign in and two more profiles.
    static QVector<VkUser> demoUsers();

    VkStandIn(Http::HttpServer &server, Options options);
    ~VkStandIn();
    VkStandIn(const VkStandIn &) = delete;
    VkStandIn &operator=(const VkStandIn &) = delete;

    // Sessions handed out so far (successful sign-ins and signedSession() calls).
    int sessionCount() const;

    // A new signed session for the user, as the success page would carry it: compact JSON with
    // "expire", "mid", "secret", "sid" and "sig".
    QByteArray signedSession(const QString &uid);

private:
    struct State;
    std::shared_ptr<State> state;
};

} // namespace Pinrova::Sandbox
