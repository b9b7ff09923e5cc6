#include "embedded/embeddedpeoplestore.h"

#include "embedded/peoplefile.h"
#include "embedded/presencemodel.h"
#include "embedded/querypool.h"

#include <cstdio>

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
    const KeyHash *key = position.keyHash ? &*position.keyHash : nullptr;
    switch (model->setPosition(position.uid, position.lat, position.lon, nowMs, key)) {
    case PresenceModel::Update::Stored:
        return done(StoreStatus::Done);
    case PresenceModel::Update::UnknownUid:
        return done(StoreStatus::UnknownUid);
    case PresenceModel::Update::QueueFull:
        return done(StoreStatus::Busy);
    case PresenceModel::Update::BadKey:
        return done(StoreStatus::BadKey);
    case PresenceModel::Update::Hidden:
        return done(StoreStatus::Hidden);
    }
}

void EmbeddedPeopleStore::nearest(const NearestQuery &query, Done<NearestAnswer> done)
{
    NearestAnswer refused;
    refused.status = StoreStatus::Unavailable;
    if (stopped)
        return done(std::move(refused));
    if (query.keyHash && !model->isLiveKey(*query.keyHash)) {
        refused.status = StoreStatus::BadKey;
        return done(std::move(refused));
    }
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

void EmbeddedPeopleStore::changePerson(const Uuid &uid, const std::optional<KeyHash> &keyHash,
    std::function<bool(std::int64_t)> change, Done<StoreStatus> done)
{
    if (stopped)
        return done(StoreStatus::Unavailable);
    // On the writer thread, where no registration or sweep comes between the check and the
    // change, and the file is written.
    writer->runOnWriter(
        [this, uid, keyHash, change = std::move(change), done = std::move(done)](bool running) {
            if (!running)
                return done(StoreStatus::Unavailable);
            std::int64_t personId = 0;
            switch (model->personOf(uid, keyHash ? &*keyHash : nullptr, personId)) {
            case PresenceModel::Update::BadKey:
                return done(StoreStatus::BadKey);
            case PresenceModel::Update::UnknownUid:
                return done(StoreStatus::UnknownUid);
            default:
                break;
            }
            done(change(personId) ? StoreStatus::Done : StoreStatus::Unavailable);
        });
}

void EmbeddedPeopleStore::hide(
    const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done)
{
    changePerson(
        uid, keyHash,
        [this](std::int64_t personId) {
            // Out of the lists at once; the file follows, and a failed write is answered as
            // such so the client asks again.
            model->hide(personId);
            std::string error;
            if (file->hide(personId, error))
                return true;
            std::fprintf(stderr, "pinrova-posd: hiding a person failed: %s\n", error.c_str());
            return false;
        },
        std::move(done));
}

void EmbeddedPeopleStore::forget(
    const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done)
{
    changePerson(
        uid, keyHash,
        [this](std::int64_t personId) {
            // The file first: if its delete fails, both stay as they were and the client can
            // ask again.
            std::string error;
            if (!file->remove({personId}, error)) {
                std::fprintf(
                    stderr, "pinrova-posd: forgetting a person failed: %s\n", error.c_str());
                return false;
            }
            model->forget(personId);
            // Not done while the log still holds the rows as they were.
            if (file->truncateLog(error))
                return true;
            std::fprintf(stderr, "pinrova-posd: the log after a forget: %s\n", error.c_str());
            return false;
        },
        std::move(done));
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
