#pragma once

#include "positionserver.h"

#include <string>
#include <vector>

namespace Pinrova::Server {

// The command line of pinrova-posd.
struct ServerOptions
{
    PositionServerConfig config;
    bool showHelp = false;
    std::string error; // non-empty: the command line is wrong

    static ServerOptions parse(const std::vector<std::string> &arguments);
    static std::string usage();
    // $XDG_DATA_HOME/pinrova-posd/positions.db, or under ~/.local/share without it.
    static std::string defaultDatabasePath();
};

} // namespace Pinrova::Server
