#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QDBusInterface>
#include <QDBusPendingCall>
#include <QGeoPositionInfoSource>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

#include "about.h"
#include "connectivityhelper.h"
#include "follower.h"
#include "handsetwindow.h"
#include "installationid.h"
#include "isocialinfo.h"
#include "loginwidget.h"
#include "mapwidget.h"
#include "networkcheck.h"
#include "nearbyuserlist.h"

// Qt's bearer classes are deprecated in 5.15 but are the session API this program is built on.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfigurationManager>
#include <QNetworkSession>

namespace {

// The handset's mode-control service.
const QString MceService = QStringLiteral("com.nokia.mce");
const QString MceRequestPath = QStringLiteral("/com/nokia/mce/request");
const QString MceRequestInterface = QStringLiteral("com.nokia.mce.request");
const QString MceSignalPath = QStringLiteral("/com/nokia/mce/signal");
const QString MceSignalInterface = QStringLiteral("com.nokia.mce.signal");
const QString DisplayStatusSignal = QStringLiteral("display_status_ind");
const QString DisplayStatusMethod = QStringLiteral("get_display_status");

// The user's privacy choices, kept across runs.
const QString ShownKey = QStringLiteral("ShowMeToOthers");
const QString ApproximateKey = QStringLiteral("ApproximatePosition");

QSettings settings()
{
    return QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"));
}

} // namespace

void Ui::MainWindow::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(800, 480);
    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    horizontalLayout = new QHBoxLayout(centralWidget);
    horizontalLayout->setSpacing(6);
    horizontalLayout->setContentsMargins(11, 11, 11, 11);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setSpacing(6);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    horizontalLayout->addLayout(verticalLayout, 0);
    window->setCentralWidget(centralWidget);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void Ui::MainWindow::retranslateUi(QMainWindow *window)
{
    window->setWindowTitle(::MainWindow::tr("Pinrova"));
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , systemBus(QDBusConnection::systemBus())
{
    ui->setupUi(this);
    Pinrova::Platform::setHandsetAttributes(this,
        Pinrova::Platform::HandsetAttribute::AutoOrientation
            | Pinrova::Platform::HandsetAttribute::StackedWindow);

    auto *followAction = new QAction(tr("Follow me"), this);
    connect(followAction, &QAction::triggered, this, &MainWindow::toggleFollowMode);
    menuBar()->addAction(followAction);

    connectingLabel = new QLabel(tr("Connecting..."), this);
    ui->verticalLayout->addWidget(connectingLabel, 0);

    if (defaultNetworkConfigurationUsable()) {
        {
            const QNetworkConfigurationManager manager;
            networkSession = new QNetworkSession(manager.defaultConfiguration(), this);
        }
        connectivityHelper = new ConnectivityHelper(networkSession, this);
        // Queued: on an already active configuration the session reports opened() from inside
        // open(), before the map exists; the chooser belongs below the map.
        connect(networkSession, &QNetworkSession::opened, this, &MainWindow::networkSessionOpened,
            Qt::QueuedConnection);
        connect(connectivityHelper, &ConnectivityHelper::networkingCancelled, qApp,
            &QCoreApplication::quit);
        networkSession->open();
    } else if (everyServerIsLocal()) {
        // Nothing to bring up: go on as if the session had opened, after the map exists.
        QTimer::singleShot(0, this, &MainWindow::networkSessionOpened);
    } else {
        networkSetupErrorText = tr("This example requires networking, and no available networks or "
                                   "access points could be found.");
        QTimer::singleShot(0, this, &MainWindow::networkSetupError);
        return;
    }

    mapWidget = new Pinrova::Map::MapWidget(this);
    ui->verticalLayout->addWidget(mapWidget, 0);
    mapWidget->setVisible(false);

    // Checkable and remembered; off shows every person's own marker and no crowd.
    auto *groupAction = new QAction(tr("Group nearby people"), this);
    groupAction->setObjectName(QStringLiteral("groupNearbyAction"));
    groupAction->setCheckable(true);
    {
        const QSettings settings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"));
        groupAction->setChecked(settings.value(QStringLiteral("GroupNearbyPeople"), true).toBool());
    }
    mapWidget->setGroupingEnabled(groupAction->isChecked());
    connect(groupAction, &QAction::toggled, this, [this](bool on) {
        QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"))
            .setValue(QStringLiteral("GroupNearbyPeople"), on);
        mapWidget->setGroupingEnabled(on);
    });

    {
        QSettings settings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"));
        uid = readInstallationId(settings);
    }

    // The source is the window's child; without one the follower warns the user.
    QGeoPositionInfoSource *source = QGeoPositionInfoSource::createDefaultSource(this);
    follower = new Pinrova::Map::Follower(mapWidget, source, this);
    // The list asks the service only with the follower's key, and a refused key registers anew.
    connect(follower, &Pinrova::Map::Follower::sessionKeyChanged, mapWidget->users(),
        &Pinrova::Social::NearByUserList::setSessionKey);
    connect(mapWidget->users(), &Pinrova::Social::NearByUserList::sessionKeyRefused, follower,
        &Pinrova::Map::Follower::registerAgain);
    connect(follower, &Pinrova::Map::Follower::forgetFinished, this, &MainWindow::forgetFinished);
    addPrivacyEntries();
    menuBar()->addAction(groupAction);

    menuBar()->addAction(tr("About"), this, &MainWindow::showAbout);

    watchDisplayState();
}

MainWindow::~MainWindow()
{
    cleanUp();
    Pinrova::Social::releaseSocialInfos();
    delete ui;
}

void MainWindow::addPrivacyEntries()
{
    const bool shown = settings().value(ShownKey, true).toBool();
    const bool approximate = settings().value(ApproximateKey, false).toBool();
    follower->setShown(shown);
    follower->setApproximate(approximate);

    auto *showAction = new QAction(tr("Show me to others"), this);
    showAction->setObjectName(QStringLiteral("showMeAction"));
    showAction->setCheckable(true);
    showAction->setChecked(shown);
    connect(showAction, &QAction::toggled, this, &MainWindow::setShownToOthers);
    menuBar()->addAction(showAction);

    auto *approximateAction = new QAction(tr("Approximate position"), this);
    approximateAction->setObjectName(QStringLiteral("approximateAction"));
    approximateAction->setCheckable(true);
    approximateAction->setChecked(approximate);
    connect(approximateAction, &QAction::toggled, this, &MainWindow::setApproximatePosition);
    menuBar()->addAction(approximateAction);

    auto *forgetAction = new QAction(tr("Forget me..."), this);
    forgetAction->setObjectName(QStringLiteral("forgetAction"));
    connect(forgetAction, &QAction::triggered, this, &MainWindow::askToForget);
    menuBar()->addAction(forgetAction);
}

void MainWindow::setShownToOthers(bool shown)
{
    settings().setValue(ShownKey, shown);
    if (follower)
        follower->setShown(shown);
}

void MainWindow::setApproximatePosition(bool approximate)
{
    settings().setValue(ApproximateKey, approximate);
    if (follower)
        follower->setApproximate(approximate);
}

void MainWindow::askToForget()
{
    if (!follower)
        return;
    // Not modal to the caller's loop, like every box of this window that the service answers.
    auto *box = new QMessageBox(QMessageBox::Question, tr("Pinrova"),
        tr("The position service will delete your name, your positions and your sign-in. "
           "Forget you?"),
        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("forgetQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (follower && box->clickedButton() == box->button(QMessageBox::Yes))
            follower->forgetMe();
    });
    box->open();
}

void MainWindow::forgetFinished(bool forgotten)
{
    auto *box = new QMessageBox(forgotten ? QMessageBox::Information : QMessageBox::Warning,
        tr("Pinrova"),
        forgotten ? tr("The position service has forgotten you.")
                  : tr("The position service could not forget you. Try again later."),
        QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::watchDisplayState()
{
    mceRequestInterface
        = new QDBusInterface(MceService, MceRequestPath, MceRequestInterface, systemBus, this);
    systemBus.connect(MceService, MceSignalPath, MceSignalInterface, DisplayStatusSignal, this,
        SLOT(displayStateChanged(QDBusMessage)));
    mceRequestInterface->callWithCallback(DisplayStatusMethod, QList<QVariant>(), this,
        SLOT(setDisplayState(QString)), SLOT(displayStateError(QDBusError)));
}

void MainWindow::toggleFollowMode()
{
    if (!follower)
        return;
    if (follower->isFollowing())
        follower->stopFollowing();
    else
        follower->startFollowing();
}

void MainWindow::zoomIn()
{
    if (mapWidget)
        mapWidget->setZoomLevel(mapWidget->zoomLevel() + 1);
}

void MainWindow::zoomOut()
{
    if (mapWidget)
        mapWidget->setZoomLevel(mapWidget->zoomLevel() - 1);
}

void MainWindow::loginResult(bool result)
{
    if (!result) {
        close();
        return;
    }
    if (loginWidget) {
        loginWidget->hide();
        ui->verticalLayout->removeWidget(loginWidget);
        loginWidget = nullptr; // stays a hidden child until the window goes
    }
    if (mapWidget) {
        mapWidget->show();
        // The keys go to the map from the start, not to whatever held the focus in the chooser.
        mapWidget->setFocus(Qt::OtherFocusReason);
        mapWidget->startUserList();
    }
    if (follower) {
        follower->startFollowing();
        follower->startServerCommunication(uid);
    }
}

void MainWindow::networkSetupError()
{
    QMessageBox::critical(
        this, tr("Pinrova"), networkSetupErrorText, QMessageBox::Ok, QMessageBox::NoButton);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void MainWindow::networkSessionOpened()
{
    connectingLabel->hide();
    loginWidget = new LoginWidget(this);
    connect(loginWidget, &LoginWidget::finalLoginResult, this, &MainWindow::loginResult);
    ui->verticalLayout->addWidget(loginWidget, 0);
}

void MainWindow::showAbout()
{
    if (!aboutDialog)
        aboutDialog = new About(this);
    aboutDialog->setVisible(true);
}

void MainWindow::cleanUp()
{
    if (mceRequestInterface) {
        systemBus.disconnect(MceService, MceSignalPath, MceSignalInterface, DisplayStatusSignal,
            this, SLOT(displayStateChanged(QDBusMessage)));
        mceRequestInterface->deleteLater();
        mceRequestInterface = nullptr;
    }
    if (connectivityHelper) {
        connectivityHelper->detachSession();
        connectivityHelper->disconnect();
        connectivityHelper->deleteLater();
        connectivityHelper = nullptr;
    }
    if (networkSession) {
        networkSession->close();
        networkSession->disconnect();
        networkSession->deleteLater();
        networkSession = nullptr;
    }
    if (follower) {
        follower->stopPositionUpdates();
        follower->stopServerCommunication();
        follower->deleteLater();
        follower = nullptr;
    }
}

void MainWindow::closeEvent(QCloseEvent *)
{
    cleanUp();
}

void MainWindow::displayStateChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.isEmpty())
        return;
    setDisplayState(arguments.first().toString());
}

void MainWindow::displayStateError(const QDBusError &) { }

void MainWindow::setDisplayState(const QString &state)
{
    if (state == QLatin1String("on"))
        displayOn = true;
    else if (state == QLatin1String("off"))
        displayOn = false;
    // "dimmed" and anything else leave the last state.
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event && event->type() == QEvent::ActivationChange)
        updateActiveState();
}

void MainWindow::updateActiveState()
{
    if (!follower)
        return;
    if (displayOn && isActiveWindow()) {
        follower->startPositionUpdates();
        if (!uid.isNull())
            follower->startServerCommunication(uid);
    } else {
        follower->stopPositionUpdates();
        follower->stopServerCommunication();
    }
}

QT_WARNING_POP
