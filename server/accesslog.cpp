#include "accesslog.h"

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

void AccessLog::record(std::string_view client, std::string_view method, std::string_view target,
    int status, std::size_t bytes, long long micros)
{
    const std::string line = std::string(client) + " " + printable(method) + " " + printable(target)
        + " " + std::to_string(status) + " " + std::to_string(bytes) + " " + std::to_string(micros)
        + "us\n";
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

} // namespace Pinrova::Server
