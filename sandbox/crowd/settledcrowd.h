#pragma once

#include <QObject>
#include <QUrl>
#include <QVector>

#include <functional>

#include "crowdperson.h"
#include "streetwalker.h"

namespace Pinrova::Sandbox {

class PositionServiceClient;

// Where a city's people are: most near the centre and thinning out with distance, the rest
// around a few districts further out. The same count, centre and seed give the same places.
QVector<GeoPoint> cityPlaces(int count, const GeoPoint &centre, quint32 seed);

// The settled people of the roster: ids and uids of their own, apart from the walkers'.
QVector<CrowdPerson> settledRoster(int count, quint32 seed);

// People who register once, report one place around the centre and stay there: a city's
// crowd for the map's overview. Registers a few at a time, so that a large crowd neither floods
// the service nor holds thousands of replies, and says how far it got.
class SettledCrowd : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SettledCrowd)

public:
    struct Options
    {
        QUrl positionService;
        GeoPoint centre {59.944069, 30.306141};
        quint32 seed = 1;
        int inFlight = 32; // people registering or reporting at once
        // Register's Authorization value for a person (a signed VKontakte session); none
        // where the service runs with open registration.
        std::function<QByteArray(const CrowdPerson &)> credential;
    };

    SettledCrowd(int count, const Options &options, QObject *parent = nullptr);

    void start();
    int settledCount() const { return settled; }
    int failedCount() const { return failed; }
    const QVector<GeoPoint> &places() const { return where; }

signals:
    // Everyone has been tried: settled, or refused or unanswered (failed).
    void finished(int settled, int failed);

private:
    void startNext();
    void registerFinished(int person, int status, const QByteArray &key);
    void reportFinished(int person, int status);
    void done(bool ok);
    bool retryLater(int person, int status);

    QVector<CrowdPerson> people;
    QVector<quint8> attempts; // per person, so that a service that never answers ends the run
    QVector<GeoPoint> where;
    PositionServiceClient *client;
    int inFlight;
    int next = 0;
    int running = 0;
    int settled = 0;
    int failed = 0;
    int nextProgress = 0;
};

} // namespace Pinrova::Sandbox
