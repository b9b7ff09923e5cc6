#pragma once

#include <QLatin1String>

namespace Pinrova::Platform::Mce {

// The mode-control service's published names; clients address it with exactly these.
inline const QLatin1String service("com.nokia.mce");
inline const QLatin1String requestPath("/com/nokia/mce/request");
inline const QLatin1String requestInterface("com.nokia.mce.request");
inline const QLatin1String signalPath("/com/nokia/mce/signal");
inline const QLatin1String signalInterface("com.nokia.mce.signal");
inline const QLatin1String getDisplayStatus("get_display_status");
inline const QLatin1String displayStatusInd("display_status_ind");
// Ours, not the handset's: lets tests and the demo change the state.
inline const QLatin1String setDisplayStatus("set_display_status");

} // namespace Pinrova::Platform::Mce
