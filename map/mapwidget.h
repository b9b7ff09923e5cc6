#pragma once

#include <QPoint>
#include <QWidget>

class QToolButton;

namespace Pinrova::Map {

class SlippyMap;

// The widget that shows the map: it sizes the tile engine to itself, turns drags and arrow
// keys into panning, offers the two zoom buttons, paints the tiles and the attribution, and
// tells the program where the user is looking.
class MapWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(MapWidget)

public:
    explicit MapWidget(QWidget *parent = nullptr);
    ~MapWidget() override;

    // Moves the view without announcing it (no signal): the follower re-centres with it.
    void setCenter(qreal lat, qreal lon);
    // Stores the user's own position; it shows at the next repaint.
    void setMyPosition(qreal lat, qreal lon);
    qreal myLatitude() const { return myLat; }
    qreal myLongitude() const { return myLon; }

    int zoomLevel() const;
    void setZoomLevel(int level);

    // Wires the map to the nearby-user list once the user has signed in.
    void startUserList();

    SlippyMap *engine() const { return tileEngine; }

    // Drags shorter than this on both axes count as a tap.
    static constexpr int TapThreshold = 9;
    // Pixels an arrow key pans the map.
    static constexpr int KeyPanStep = 20;

signals:
    void userMovedMap(qreal lat, qreal lon, int zoomLevel);
    void userStoppedMovingMap(qreal lat, qreal lon, int zoomLevel);

public slots:
    void updateMap();
    void zoomIn();
    void zoomOut();
    void userClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QToolButton *createZoomButton(const QString &iconPath);
    void emitMoved();
    void emitStopped();

    // Marker layer hooks: the people on the map arrive with the nearby-user list.
    void setUpMarkerLayer();
    void createMarkerButtons();
    void updateMarkers();
    void paintMarkers(QPainter *painter);

    SlippyMap *tileEngine = nullptr;
    bool tapCandidate = false;
    QPoint lastPointerPos;
    qreal myLat = 0;
    qreal myLon = 0;
    QToolButton *zoomInButton = nullptr;
    QToolButton *zoomOutButton = nullptr;
};

} // namespace Pinrova::Map
