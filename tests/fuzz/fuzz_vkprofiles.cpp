// A "getProfiles" answer.
#include <QByteArray>

#include <cstddef>
#include <cstdint>

#include "vkinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QVector<Person> people = Pinrova::Social::parseVkProfiles(json);
    for (const Person &person : people)
        (void)person.smallPicture.toString();
    return 0;
}
