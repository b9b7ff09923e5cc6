#include "crowdroster.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QUuid>

namespace Pinrova::Sandbox {

namespace {

struct NameLists
{
    QStringList male;
    QStringList female;
    QStringList maleSurnames;
    QStringList femaleSurnames;
};

const NameLists &facebookNames()
{
    static const QStringList surnames = {"Miller", "Novak", "Rossi", "Schmidt", "Dubois", "Tanaka",
        "Larsen", "García", "Kowalski", "Brown", "Okafor", "Silva"};
    static const NameLists names {
        {"James", "Lukas", "Mateo", "Noah", "Oliver", "Arjun", "Kenji", "Pierre", "Erik", "Tomás"},
        {"Emma", "Sofia", "Mia", "Chloe", "Hannah", "Aiko", "Léa", "Isabel", "Nora", "Priya"},
        surnames, surnames};
    return names;
}

const NameLists &vkontakteNames()
{
    static const QStringList surnames = {"Иванов", "Смирнов", "Кузнецов", "Попов", "Соколов",
        "Лебедев", "Козлов", "Новиков", "Морозов", "Волков"};
    static const NameLists names = [] {
        NameLists lists {
            {"Алексей", "Дмитрий", "Иван", "Михаил", "Сергей", "Никита", "Андрей", "Егор"},
            {"Ольга", "Мария", "Екатерина", "Анастасия", "Татьяна", "Елена", "Дарья", "Юлия"},
            surnames, {}};
        for (const QString &surname : surnames)
            lists.femaleSurnames.append(surname + QStringLiteral("а"));
        return lists;
    }();
    return names;
}

// Our own namespace for name-based uids.
const QUuid RosterNamespace(QStringLiteral("{6c1f3a52-8d0e-4b6f-9a57-2f4e8c9d1b30}"));

} // namespace

QVector<CrowdPerson> crowdRoster(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<CrowdPerson> people;
    people.reserve(count);
    for (int i = 0; i < count; ++i) {
        CrowdPerson person;
        person.network = i % 2 == 0 ? Facebook : Vkontakte;
        const NameLists &names = person.network == Facebook ? facebookNames() : vkontakteNames();
        const bool female = random.bounded(2) == 0;
        person.gender = female ? Female : Male;
        const QStringList &first = female ? names.female : names.male;
        const QStringList &last = female ? names.femaleSurnames : names.maleSurnames;
        person.firstName = first.at(random.bounded(first.size()));
        person.lastName = last.at(random.bounded(last.size()));
        person.id = person.network == Facebook ? QString::number(100001000000000LL + i)
                                               : QString::number(50000 + i);
        person.uid
            = QUuid::createUuidV5(RosterNamespace, QStringLiteral("crowd/%1/%2").arg(seed).arg(i))
                  .toString(QUuid::WithBraces);
        // Golden-angle steps keep neighbours' colours apart.
        person.color = QColor::fromHsv(static_cast<int>(i * 137.508) % 360, 140, 190);
        people.append(person);
    }
    return people;
}

} // namespace Pinrova::Sandbox
