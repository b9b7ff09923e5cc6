#include "embeddedpeoplestore.h"

#include "positionstore.h"
#include "presencemodel.h"
#include "writebehind.h"

namespace Pinrova::Server {

EmbeddedPeopleStore::EmbeddedPeopleStore(
    const std::string &path, std::chrono::milliseconds flushInterval, Metrics *metrics)
    : file(std::make_unique<PositionStore>(path))
    , model(std::make_unique<PresenceModel>())
{
    file->load(*model);
    writer = std::make_unique<WriteBehind>(*file, *model, flushInterval, metrics);
}

EmbeddedPeopleStore::~EmbeddedPeopleStore()
{
    stop();
}

void EmbeddedPeopleStore::registerPerson(RegisterRequest registration, Done<StoreStatus> done)
{
    writer->submit(std::move(registration), [done = std::move(done)](bool stored) {
        done(stored ? StoreStatus::Done : StoreStatus::Unavailable);
    });
}

void EmbeddedPeopleStore::setPosition(
    const SetPosRequest &position, std::int64_t nowMs, Done<StoreStatus> done)
{
    if (stopped)
        return done(StoreStatus::Unavailable);
    done(model->setPosition(position.uid, position.lat, position.lon, nowMs)
            ? StoreStatus::Done
            : StoreStatus::UnknownUid);
}

void EmbeddedPeopleStore::nearest(const NearestQuery &query, Done<NearestAnswer> done)
{
    NearestAnswer answer;
    if (stopped)
        answer.status = StoreStatus::Unavailable;
    else
        answer.people = model->nearest(query);
    done(std::move(answer));
}

void EmbeddedPeopleStore::sweep(std::int64_t silentBeforeMs, Done<SweepResult> done)
{
    (void)silentBeforeMs;
    done({StoreStatus::Unavailable, 0});
}

void EmbeddedPeopleStore::counts(std::int64_t onlineSinceMs, Done<StoreCounts> done)
{
    StoreCounts counts;
    counts.people = model->personCount();
    counts.online = model->onlineCount(onlineSinceMs);
    done(counts);
}

void EmbeddedPeopleStore::stop()
{
    stopped = true;
    if (writer)
        writer->stop();
}

} // namespace Pinrova::Server
