#pragma once

#include "uuid.h"

#include <optional>
#include <string>

namespace Pinrova::Server {

class QueryParams;

// The three requests of the app, validated. Each parse function gives either a request or a
// one-line reason for the 400 answer.

struct RegisterRequest
{
    Uuid uid;
    int network = 0;
    std::string id;
    std::string name;
    std::string smallPicture;
    std::string mediumPicture;
    int sex = 0;
};

struct SetPosRequest
{
    Uuid uid;
    double lat = 0;
    double lon = 0;
};

// The handset's map, which the three-key request describes.
constexpr int DefaultViewWidth = 800;
constexpr int DefaultViewHeight = 480;
constexpr int MaxViewPixels = 4096;

struct GetUsersRequest
{
    double lat = 0;
    double lon = 0;
    int zoom = 0;
    int width = DefaultViewWidth; // the client's map view, in pixels
    int height = DefaultViewHeight;
};

template<typename T> struct Parsed
{
    std::optional<T> request;
    std::string error;
};

// Bounds of the stored fields, in bytes.
constexpr std::size_t MaxIdBytes = 128;
constexpr std::size_t MaxNameBytes = 256;
constexpr std::size_t MaxPictureBytes = 2048;
constexpr int MaxZoom = 20;

Parsed<RegisterRequest> parseRegister(const QueryParams &query);
Parsed<SetPosRequest> parseSetPos(const QueryParams &query);
Parsed<GetUsersRequest> parseGetUsers(const QueryParams &query);

} // namespace Pinrova::Server
