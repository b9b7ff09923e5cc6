#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QSettings>
#include <QString>

#include <memory>

#include "privatebus.h"
#include "testsupport.h"

namespace Pinrova::Testing {

// What a test of the whole application sets up before anything in the process connects to a
// bus: a first start (no stored installation identifier), a private system bus with
// pinrova-mce on it, and the replay position plugin on the walk round the default centre.
// Empty on success, else what failed.
inline QString prepareWholeApp(std::unique_ptr<PrivateBus> &bus)
{
    useCleanTestPaths();
    QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova")).remove(QStringLiteral("UID"));
    bus = std::make_unique<PrivateBus>();
    if (!bus->isValid())
        return bus->error();
    bus->exportAsSystemBus();
    if (!bus->startMce())
        return bus->error();
    QCoreApplication::addLibraryPath(QStringLiteral(PINROVA_PLUGIN_DIR));
    qputenv("PINROVA_POSITION_REPLAY", QByteArray(PINROVA_TRACK));
    return {};
}

} // namespace Pinrova::Testing
