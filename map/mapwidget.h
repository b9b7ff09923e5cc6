#pragma once

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

#include "markergroups.h"
#include "nearbyuser.h"

class MapUserInfo;
class QToolButton;

namespace Pinrova::Social {
class NearByUserList;
}

namespace Pinrova::Map {

class GroupChooser;
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
    Social::NearByUserList *users() const { return userList; }
    MapUserInfo *details() const;
    // The chooser a tap on a group that cannot split opens; null until the first.
    GroupChooser *chooser() const;
    // Where a position lands in this widget, with the tiles.
    QPoint screenPoint(qreal lat, qreal lon) const;

    // People whose markers would overlap are drawn as one group, and the service's count of
    // the view beyond its list as bubbles; off gives one marker per person and no bubbles.
    void setGroupingEnabled(bool enabled);
    bool groupingEnabled() const { return grouping; }
    // The markers as drawn now: marker i has the button named QString::number(i) while i is
    // below MarkerCount. A copy, valid for the list as it is now.
    QVector<MarkerGroup> markerGroups();

    static constexpr int MarkerCount = 100;
    // A tap on a crowd bubble zooms in by this many levels.
    static constexpr int CrowdZoomStep = 2;

    // Drags shorter than this on both axes count as a tap.
    static constexpr int TapThreshold = 9;
    // Pixels an arrow key pans the map.
    static constexpr int KeyPanStep = 20;
    // One notch of a mouse wheel in angleDelta() units; a trackpad sends smaller steps.
    static constexpr int WheelNotch = 120;

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
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QToolButton *createZoomButton(const QString &iconPath);
    // A zoom change that keeps the map point under anchor (widget pixels) where it is.
    void zoomAbout(int level, const QPoint &anchor);
    void emitMoved();
    void emitStopped();

    // The marker layer: the people of the nearby-user list, or the own position while nobody
    // is near.
    void setUpMarkerLayer();
    void createMarkerButtons();
    void updateMarkers();
    void paintMarkers(QPainter *painter, const QRect &rect);
    void paintCrowds(QPainter *painter, const QRect &rect);
    void prepareCrowds(); // with the list locked for reading

    // Brings markers in line with the list, the zoom, the open details and the setting;
    // call with the list locked for reading.
    void regroup(const QVector<Social::NearByUser> &people);
    void openDetails(const Social::NearByUser &user);
    void openGroup(const QVector<Social::NearByUser> &people);
    void showChooser(const QVector<Social::NearByUser> &people);
    // The crowd bubble under a widget point, if any: true and its position.
    bool crowdAt(const QPoint &pos, QPointF *latLon);
    const QPixmap &groupIcon(int count);
    const QPixmap &pictureIcon(const QImage &picture);
    const QImage &crowdBubble(int count);
    bool eventFilter(QObject *watched, QEvent *event) override;

    // One picture button and whom it stands for.
    struct MarkerSlot
    {
        QToolButton *button = nullptr;
        bool hasPicture = false; // the person's own picture is the icon
        QString personKey; // the person's id on their own network
    };

    SlippyMap *tileEngine = nullptr;
    bool tapCandidate = false;
    QPoint lastPointerPos;
    qreal myLat = 0;
    qreal myLon = 0;
    QToolButton *zoomInButton = nullptr;
    QToolButton *zoomOutButton = nullptr;
    int wheelRemainder = 0; // angleDelta() units not yet worth a zoom step

    Social::NearByUserList *userList = nullptr;
    QImage onlineDotImage;
    QImage offlineDotImage;
    QImage onlineFrameImage;
    QImage offlineFrameImage;
    QImage personPlaceholderImage;
    QImage userPositionImage;
    QPixmap placeholderIcon; // personPlaceholderImage as every empty button shows it
    QVector<MarkerSlot> markerSlots;
    QPointer<MapUserInfo> detailsDialog;
    QPointer<GroupChooser> groupChooser;
    QString detailsKey; // whose details the dialog shows; they never join a group

    bool grouping = true;
    QVector<MarkerGroup> markers;
    // What markers were worked out for; any change works them out again.
    struct GroupedFor
    {
        bool valid = false;
        quint64 revision = 0;
        int zoom = 0;
        bool grouping = true;
        QString alone;
        bool operator==(const GroupedFor &o) const
        {
            return valid == o.valid && revision == o.revision && zoom == o.zoom
                && grouping == o.grouping && alone == o.alone;
        }
    } groupedFor;
    qreal markerExtent = 77;
    // Drawn once per number: every repaint would lay out the same text again otherwise.
    QHash<int, QPixmap> groupIcons;
    QHash<qint64, QPixmap> pictureIcons; // by QImage::cacheKey()
    QHash<QString, QImage> crowdBubbles; // by label
    QVector<QImage> bubbleImages; // the list's crowds' bubbles, in its order
    quint64 bubblesRevision = 0;
};

} // namespace Pinrova::Map
