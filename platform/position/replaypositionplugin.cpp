#include "replaypositionplugin.h"

#include <QNmeaPositionInfoSource>
#include <QtGlobal>

#include "loopingnmeafile.h"

namespace Pinrova::Platform {

QGeoPositionInfoSource *ReplayPositionPlugin::positionInfoSource(QObject *parent)
{
    const QString fileName = qEnvironmentVariable("PINROVA_POSITION_REPLAY");
    if (fileName.isEmpty())
        return nullptr;
    auto *track = new LoopingNmeaFile(fileName);
    if (!track->open(QIODevice::ReadOnly)) {
        qWarning("pinrova-replay: cannot read %s, leaving positions to the desktop's source",
            qPrintable(fileName));
        delete track;
        return nullptr;
    }
    auto *source = new QNmeaPositionInfoSource(QNmeaPositionInfoSource::SimulationMode, parent);
    track->setParent(source);
    source->setDevice(track);
    return source;
}

QGeoSatelliteInfoSource *ReplayPositionPlugin::satelliteInfoSource(QObject *)
{
    return nullptr;
}

QGeoAreaMonitorSource *ReplayPositionPlugin::areaMonitor(QObject *)
{
    return nullptr;
}

} // namespace Pinrova::Platform
