#include "embeddedpeoplestore.h"

#include "positionstore.h"
#include "presencemodel.h"

namespace Pinrova::Server {

EmbeddedPeopleStore::EmbeddedPeopleStore(
    const std::string &path, EmbeddedStoreOptions options, Metrics *metrics)
    : file(std::make_unique<PositionStore>(path))
    , model(std::make_unique<PresenceModel>(options.maxPendingPositions))
{
    file->load(*model, options.writer.clock());
    writer = std::make_unique<WriteBehind>(*file, *model, options.writer, metrics);
}

EmbeddedPeopleStore::~EmbeddedPeopleStore()
{
    stop();
}

void EmbeddedPeopleStore::registerPerson(RegisterRequest registration, Done<StoreStatus> done)
{
    writer->submit(std::move(registration), [done = std::move(done)](WriteBehind::Outcome outcome) {
        switch (outcome) {
        case WriteBehind::Outcome::Stored:
            return done(StoreStatus::Done);
        case WriteBehind::Outcome::Full:
            return done(StoreStatus::Busy);
        case WriteBehind::Outcome::Failed:
            return done(StoreStatus::Unavailable);
        }
    });
}

void EmbeddedPeopleStore::setPosition(
    const SetPosRequest &position, std::int64_t nowMs, Done<StoreStatus> done)
{
    if (stopped)
        return done(StoreStatus::Unavailable);
    switch (model->setPosition(position.uid, position.lat, position.lon, nowMs)) {
    case PresenceModel::Update::Stored:
        return done(StoreStatus::Done);
    case PresenceModel::Update::UnknownUid:
        return done(StoreStatus::UnknownUid);
    case PresenceModel::Update::QueueFull:
        return done(StoreStatus::Busy);
    }
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
    // On the writer thread, where a sweep cannot come between a registration's commit and
    // the model.
    writer->sweepNow(silentBeforeMs, [done = std::move(done)](bool deleted, std::size_t removed) {
        done({deleted ? StoreStatus::Done : StoreStatus::Unavailable, removed});
    });
}

void EmbeddedPeopleStore::counts(std::int64_t onlineSinceMs, Done<StoreCounts> done)
{
    StoreCounts counts;
    if (stopped) {
        counts.status = StoreStatus::Unavailable;
        return done(counts);
    }
    counts.people = model->personCount();
    counts.online = model->onlineCount(onlineSinceMs);
    counts.writeQueue = model->pendingCount() + writer->waitingRegistrations();
    done(counts);
}

void EmbeddedPeopleStore::stop()
{
    stopped = true;
    if (writer)
        writer->stop();
}

} // namespace Pinrova::Server
