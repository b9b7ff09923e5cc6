#include "http/accesslog.h"

#include <string>

namespace Pinrova::Server {

namespace {

// Targets come from the network: show control bytes as "?" so a line stays one line.
std::string printable(std::string_view text)
{
    std::string out(text.substr(0, 512));
    for (char &c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = '?';
    }
    return out;
}

} // namespace

AccessLog::AccessLog(std::FILE *out)
    : out(out)
{ }

void AccessLog::requestAnswered(const AnsweredRequest &request)
{
    const std::string line = std::string(request.client) + " " + printable(request.method) + " "
        + printable(request.target) + " " + std::to_string(request.status) + " "
        + std::to_string(request.bytes) + " " + std::to_string(request.micros) + "us\n";
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

} // namespace Pinrova::Server
