// The fragment of the Facebook dialog's redirect, as the web view's address gives it.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "facebookinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString fragment
        = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const auto taken = Pinrova::Social::parseFacebookFragment(fragment);
    // A token taken is never empty and always comes from the fragment.
    if (taken && (taken->token.isEmpty() || !fragment.contains(taken->token)))
        std::abort();
    return 0;
}
