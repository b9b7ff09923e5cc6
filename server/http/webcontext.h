#pragma once

#include "base/limits.h"
#include "http/webrequest.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <vector>

namespace Pinrova::Server {

class Router;

struct WebServerLimits
{
    std::size_t maxHeaderBytes = Limits::MaxHeaderBytes; // request line and headers together
    std::chrono::milliseconds idleTimeout = Limits::IdleTimeout; // keep-alive, no request
    std::chrono::milliseconds readTimeout = Limits::ReadTimeout; // a request's first byte to end
    // At the cap a newcomer takes the place of the connection that has waited longest for a
    // request; with none waiting on its thread it is closed at once.
    int maxConnections = Limits::MaxConnections;
    int threads = 0; // 0: one per core
};

// What every connection of one server shares, on every thread: the router, the limits, the
// observers and the counters. The sessions hold it, so it outlives the last of them; the
// router and the observers are not owned and must outlive the server.
struct WebContext
{
    WebContext(const Router &router, WebServerLimits limits, std::vector<WebObserver *> observers)
        : router(router)
        , limits(limits)
        , observers(std::move(observers))
    { }

    void answered(const AnsweredRequest &request) const
    {
        for (WebObserver *observer : observers)
            observer->requestAnswered(request);
    }

    const Router &router;
    const WebServerLimits limits;
    const std::vector<WebObserver *> observers;
    std::atomic<int> connections {0};
    std::atomic<bool> draining {false};
};

} // namespace Pinrova::Server
