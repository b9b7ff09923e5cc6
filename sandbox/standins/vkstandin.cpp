#include "vkstandin.h"

#include <QColor>
#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "httpserver.h"
#include "standinhelpers.h"

namespace Pinrova::Sandbox {

using Http::HttpRequest;
using Http::HttpResponse;

namespace {

struct Session
{
    QString mid;
    QString secret;
};

QString randomHex(int bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    for (char &c : data)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(data.toHex());
}

HttpResponse json(const QJsonObject &object)
{
    return HttpResponse::ok(toStd(QJsonDocument(object).toJson(QJsonDocument::Compact)),
        "application/json; charset=utf-8");
}

HttpResponse apiError(int code, const QString &message)
{
    return json(QJsonObject {{QStringLiteral("error"),
        QJsonObject {
            {QStringLiteral("error_code"), code}, {QStringLiteral("error_msg"), message}}}});
}

// Decoded query parameters in name order, as the signature covers them.
std::vector<std::pair<std::string, std::string>> sortedParameters(const std::string &query)
{
    std::vector<std::pair<std::string, std::string>> parameters;
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string pair = query.substr(start, end - start);
        if (!pair.empty()) {
            const std::size_t eq = pair.find('=');
            const std::string key = Http::percentDecode(pair.substr(0, eq));
            const std::string value = eq == std::string::npos
                ? std::string()
                : Http::percentDecode(pair.substr(eq + 1));
            parameters.emplace_back(key, value);
        }
        start = end + 1;
    }
    std::stable_sort(parameters.begin(), parameters.end(),
        [](const auto &a, const auto &b) { return a.first < b.first; });
    return parameters;
}

QColor portraitColor(int index)
{
    static const QColor palette[] = {QColor(81, 129, 184), QColor(196, 104, 72),
        QColor(92, 150, 98), QColor(150, 96, 160), QColor(190, 150, 60)};
    return palette[index % 5];
}

} // namespace

struct VkStandIn::State
{
    QString appId;
    QString appSecret;
    int sessionSeconds = 0;
    QVector<VkUser> users;
    std::map<QString, std::pair<std::string, std::string>> photos; // uid -> small, medium
    mutable std::mutex mutex;
    std::map<QString, Session> sessions; // by sid

    // Opens a session for the user and gives its JSON, signed as VKontakte signs sessions.
    QByteArray openSession(const QString &uid)
    {
        const Session session {uid, randomHex(5)};
        const QString sid = randomHex(16);
        const qint64 expire
            = sessionSeconds > 0 ? QDateTime::currentSecsSinceEpoch() + sessionSeconds : 0;
        const QByteArray input = "expire=" + QByteArray::number(expire) + "mid=" + uid.toUtf8()
            + "secret=" + session.secret.toUtf8() + "sid=" + sid.toUtf8() + appSecret.toUtf8();
        const QString sig
            = QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex());
        {
            std::lock_guard lock(mutex);
            sessions[sid] = session;
        }
        const QJsonObject credentials {{QStringLiteral("expire"), expire},
            {QStringLiteral("mid"), uid.toLongLong()}, {QStringLiteral("secret"), session.secret},
            {QStringLiteral("sid"), sid}, {QStringLiteral("sig"), sig}};
        return QJsonDocument(credentials).toJson(QJsonDocument::Compact);
    }

    const VkUser *user(const QString &uid) const
    {
        const auto it = std::find_if(
            users.begin(), users.end(), [&](const VkUser &u) { return u.uid == uid; });
        return it == users.end() ? nullptr : &*it;
    }
};

QVector<VkUser> VkStandIn::demoUsers()
{
    return {
        {QStringLiteral("1"), QStringLiteral("Pavel"), QStringLiteral("Durov"), 2,
            QStringLiteral("10.10.1984"), QStringLiteral("pavel@vk.example"),
            QStringLiteral("secret")},
        {QStringLiteral("2"), QStringLiteral("Olga"), QStringLiteral("Ivanova"), 1,
            QStringLiteral("5.3"), {}, {}},
        {QStringLiteral("3"), QStringLiteral("Dmitry"), QStringLiteral("Petrov"), 0, QString(), {},
            {}},
    };
}

VkStandIn::VkStandIn(Http::HttpServer &server, Options options)
    : state(std::make_shared<State>())
{
    state->appId = options.appId;
    state->appSecret = options.appSecret;
    state->sessionSeconds = options.sessionSeconds;
    state->users = options.users.isEmpty() ? demoUsers() : options.users;
    for (int i = 0; i < state->users.size(); ++i) {
        const QColor color = portraitColor(i);
        state->photos[state->users[i].uid]
            = {toStd(portraitPng(50, color)), toStd(portraitPng(100, color))};
    }
    const std::shared_ptr<State> s = state;

    const auto loginForm = [s](const HttpRequest &request, const QString &message) {
        const QString action = QStringLiteral("/login.php?") + htmlEscaped(fromStd(request.query));
        return htmlPage(QStringLiteral("VK"),
            QStringLiteral("<h1>VK</h1><p>%1</p><form id=\"login\" method=\"post\" action=\"%2\">"
                           "<input type=\"email\" name=\"email\" id=\"email\" value=\"\">"
                           "<input type=\"password\" name=\"pass\" id=\"pass\" value=\"\">"
                           "<input type=\"submit\" id=\"submit\" value=\"Log in\"></form>")
                .arg(htmlEscaped(message), action));
    };

    server.route("/login.php", [s, loginForm](const HttpRequest &request) {
        if (fromStd(request.queryValue("app")) != s->appId)
            return htmlPage(
                QStringLiteral("VK"), QStringLiteral("<p>Application not found.</p>"), 404);
        if (request.method != "POST")
            return loginForm(request, QStringLiteral("Log in to allow access to your account."));

        const QString email = fromStd(formValue(request.body, "email"));
        const QString password = fromStd(formValue(request.body, "pass"));
        const auto account = std::find_if(s->users.begin(), s->users.end(), [&](const VkUser &u) {
            return !u.email.isEmpty() && u.email.compare(email, Qt::CaseInsensitive) == 0
                && u.password == password;
        });
        if (account == s->users.end())
            return HttpResponse::redirect(origin(request) + "/api/login_failure.html");

        const QByteArray encoded
            = QUrl::toPercentEncoding(QString::fromUtf8(s->openSession(account->uid)));
        return HttpResponse::redirect(
            origin(request) + "/api/login_success.html?session=" + toStd(encoded));
    });

    server.route("/api/login_success.html", [](const HttpRequest &) {
        return htmlPage(QStringLiteral("VK"), QStringLiteral("<p>Login success</p>"));
    });
    server.route("/api/login_failure.html", [](const HttpRequest &) {
        return htmlPage(QStringLiteral("VK"), QStringLiteral("<p>Login failure</p>"));
    });

    server.route("/api.php", [s](const HttpRequest &request) {
        const QString sid = fromStd(request.queryValue("sid"));
        Session session;
        {
            std::lock_guard lock(s->mutex);
            const auto it = s->sessions.find(sid);
            if (it == s->sessions.end())
                return apiError(3, QStringLiteral("Unknown session: authorization failed"));
            session = it->second;
        }
        QByteArray input = session.mid.toUtf8();
        for (const auto &[key, value] : sortedParameters(request.query)) {
            if (key != "sid" && key != "sig")
                input += QByteArray::fromStdString(key + "=" + value);
        }
        input += session.secret.toUtf8();
        const std::string expected
            = QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex().toStdString();
        if (request.queryValue("sig") != expected)
            return apiError(4, QStringLiteral("Incorrect signature"));
        if (request.queryValue("method") != "getProfiles"
            || request.queryValue("api_id") != toStd(s->appId))
            return apiError(3, QStringLiteral("Unknown method passed"));

        const QStringList fields = fromStd(request.queryValue("fields")).split(QLatin1Char(','));
        QJsonArray profiles;
        for (const QString &uid :
            fromStd(request.queryValue("uids")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const VkUser *user = s->user(uid.trimmed());
            if (!user)
                continue;
            QJsonObject profile {{QStringLiteral("uid"), user->uid.toLongLong()},
                {QStringLiteral("first_name"), user->firstName},
                {QStringLiteral("last_name"), user->lastName}};
            const std::string photoBase = origin(request) + "/photos/" + toStd(user->uid);
            if (fields.contains(QStringLiteral("photo")))
                profile.insert(QStringLiteral("photo"), fromStd(photoBase + "_50.png"));
            if (fields.contains(QStringLiteral("photo_medium")))
                profile.insert(QStringLiteral("photo_medium"), fromStd(photoBase + "_100.png"));
            if (fields.contains(QStringLiteral("sex")))
                profile.insert(QStringLiteral("sex"), user->sex);
            if (fields.contains(QStringLiteral("bdate")) && !user->birthDate.isEmpty())
                profile.insert(QStringLiteral("bdate"), user->birthDate);
            profiles.append(profile);
        }
        return json(QJsonObject {{QStringLiteral("response"), profiles}});
    });

    server.routePrefix("/photos/", [s](const HttpRequest &request) {
        const QString name = fromStd(request.path.substr(8));
        const int underscore = name.lastIndexOf(QLatin1Char('_'));
        const auto it = s->photos.find(name.left(underscore));
        if (underscore < 0 || it == s->photos.end())
            return HttpResponse::error(404, "No such photo");
        if (name.mid(underscore) == QLatin1String("_50.png"))
            return HttpResponse::ok(it->second.first, "image/png");
        if (name.mid(underscore) == QLatin1String("_100.png"))
            return HttpResponse::ok(it->second.second, "image/png");
        return HttpResponse::error(404, "No such photo");
    });

    server.routePrefix("/id", [s](const HttpRequest &request) {
        const VkUser *user = s->user(fromStd(request.path.substr(3)));
        if (!user)
            return htmlPage(QStringLiteral("VK"), QStringLiteral("<p>Page not found.</p>"), 404);
        return htmlPage(user->firstName + QLatin1Char(' ') + user->lastName,
            QStringLiteral("<h1>%1 %2</h1><p>VK id%3</p>")
                .arg(htmlEscaped(user->firstName), htmlEscaped(user->lastName),
                    htmlEscaped(user->uid)));
    });
}

VkStandIn::~VkStandIn() = default;

QByteArray VkStandIn::signedSession(const QString &uid)
{
    return state->openSession(uid);
}

int VkStandIn::sessionCount() const
{
    std::lock_guard lock(state->mutex);
    return static_cast<int>(state->sessions.size());
}

} // namespace Pinrova::Sandbox
