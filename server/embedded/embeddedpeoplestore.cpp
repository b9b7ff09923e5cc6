#include "embedded/embeddedpeoplestore.h"

#include "embedded/peoplefile.h"
#include "embedded/presencemodel.h"
#include "embedded/querypool.h"

namespace Pinrova::Server {

EmbeddedPeopleStore::EmbeddedPeopleStore(const std::string &path, EmbeddedStoreOptions options,
    ProfileRenderer render, StoreEvents *events)
    : render(std::move(render))
    , file(std::make_unique<PeopleFile>(path))
    , model(std::make_unique<PresenceModel>(options.maxPendingPositions))
{
    file->load(*model, options.writer.clock(), this->render);
    writer = std::make_unique<WriteBehind>(*file, *model, options.writer, events);
    queries = std::make_unique<QueryPool>(
        options.queryThreads, options.maxQueuedLists, Limits::QueryNiceness);
}

EmbeddedPeopleStore::~EmbeddedPeopleStore()
{
    stop();
}

void EmbeddedPeopleStore::registerPerson(PersonRecord person, Done<StoreStatus> done)
{
    // Rendered here rather than on the one writer thread, which every Register waits for.
    auto profile = render(person);
    if (!profile)
        return done(StoreStatus::Unavailable);
    writer->submit(std::move(person), std::make_shared<const std::string>(std::move(*profile)),
        [done = std::move(done)](WriteBehind::Outcome outcome) {
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
    const PositionReport &position, std::int64_t nowMs, Done<StoreStatus> done)
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
    NearestAnswer refused;
    refused.status = StoreStatus::Unavailable;
    if (stopped)
        return done(std::move(refused));
    // done is copied, not moved: a full queue drops the job and answers here.
    const bool queued = queries->post([this, query, done] {
        NearestAnswer answer;
        answer.people = model->nearest(query, query.crowds ? &answer.crowds : nullptr);
        done(std::move(answer));
    });
    if (!queued) {
        refused.status = StoreStatus::Busy;
        done(std::move(refused));
    }
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
    if (stopped.exchange(true))
        return;
    // The lists already queued are still answered, then the writer stores what is pending.
    if (queries)
        queries->stop();
    if (writer)
        writer->stop();
}

} // namespace Pinrova::Server
