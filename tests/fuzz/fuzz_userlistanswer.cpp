// The GetUsers answer: parsing, merging, and the one-pass read that must give what parsing
// then merging gives; and the plain scanner, which must read every document it accepts as the
// full stream reader does. Bytes before the first NUL are the current list's answer, the rest is
// the fresh answer.
#include <QByteArray>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "userlistanswer.h"

using namespace Pinrova::Social;

namespace {

bool sameNumber(qreal a, qreal b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool samePerson(const Person &a, const Person &b)
{
    return a.smallPicture == b.smallPicture && a.mediumPicture == b.mediumPicture
        && a.name == b.name && a.firstName == b.firstName && a.lastName == b.lastName
        && a.gender == b.gender && a.birthDate == b.birthDate && a.networkType == b.networkType
        && a.userIds == b.userIds;
}

bool sameUser(const NearByUser &a, const NearByUser &b)
{
    return samePerson(a.person, b.person) && a.picture.cacheKey() == b.picture.cacheKey()
        && sameNumber(a.lat, b.lat) && sameNumber(a.lon, b.lon) && a.online == b.online;
}

bool sameList(const QVector<NearByUser> &a, const QVector<NearByUser> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!sameUser(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

bool sameCrowds(const QVector<NearByCrowd> &a, const QVector<NearByCrowd> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].lat != b[i].lat || a[i].lon != b[i].lon || a[i].count != b[i].count)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const int split = bytes.indexOf('\0');
    const QByteArray currentBody = split < 0 ? QByteArray() : bytes.left(split);
    const QByteArray freshBody = split < 0 ? bytes : bytes.mid(split + 1);

    const QVector<NearByUser> current
        = parseUserListAnswer(currentBody).value_or(QVector<NearByUser>());
    const std::optional<QVector<NearByUser>> fresh = parseUserListAnswer(freshBody);
    const std::optional<QVector<NearByUser>> read = readUserListAnswer(freshBody, current);
    QVector<NearByCrowd> plainCrowds;
    if (const std::optional<QVector<NearByUser>> plain
        = readWithPlainScanner(freshBody, current, &plainCrowds)) {
        QVector<NearByCrowd> fullCrowds;
        const std::optional<QVector<NearByUser>> full
            = readWithStreamReader(freshBody, current, &fullCrowds);
        if (!full || !sameList(*plain, *full) || !sameCrowds(plainCrowds, fullCrowds))
            std::abort();
    }
    // Reading the crowd cells changes nothing about the people, and every cell is on the
    // world with a count the map can draw.
    QVector<NearByCrowd> crowds;
    const std::optional<QVector<NearByUser>> withCrowds
        = readUserListAnswer(freshBody, current, &crowds);
    if (withCrowds.has_value() != read.has_value() || (read && !sameList(*read, *withCrowds))
        || crowds.size() > MaximumCrowds)
        std::abort();
    for (const NearByCrowd &crowd : crowds) {
        if (!(crowd.lat >= -90 && crowd.lat <= 90 && crowd.lon >= -180 && crowd.lon <= 180)
            || crowd.count < 1 || crowd.count > MaximumCrowdCount)
            std::abort();
    }
    if (fresh.has_value() != read.has_value())
        std::abort();
    if (!fresh)
        return 0;
    if (!sameList(mergeUserList(current, *fresh), *read))
        std::abort();
    return 0;
}
