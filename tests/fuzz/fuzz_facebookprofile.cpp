// A Graph "/me" answer.
#include <QByteArray>

#include <cstddef>
#include <cstdint>

#include "facebookinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const Person person = Pinrova::Social::parseFacebookProfile(json);
    (void)person.smallPicture.toString();
    return 0;
}
