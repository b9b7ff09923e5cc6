#include "identity/facebookverifier.h"

#include "identity/jsonfields.h"

#include <curl/curl.h>

#include <charconv>
#include <vector>

namespace Pinrova::Server::Identity {

namespace {

// A debug_token answer is a few hundred bytes; anything far larger is not one.
constexpr std::size_t MaxAnswerBytes = 64 * 1024;

std::int64_t toInteger(const std::string &text, bool *ok)
{
    std::int64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    *ok = !text.empty() && ec == std::errc() && ptr == end;
    return value;
}

std::size_t collect(char *data, std::size_t size, std::size_t count, void *target)
{
    auto *body = static_cast<std::string *>(target);
    const std::size_t bytes = size * count;
    if (body->size() + bytes > MaxAnswerBytes)
        return 0; // ends the transfer with an error
    body->append(data, bytes);
    return bytes;
}

std::string escaped(CURL *easy, std::string_view text)
{
    char *out = curl_easy_escape(easy, text.data(), static_cast<int>(text.size()));
    std::string result = out ? out : "";
    curl_free(out);
    return result;
}

} // namespace

Verdict debugTokenVerdict(std::string_view body, std::string_view appId, std::string_view claimedId,
    std::int64_t nowSeconds, std::int64_t *expiresAt)
{
    const auto data = readJsonFields(body, "data");
    if (!data)
        return Verdict::refuse("Facebook did not describe the token");
    const auto field = [&](const char *name) {
        const auto it = data->find(name);
        return it == data->end() ? std::string() : it->second;
    };
    if (field("is_valid") != "true")
        return Verdict::refuse("Facebook says the token is not valid");
    if (appId.empty() || field("app_id") != appId)
        return Verdict::refuse("the token is another application's");
    if (field("type") != "USER")
        return Verdict::refuse("the token is not a user's");
    if (field("user_id") != claimedId)
        return Verdict::refuse("the token is not the id's");
    bool ok = false;
    const std::int64_t expires = toInteger(field("expires_at"), &ok);
    if (!ok || expires < 0)
        return Verdict::refuse("the token's expiry is not a time");
    if (expires != 0 && expires <= nowSeconds)
        return Verdict::refuse("the token has expired");
    if (expiresAt)
        *expiresAt = expires;
    return Verdict::accept();
}

struct FacebookVerifier::Call
{
    std::string token;
    std::string claimedId;
    Sha256 hash {};
    Done done;
    CURL *easy = nullptr;
    std::string url; // carries the application secret: never logged
    std::string body;

    ~Call()
    {
        if (easy)
            curl_easy_cleanup(easy);
    }
};

FacebookVerifier::FacebookVerifier(FacebookConfig config, Clock clock)
    : config(std::move(config))
    , clock(std::move(clock))
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi = curl_multi_init();
    thread = std::thread([this] { run(); });
}

FacebookVerifier::~FacebookVerifier()
{
    stop();
    curl_multi_cleanup(static_cast<CURLM *>(multi));
    curl_global_cleanup();
}

std::uint64_t FacebookVerifier::callsMade() const
{
    std::lock_guard lock(mutex);
    return calls;
}

void FacebookVerifier::stop()
{
    {
        std::lock_guard lock(mutex);
        if (stopping && !thread.joinable())
            return;
        stopping = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi));
    if (thread.joinable())
        thread.join();
}

bool FacebookVerifier::cached(const Sha256 &hash, std::string_view claimedId, std::int64_t now)
{
    const auto it = cache.find(hash);
    if (it == cache.end())
        return false;
    if (it->second.validUntil <= now) {
        cacheAge.erase(it->second.age);
        cache.erase(it);
        return false;
    }
    // Another id with a known token is asked again rather than refused from here: the answer
    // then comes from Facebook alone.
    if (it->second.userId != claimedId)
        return false;
    cacheAge.splice(cacheAge.end(), cacheAge, it->second.age);
    return true;
}

void FacebookVerifier::remember(const Sha256 &hash, std::string userId, std::int64_t expiresAt)
{
    if (config.cacheEntries == 0)
        return;
    const std::int64_t longest = clock() + config.maxCacheSeconds;
    const std::int64_t until = expiresAt == 0 ? longest : std::min(expiresAt, longest);
    std::lock_guard lock(mutex);
    if (const auto it = cache.find(hash); it != cache.end()) {
        cacheAge.erase(it->second.age);
        cache.erase(it);
    }
    while (cache.size() >= config.cacheEntries) {
        cache.erase(cacheAge.front());
        cacheAge.pop_front();
    }
    cacheAge.push_back(hash);
    cache.emplace(hash, CachedToken {std::move(userId), until, std::prev(cacheAge.end())});
}

void FacebookVerifier::check(std::string token, std::string claimedId, Done done)
{
    if (config.appSecret.empty() || config.appId.empty())
        return done(Verdict::refuse("Facebook sign-ins are not accepted here"));
    if (token.empty())
        return done(Verdict::refuse("the Facebook token is empty"));
    auto call = std::make_unique<Call>();
    call->hash = sha256(token);
    {
        std::unique_lock lock(mutex);
        if (!stopping && cached(call->hash, claimedId, clock())) {
            lock.unlock();
            return done(Verdict::accept());
        }
        if (stopping || waiting.size() >= config.maxWaiting) {
            lock.unlock();
            return done(Verdict::unavailable("too many Facebook checks at once"));
        }
        call->token = std::move(token);
        call->claimedId = std::move(claimedId);
        call->done = std::move(done);
        waiting.push_back(std::move(call));
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi));
}

// Called on the thread with the mutex held.
void FacebookVerifier::startWaiting()
{
    while (!waiting.empty() && static_cast<int>(inFlight.size()) < config.maxInFlight) {
        std::unique_ptr<Call> call = std::move(waiting.front());
        waiting.pop_front();
        CURL *easy = curl_easy_init();
        if (!easy) {
            // Answered by the thread's loop below, outside the lock.
            waiting.push_front(std::move(call));
            return;
        }
        call->easy = easy;
        call->url = config.graph + "/debug_token?input_token=" + escaped(easy, call->token)
            + "&access_token=" + escaped(easy, config.appId + "|" + config.appSecret);
        curl_easy_setopt(easy, CURLOPT_URL, call->url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(config.timeout.count()));
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &call->body);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "pinrova-posd");
        curl_easy_setopt(easy, CURLOPT_PRIVATE, call.get());
        curl_multi_add_handle(static_cast<CURLM *>(multi), easy);
        ++calls;
        inFlight.emplace(easy, std::move(call));
    }
}

void FacebookVerifier::finish(void *easy, int result)
{
    std::unique_ptr<Call> call;
    {
        std::lock_guard lock(mutex);
        const auto it = inFlight.find(easy);
        if (it == inFlight.end())
            return;
        call = std::move(it->second);
        inFlight.erase(it);
    }
    curl_multi_remove_handle(static_cast<CURLM *>(multi), easy);
    long status = 0;
    curl_easy_getinfo(static_cast<CURL *>(easy), CURLINFO_RESPONSE_CODE, &status);
    Verdict verdict;
    if (result != CURLE_OK || status >= 500 || status < 200) {
        verdict = Verdict::unavailable("Facebook could not be asked");
    } else if (status != 200) {
        // Graph answers a token it cannot parse or has revoked with a 4xx error object.
        verdict = Verdict::refuse("Facebook refused the token");
    } else {
        std::int64_t expiresAt = 0;
        verdict = debugTokenVerdict(call->body, config.appId, call->claimedId, clock(), &expiresAt);
        if (verdict.outcome == Verdict::Accepted)
            remember(call->hash, call->claimedId, expiresAt);
    }
    call->done(std::move(verdict));
}

void FacebookVerifier::run()
{
    auto *handle = static_cast<CURLM *>(multi);
    for (;;) {
        std::vector<std::unique_ptr<Call>> failed;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break;
            startWaiting();
            // A handle that could not be made leaves its call first in line: answer it.
            if (!waiting.empty() && inFlight.empty()) {
                failed.push_back(std::move(waiting.front()));
                waiting.pop_front();
            }
        }
        for (auto &call : failed)
            call->done(Verdict::unavailable("Facebook could not be asked"));
        int running = 0;
        curl_multi_perform(handle, &running);
        int left = 0;
        while (CURLMsg *message = curl_multi_info_read(handle, &left)) {
            if (message->msg == CURLMSG_DONE)
                finish(message->easy_handle, message->data.result);
        }
        curl_multi_poll(handle, nullptr, 0, 1000, nullptr);
    }
    std::vector<std::unique_ptr<Call>> ended;
    {
        std::lock_guard lock(mutex);
        for (auto &[easy, call] : inFlight) {
            curl_multi_remove_handle(handle, easy);
            ended.push_back(std::move(call));
        }
        inFlight.clear();
        for (auto &call : waiting)
            ended.push_back(std::move(call));
        waiting.clear();
    }
    for (auto &call : ended)
        call->done(Verdict::unavailable("the service is stopping"));
}

} // namespace Pinrova::Server::Identity
