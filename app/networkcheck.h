#pragma once

// Whether the handset has a packet-data configuration the application can use: the default
// configuration must be valid, and unless the platform can bring interfaces up itself it must
// already be active.
bool networkConfigurationUsable(
    bool canStartAndStopInterfaces, bool defaultValid, bool defaultActive);

// The same decision, read from the platform's bearer management.
bool defaultNetworkConfigurationUsable();
