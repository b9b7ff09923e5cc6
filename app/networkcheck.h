#pragma once

class QString;

// Whether the handset has a packet-data configuration the application can use: the default
// configuration must be valid, and unless the platform can bring interfaces up itself it must
// already be active.
bool networkConfigurationUsable(
    bool canStartAndStopInterfaces, bool defaultValid, bool defaultActive);

// The same decision, read from the platform's bearer management.
bool defaultNetworkConfigurationUsable();

// Whether a server's base address names this machine ("localhost", 127.0.0.0/8, ::1).
bool isLoopbackAddress(const QString &baseUrl);

// Whether every server the application talks to (tiles, position service, both networks) is on
// this machine. Then no network needs to come up: Qt's generic bearer ignores loopback, so the
// check above fails on a machine that has nothing else, such as a laptop in flight mode.
bool everyServerIsLocal();

// The window's decision: a usable default configuration, or no need for one.
bool networkUsable();
