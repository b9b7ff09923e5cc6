#pragma once

#include <QGeoPositionInfoSourceFactory>
#include <QObject>

namespace Pinrova::Platform {

// Qt Positioning plugin "pinrova-replay": when PINROVA_POSITION_REPLAY names a readable NMEA
// log, the default position source replays it in a loop at its recorded pace. Otherwise it
// offers nothing and Qt falls through to the desktop's own plugins, which rank lower.
class ReplayPositionPlugin : public QObject, public QGeoPositionInfoSourceFactory
{
    Q_OBJECT
    Q_DISABLE_COPY(ReplayPositionPlugin)
    Q_PLUGIN_METADATA(IID "org.qt-project.qt.position.sourcefactory/5.0" FILE "replayposition.json")
    Q_INTERFACES(QGeoPositionInfoSourceFactory)

public:
    ReplayPositionPlugin() = default;

    QGeoPositionInfoSource *positionInfoSource(QObject *parent) override;
    QGeoSatelliteInfoSource *satelliteInfoSource(QObject *parent) override;
    QGeoAreaMonitorSource *areaMonitor(QObject *parent) override;
};

} // namespace Pinrova::Platform
