#include "userlistanswer.h"

#include <QHash>
#include <QString>
#include <QXmlStreamReader>

#include <array>
#include <vector>

namespace Pinrova::Social {

namespace {

// The elements read below a User, each the first of its name at any depth.
enum Field { Lat, Lon, SmallPicture, MediumPicture, Name, Online, Sex, FieldCount };

Field fieldOf(const QStringRef &name)
{
    static const char *const names[FieldCount]
        = {"Lat", "Lon", "SmallPicture", "MediumPicture", "Name", "Online", "Sex"};
    for (int field = 0; field < FieldCount; ++field) {
        if (name == QLatin1String(names[field]))
            return static_cast<Field>(field);
    }
    return FieldCount;
}

struct Identifier
{
    QString id;
    QString network;
    bool seenId = false;
    bool seenNetwork = false;
};

// What one User element holds, gathered while the reader passes through it. An element's
// text is all the text below it, as a DOM would give it.
struct UserTexts
{
    std::array<QString, FieldCount> fields;
    std::array<bool, FieldCount> seen {};
    int userIdsDepth = 0; // depth of the first UserIds while the reader is inside it
    bool hasUserIds = false;
    int userIdDepth = 0; // depth of the UserId the reader is inside, or 0
    QVector<Identifier> identifiers;

    QString *startElement(const QStringRef &name, int depth);
    void endElement(int depth);
    // False for a person without identifiers, who is left out.
    bool toUser(NearByUser &user) const;
};

QString *UserTexts::startElement(const QStringRef &name, int depth)
{
    if (!hasUserIds && name == QLatin1String("UserIds")) {
        hasUserIds = true;
        userIdsDepth = depth;
        return nullptr;
    }
    if (userIdsDepth > 0 && depth == userIdsDepth + 1 && name == QLatin1String("UserId")) {
        identifiers.append(Identifier());
        userIdDepth = depth;
        return nullptr;
    }
    if (userIdDepth > 0) {
        Identifier &identifier = identifiers.last();
        if (!identifier.seenId && name == QLatin1String("Id")) {
            identifier.seenId = true;
            return &identifier.id;
        }
        if (!identifier.seenNetwork && name == QLatin1String("NetworkType")) {
            identifier.seenNetwork = true;
            return &identifier.network;
        }
    }
    const Field field = fieldOf(name);
    if (field == FieldCount || seen[field])
        return nullptr;
    seen[field] = true;
    return &fields[field];
}

void UserTexts::endElement(int depth)
{
    if (depth == userIdDepth)
        userIdDepth = 0;
    if (depth == userIdsDepth) {
        userIdsDepth = 0;
    }
}

bool UserTexts::toUser(NearByUser &user) const
{
    if (identifiers.isEmpty())
        return false;
    for (const Identifier &identifier : identifiers) {
        const NetworkType type = networkTypeFromString(identifier.network);
        user.person.userIds[static_cast<std::size_t>(type)] = identifier.id;
        user.person.networkType = type; // the last identifier names the home network
    }
    user.lat = fields[Lat].toDouble();
    user.lon = fields[Lon].toDouble();
    user.person.smallPicture = QUrl(fields[SmallPicture]);
    user.person.mediumPicture = QUrl(fields[MediumPicture]);
    user.person.name = fields[Name];
    user.online = fields[Online].toUpper() == QLatin1String("TRUE");
    user.person.gender = genderFromString(fields[Sex]);
    return true;
}

// Slots 0-4 take part in matching; the unknown network's slot 5 never does.
constexpr int MatchedSlots = UnknownNetwork;

} // namespace

// One pass of a stream reader rather than a DOM: a refresh with thousands of people must not
// stall the map. The reading is the DOM's all the same: the whole body must be well-formed,
// names compare as written, and "below" means the first element of that name in document order.
std::optional<QVector<NearByUser>> parseUserListAnswer(const QByteArray &body)
{
    QXmlStreamReader xml(QString::fromUtf8(body));
    xml.setNamespaceProcessing(false);

    QVector<NearByUser> users;
    std::optional<UserTexts> current; // the User the reader is inside
    std::vector<QString *> open; // per open element below a User: where its text goes
    int depth = 0;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                if (xml.qualifiedName() != QLatin1String("ArrayOfUser"))
                    return std::nullopt;
            } else if (depth == 2) {
                if (xml.qualifiedName() == QLatin1String("User"))
                    current.emplace();
            } else if (current) {
                open.push_back(current->startElement(xml.qualifiedName(), depth));
            }
            break;
        case QXmlStreamReader::Characters:
            for (QString *text : open) {
                if (text)
                    text->append(xml.text());
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2 && current) {
                NearByUser user;
                if (current->toUser(user))
                    users.append(user);
                current.reset();
            } else if (depth > 2 && current) {
                open.pop_back();
                current->endElement(depth);
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (xml.hasError() || depth != 0)
        return std::nullopt;
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
