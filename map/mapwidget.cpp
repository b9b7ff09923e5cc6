#include "mapwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>

#include "handsetwindow.h"
#include "slippymap.h"

namespace Pinrova::Map {

namespace {

constexpr int ZoomButtonHeight = 42;
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
    if (!tileEngine)
        return;
    tileEngine->setZoom(level);
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
    default:
        return;
    }
    tileEngine->panBy(delta);
    emitMoved();
}

void MapWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (tileEngine)
        tileEngine->paintTiles(&painter, event->rect());
    paintMarkers(&painter);

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
    update();
    updateMarkers();
}

void MapWidget::showEvent(QShowEvent *)
{
    update();
    updateMarkers();
}

void MapWidget::startUserList()
{
    // The nearby-user list is not part of the map yet; until it is, this only lays out again.
    if (tileEngine)
        tileEngine->relayout();
}

void MapWidget::userClicked() { }

void MapWidget::setUpMarkerLayer() { }

void MapWidget::createMarkerButtons() { }

void MapWidget::updateMarkers()
{
    // Zoom buttons stay above whatever the marker layer places.
    zoomInButton->raise();
    zoomOutButton->raise();
}

void MapWidget::paintMarkers(QPainter *painter)
{
    Q_UNUSED(painter)
}

} // namespace Pinrova::Map
