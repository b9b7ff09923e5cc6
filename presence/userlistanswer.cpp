#include "userlistanswer.h"

#include "plainxmlscanner.h"

#include <QHash>
#include <QString>
#include <QXmlStreamReader>

#include <array>
#include <vector>

namespace Pinrova::Social {

namespace {

// The elements read below a User, each the first of its name at any depth.
enum Field { Lat, Lon, SmallPicture, MediumPicture, Name, Online, Sex, FieldCount };

template<typename Name> Field fieldOf(const Name &name)
{
    // Lengths counted once: this runs for every element below a User.
    static const QLatin1String names[FieldCount] = {QLatin1String("Lat"), QLatin1String("Lon"),
        QLatin1String("SmallPicture"), QLatin1String("MediumPicture"), QLatin1String("Name"),
        QLatin1String("Online"), QLatin1String("Sex")};
    for (int field = 0; field < FieldCount; ++field) {
        if (name == names[field])
            return static_cast<Field>(field);
    }
    return FieldCount;
}

// Slots 0-4 take part in matching; the unknown network's slot 5 never does.
constexpr int MatchedSlots = UnknownNetwork;

// The current list, looked up by identifier: per slot, each identifier's first entry. A lookup
// instead of a scan of the whole list per person, with the same first match.
class KnownPeople
{
public:
    explicit KnownPeople(const QVector<NearByUser> &current)
        : people(current)
    {
        for (int index = 0; index < current.size(); ++index) {
            const Person &known = current[index].person;
            for (int slot = 0; slot < MatchedSlots; ++slot) {
                const QString &id = known.userIds[static_cast<std::size_t>(slot)];
                if (!id.isEmpty() && !firstEntry[slot].contains(id))
                    firstEntry[slot].insert(id, index);
            }
        }
    }

    // The first entry sharing a non-empty identifier with this person, or null.
    const NearByUser *find(const Person &person) const
    {
        int match = -1;
        for (int slot = 0; slot < MatchedSlots; ++slot) {
            const QString &id = person.userIds[static_cast<std::size_t>(slot)];
            if (id.isEmpty() || firstEntry[slot].isEmpty())
                continue;
            const int index = firstEntry[slot].value(id, -1);
            if (index >= 0 && (match < 0 || index < match))
                match = index;
        }
        return match < 0 ? nullptr : &people[match];
    }

private:
    const QVector<NearByUser> &people;
    std::array<QHash<QString, int>, MatchedSlots> firstEntry;
};

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

    template<typename Name> QString *startElement(const Name &name, int depth);
    void endElement(int depth);
    // False for a person without identifiers or with a position off the world ("inf", "nan",
    // 1e6 all read as numbers), who is left out. A known person's record and picture come from
    // the current list, and only the position is read.
    bool toUser(NearByUser &user, const KnownPeople &known) const;
};

template<typename Name> QString *UserTexts::startElement(const Name &name, int depth)
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

bool UserTexts::toUser(NearByUser &user, const KnownPeople &known) const
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
    // Written so that NaN fails too.
    if (!(user.lat >= -90 && user.lat <= 90 && user.lon >= -180 && user.lon <= 180))
        return false;
    user.online = fields[Online].toUpper() == QLatin1String("TRUE");
    if (const NearByUser *match = known.find(user.person)) {
        user.person = match->person;
        user.picture = match->picture;
        return true;
    }
    user.person.smallPicture = QUrl(fields[SmallPicture]);
    user.person.mediumPicture = QUrl(fields[MediumPicture]);
    user.person.name = fields[Name];
    user.person.gender = genderFromString(fields[Sex]);
    return true;
}

// What one Crowd element holds: the text of its first Lat, Lon and Count children.
struct CrowdTexts
{
    enum Field { Lat, Lon, Count, FieldCount };
    std::array<QString, FieldCount> fields;
    std::array<bool, FieldCount> seen {};

    template<typename Name> QString *startChild(const Name &name)
    {
        const Field field = name == QLatin1String("Lat") ? Lat
            : name == QLatin1String("Lon")               ? Lon
            : name == QLatin1String("Count")             ? Count
                                                         : FieldCount;
        if (field == FieldCount || seen[field])
            return nullptr;
        seen[field] = true;
        return &fields[field];
    }

    // False for a cell off the world or without a positive whole count; such a cell is left
    // out rather than drawn somewhere wrong.
    bool toCrowd(NearByCrowd &crowd) const
    {
        crowd.lat = fields[Lat].toDouble();
        crowd.lon = fields[Lon].toDouble();
        if (!(crowd.lat >= -90 && crowd.lat <= 90 && crowd.lon >= -180 && crowd.lon <= 180))
            return false;
        bool ok = false;
        const qlonglong count = fields[Count].trimmed().toLongLong(&ok);
        if (!ok || count < 1)
            return false;
        crowd.count = int(qMin<qlonglong>(count, MaximumCrowdCount));
        return true;
    }
};

// Turns a reader's element events into people; both readers below feed it the same way.
class UserListBuilder
{
public:
    // crowds, when given, collects the answer's Crowd cells; it is not owned.
    explicit UserListBuilder(const KnownPeople &known, QVector<NearByCrowd> *crowds = nullptr)
        : known(known)
        , crowds(crowds)
    { }

    // False when the document element is not a user list.
    template<typename Name> bool startElement(const Name &name)
    {
        ++depth;
        if (depth == 1)
            return name == QLatin1String("ArrayOfUser");
        if (depth == 2) {
            if (name == QLatin1String("User"))
                current.emplace();
            else if (crowds && crowds->size() < MaximumCrowds && name == QLatin1String("Crowd"))
                crowd.emplace();
        } else if (crowd) {
            if (depth == 3) {
                if (QString *target = crowd->startChild(name))
                    open.push_back({depth, target});
            }
        } else if (current) {
            if (QString *target = current->startElement(name, depth))
                open.push_back({depth, target});
        }
        return true;
    }

    // False while no open element collects text, so readers need not convert it.
    bool wantsText() const { return !open.empty(); }

    void text(const QString &text)
    {
        for (const OpenTarget &open : this->open)
            open.target->append(text);
    }

    void endElement()
    {
        if (depth == 2 && current) {
            NearByUser user;
            if (current->toUser(user, known))
                users.append(user);
            current.reset();
        } else if (depth == 2 && crowd) {
            NearByCrowd cell;
            if (crowd->toCrowd(cell))
                crowds->append(cell);
            crowd.reset();
        } else if (depth == 3 && crowd) {
            if (!open.empty() && open.back().depth == depth)
                open.pop_back();
        } else if (depth > 2 && current) {
            if (!open.empty() && open.back().depth == depth)
                open.pop_back();
            current->endElement(depth);
        }
        --depth;
    }

    bool complete() const { return depth == 0; }
    QVector<NearByUser> take() { return std::move(users); }

private:
    const KnownPeople &known;
    QVector<NearByUser> users;
    std::optional<UserTexts> current; // the User the reader is inside
    QVector<NearByCrowd> *crowds;
    std::optional<CrowdTexts> crowd; // the Crowd the reader is inside
    // The open elements below a User that collect text, at most one per field and identifier
    // part: a walk over every open element per piece of text would make a deeply nested
    // answer cost the square of its depth.
    struct OpenTarget
    {
        int depth;
        QString *target;
    };
    std::vector<OpenTarget> open;
    int depth = 0;
};

// A piece of text as the full reader gives it: QString::fromUtf8 would drop a leading U+FEFF,
// which inside a document is a character of the text, not a byte order mark.
QString textOf(std::string_view bytes)
{
    static constexpr std::string_view byteOrderMark("\xEF\xBB\xBF");
    if (bytes.substr(0, byteOrderMark.size()) != byteOrderMark)
        return QString::fromUtf8(bytes.data(), int(bytes.size()));
    bytes.remove_prefix(byteOrderMark.size());
    return QChar(0xFEFF) + QString::fromUtf8(bytes.data(), int(bytes.size()));
}

} // namespace

// The full reader, for any document the plain scanner leaves to it.
std::optional<QVector<NearByUser>> readWithStreamReader(
    const QByteArray &body, const QVector<NearByUser> &current, QVector<NearByCrowd> *crowds)
{
    if (crowds)
        crowds->clear();
    const KnownPeople known(current);
    QXmlStreamReader xml(QString::fromUtf8(body));
    xml.setNamespaceProcessing(false);
    UserListBuilder builder(known, crowds);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (!builder.startElement(xml.qualifiedName()))
                return std::nullopt;
            break;
        case QXmlStreamReader::Characters:
            if (builder.wantsText())
                builder.text(xml.text().toString());
            break;
        case QXmlStreamReader::EndElement:
            builder.endElement();
            break;
        default:
            break;
        }
    }
    if (xml.hasError() || !builder.complete())
        return std::nullopt;
    return builder.take();
}

std::optional<QVector<NearByUser>> readWithPlainScanner(
    const QByteArray &body, const QVector<NearByUser> &current, QVector<NearByCrowd> *crowds)
{
    if (crowds)
        crowds->clear();
    const KnownPeople known(current);
    PlainXmlScanner xml(std::string_view(body.constData(), std::size_t(body.size())));
    UserListBuilder builder(known, crowds);
    for (;;) {
        switch (xml.next()) {
        case PlainXmlScanner::StartElement:
            // A wrong document element: the full reader says no at once.
            if (!builder.startElement(QLatin1String(xml.name().data(), int(xml.name().size()))))
                return std::nullopt;
            break;
        case PlainXmlScanner::Text:
            if (builder.wantsText())
                builder.text(textOf(xml.text()));
            break;
        case PlainXmlScanner::EndElement:
            builder.endElement();
            break;
        case PlainXmlScanner::EndOfDocument:
            return builder.take();
        case PlainXmlScanner::Unsupported:
            return std::nullopt;
        }
    }
}

// Most answers go through a scanner for the service's plain XML, the rest through a full
// stream reader: a refresh with thousands of people must not stall the map. Both read as a DOM
// would: the whole body must be well-formed, names compare as written, and "below" means the
// first element of that name in document order.
std::optional<QVector<NearByUser>> readUserListAnswer(
    const QByteArray &body, const QVector<NearByUser> &current, QVector<NearByCrowd> *crowds)
{
    if (std::optional<QVector<NearByUser>> users = readWithPlainScanner(body, current, crowds))
        return users;
    return readWithStreamReader(body, current, crowds);
}

std::optional<QVector<NearByUser>> parseUserListAnswer(const QByteArray &body)
{
    return readUserListAnswer(body, {});
}

QVector<NearByUser> mergeUserList(const QVector<NearByUser> &current, QVector<NearByUser> fresh)
{
    const KnownPeople known(current);
    for (NearByUser &user : fresh) {
        if (const NearByUser *match = known.find(user.person)) {
            user.person = match->person;
            user.picture = match->picture;
        }
    }
    return fresh;
}

} // namespace Pinrova::Social
