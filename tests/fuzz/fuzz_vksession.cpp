// The session JSON in the query of VKontakte's success page.
#include <QByteArray>

#include <cstddef>
#include <cstdint>

#include "vkinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const Pinrova::Social::VkSession session = Pinrova::Social::parseVkSession(json);
    // What the next API call signs with.
    (void)Pinrova::Social::vkSignatureInput(
        session.mid, QStringLiteral("1"), session.mid, session.secret);
    return 0;
}
