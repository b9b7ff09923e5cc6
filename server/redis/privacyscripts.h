#pragma once

// The cluster store's scripts for session keys, hiding and forgetting. Like the others, each
// touches the keys of one hash tag only.
namespace Pinrova::Server::Redis::Scripts {

// KEYS: the installation's key. ARGV: the new key's hex hash, now (ms), retention (ms).
// Replaces the key; answers the hash it replaced, or "".
constexpr const char *BindKey = R"lua(
local old = redis.call('GET', KEYS[1])
redis.call('SET', KEYS[1], ARGV[1] .. ' ' .. ARGV[2], 'PX', ARGV[3])
if not old then return '' end
return string.sub(old, 1, 64)
)lua";

// KEYS: the person, their installations. ARGV: the registering uid (hex), retention (ms).
// A Register makes the person visible again and files the installation with them.
constexpr const char *RegisterInstallation = R"lua(
redis.call('HDEL', KEYS[1], 'hidden')
redis.call('SADD', KEYS[2], ARGV[1])
redis.call('PEXPIRE', KEYS[2], ARGV[2])
return 1
)lua";

// KEYS: the installation, its key. ARGV: the hex hash of the key offered or "" for none.
// Answers 0 for a key that is not its (or an unknown installation when a key is offered), nil
// for an unknown installation without one, else its person.
constexpr const char *PersonOfInstallation = R"lua(
local member = redis.call('GET', KEYS[1])
if not member then
  if ARGV[1] ~= '' then return 0 end
  return false
end
if ARGV[1] ~= '' then
  local key = redis.call('GET', KEYS[2])
  if not key or string.sub(key, 1, 64) ~= ARGV[1] then return 0 end
end
return member
)lua";

// KEYS: the person. Marks them hidden and forgets their tile (the position there goes next);
// answers the tile, or "" (also for a person that no longer exists: nothing is created).
constexpr const char *HidePerson = R"lua(
if redis.call('EXISTS', KEYS[1]) == 0 then return '' end
local tile = redis.call('HGET', KEYS[1], 'tile') or ''
redis.call('HSET', KEYS[1], 'hidden', '1')
redis.call('HDEL', KEYS[1], 'tile')
return tile
)lua";

// KEYS: the person, their installations. Deletes both; answers {the tile or "", uids...}.
constexpr const char *ForgetPerson = R"lua(
local tile = redis.call('HGET', KEYS[1], 'tile') or ''
local uids = redis.call('SMEMBERS', KEYS[2])
redis.call('DEL', KEYS[1], KEYS[2])
table.insert(uids, 1, tile)
return uids
)lua";

// KEYS: an installation, its key. ARGV: the person being forgotten. Deletes the installation
// when it is still bound to them; answers the hash of its key, or "".
constexpr const char *ForgetInstallation = R"lua(
if redis.call('GET', KEYS[1]) ~= ARGV[1] then return '' end
local key = redis.call('GET', KEYS[2])
redis.call('DEL', KEYS[1], KEYS[2])
if not key then return '' end
return string.sub(key, 1, 64)
)lua";

} // namespace Pinrova::Server::Redis::Scripts
