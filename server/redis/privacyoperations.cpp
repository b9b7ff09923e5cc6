#include "redis/privacyoperations.h"

#include "redis/privacyscripts.h"
#include "redis/storekeys.h"

#include <algorithm>
#include <set>

namespace Pinrova::Server::Redis {

PrivacyOperation::PrivacyOperation(RedisCluster &cluster, const RedisStoreConfig &config,
    const Uuid &uid, const std::optional<KeyHash> &keyHash, PeopleStore::Done<StoreStatus> done)
    : StoreOperation(cluster, config, std::move(done))
    , uid(uid)
    , keyHash(keyHash)
{ }

void PrivacyOperation::begin()
{
    const std::string uidKey = Keys::installation(uid);
    auto self = std::static_pointer_cast<PrivacyOperation>(shared_from_this());
    hold();
    cluster.call(uidKey,
        {"EVAL", Scripts::PersonOfInstallation, "2", uidKey, Keys::installationKey(uid),
            keyHash ? Keys::hashHex(*keyHash) : std::string()},
        [self](CallResult found) {
            if (!found.ok())
                return self->settle(StoreStatus::Unavailable);
            if (found.reply.isNil())
                return self->settle(StoreStatus::UnknownUid);
            if (found.reply.kind != RedisReply::Kind::String)
                return self->settle(StoreStatus::BadKey);
            self->apply(found.reply.text);
            self->settle(StoreStatus::Done);
        });
}

void PrivacyOperation::takeOutOf(const Tile &tile, const std::string &member)
{
    // On the blocking connection, so that the WAIT after it covers it.
    auto self = std::static_pointer_cast<PrivacyOperation>(shared_from_this());
    cluster.callBlocking(
        Keys::geo(tile), removeFromTile(tile, member), expect([self](const CallResult &result) {
            self->waitForReplicas(result);
            return true;
        }));
}

void Hiding::start(RedisCluster &cluster, const RedisStoreConfig &config, const Uuid &uid,
    const std::optional<KeyHash> &keyHash, PeopleStore::Done<StoreStatus> done)
{
    std::shared_ptr<Hiding> hiding(new Hiding(cluster, config, uid, keyHash, std::move(done)));
    hiding->begin();
}

void Hiding::apply(const std::string &member)
{
    // The mark first: a position racing the Hide then finds it and takes itself out again.
    const std::string personKey = Keys::person(member);
    auto self = std::static_pointer_cast<Hiding>(shared_from_this());
    cluster.callBlocking(personKey, {"EVAL", Scripts::HidePerson, "1", personKey},
        expect([self, member](const CallResult &result) {
            bool ok = false;
            const Tile tile = Tile::fromName(result.reply.text, &ok);
            if (ok)
                self->takeOutOf(tile, member);
            self->waitForReplicas(result);
            return true;
        }));
}

void Forgetting::start(RedisCluster &cluster, const RedisStoreConfig &config, const Uuid &uid,
    const std::optional<KeyHash> &keyHash, PeopleStore::Done<StoreStatus> done)
{
    std::shared_ptr<Forgetting> forgetting(
        new Forgetting(cluster, config, uid, keyHash, std::move(done)));
    forgetting->begin();
}

void Forgetting::apply(const std::string &member)
{
    const std::string personKey = Keys::person(member);
    auto self = std::static_pointer_cast<Forgetting>(shared_from_this());
    cluster.callBlocking(personKey,
        {"EVAL", Scripts::ForgetPerson, "2", personKey, Keys::installations(member)},
        expect([self, member](const CallResult &result) {
            const auto &parts = result.reply.elements;
            if (result.reply.kind != RedisReply::Kind::Array || parts.empty())
                return false;
            bool ok = false;
            const Tile tile = Tile::fromName(parts[0].text, &ok);
            if (ok)
                self->takeOutOf(tile, member);
            // The installation asking is forgotten even if the set of them lost it.
            std::set<std::string> uids {self->uid.toHex()};
            for (std::size_t i = 1; i < parts.size(); ++i)
                uids.insert(parts[i].text);
            for (const auto &uidHex : uids)
                self->forgetInstallation(uidHex, member);
            self->waitForReplicas(result);
            return true;
        }));
    uncountPerson(cluster, member);
}

void Forgetting::forgetInstallation(const std::string &uidHex, const std::string &member)
{
    const std::string uidKey = Keys::installationOfHex(uidHex);
    auto self = std::static_pointer_cast<Forgetting>(shared_from_this());
    cluster.callBlocking(uidKey,
        {"EVAL", Scripts::ForgetInstallation, "2", uidKey, Keys::installationKeyOfHex(uidHex),
            member},
        expect([self](const CallResult &result) {
            if (result.reply.kind != RedisReply::Kind::String)
                return false;
            if (!result.reply.text.empty()) {
                const std::string entry = Keys::sessionKey(result.reply.text);
                self->cluster.callBlocking(
                    entry, {"DEL", entry}, self->expect([self](const CallResult &deleted) {
                        self->waitForReplicas(deleted);
                        return true;
                    }));
            }
            self->waitForReplicas(result);
            return true;
        }));
}

} // namespace Pinrova::Server::Redis
