#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

namespace Pinrova::Server {

// One line per answered request: client, method, target, status, body bytes, microseconds.
// Lines from several threads never interleave.
class AccessLog
{
public:
    explicit AccessLog(std::FILE *out = stderr);

    void record(std::string_view client, std::string_view method, std::string_view target,
        int status, std::size_t bytes, long long micros);

private:
    std::FILE *out;
    std::mutex mutex;
};

} // namespace Pinrova::Server
