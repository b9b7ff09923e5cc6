#include "demousers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace Pinrova::Sandbox {

namespace {

// Identifiers end up in paths and in the position service's records.
bool isDecimal(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,20}$"));
    return digits.match(text).hasMatch();
}

void readText(const QJsonObject &object, const char *key, QString &into)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isString())
        into = value.toString();
}

} // namespace

bool readDemoUsers(const QByteArray &json, DemoUsers &users, QString &error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject()) {
        error = parseError.error != QJsonParseError::NoError
            ? parseError.errorString()
            : QStringLiteral("the demo users must be a JSON object");
        return false;
    }
    const QJsonObject root = document.object();
    DemoUsers read;

    if (root.contains(QLatin1String("facebook"))) {
        const QJsonObject facebook = root.value(QLatin1String("facebook")).toObject();
        readText(facebook, "id", read.facebook.id);
        readText(facebook, "firstName", read.facebook.firstName);
        readText(facebook, "lastName", read.facebook.lastName);
        readText(facebook, "gender", read.facebook.gender);
        readText(facebook, "birthday", read.facebook.birthday);
        if (!isDecimal(read.facebook.id)) {
            error = QStringLiteral("facebook: \"id\" must be a decimal number");
            return false;
        }
    }

    if (root.contains(QLatin1String("vkontakte"))) {
        const QJsonValue list = root.value(QLatin1String("vkontakte"));
        if (!list.isArray() || list.toArray().isEmpty()) {
            error = QStringLiteral("vkontakte: a non-empty list of people is needed");
            return false;
        }
        read.vkontakte.clear();
        QSet<QString> seen;
        for (const QJsonValue &entry : list.toArray()) {
            const QJsonObject person = entry.toObject();
            VkUser user;
            readText(person, "uid", user.uid);
            readText(person, "firstName", user.firstName);
            readText(person, "lastName", user.lastName);
            readText(person, "birthDate", user.birthDate);
            readText(person, "email", user.email);
            readText(person, "password", user.password);
            user.sex = person.value(QLatin1String("sex")).toInt(0);
            if (!isDecimal(user.uid) || seen.contains(user.uid)) {
                error = QStringLiteral("vkontakte: every \"uid\" must be a decimal number of its "
                                       "own (\"%1\")")
                            .arg(user.uid);
                return false;
            }
            seen.insert(user.uid);
            read.vkontakte.append(user);
        }
    }
    users = read;
    return true;
}

} // namespace Pinrova::Sandbox
