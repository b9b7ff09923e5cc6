#include "mapwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QtMath>

#include <algorithm>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QWheelEvent>

#include "groupchooser.h"
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

// A group's button: the number of its people, big, on a light face inside the frame.
QPixmap drawGroupIcon(int count)
{
    QPixmap icon(MarkerPictureSize, MarkerPictureSize);
    icon.fill(QColor(250, 250, 245));
    QPainter painter(&icon);
    QFont font = painter.font();
    font.setBold(true);
    const QString text = count > 999 ? QStringLiteral("999+") : QString::number(count);
    font.setPixelSize(text.size() <= 2 ? 26 : text.size() == 3 ? 20 : 15);
    painter.setFont(font);
    painter.setPen(QColor(30, 90, 50));
    painter.drawText(icon.rect(), Qt::AlignCenter, text);
    return icon;
}

// "7", "950", "1.2k", "35k", "1.4M": short enough for a bubble.
QString crowdLabel(int count)
{
    if (count < 1000)
        return QString::number(count);
    if (count < 10000)
        return QString::number(count / 100 / 10.0, 'f', 1) + QLatin1Char('k');
    if (count < 1000000)
        return QString::number(count / 1000) + QLatin1Char('k');
    if (count < 10000000)
        return QString::number(count / 100000 / 10.0, 'f', 1) + QLatin1Char('M');
    return QString::number(count / 1000000) + QLatin1Char('M');
}

// Bubbles grow with the label, so a cell of 64 pixels holds the largest.
int crowdRadius(const QString &label)
{
    return 11 + 3 * qMin(label.size(), 5);
}

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

void MapWidget::mouseReleaseEvent(QMouseEvent *event)
{
    QPointF crowd;
    if (tapCandidate && tileEngine && crowdAt(event->pos(), &crowd)) {
        tapCandidate = false;
        // About the bubble: its place comes to the middle, where its people will show.
        setCenter(crowd.x(), crowd.y());
        emitMoved();
        setZoomLevel(zoomLevel() + CrowdZoomStep);
        return;
    }
    tapCandidate = false;
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
    // Two markers overlap while their points are closer than a marker on both axes; one pixel
    // more covers the truncation of screen coordinates.
    markerExtent = qMax(FrameOffset.x() + onlineFrameImage.width(),
                       FrameOffset.y() + onlineFrameImage.height())
        + 1;
    userList->setCrowdsWanted(grouping);
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

QVector<MarkerGroup> MapWidget::markerGroups()
{
    if (!userList)
        return {};
    userList->lockForRead();
    regroup(userList->users());
    const QVector<MarkerGroup> copy = markers;
    userList->unlock();
    return copy;
}

void MapWidget::setGroupingEnabled(bool enabled)
{
    if (grouping == enabled)
        return;
    grouping = enabled;
    userList->setCrowdsWanted(enabled);
    update();
    updateMarkers();
}

void MapWidget::regroup(const QVector<Social::NearByUser> &people)
{
    GroupedFor now;
    now.valid = true;
    now.revision = userList->revision();
    now.zoom = zoomLevel();
    now.grouping = grouping;
    if (detailsDialog && detailsDialog->isVisible())
        now.alone = detailsKey;
    if (now == groupedFor && markers.size() <= people.size())
        return;
    groupedFor = now;

    const int count = people.size();
    markers.clear();
    if (!grouping || !tileEngine) {
        // The designed layer: every person a marker of their own, in list order.
        markers.reserve(count);
        for (int i = 0; i < count; ++i) {
            MarkerGroup single;
            single.anchor = i;
            single.members = {i};
            single.online = people.at(i).online;
            markers.append(single);
        }
        return;
    }
    // Anchors are taken in the order of the people's keys, not of the list: the service orders
    // it by distance from the centre, which changes as people walk, and the groups would jump
    // with it. Ties (no key, or the same person twice) keep the list's order.
    QVector<QString> keys(count);
    QVector<int> order(count);
    for (int i = 0; i < count; ++i) {
        keys[i] = personKey(people.at(i).person);
        order[i] = i;
    }
    std::stable_sort(
        order.begin(), order.end(), [&keys](int a, int b) { return keys[a] < keys[b]; });
    QVector<QPointF> points(count);
    QVector<bool> online(count);
    int alone = -1;
    for (int k = 0; k < count; ++k) {
        const Social::NearByUser &user = people.at(order[k]);
        points[k] = worldPixel(user.lat, user.lon, now.zoom);
        online[k] = user.online;
        if (alone < 0 && !now.alone.isEmpty() && keys[order[k]] == now.alone)
            alone = k;
    }
    markers = groupMarkers(points, online, alone, markerExtent);
    for (MarkerGroup &group : markers) {
        group.anchor = order[group.anchor];
        for (int &member : group.members)
            member = order[member];
        std::sort(group.members.begin(), group.members.end());
    }
    // The buttons go to the markers of the people the service lists first, the nearest.
    std::sort(markers.begin(), markers.end(), [](const MarkerGroup &a, const MarkerGroup &b) {
        return a.members.first() < b.members.first();
    });
}

const QPixmap &MapWidget::pictureIcon(const QImage &picture)
{
    // Groups forming and splitting hand a person's picture from slot to slot at every zoom
    // step; the scaled copy is made once.
    auto found = pictureIcons.find(picture.cacheKey());
    if (found == pictureIcons.end()) {
        if (pictureIcons.size() > 2 * MarkerCount)
            pictureIcons.clear();
        found = pictureIcons.insert(picture.cacheKey(),
            QPixmap::fromImage(picture).scaledToHeight(MarkerPictureSize, Qt::FastTransformation));
    }
    return *found;
}

const QPixmap &MapWidget::groupIcon(int count)
{
    auto found = groupIcons.find(count);
    if (found == groupIcons.end()) {
        if (groupIcons.size() > 256)
            groupIcons.clear();
        found = groupIcons.insert(count, drawGroupIcon(count));
    }
    return *found;
}

const QImage &MapWidget::crowdBubble(int count)
{
    const QString label = crowdLabel(count);
    auto found = crowdBubbles.find(label);
    if (found != crowdBubbles.end())
        return *found;
    if (crowdBubbles.size() > 512)
        crowdBubbles.clear();
    const int radius = crowdRadius(label);
    QImage bubble(2 * radius + 2, 2 * radius + 2, QImage::Format_ARGB32_Premultiplied);
    bubble.fill(Qt::transparent);
    QPainter painter(&bubble);
    painter.setRenderHint(QPainter::Antialiasing);
    // Lighter than a group's frame: people counted here are not listed.
    painter.setPen(QPen(QColor(60, 110, 200, 170), 1.5));
    painter.setBrush(QColor(120, 165, 235, 110));
    painter.drawEllipse(QRectF(1, 1, 2 * radius, 2 * radius));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(QColor(20, 45, 110));
    painter.drawText(QRect(0, 0, bubble.width(), bubble.height()), Qt::AlignCenter, label);
    painter.end();
    return *crowdBubbles.insert(label, bubble);
}

void MapWidget::updateMarkers()
{
    int count = 0;
    if (userList && tileEngine) {
        userList->lockForRead();
        const QVector<Social::NearByUser> &people = userList->users();
        regroup(people);
        count = markers.size();
        const int shown = qMin(count, MarkerCount);
        for (int i = 0; i < shown; ++i) {
            const MarkerGroup &group = markers.at(i);
            const Social::NearByUser &user = people.at(group.anchor);
            MarkerSlot &slot = markerSlots[i];
            slot.button->show();
            const QPoint at = screenPoint(user.lat, user.lon) + ButtonOffset;
            if (slot.button->pos() != at)
                slot.button->move(at);
            if (group.isGroup()) {
                // No person's key has this form, so the slot takes a person's picture again
                // when it next stands for one.
                const QString key = QStringLiteral("\x1f%1").arg(group.members.size());
                if (key != slot.personKey) {
                    slot.personKey = key;
                    slot.hasPicture = true;
                    const QPixmap &icon = groupIcon(group.members.size());
                    slot.button->setIcon(icon);
                    slot.button->setIconSize(icon.size());
                }
                continue;
            }
            const QString key = personKey(user.person);
            if (key != slot.personKey) {
                slot.hasPicture = false;
                slot.personKey = key;
                slot.button->setIcon(placeholderIcon);
            }
            if (!slot.hasPicture && !user.picture.isNull()) {
                const QPixmap &picture = pictureIcon(user.picture);
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

void MapWidget::prepareCrowds()
{
    // The bubbles of an answer are looked up once: a label and a hash lookup per bubble and
    // frame would cost as much as drawing it.
    const QVector<Social::NearByCrowd> &crowds = userList->crowds();
    if (bubblesRevision == userList->revision() && bubbleImages.size() == crowds.size())
        return;
    bubblesRevision = userList->revision();
    bubbleImages.resize(crowds.size());
    for (int i = 0; i < crowds.size(); ++i)
        bubbleImages[i] = crowdBubble(crowds.at(i).count);
}

void MapWidget::paintCrowds(QPainter *painter, const QRect &rect)
{
    prepareCrowds();
    const QVector<Social::NearByCrowd> &crowds = userList->crowds();
    for (int i = 0; i < crowds.size(); ++i) {
        const QImage &bubble = bubbleImages.at(i);
        const QPoint at = screenPoint(crowds.at(i).lat, crowds.at(i).lon)
            - QPoint(bubble.width() / 2, bubble.height() / 2);
        if (rect.intersects(QRect(at, bubble.size())))
            painter->drawImage(at, bubble);
    }
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
        // Below the people: the bubbles only count who is not listed.
        paintCrowds(painter, rect);
        regroup(people);
        // A marker is the dot at the point and the frame below and right of it.
        const QSize markerSize = QSize(FrameOffset.x(), FrameOffset.y()) + onlineFrameImage.size();
        for (const MarkerGroup &group : qAsConst(markers)) {
            const Social::NearByUser &user = people.at(group.anchor);
            const QPoint at = screenPoint(user.lat, user.lon);
            if (!rect.intersects(QRect(at, markerSize)))
                continue;
            painter->drawImage(at, group.online ? onlineDotImage : offlineDotImage);
            painter->drawImage(
                at + FrameOffset, group.online ? onlineFrameImage : offlineFrameImage);
            // The number also shows where no button is left for the group.
            if (group.isGroup())
                painter->drawPixmap(at + ButtonOffset, groupIcon(group.members.size()));
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

bool MapWidget::crowdAt(const QPoint &pos, QPointF *latLon)
{
    if (!userList || !tileEngine)
        return false;
    bool hit = false;
    userList->lockForRead();
    prepareCrowds();
    const QVector<Social::NearByCrowd> &crowds = userList->crowds();
    // The last drawn is on top.
    for (int i = crowds.size() - 1; i >= 0 && !hit; --i) {
        const Social::NearByCrowd &crowd = crowds.at(i);
        const int radius = bubbleImages.at(i).width() / 2 - 1;
        const QPoint d = pos - screenPoint(crowd.lat, crowd.lon);
        if (qint64(d.x()) * d.x() + qint64(d.y()) * d.y() <= qint64(radius) * radius) {
            *latLon = QPointF(crowd.lat, crowd.lon);
            hit = true;
        }
    }
    userList->unlock();
    return hit;
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

    // Copies, so that nothing is called with the list locked.
    QVector<Social::NearByUser> chosen;
    userList->lockForRead();
    const QVector<Social::NearByUser> &people = userList->users();
    regroup(people);
    if (index < markers.size()) {
        for (const int member : markers.at(index).members)
            chosen.append(people.at(member));
    }
    userList->unlock();

    if (chosen.size() == 1)
        openDetails(chosen.first());
    else if (chosen.size() > 1)
        openGroup(chosen);
}

void MapWidget::openDetails(const Social::NearByUser &user)
{
    if (!detailsDialog) {
        // A window of its own; without a parent widget the map keeps it.
        detailsDialog = new MapUserInfo(parentWidget() ? parentWidget() : this);
        // Its person leaves their group while it shows, and may join one again when it closes.
        detailsDialog->installEventFilter(this);
    }
    detailsKey = personKey(user.person);
    detailsDialog->setPerson(user.person, user.online);
    detailsDialog->show();
    updateMarkers();
    update();
}

void MapWidget::openGroup(const QVector<Social::NearByUser> &people)
{
    const int zoom = zoomLevel();
    QVector<QPointF> positions;
    positions.reserve(people.size());
    qreal minLat = 90, maxLat = -90, minLon = 180, maxLon = -180;
    for (const Social::NearByUser &user : people) {
        positions.append(QPointF(user.lat, user.lon));
        minLat = qMin(minLat, user.lat);
        maxLat = qMax(maxLat, user.lat);
        minLon = qMin(minLon, user.lon);
        maxLon = qMax(maxLon, user.lon);
    }
    if (zoom >= MaximumZoom) {
        showChooser(people);
        return;
    }
    const int split = splitZoom(positions, zoom, MaximumZoom, markerExtent);
    // About the group: its middle is where its people spread out from.
    setCenter((minLat + maxLat) / 2, (minLon + maxLon) / 2);
    // The user moved the map: following the own position ends, as with a drag.
    emitMoved();
    setZoomLevel(split > 0 ? split : MaximumZoom);
    // People at one spot stay a group at every level: choose among them at once.
    if (split == 0)
        showChooser(people);
}

void MapWidget::showChooser(const QVector<Social::NearByUser> &people)
{
    if (!groupChooser) {
        groupChooser = new GroupChooser(parentWidget() ? parentWidget() : this);
        connect(groupChooser, &GroupChooser::personChosen, this, &MapWidget::openDetails);
    }
    groupChooser->setPeople(people, placeholderIcon);
    groupChooser->show();
    groupChooser->raise();
}

GroupChooser *MapWidget::chooser() const
{
    return groupChooser.data();
}

bool MapWidget::eventFilter(QObject *watched, QEvent *event)
{
    // Only when the markers are those of the list as it is: a list the map has not taken in
    // yet is taken in, buttons and all, when it announces itself.
    if (watched == detailsDialog && event->type() == QEvent::Hide && userList && groupedFor.valid
        && !groupedFor.alone.isEmpty() && groupedFor.revision == userList->revision()) {
        update();
        updateMarkers();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace Pinrova::Map
