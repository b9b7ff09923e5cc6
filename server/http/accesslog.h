#pragma once

#include "http/webrequest.h"

#include <cstdio>
#include <mutex>

namespace Pinrova::Server {

// One line per answered request: client, method, target, status, body bytes, microseconds.
// Lines from several threads never interleave.
class AccessLog : public WebObserver
{
public:
    explicit AccessLog(std::FILE *out = stderr);

    void requestAnswered(const AnsweredRequest &request) override;

private:
    std::FILE *out;
    std::mutex mutex;
};

} // namespace Pinrova::Server
