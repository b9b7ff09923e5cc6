#include "mapwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QWheelEvent>

#include "handsetwindow.h"
#include "mapuserinfo.h"
#include "nearbyuserlist.h"
#include "slippymap.h"

namespace Pinrova::Map {

namespace {

constexpr int ZoomButtonHeight = 42;
constexpr int MarkerPictureSize = 50;
// Marker parts relative to the person's point: dot, frame, picture button.
const QPoint FrameOffset(7, 7);
const QPoint ButtonOffset(12, 12);

QString personKey(const Person &person)
{
    const int network = person.networkType;
    return network >= 0 && network < NetworkTypeCount ? person.userIds[network] : QString();
}
const QPoint ZoomInButtonPos(5, 7);
const QPoint ZoomOutButtonPos(5, 103);

// The tile server's terms ask for this credit on every map.
QString attributionText()
{
    return QStringLiteral("Map (c) by OpenStreetMap.org (and) contributors, CC-BY-SA.");
}

} // namespace

MapWidget::MapWidget(QWidget *parent)
    : QWidget(parent)
{
    Platform::setHandsetAttributes(this, Platform::HandsetAttribute::AutoOrientation);
    setAttribute(Qt::WA_TranslucentBackground, true);
    // The arrow and zoom keys act on the map, so it takes the focus when clicked.
    setFocusPolicy(Qt::StrongFocus);

    tileEngine = new SlippyMap(this);
    connect(tileEngine, &SlippyMap::updated, this, &MapWidget::updateMap);

    setUpMarkerLayer();

    zoomInButton = createZoomButton(QStringLiteral(":/Icons/Map/ZoomIn.png"));
    connect(zoomInButton, &QToolButton::clicked, this, &MapWidget::zoomIn);
    zoomOutButton = createZoomButton(QStringLiteral(":/Icons/Map/ZoomOut.png"));
    connect(zoomOutButton, &QToolButton::clicked, this, &MapWidget::zoomOut);

    createMarkerButtons();
}

MapWidget::~MapWidget() = default;

QToolButton *MapWidget::createZoomButton(const QString &iconPath)
{
    auto *button = new QToolButton(this);
    // A focused tool button would take the arrow keys to move focus instead of the map.
    button->setFocusPolicy(Qt::NoFocus);
    const QPixmap picture(iconPath);
    if (!picture.isNull()) {
        const QPixmap face = picture.scaledToHeight(ZoomButtonHeight, Qt::FastTransformation);
        button->setIcon(face);
        button->setIconSize(face.size());
    }
    button->setStyleSheet(
        QStringLiteral("QToolButton { border: none; padding: 0px; width: 42px; height: 42px; }"));
    return button;
}

void MapWidget::setCenter(qreal lat, qreal lon)
{
    if (!tileEngine)
        return;
    tileEngine->setCenter(lat, lon);
    tileEngine->relayout();
    // The list looks where the map shows, also when the follower moved it: the next refresh
    // asks about the new centre, without a request of its own now.
    userList->setPlace(tileEngine->latitude(), tileEngine->longitude(), tileEngine->zoomLevel());
    update();
    updateMarkers();
}

void MapWidget::setMyPosition(qreal lat, qreal lon)
{
    myLat = lat;
    myLon = lon;
}

int MapWidget::zoomLevel() const
{
    return tileEngine ? tileEngine->zoomLevel() : 0;
}

void MapWidget::setZoomLevel(int level)
{
    zoomAbout(level, rect().center());
}

void MapWidget::zoomAbout(int level, const QPoint &anchor)
{
    if (!tileEngine)
        return;
    const int before = tileEngine->zoomLevel();
    tileEngine->setZoom(level);
    const int step = tileEngine->zoomLevel() - before;
    if (step == 1 || step == -1) {
        // The anchor's point moved from d to d * 2^step away from the centre; panning by the
        // difference brings it back under the anchor.
        const QPoint d = anchor - QPoint(width() / 2, height() / 2);
        tileEngine->panBy(step > 0 ? -d : d / 2);
    }
    tileEngine->relayout();
    update();
    updateMarkers();
    emitStopped();
}

void MapWidget::updateMap()
{
    update();
    updateMarkers();
}

void MapWidget::zoomIn()
{
    setZoomLevel(zoomLevel() + 1);
}

void MapWidget::zoomOut()
{
    setZoomLevel(zoomLevel() - 1);
}

void MapWidget::emitMoved()
{
    emit userMovedMap(tileEngine->latitude(), tileEngine->longitude(), tileEngine->zoomLevel());
}

void MapWidget::emitStopped()
{
    emit userStoppedMovingMap(
        tileEngine->latitude(), tileEngine->longitude(), tileEngine->zoomLevel());
}

void MapWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::LeftButton)
        return;
    tapCandidate = true;
    lastPointerPos = event->pos();
}

void MapWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() == Qt::NoButton || !tileEngine)
        return;
    const QPoint delta = event->pos() - lastPointerPos;
    if (tapCandidate) {
        // The event that leaves the tap square only ends the tap; panning starts with the next
        // one and then covers all movement since the press.
        tapCandidate = qAbs(delta.x()) <= TapThreshold && qAbs(delta.y()) <= TapThreshold;
    } else {
        lastPointerPos = event->pos();
        tileEngine->panBy(delta);
        emitMoved();
    }
    updateMarkers();
}

void MapWidget::mouseReleaseEvent(QMouseEvent *)
{
    if (tileEngine)
        emitStopped();
    update();
    updateMarkers();
}

void MapWidget::keyPressEvent(QKeyEvent *event)
{
    if (!tileEngine)
        return;
    QPoint delta;
    switch (event->key()) {
    case Qt::Key_Left:
        delta = QPoint(KeyPanStep, 0);
        break;
    case Qt::Key_Right:
        delta = QPoint(-KeyPanStep, 0);
        break;
    case Qt::Key_Up:
        delta = QPoint(0, KeyPanStep);
        break;
    case Qt::Key_Down:
        delta = QPoint(0, -KeyPanStep);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: // "+" without Shift on most layouts
        zoomIn();
        return;
    case Qt::Key_Minus:
        zoomOut();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    tileEngine->panBy(delta);
    emitMoved();
}

void MapWidget::wheelEvent(QWheelEvent *event)
{
    const int dy = event->angleDelta().y();
    if (!tileEngine || dy == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    // A turn the other way starts afresh rather than first undoing the remainder.
    if ((dy > 0) != (wheelRemainder > 0))
        wheelRemainder = 0;
    wheelRemainder += dy;
    const QPoint anchor = event->position().toPoint();
    while (qAbs(wheelRemainder) >= WheelNotch) {
        const int step = wheelRemainder > 0 ? 1 : -1;
        wheelRemainder -= step * WheelNotch;
        zoomAbout(zoomLevel() + step, anchor);
    }
    event->accept();
}

void MapWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (tileEngine)
        tileEngine->paintTiles(&painter, event->rect());
    paintMarkers(&painter, event->rect());

    painter.setPen(Qt::black);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.drawText(rect(), Qt::AlignBottom | Qt::TextWordWrap, attributionText());
    painter.end();
}

void MapWidget::resizeEvent(QResizeEvent *)
{
    zoomInButton->move(ZoomInButtonPos);
    zoomOutButton->move(ZoomOutButtonPos);
    if (tileEngine) {
        tileEngine->setViewSize(size());
        tileEngine->relayout();
    }
    userList->setViewSize(size());
    update();
    updateMarkers();
}

void MapWidget::showEvent(QShowEvent *)
{
    update();
    updateMarkers();
}

MapUserInfo *MapWidget::details() const
{
    return detailsDialog.data();
}

QPoint MapWidget::screenPoint(qreal lat, qreal lon) const
{
    const int zoom = tileEngine->zoomLevel();
    const QPointF centre = coordinateToTile(tileEngine->latitude(), tileEngine->longitude(), zoom);
    const QPointF point = coordinateToTile(lat, lon, zoom);
    return QPoint(screenCoordinate(width() / 2, (centre.x() - point.x()) * TileSize),
        screenCoordinate(height() / 2, (centre.y() - point.y()) * TileSize));
}

void MapWidget::startUserList()
{
    if (!tileEngine)
        return;
    tileEngine->relayout();
    userList->setViewSize(size());
    // Unique: a second start must not ask for every list twice.
    connect(this, &MapWidget::userStoppedMovingMap, userList,
        qOverload<qreal, qreal, int>(&Social::NearByUserList::updateUserList),
        Qt::UniqueConnection);
    connect(userList, &Social::NearByUserList::userListChanged, this, &MapWidget::updateMap,
        Qt::UniqueConnection);
    // The first list is about what the map shows now.
    userList->updateUserList(
        tileEngine->latitude(), tileEngine->longitude(), tileEngine->zoomLevel());
}

void MapWidget::setUpMarkerLayer()
{
    userList = new Social::NearByUserList(this);
    // Premultiplied once here: the raster painter would convert them on every draw otherwise.
    const auto artwork = [](const QString &path) {
        return QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    onlineDotImage = artwork(QStringLiteral(":/Icons/Map/DotOnline.png"));
    offlineDotImage = artwork(QStringLiteral(":/Icons/Map/DotOffline.png"));
    onlineFrameImage = artwork(QStringLiteral(":/Icons/Map/FrameOnline.png"));
    offlineFrameImage = artwork(QStringLiteral(":/Icons/Map/FrameOffline.png"));
    personPlaceholderImage.load(QStringLiteral(":/Icons/Map/Person.png"));
    if (!personPlaceholderImage.isNull())
        personPlaceholderImage
            = personPlaceholderImage.scaledToWidth(MarkerPictureSize, Qt::FastTransformation);
    // The own position gets a marker of its own, so it is not mistaken for an online person.
    userPositionImage.load(QStringLiteral(":/Icons/Map/UserPos.png"));
    if (!userPositionImage.isNull())
        userPositionImage
            = userPositionImage.scaled(18, 18, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!personPlaceholderImage.isNull())
        placeholderIcon = QPixmap::fromImage(personPlaceholderImage)
                              .scaledToHeight(MarkerPictureSize, Qt::FastTransformation);
}

void MapWidget::createMarkerButtons()
{
    markerSlots.resize(MarkerCount);
    for (int i = 0; i < MarkerCount; ++i) {
        auto *button = new QToolButton(this);
        button->setObjectName(QString::number(i));
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(placeholderIcon);
        button->setIconSize(placeholderIcon.size());
        button->setStyleSheet(QStringLiteral(
            "QToolButton { border: none; padding: 0px; width: 50px; height: 50px; }"));
        button->hide();
        connect(button, &QToolButton::clicked, this, &MapWidget::userClicked);
        markerSlots[i].button = button;
    }
}

void MapWidget::updateMarkers()
{
    int count = 0;
    if (userList && tileEngine) {
        userList->lockForRead();
        const QVector<Social::NearByUser> &people = userList->users();
        count = people.size();
        const int shown = qMin(count, MarkerCount);
        for (int i = 0; i < shown; ++i) {
            const Social::NearByUser &user = people.at(i);
            MarkerSlot &slot = markerSlots[i];
            slot.button->show();
            const QPoint at = screenPoint(user.lat, user.lon) + ButtonOffset;
            if (slot.button->pos() != at)
                slot.button->move(at);
            const QString key = personKey(user.person);
            if (key != slot.personKey) {
                slot.hasPicture = false;
                slot.personKey = key;
                slot.button->setIcon(placeholderIcon);
            }
            if (!slot.hasPicture && !user.picture.isNull()) {
                const QPixmap picture
                    = QPixmap::fromImage(user.picture)
                          .scaledToHeight(MarkerPictureSize, Qt::FastTransformation);
                slot.button->setIcon(picture);
                slot.button->setIconSize(picture.size());
                slot.hasPicture = true;
            }
        }
        userList->unlock();
    }
    for (int i = count; i < markerSlots.size(); ++i) {
        if (markerSlots[i].button->isVisible())
            markerSlots[i].button->hide();
    }
    // Zoom buttons stay above the markers.
    zoomInButton->raise();
    zoomOutButton->raise();
}

void MapWidget::paintMarkers(QPainter *painter, const QRect &rect)
{
    if (!tileEngine)
        return;
    bool anybody = false;
    if (userList) {
        userList->lockForRead();
        const QVector<Social::NearByUser> &people = userList->users();
        anybody = !people.isEmpty();
        // A marker is the dot at the point and the frame below and right of it.
        const QSize markerSize = QSize(FrameOffset.x(), FrameOffset.y()) + onlineFrameImage.size();
        for (const Social::NearByUser &user : people) {
            const QPoint at = screenPoint(user.lat, user.lon);
            if (!rect.intersects(QRect(at, markerSize)))
                continue;
            painter->drawImage(at, user.online ? onlineDotImage : offlineDotImage);
            painter->drawImage(
                at + FrameOffset, user.online ? onlineFrameImage : offlineFrameImage);
        }
        userList->unlock();
    }
    if (!anybody) {
        const QPoint me = screenPoint(myLat, myLon);
        painter->drawImage(
            me - QPoint(userPositionImage.width() / 2, userPositionImage.height() / 2),
            userPositionImage);
    }
}

void MapWidget::userClicked()
{
    auto *button = qobject_cast<QToolButton *>(sender());
    if (!button || !userList)
        return;
    bool isNumber = false;
    const int index = button->objectName().toInt(&isNumber, 10);
    if (!isNumber || index < 0)
        return;

    userList->lockForRead();
    if (index >= userList->users().size()) {
        userList->unlock();
        return;
    }
    const Person person = userList->users().at(index).person;
    const bool online = userList->users().at(index).online;
    userList->unlock();

    if (!detailsDialog) {
        // A window of its own; without a parent widget the map keeps it.
        detailsDialog = new MapUserInfo(parentWidget() ? parentWidget() : this);
    }
    detailsDialog->setPerson(person, online);
    detailsDialog->show();
}

} // namespace Pinrova::Map
