#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QMainWindow>
#include <QUuid>

class About;
class ConnectivityHelper;
class LoginWidget;
class QDBusInterface;
class QHBoxLayout;
class QLabel;
class QNetworkSession;
class QVBoxLayout;

namespace Pinrova::Map {
class Follower;
class MapWidget;
} // namespace Pinrova::Map

namespace Ui {
// The window's form, laid out in code the way a form designer would.
struct MainWindow
{
    QWidget *centralWidget = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QVBoxLayout *verticalLayout = nullptr;

    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);
};
} // namespace Ui

// The application's one top-level window. It checks for a usable network, opens the session,
// has the user sign in, then swaps the chooser for the map and starts the nearby list, the
// position tracking and the reports; it stops the tracking and reports whenever it is not the
// active window or the display is off, and shuts everything down in order when closed.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    Pinrova::Map::MapWidget *map() const { return mapWidget; }
    Pinrova::Map::Follower *positionFollower() const { return follower; }
    LoginWidget *chooser() const { return loginWidget; }
    QUuid installationId() const { return uid; }
    bool isDisplayOn() const { return displayOn; }

public slots:
    void toggleFollowMode();
    void zoomIn();
    void zoomOut();
    void loginResult(bool result);

private slots:
    void networkSetupError();
    void networkSessionOpened();
    void showAbout();
    void cleanUp();
    void displayStateChanged(const QDBusMessage &message);
    void displayStateError(const QDBusError &error);
    void setDisplayState(const QString &state);
    void changeEvent(QEvent *event) override;
    void updateActiveState();
    void setShownToOthers(bool shown);
    void setApproximatePosition(bool approximate);
    void askToForget();
    void forgetFinished(bool forgotten);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void watchDisplayState();
    void addPrivacyEntries();

    Ui::MainWindow *ui = nullptr;
    QDBusConnection systemBus;
    QDBusInterface *mceRequestInterface = nullptr;
    bool displayOn = false;
    Pinrova::Map::MapWidget *mapWidget = nullptr;
    Pinrova::Map::Follower *follower = nullptr;
    LoginWidget *loginWidget = nullptr;
    About *aboutDialog = nullptr;
    QLabel *connectingLabel = nullptr;
    QString networkSetupErrorText;
    QNetworkSession *networkSession = nullptr;
    ConnectivityHelper *connectivityHelper = nullptr;
    QUuid uid;
};
