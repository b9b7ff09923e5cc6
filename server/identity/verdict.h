#pragma once

#include <string>

namespace Pinrova::Server::Identity {

// What a credential check came to: accepted; refused with a one-line reason (403); or the
// network could not be asked (503).
struct Verdict
{
    enum Outcome { Accepted, Refused, Unavailable };
    Outcome outcome = Refused;
    std::string reason;

    static Verdict accept() { return {Accepted, {}}; }
    static Verdict refuse(std::string reason) { return {Refused, std::move(reason)}; }
    static Verdict unavailable(std::string reason) { return {Unavailable, std::move(reason)}; }
};

} // namespace Pinrova::Server::Identity
