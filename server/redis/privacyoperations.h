#pragma once

#include "redis/storeoperations.h"

#include <optional>

namespace Pinrova::Server::Redis {

// Hide and Forget. Both first find the installation's person (checking the key offered, when
// one is), then write with the replicas' acknowledgement, as a Register does: a master lost
// right after the answer must not bring back a person who asked to be hidden or forgotten.
class PrivacyOperation : public StoreOperation
{
protected:
    PrivacyOperation(RedisCluster &cluster, const RedisStoreConfig &config, const Uuid &uid,
        const std::optional<KeyHash> &keyHash, PeopleStore::Done<StoreStatus> done);

    // Looks up the person, then calls apply with them.
    void begin();
    virtual void apply(const std::string &member) = 0;
    // Removes the person's entries from a tile, acknowledged.
    void takeOutOf(const Tile &tile, const std::string &member);

    const Uuid uid;
    const std::optional<KeyHash> keyHash;
};

// Stops listing the person and deletes their position; positions are refused (Hidden) until
// their next Register.
class Hiding : public PrivacyOperation
{
public:
    static void start(RedisCluster &cluster, const RedisStoreConfig &config, const Uuid &uid,
        const std::optional<KeyHash> &keyHash, PeopleStore::Done<StoreStatus> done);

private:
    using PrivacyOperation::PrivacyOperation;
    void apply(const std::string &member) override;
};

// Deletes the person, every installation of theirs with its key, and their tile entries.
class Forgetting : public PrivacyOperation
{
public:
    static void start(RedisCluster &cluster, const RedisStoreConfig &config, const Uuid &uid,
        const std::optional<KeyHash> &keyHash, PeopleStore::Done<StoreStatus> done);

private:
    using PrivacyOperation::PrivacyOperation;
    void apply(const std::string &member) override;
    void forgetInstallation(const std::string &uidHex, const std::string &member);
};

} // namespace Pinrova::Server::Redis
