#include "crowd.h"

#include <QRandomGenerator>
#include <QTimer>
#include <QtDebug>

#include <algorithm>

#include "positionserviceclient.h"

namespace Pinrova::Sandbox {

Crowd::Crowd(QVector<CrowdPerson> people, const Options &options, QObject *parent)
    : QObject(parent)
    , members(std::move(people))
    , options(options)
    , silence(options.silentShare, options.silenceSeconds)
    , client(new PositionServiceClient(options.positionService, this))
    , timer(new QTimer(this))
{
    QRandomGenerator paces(options.seed);
    states.reserve(members.size());
    for (int i = 0; i < members.size(); ++i) {
        // Mostly walkers, now and then someone on a bicycle.
        const double pace = 1.0 + paces.generateDouble() * (i % 7 == 3 ? 4.0 : 1.0);
        states.append({StreetWalker(options.centre, options.radiusMetres, pace,
            options.seed * 7919u + static_cast<quint32>(i))});
    }
    timer->setInterval(options.reportIntervalMs);
    connect(timer, &QTimer::timeout, this, &Crowd::round);
    connect(client, &PositionServiceClient::registerFinished, this, &Crowd::registerFinished);
    connect(client, &PositionServiceClient::reportFinished, this, &Crowd::reportFinished);
}

Crowd::~Crowd() = default;

void Crowd::start()
{
    sinceStart.start();
    lastRoundMs = 0;
    timer->start();
    round();
}

GeoPoint Crowd::position(int person) const
{
    return states.at(person).walker.position();
}

int Crowd::registeredCount() const
{
    return static_cast<int>(std::count_if(
        states.begin(), states.end(), [](const State &state) { return state.registered; }));
}

bool Crowd::isSilent(int person) const
{
    return silence.isSilent(person, members.size(), sinceStart.elapsed() / 1000.0);
}

void Crowd::round()
{
    const qint64 now = sinceStart.elapsed();
    const double seconds = (now - lastRoundMs) / 1000.0;
    lastRoundMs = now;
    for (int i = 0; i < members.size(); ++i) {
        State &state = states[i];
        state.walker.walk(seconds);
        if (state.busy)
            continue;
        if (!state.registered) {
            state.busy = true;
            client->registerPerson(i, members.at(i));
        } else if (!isSilent(i)) {
            report(i);
        }
    }
}

void Crowd::report(int person)
{
    State &state = states[person];
    const GeoPoint where = state.walker.position();
    state.busy = true;
    client->reportPosition(person, members.at(person).uid, where.lat, where.lon, state.key);
}

void Crowd::registerFinished(int person, int status, const QByteArray &key)
{
    states[person].busy = false;
    noteAnswer(status);
    if (status != 200)
        return;
    states[person].registered = true;
    states[person].key = key;
    // One position right away, also for the people whose schedule starts with a silence, so
    // every registered person is on the map.
    report(person);
    const int count = registeredCount();
    emit registeredCountChanged(count);
    if (count == members.size() && !announcedEveryone) {
        announcedEveryone = true;
        qInfo().noquote() << "pinrova-sandbox: crowd of" << count << "registered with"
                          << options.positionService.toString();
    }
}

void Crowd::reportFinished(int person, int status)
{
    states[person].busy = false;
    noteAnswer(status);
    // The service no longer knows this uid (a new database) or its key: register again next
    // round.
    if ((status == 404 || status == 401) && states[person].registered) {
        states[person].registered = false;
        announcedEveryone = false;
        emit registeredCountChanged(registeredCount());
    }
}

void Crowd::noteAnswer(int status)
{
    const bool answering = status != 0;
    if (answering == serviceAnswering)
        return;
    serviceAnswering = answering;
    emit serviceAnsweringChanged(answering);
    if (answering)
        qInfo().noquote() << "pinrova-sandbox: position service answers again";
    else
        qWarning().noquote() << "pinrova-sandbox: position service"
                             << options.positionService.toString()
                             << "does not answer; the crowd keeps trying every round";
}

} // namespace Pinrova::Sandbox
