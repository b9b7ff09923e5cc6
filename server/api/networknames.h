#pragma once

#include <optional>
#include <string_view>

namespace Pinrova::Server {

// The service's copy of the app's network numbers (0 facebook … 4 odnoklassniki) and their
// wire names, which the app's own reader must read back (tst_appcompat checks it).
constexpr int NetworkCount = 5;

// Case-insensitive, as the app's own reader compares them.
std::optional<int> networkFromWireName(std::string_view name);
// The spelling the app reads back; network must be 0 … NetworkCount - 1.
std::string_view networkWireName(int network);

} // namespace Pinrova::Server
