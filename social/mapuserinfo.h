#pragma once

#include <QString>
#include <QWidget>

#include "networktype.h"
#include "person.h"
#include "requestreplystack.h"

class QGroupBox;
class QHBoxLayout;
class QLabel;
class QNetworkReply;
class QNetworkRequest;
class QPushButton;
class QSpacerItem;
class QVBoxLayout;

namespace Ui {
// The details window's form, laid out in code the way a form designer would.
struct MapUserInfo
{
    QVBoxLayout *verticalLayout = nullptr;
    QGroupBox *groupBox = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QHBoxLayout *horizontalLayout_5 = nullptr;
    QLabel *mediumPic = nullptr;
    QVBoxLayout *verticalLayout_4 = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QLabel *label = nullptr;
    QLabel *lblName = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QLabel *label_4 = nullptr;
    QLabel *lblGender = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    QLabel *lblNetIcon = nullptr;
    QLabel *lblNetworkName = nullptr;
    QPushButton *ViewProfile = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    QLabel *OnlineIcon = nullptr;
    QLabel *OnlineStatus = nullptr;

    void setupUi(QWidget *window);
    void retranslateUi(QWidget *window);
};
} // namespace Ui

// The window a tap on a person's picture opens: picture, name, gender, home network and online
// state, and a button that opens the person's profile page in the system browser.
class MapUserInfo : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(MapUserInfo)

public:
    explicit MapUserInfo(QWidget *parent = nullptr);
    ~MapUserInfo() override;

    // Fills the window for the person and starts the picture download, dropping the previous
    // person's; the caller shows the window.
    void setPerson(const Person &person, bool online);

    // A picture reached through more redirects than this stays empty.
    static constexpr int MaximumRedirects = 5;
    static constexpr int MaximumPictureEdge = 2048;
    static constexpr qint64 MaximumPictureBytes = 4 * 1024 * 1024;

private slots:
    void on_ViewProfile_clicked();
    void handleNetworkData(QNetworkReply *reply);

private:
    void requestPicture(const QUrl &url, int redirects);

    Ui::MapUserInfo *ui = nullptr;
    Pinrova::Network::RequestReplyStack pictureRequests {this};
    NetworkType profileNetwork = UnknownNetwork;
    QString profileId;
};
