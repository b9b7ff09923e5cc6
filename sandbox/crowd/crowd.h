#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QUrl>
#include <QVector>

#include "crowdperson.h"
#include "silenceschedule.h"
#include "streetwalker.h"

class QTimer;

namespace Pinrova::Sandbox {

class PositionServiceClient;

// Demo people who use the position service as the application does: each registers under its
// own uid, then reports where it walks every few seconds, except while the silence schedule
// keeps it quiet. People the service does not know (it was not up yet, or it lost its file)
// register again on the next round. At most one request per person is in flight, so a slow
// service never piles up requests.
class Crowd : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Crowd)

public:
    struct Options
    {
        QUrl positionService;
        GeoPoint centre {59.944069, 30.306141}; // the application's default map centre
        double radiusMetres = 2000;
        int reportIntervalMs = 3000; // as often as the application reports
        double silentShare = 0.2;
        double silenceSeconds = 150;
        quint32 seed = 1;
    };

    Crowd(QVector<CrowdPerson> people, const Options &options, QObject *parent = nullptr);
    ~Crowd() override;

    // Registers everyone at once and starts the rounds.
    void start();

    const QVector<CrowdPerson> &people() const { return members; }
    GeoPoint position(int person) const;
    int registeredCount() const;
    bool isSilent(int person) const;

signals:
    void registeredCountChanged(int count);
    // The position service stopped or started answering (it is assumed to answer at first).
    void serviceAnsweringChanged(bool answering);

private:
    struct State
    {
        StreetWalker walker;
        bool registered = false;
        QByteArray key {}; // what Register answered, for SetPos
        bool busy = false; // a request is in flight
    };

    void round();
    void registerFinished(int person, int status, const QByteArray &key);
    void reportFinished(int person, int status);
    void report(int person);
    void noteAnswer(int status);

    QVector<CrowdPerson> members;
    QVector<State> states;
    Options options;
    SilenceSchedule silence;
    PositionServiceClient *client;
    QTimer *timer;
    QElapsedTimer sinceStart;
    qint64 lastRoundMs = 0;
    bool serviceAnswering = true;
    bool announcedEveryone = false;
};

} // namespace Pinrova::Sandbox
