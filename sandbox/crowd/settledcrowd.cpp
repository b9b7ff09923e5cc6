#include "settledcrowd.h"

#include <QRandomGenerator>
#include <QUuid>
#include <QTimer>
#include <QtDebug>

#include <cmath>

#include "crowdroster.h"
#include "positionserviceclient.h"

namespace Pinrova::Sandbox {

namespace {

constexpr double MetresPerDegree = 111320.0;
constexpr int MaxAttempts = 60;
constexpr double Pi = 3.141592653589793;
// Half the people live around the centre, their density falling by e every CoreScale metres;
// the rest around districts between 6 and 25 km out.
constexpr double CoreShare = 0.55;
constexpr double CoreScaleMetres = 4500;
constexpr int Districts = 9;
constexpr double DistrictScaleMetres = 1800;
constexpr double FarthestMetres = 60000;

// Our own namespace for the settled people's uids, apart from the walkers'.
const QUuid SettledNamespace(QStringLiteral("{0d7b3e61-52c4-4f0a-b8e9-6a1d2c3f4e5b}"));

GeoPoint offset(const GeoPoint &from, double metres, double angle)
{
    const double north = metres * std::cos(angle);
    const double east = metres * std::sin(angle);
    return {from.lat + north / MetresPerDegree,
        from.lon + east / (MetresPerDegree * std::cos(from.lat * Pi / 180))};
}

// A distance whose density in the plane falls as exp(-r / scale): the sum of two exponentials.
double fallingDistance(QRandomGenerator &random, double scale)
{
    const double a = 1.0 - random.generateDouble(); // (0, 1]
    const double b = 1.0 - random.generateDouble();
    return std::min(-scale * std::log(a * b), FarthestMetres);
}

} // namespace

QVector<GeoPoint> cityPlaces(int count, const GeoPoint &centre, quint32 seed)
{
    QRandomGenerator random(seed ^ 0x5e771edu);
    QVector<GeoPoint> districts;
    for (int i = 0; i < Districts; ++i) {
        const double angle = 2 * Pi * (i + random.generateDouble() * 0.6) / Districts;
        districts.append(offset(centre, 6000 + random.generateDouble() * 19000, angle));
    }
    QVector<GeoPoint> places;
    places.reserve(count);
    for (int i = 0; i < count; ++i) {
        const bool core = random.generateDouble() < CoreShare;
        const GeoPoint &around = core ? centre : districts.at(random.bounded(Districts));
        const double distance
            = fallingDistance(random, core ? CoreScaleMetres : DistrictScaleMetres);
        places.append(offset(around, distance, 2 * Pi * random.generateDouble()));
    }
    return places;
}

QVector<CrowdPerson> settledRoster(int count, quint32 seed)
{
    QVector<CrowdPerson> people = crowdRoster(count, seed);
    for (int i = 0; i < people.size(); ++i) {
        CrowdPerson &person = people[i];
        // VKontakte sessions are checked without a call to the Graph API, so a city of a
        // hundred thousand settles in seconds. Ids beyond the walkers' (at most 1000 of them).
        person.network = Vkontakte;
        person.id = QString::number(2000000 + i);
        person.uid = QUuid::createUuidV5(
            SettledNamespace, QStringLiteral("settled/%1/%2").arg(seed).arg(i))
                         .toString(QUuid::WithBraces);
    }
    return people;
}

SettledCrowd::SettledCrowd(int count, const Options &options, QObject *parent)
    : QObject(parent)
    , people(settledRoster(count, options.seed))
    , where(cityPlaces(count, options.centre, options.seed))
    , client(new PositionServiceClient(options.positionService, this))
    , inFlight(qMax(1, options.inFlight))
{
    if (options.credential) {
        for (CrowdPerson &person : people)
            person.credential = options.credential(person);
    }
    connect(
        client, &PositionServiceClient::registerFinished, this, &SettledCrowd::registerFinished);
    connect(client, &PositionServiceClient::reportFinished, this, &SettledCrowd::reportFinished);
}

void SettledCrowd::start()
{
    qInfo().noquote() << QStringLiteral("pinrova-sandbox: settling %1 people around the centre")
                             .arg(people.size());
    if (people.isEmpty()) {
        emit finished(0, 0);
        return;
    }
    while (running < inFlight && next < people.size())
        startNext();
}

void SettledCrowd::startNext()
{
    const int person = next++;
    ++running;
    client->registerPerson(person, people.at(person));
}

// The service may start after the sandbox (it asks the sandbox's Graph API), or be busy for
// a moment: no answer, 503 and 429 are tried again a second later, a minute at most.
bool SettledCrowd::retryLater(int person, int status)
{
    if (status != 0 && status != 429 && status != 503)
        return false;
    if (attempts.isEmpty())
        attempts.fill(0, people.size());
    if (++attempts[person] > MaxAttempts)
        return false;
    QTimer::singleShot(
        1000, this, [this, person] { client->registerPerson(person, people.at(person)); });
    return true;
}

void SettledCrowd::registerFinished(int person, int status, const QByteArray &key)
{
    if (retryLater(person, status))
        return;
    if (status != 200) {
        done(false);
        return;
    }
    const GeoPoint &place = where.at(person);
    client->reportPosition(person, people.at(person).uid, place.lat, place.lon, key);
}

void SettledCrowd::reportFinished(int person, int status)
{
    if (retryLater(person, status))
        return;
    done(status == 200);
}

void SettledCrowd::done(bool ok)
{
    --running;
    if (ok)
        ++settled;
    else
        ++failed;
    const int tried = settled + failed;
    if (tried >= nextProgress) {
        qInfo().noquote() << QStringLiteral("pinrova-sandbox: %1 of %2 people settled")
                                 .arg(settled)
                                 .arg(people.size());
        nextProgress = tried + qMax(1000, int(people.size()) / 10);
    }
    if (next < people.size())
        startNext();
    else if (running == 0)
        emit finished(settled, failed);
}

} // namespace Pinrova::Sandbox
