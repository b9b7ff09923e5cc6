#include "facebookstandin.h"

#include <QColor>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "httpserver.h"
#include "standinhelpers.h"

namespace Pinrova::Sandbox {

using Http::HttpRequest;
using Http::HttpResponse;

namespace {

HttpResponse json(const QJsonObject &object, int status = 200)
{
    HttpResponse response
        = HttpResponse::ok(toStd(QJsonDocument(object).toJson(QJsonDocument::Compact)),
            "application/json; charset=UTF-8");
    response.status = status;
    return response;
}

HttpResponse graphError(const QString &message, int code)
{
    return json(QJsonObject {{QStringLiteral("error"),
                    QJsonObject {{QStringLiteral("message"), message},
                        {QStringLiteral("type"), QStringLiteral("OAuthException")},
                        {QStringLiteral("code"), code}}}},
        400);
}

} // namespace

// Pictures are drawn once, on the thread that builds the stand-in; handlers only read them.
struct FacebookStandIn::State
{
    std::string square;
    std::string normal;
    std::mutex mutex;
    qint64 userTokenIssuedAt = -1; // seconds since the epoch; -1 until the dialog issues it
};

FacebookStandIn::FacebookStandIn(Http::HttpServer &server, Options options)
    : settings(std::move(options))
    , state(std::make_shared<State>())
{
    state->square = toStd(portraitPng(50, QColor(59, 89, 152)));
    state->normal = toStd(portraitPng(100, QColor(59, 89, 152)));
    const Options o = settings;
    const std::shared_ptr<const State> pictures = state;
    const std::shared_ptr<State> issued = state;

    const std::string expectedRedirect = toStd(QStringLiteral("http://") + o.redirectHost);

    server.route("/dialog/oauth", [o, expectedRedirect](const HttpRequest &request) {
        const std::string redirect = request.queryValue("redirect_uri");
        if (request.queryValue("client_id") != toStd(o.clientId))
            return htmlPage(QStringLiteral("Error"), QStringLiteral("<p>Invalid app ID.</p>"), 400);
        if (redirect.rfind(expectedRedirect, 0) != 0
            || request.queryValue("response_type") != "token")
            return htmlPage(QStringLiteral("Error"),
                QStringLiteral("<p>URL blocked: this redirect is not allowed.</p>"), 400);
        const QString hidden
            = QStringLiteral("<input type=\"hidden\" name=\"redirect_uri\" value=\"%1\">")
                  .arg(htmlEscaped(fromStd(redirect)));
        const QString body
            = QStringLiteral(
                "<h1>Pinrova</h1><p>Continue as %1?</p>"
                "<form id=\"confirm\" action=\"/dialog/oauth/confirm\" method=\"get\">%2"
                "<button id=\"continue\" type=\"submit\">Continue</button></form>"
                "<form id=\"deny\" action=\"/dialog/oauth/cancel\" method=\"get\">%2"
                "<button id=\"cancel\" type=\"submit\">Cancel</button></form>")
                  .arg(htmlEscaped(o.user.firstName + QLatin1Char(' ') + o.user.lastName), hidden);
        return htmlPage(QStringLiteral("Log in with Facebook"), body);
    });

    server.route(
        "/dialog/oauth/confirm", [o, expectedRedirect, issued](const HttpRequest &request) {
            std::string redirect = request.queryValue("redirect_uri");
            if (redirect.rfind(expectedRedirect, 0) != 0)
                return htmlPage(
                    QStringLiteral("Error"), QStringLiteral("<p>URL blocked.</p>"), 400);
            {
                std::lock_guard lock(issued->mutex);
                issued->userTokenIssuedAt = QDateTime::currentSecsSinceEpoch();
            }
            if (redirect.find('/', expectedRedirect.size()) == std::string::npos)
                redirect += '/';
            std::string fragment = "#access_token=" + toStd(o.accessToken);
            if (o.expiresIn > 0)
                fragment += "&expires_in=" + std::to_string(o.expiresIn);
            return HttpResponse::redirect(redirect + fragment);
        });

    server.route("/dialog/oauth/cancel", [expectedRedirect](const HttpRequest &request) {
        std::string redirect = request.queryValue("redirect_uri");
        if (redirect.rfind(expectedRedirect, 0) != 0)
            return htmlPage(QStringLiteral("Error"), QStringLiteral("<p>URL blocked.</p>"), 400);
        if (redirect.find('/', expectedRedirect.size()) == std::string::npos)
            redirect += '/';
        return HttpResponse::redirect(redirect + "#error=access_denied&error_reason=user_denied");
    });

    server.route("/me", [o](const HttpRequest &request) {
        if (!request.hasQueryKey("access_token")
            || request.queryValue("access_token") != toStd(o.accessToken))
            return graphError(QStringLiteral("Invalid OAuth access token."), 190);
        const FacebookUser &u = o.user;
        return json(QJsonObject {{QStringLiteral("id"), u.id},
            {QStringLiteral("name"), u.firstName + QLatin1Char(' ') + u.lastName},
            {QStringLiteral("first_name"), u.firstName}, {QStringLiteral("last_name"), u.lastName},
            {QStringLiteral("gender"), u.gender}, {QStringLiteral("bdate"), u.birthday}});
    });

    // What the Graph API tells an application about a token; an unknown or expired token is
    // answered, as Facebook does, with is_valid false.
    server.route("/debug_token", [o, issued](const HttpRequest &request) {
        if (o.appSecret.isEmpty()
            || request.queryValue("access_token") != toStd(o.clientId + '|' + o.appSecret))
            return graphError(QStringLiteral("Invalid OAuth access token."), 190);
        const QString token = fromStd(request.queryValue("input_token"));
        const FacebookUser *owner = nullptr;
        qint64 expiresAt = 0;
        if (!token.isEmpty() && token == o.accessToken) {
            std::lock_guard lock(issued->mutex);
            if (issued->userTokenIssuedAt >= 0) {
                owner = &o.user;
                if (o.expiresIn > 0)
                    expiresAt = issued->userTokenIssuedAt + o.expiresIn;
            }
        }
        for (const FacebookUser &other : o.others) {
            if (!owner && !token.isEmpty() && other.accessToken == token)
                owner = &other;
        }
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        if (!owner || (expiresAt != 0 && expiresAt <= now)) {
            return json(QJsonObject {{QStringLiteral("data"),
                QJsonObject {{QStringLiteral("app_id"), o.clientId},
                    {QStringLiteral("is_valid"), false},
                    {QStringLiteral("error"),
                        QJsonObject {{QStringLiteral("code"), 190},
                            {QStringLiteral("message"),
                                QStringLiteral(
                                    "The access token is invalid or has expired.")}}}}}});
        }
        return json(QJsonObject {{QStringLiteral("data"),
            QJsonObject {{QStringLiteral("app_id"), o.clientId},
                {QStringLiteral("type"), QStringLiteral("USER")},
                {QStringLiteral("application"), QStringLiteral("Pinrova")},
                {QStringLiteral("data_access_expires_at"), 0},
                {QStringLiteral("expires_at"), expiresAt}, {QStringLiteral("is_valid"), true},
                {QStringLiteral("scopes"), QJsonArray {QStringLiteral("public_profile")}},
                {QStringLiteral("user_id"), owner->id}}}});
    });

    const std::string picturePath = "/" + toStd(o.user.id) + "/picture";
    server.route(picturePath, [](const HttpRequest &request) {
        const std::string type = request.queryValue("type");
        const std::string size = type == "normal" ? "normal" : "square";
        return HttpResponse::redirect(
            origin(request) + "/pictures" + request.path + "_" + size + ".png");
    });
    server.routePrefix("/pictures/", [pictures, picturePath](const HttpRequest &request) {
        if (request.path == "/pictures" + picturePath + "_square.png")
            return HttpResponse::ok(pictures->square, "image/png");
        if (request.path == "/pictures" + picturePath + "_normal.png")
            return HttpResponse::ok(pictures->normal, "image/png");
        return HttpResponse::error(404, "No such picture");
    });

    server.route("/profile.php", [o](const HttpRequest &request) {
        const QString id = fromStd(request.queryValue("id"));
        const FacebookUser *user = id == o.user.id ? &o.user : nullptr;
        for (const FacebookUser &other : o.others) {
            if (!user && other.id == id)
                user = &other;
        }
        if (!user)
            return htmlPage(QStringLiteral("Facebook"),
                QStringLiteral("<p>This content isn't available.</p>"), 404);
        return htmlPage(user->firstName + QLatin1Char(' ') + user->lastName,
            QStringLiteral("<h1>%1 %2</h1><p>Facebook profile %3</p>")
                .arg(htmlEscaped(user->firstName), htmlEscaped(user->lastName), htmlEscaped(id)));
    });
}

FacebookStandIn::~FacebookStandIn() = default;

} // namespace Pinrova::Sandbox
