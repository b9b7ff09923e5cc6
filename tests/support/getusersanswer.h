#pragma once

#include <QString>
#include <QStringList>

#include <mutex>
#include <string>

// GetUsers answers as the position service writes them, for tests that feed the app's list.
namespace Pinrova::Testing {

struct AnsweredUser
{
    QString id; // the person's id on their network
    double lat = 59.944069;
    double lon = 30.306141;
    bool online = true;
    QString picture; // small picture address; empty for none
    QString network = QStringLiteral("facebook");
    QString name;
};

inline QString userXml(const AnsweredUser &user)
{
    const QString name = user.name.isEmpty() ? QStringLiteral("Person ") + user.id : user.name;
    return QStringLiteral(
        "<User><Lat>%1</Lat><Lon>%2</Lon><Name>%3</Name><Online>%4</Online>"
        "<SmallPicture>%5</SmallPicture><MediumPicture>%5</MediumPicture>"
        "<UserIds><UserId><Id>%6</Id><NetworkType>%7</NetworkType></UserId></UserIds>"
        "</User>")
        .arg(QString::number(user.lat, 'f', 7), QString::number(user.lon, 'f', 7),
            name.toHtmlEscaped(), user.online ? QStringLiteral("true") : QStringLiteral("false"),
            user.picture.toHtmlEscaped(), user.id.toHtmlEscaped(), user.network);
}

template<typename Users> std::string userListXml(const Users &users)
{
    QString body = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><ArrayOfUser>");
    for (const AnsweredUser &user : users)
        body += userXml(user);
    body += QStringLiteral("</ArrayOfUser>");
    return body.toStdString();
}

// The answer a test server route gives, changed by the test while the server runs.
class ScriptedBody
{
public:
    void set(std::string body)
    {
        std::lock_guard<std::mutex> guard(mutex);
        text = std::move(body);
    }
    std::string get() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return text;
    }

private:
    mutable std::mutex mutex;
    std::string text;
};

} // namespace Pinrova::Testing
