#pragma once

#include "base/limits.h"
#include "store/peoplestore.h"

#include <optional>
#include <string>

namespace Pinrova::Server {

class QueryParams;

// The three requests of the app, validated. Each parse function gives either a request or a
// one-line reason for the 400 answer.

// A Register carries a whole person record and a SetPos a position report, field for field.
using RegisterRequest = PersonRecord;
using SetPosRequest = PositionReport;

struct GetUsersRequest
{
    double lat = 0;
    double lon = 0;
    int zoom = 0;
    int width = Limits::DefaultViewWidth; // the client's map view, in pixels
    int height = Limits::DefaultViewHeight;
    bool crowds = false; // "crowds=1": also the view's other people, counted per crowd cell

    MapView view() const { return MapView(lat, lon, zoom, width, height); }
};

template<typename T> struct Parsed
{
    std::optional<T> request;
    std::string error;
};

Parsed<RegisterRequest> parseRegister(const QueryParams &query);
Parsed<SetPosRequest> parseSetPos(const QueryParams &query);
Parsed<GetUsersRequest> parseGetUsers(const QueryParams &query);

// True for a person a Register could have carried: a row read back from a file written by
// something else (an edited file) must not reach the answers unchecked.
bool isAcceptablePerson(const PersonRecord &person);

} // namespace Pinrova::Server
