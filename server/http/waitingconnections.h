#pragma once

#include <functional>
#include <list>

namespace Pinrova::Server {

// The connections of one HTTP thread, split into those waiting for a request (none sent yet
// since they opened or since their last answer, or one still arriving) and those with a
// request being answered. When the server is at its connection cap it closes the connection
// that has waited longest, which under a flood of idle or trickling connections is one of
// them, rather than turn every newcomer away. Moving between the lists splices the entry, so
// a request costs no allocation. Used on its thread only.
class WaitingConnections
{
public:
    struct Entry
    {
        std::function<void()> close;
        bool waiting = false;
    };
    using Place = std::list<Entry>::iterator;

    // A new connection, counted as busy until markWaiting; close is how it is evicted.
    Place enter(std::function<void()> close);
    void leave(Place place);
    // To the back of the waiting line: the newest waiter.
    void markWaiting(Place place);
    void markBusy(Place place);

    // Closes the connection waiting longest, which then counts as busy until it leaves.
    // False when none is waiting.
    bool closeLongestWaiting();
    // Closes every connection waiting for a request.
    void closeAllWaiting();

    std::size_t waitingCount() const { return waiting.size(); }

private:
    std::list<Entry> waiting; // longest waiting first
    std::list<Entry> busy;
};

} // namespace Pinrova::Server
