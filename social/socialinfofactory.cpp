#include "isocialinfo.h"

#include <array>

#include "facebookinfo.h"
#include "vkinfo.h"

namespace Pinrova::Social {

namespace {

// One slot per network type. At exit the slots are released from the last to the first.
std::array<QSharedPointer<ISocialInfo>, NetworkTypeCount> &connectorTable()
{
    static std::array<QSharedPointer<ISocialInfo>, NetworkTypeCount> table;
    return table;
}

} // namespace

QSharedPointer<ISocialInfo> socialInfoForNetwork(NetworkType type)
{
    if (type < 0 || type >= NetworkTypeCount)
        return {};
    QSharedPointer<ISocialInfo> &slot = connectorTable()[static_cast<std::size_t>(type)];
    if (!slot) {
        switch (type) {
        case Facebook:
            slot = QSharedPointer<ISocialInfo>(new FacebookInfo);
            break;
        case Vkontakte:
            slot = QSharedPointer<ISocialInfo>(new VkInfo);
            break;
        default:
            break;
        }
    }
    return slot;
}

void releaseSocialInfos()
{
    for (QSharedPointer<ISocialInfo> &slot : connectorTable())
        slot.reset();
}

} // namespace Pinrova::Social
