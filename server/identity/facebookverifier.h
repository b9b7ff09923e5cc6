#pragma once

#include "base/limits.h"
#include "identity/sessionkey.h"
#include "identity/verdict.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace Pinrova::Server::Identity {

struct FacebookConfig
{
    std::string graph = "https://graph.facebook.com"; // base URL, no trailing "/"
    std::string appId;
    std::string appSecret; // empty: every Facebook credential is refused
    std::chrono::milliseconds timeout = Limits::FacebookTimeout;
    // Calls to the Graph API at once, and checks waiting for one; past both, unavailable.
    int maxInFlight = Limits::FacebookCallsInFlight;
    std::size_t maxWaiting = Limits::FacebookChecksWaiting;
    // Verified tokens remembered, and for how long at most when the token never expires, so a
    // revoked one is noticed within that time.
    std::size_t cacheEntries = Limits::VerifiedTokens;
    std::int64_t maxCacheSeconds = Limits::VerifiedTokenSeconds;
};

// What a debug_token answer says of a token, for claimedId at nowSeconds: accepted only when
// data.is_valid is true, data.app_id is appId, data.type is USER, data.user_id is claimedId
// and data.expires_at is 0 or later than now. expiresAt gets data.expires_at when accepted.
Verdict debugTokenVerdict(std::string_view body, std::string_view appId, std::string_view claimedId,
    std::int64_t nowSeconds, std::int64_t *expiresAt = nullptr);

// Checks Facebook access tokens with the Graph API's debug_token, from a thread of its own
// running libcurl's multi interface (TLS verified against the system's CA store, no
// redirects), and remembers verified ones by their SHA-256 until they expire. done is called
// exactly once, from that thread or before check returns; it must not block.
class FacebookVerifier
{
public:
    using Done = std::function<void(Verdict)>;
    using Clock = std::function<std::int64_t()>; // seconds since the epoch

    explicit FacebookVerifier(FacebookConfig config, Clock clock);
    ~FacebookVerifier();
    FacebookVerifier(const FacebookVerifier &) = delete;
    FacebookVerifier &operator=(const FacebookVerifier &) = delete;

    void check(std::string token, std::string claimedId, Done done);
    // Ends the calls in flight and the waiting checks as unavailable; later checks are
    // answered unavailable at once.
    void stop();

    // Debug_token calls made so far (the cache's hits make none).
    std::uint64_t callsMade() const;

private:
    struct Call;
    struct CachedToken
    {
        std::string userId;
        std::int64_t validUntil = 0; // seconds since the epoch
        std::list<Sha256>::iterator age;
    };

    void run();
    void startWaiting();
    void finish(void *easy, int result);
    bool cached(const Sha256 &hash, std::string_view claimedId, std::int64_t now);
    void remember(const Sha256 &hash, std::string userId, std::int64_t expiresAt);

    const FacebookConfig config;
    const Clock clock;
    void *multi = nullptr; // CURLM, used by the thread only after construction

    mutable std::mutex mutex; // guards everything below
    std::deque<std::unique_ptr<Call>> waiting;
    std::map<void *, std::unique_ptr<Call>> inFlight;
    bool stopping = false;
    std::uint64_t calls = 0;
    std::map<Sha256, CachedToken> cache;
    std::list<Sha256> cacheAge; // least recently used first

    std::thread thread;
};

} // namespace Pinrova::Server::Identity
