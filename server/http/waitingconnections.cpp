#include "http/waitingconnections.h"

namespace Pinrova::Server {

WaitingConnections::Place WaitingConnections::enter(std::function<void()> close)
{
    busy.push_back({std::move(close), false});
    return std::prev(busy.end());
}

void WaitingConnections::leave(Place place)
{
    if (place->waiting)
        waiting.erase(place);
    else
        busy.erase(place);
}

void WaitingConnections::markWaiting(Place place)
{
    if (place->waiting)
        waiting.splice(waiting.end(), waiting, place);
    else
        waiting.splice(waiting.end(), busy, place);
    place->waiting = true;
}

void WaitingConnections::markBusy(Place place)
{
    if (!place->waiting)
        return;
    busy.splice(busy.end(), waiting, place);
    place->waiting = false;
}

bool WaitingConnections::closeLongestWaiting()
{
    if (waiting.empty())
        return false;
    const Place longest = waiting.begin();
    markBusy(longest);
    // The close may end the connection and so erase the entry: call a copy.
    const auto close = longest->close;
    close();
    return true;
}

void WaitingConnections::closeAllWaiting()
{
    // Each close moves its entry to the busy line first, so this ends.
    while (closeLongestWaiting()) { }
}

} // namespace Pinrova::Server
