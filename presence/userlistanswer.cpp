#include "userlistanswer.h"

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QString>

#include <array>

namespace Pinrova::Social {

namespace {

// The first element of this name below root, in document order, at any depth.
QDomElement firstBelow(const QDomElement &root, const QString &name)
{
    QDomNode node = root.firstChild();
    while (!node.isNull() && node != root) {
        if (node.isElement() && node.nodeName() == name)
            return node.toElement();
        if (node.hasChildNodes()) {
            node = node.firstChild();
            continue;
        }
        while (node != root && node.nextSibling().isNull())
            node = node.parentNode();
        if (node != root)
            node = node.nextSibling();
    }
    return QDomElement();
}

QString textBelow(const QDomElement &root, const QString &name)
{
    return firstBelow(root, name).text();
}

struct Names
{
    QString user = QStringLiteral("User");
    QString lat = QStringLiteral("Lat");
    QString lon = QStringLiteral("Lon");
    QString smallPicture = QStringLiteral("SmallPicture");
    QString mediumPicture = QStringLiteral("MediumPicture");
    QString name = QStringLiteral("Name");
    QString online = QStringLiteral("Online");
    QString sex = QStringLiteral("Sex");
    QString userIds = QStringLiteral("UserIds");
    QString userId = QStringLiteral("UserId");
    QString id = QStringLiteral("Id");
    QString networkType = QStringLiteral("NetworkType");
};

// False for a person without identifiers, who is left out.
bool readUser(const QDomElement &element, const Names &names, NearByUser &user)
{
    const QDomElement ids = firstBelow(element, names.userIds);
    if (ids.isNull())
        return false;
    QDomElement id = ids.firstChildElement(names.userId);
    if (id.isNull())
        return false;
    for (; !id.isNull(); id = id.nextSiblingElement(names.userId)) {
        const NetworkType type = networkTypeFromString(textBelow(id, names.networkType));
        user.person.userIds[static_cast<std::size_t>(type)] = textBelow(id, names.id);
        user.person.networkType = type; // the last identifier names the home network
    }
    user.lat = textBelow(element, names.lat).toDouble();
    user.lon = textBelow(element, names.lon).toDouble();
    user.person.smallPicture = QUrl(textBelow(element, names.smallPicture));
    user.person.mediumPicture = QUrl(textBelow(element, names.mediumPicture));
    user.person.name = textBelow(element, names.name);
    user.online = textBelow(element, names.online).toUpper() == QLatin1String("TRUE");
    user.person.gender = genderFromString(textBelow(element, names.sex));
    return true;
}

// Slots 0-4 take part in matching; the unknown network's slot 5 never does.
constexpr int MatchedSlots = UnknownNetwork;

} // namespace

std::optional<QVector<NearByUser>> parseUserListAnswer(const QByteArray &body)
{
    QDomDocument document;
    if (!document.setContent(QString::fromUtf8(body), false))
        return std::nullopt;
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("ArrayOfUser"))
        return std::nullopt;

    static const Names names;
    QVector<NearByUser> users;
    for (QDomElement element = root.firstChildElement(names.user); !element.isNull();
         element = element.nextSiblingElement(names.user)) {
        NearByUser user;
        if (readUser(element, names, user))
            users.append(user);
    }
    return users;
}

QVector<NearByUser> mergeUserList(const QVector<NearByUser> &current, QVector<NearByUser> fresh)
{
    // Per slot, each identifier's first entry in the current list: a lookup instead of a scan
    // of the whole list per person, with the same first match.
    std::array<QHash<QString, int>, MatchedSlots> firstEntry;
    for (int index = 0; index < current.size(); ++index) {
        const Person &known = current[index].person;
        for (int slot = 0; slot < MatchedSlots; ++slot) {
            const QString &id = known.userIds[static_cast<std::size_t>(slot)];
            if (!id.isEmpty() && !firstEntry[slot].contains(id))
                firstEntry[slot].insert(id, index);
        }
    }

    for (NearByUser &user : fresh) {
        int match = -1;
        for (int slot = 0; slot < MatchedSlots; ++slot) {
            const QString &id = user.person.userIds[static_cast<std::size_t>(slot)];
            if (id.isEmpty())
                continue;
            const int index = firstEntry[slot].value(id, -1);
            if (index >= 0 && (match < 0 || index < match))
                match = index;
        }
        if (match < 0)
            continue;
        const NearByUser &known = current[match];
        user.person = known.person;
        user.picture = known.picture;
    }
    return fresh;
}

} // namespace Pinrova::Social
