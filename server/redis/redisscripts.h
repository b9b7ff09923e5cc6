#pragma once

// The Lua scripts of the cluster store. Each touches the keys of one hash tag only (one tile
// or one person), so it runs on one shard, atomically.
namespace Pinrova::Server::Redis::Scripts {

// KEYS: the person. ARGV: profile fragment, now (ms), retention (ms).
// Stores the profile; answers {1 when the person is new, the tile they are filed under or ""}.
// The person is deleted by Redis once silent for the retention.
constexpr const char *RegisterPerson = R"lua(
local new = redis.call('HSETNX', KEYS[1], 'registered', ARGV[2])
redis.call('HSET', KEYS[1], 'profile', ARGV[1])
redis.call('PEXPIRE', KEYS[1], ARGV[3])
return {new, redis.call('HGET', KEYS[1], 'tile') or ''}
)lua";

// KEYS: a tile's coordinates, profiles. ARGV: person, profile.
// Replaces the tile's copy of the profile of a person filed there.
constexpr const char *RefreshProfile = R"lua(
if redis.call('HEXISTS', KEYS[1], ARGV[1]) == 1 then
  redis.call('HSET', KEYS[2], ARGV[1], ARGV[2])
end
return 1
)lua";

// KEYS: the person. ARGV: the tile of their new position, retention (ms).
// Answers nil for a person that does not exist, 0 for one hidden, else {their former tile or "",
// their profile when the tile changed or ""}.
constexpr const char *MovePerson = R"lua(
if redis.call('EXISTS', KEYS[1]) == 0 then return false end
if redis.call('HEXISTS', KEYS[1], 'hidden') == 1 then return 0 end
redis.call('PEXPIRE', KEYS[1], ARGV[2])
local old = redis.call('HGET', KEYS[1], 'tile') or ''
if old == ARGV[1] then return {old, ''} end
redis.call('HSET', KEYS[1], 'tile', ARGV[1])
return {old, redis.call('HGET', KEYS[1], 'profile') or ''}
)lua";

// KEYS: a tile's geo set, last-seen set, coordinates, profiles, crowd cells. ARGV: lon, lat
// (both within GEOADD's range), person, seen (ms), "lat lon seen" with the exact coordinates,
// retention (ms), crowd cell (Morton code). Each position also deletes up to 16 people of the
// tile silent for longer than the retention, so an active tile keeps itself clean; a tile nobody
// reports from expires whole. Answers {people deleted, 1 when the tile holds the person's
// profile, 1 when the tile's keys were renewed (or are new)}: the caller files a missing profile
// and renews the directory.
constexpr const char *PlaceInTile = R"lua(
redis.call('GEOADD', KEYS[1], ARGV[1], ARGV[2], ARGV[3])
redis.call('ZADD', KEYS[2], ARGV[4], ARGV[3])
redis.call('HSET', KEYS[3], ARGV[3], ARGV[5])
redis.call('ZADD', KEYS[5], ARGV[7], ARGV[3])
local silent = redis.call('ZRANGEBYSCORE', KEYS[2], '-inf',
                          '(' .. (tonumber(ARGV[4]) - tonumber(ARGV[6])), 'LIMIT', 0, 16)
if #silent > 0 then
  redis.call('ZREM', KEYS[1], unpack(silent))
  redis.call('ZREM', KEYS[2], unpack(silent))
  redis.call('HDEL', KEYS[3], unpack(silent))
  redis.call('HDEL', KEYS[4], unpack(silent))
  redis.call('ZREM', KEYS[5], unpack(silent))
end
-- Renewed when half the retention has passed: one PTTL per position instead of a PEXPIRE per key.
local renewed = 0
if redis.call('PTTL', KEYS[1]) < tonumber(ARGV[6]) / 2 then
  for i = 1, #KEYS do redis.call('PEXPIRE', KEYS[i], ARGV[6]) end
  renewed = 1
end
return {#silent, redis.call('HEXISTS', KEYS[4], ARGV[3]), renewed}
)lua";

// KEYS: a tile's geo set, last-seen set, coordinates, profiles, crowd cells. ARGV: person.
constexpr const char *RemoveFromTile = R"lua(
redis.call('ZREM', KEYS[1], ARGV[1])
redis.call('ZREM', KEYS[2], ARGV[1])
redis.call('HDEL', KEYS[3], ARGV[1])
redis.call('HDEL', KEYS[4], ARGV[1])
redis.call('ZREM', KEYS[5], ARGV[1])
return 1
)lua";

// KEYS: a count shard's activity and last-position sets. ARGV: person, now (ms), 1 for a
// position (0 for a Register), retention (ms). Records the person as active (and positioned)
// now, unless a later time is recorded already, and drops up to 16 people of the shard whose keys
// have expired by now, as a tile does.
constexpr const char *CountPerson = R"lua(
redis.call('ZADD', KEYS[1], 'GT', ARGV[2], ARGV[1])
if ARGV[3] == '1' then redis.call('ZADD', KEYS[2], 'GT', ARGV[2], ARGV[1]) end
local gone = redis.call('ZRANGEBYSCORE', KEYS[1], '-inf',
                        '(' .. (tonumber(ARGV[2]) - tonumber(ARGV[4])), 'LIMIT', 0, 16)
if #gone > 0 then
  redis.call('ZREM', KEYS[1], unpack(gone))
  redis.call('ZREM', KEYS[2], unpack(gone))
end
return #gone
)lua";

// KEYS: a count shard's activity and last-position sets. ARGV: active since, positioned
// since (ms). Answers {people not yet expired, people positioned since}.
constexpr const char *CountShard = R"lua(
return {redis.call('ZCOUNT', KEYS[1], ARGV[1], '+inf'), redis.call('ZCOUNT', KEYS[2], ARGV[2], '+inf')}
)lua";

} // namespace Pinrova::Server::Redis::Scripts
