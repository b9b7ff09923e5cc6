#include "mapuserinfo.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "boundedimage.h"
#include "gender.h"
#include "handsetwindow.h"
#include "isocialinfo.h"

namespace {

// How many redirects led to a picture request.
constexpr auto RedirectsAttribute = QNetworkRequest::User;

QLabel *boldLabel(QWidget *parent, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setBold(true);
    font.setWeight(75);
    label->setFont(font);
    return label;
}

QLabel *plainLabel(QWidget *parent, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QHBoxLayout *row(const char *name)
{
    auto *layout = new QHBoxLayout();
    layout->setObjectName(QString::fromLatin1(name));
    return layout;
}

} // namespace

void Ui::MapUserInfo::setupUi(QWidget *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MapUserInfo"));
    window->resize(558, 483);
    verticalLayout = new QVBoxLayout(window);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    groupBox = new QGroupBox(window);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    verticalLayout_2 = new QVBoxLayout(groupBox);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));

    horizontalLayout_5 = row("horizontalLayout_5");
    mediumPic = plainLabel(groupBox, "mediumPic");
    mediumPic->setFixedSize(100, 158);
    horizontalLayout_5->addWidget(mediumPic);

    verticalLayout_4 = new QVBoxLayout();
    verticalLayout_4->setObjectName(QStringLiteral("verticalLayout_4"));
    horizontalLayout = row("horizontalLayout");
    label = boldLabel(groupBox, "label");
    horizontalLayout->addWidget(label);
    horizontalLayout->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    lblName = plainLabel(groupBox, "lblName");
    lblName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    horizontalLayout->addWidget(lblName);
    verticalLayout_4->addLayout(horizontalLayout);

    horizontalLayout_2 = row("horizontalLayout_2");
    label_4 = boldLabel(groupBox, "label_4");
    horizontalLayout_2->addWidget(label_4);
    horizontalLayout_2->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    lblGender = plainLabel(groupBox, "lblGender");
    lblGender->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    horizontalLayout_2->addWidget(lblGender);
    verticalLayout_4->addLayout(horizontalLayout_2);

    horizontalLayout_3 = row("horizontalLayout_3");
    lblNetIcon = plainLabel(groupBox, "lblNetIcon");
    lblNetIcon->setFixedSize(48, 48);
    horizontalLayout_3->addWidget(lblNetIcon);
    lblNetworkName = plainLabel(groupBox, "lblNetworkName");
    horizontalLayout_3->addWidget(lblNetworkName);
    horizontalLayout_3->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    ViewProfile = new QPushButton(groupBox);
    ViewProfile->setObjectName(QStringLiteral("ViewProfile"));
    horizontalLayout_3->addWidget(ViewProfile);
    verticalLayout_4->addLayout(horizontalLayout_3);
    horizontalLayout_5->addLayout(verticalLayout_4);
    verticalLayout_2->addLayout(horizontalLayout_5);

    horizontalLayout_4 = row("horizontalLayout_4");
    OnlineIcon = plainLabel(groupBox, "OnlineIcon");
    OnlineIcon->setFixedSize(13, 12);
    horizontalLayout_4->addWidget(OnlineIcon);
    OnlineStatus = plainLabel(groupBox, "OnlineStatus");
    horizontalLayout_4->addWidget(OnlineStatus);
    horizontalLayout_4->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    verticalLayout_2->addLayout(horizontalLayout_4);

    verticalLayout->addWidget(groupBox);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void Ui::MapUserInfo::retranslateUi(QWidget *window)
{
    window->setWindowTitle(::MapUserInfo::tr("Person details"));
    groupBox->setTitle(::MapUserInfo::tr("Public information"));
    label->setText(::MapUserInfo::tr("Name:"));
    lblName->setText(::MapUserInfo::tr("First and Last name"));
    label_4->setText(::MapUserInfo::tr("Gender:"));
    lblGender->setText(::MapUserInfo::tr("Male"));
    ViewProfile->setText(::MapUserInfo::tr("View profile"));
    OnlineStatus->setText(::MapUserInfo::tr("Online"));
}

MapUserInfo::MapUserInfo(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(new Ui::MapUserInfo)
{
    Pinrova::Platform::setHandsetAttributes(this,
        Pinrova::Platform::HandsetAttribute::AutoOrientation
            | Pinrova::Platform::HandsetAttribute::StackedWindow);
    ui->setupUi(this);
    pictureRequests.setMaximumBodyBytes(MaximumPictureBytes);
    connect(&pictureRequests, &Pinrova::Network::RequestReplyStack::reply, this,
        &MapUserInfo::handleNetworkData);
}

MapUserInfo::~MapUserInfo()
{
    delete ui;
}

void MapUserInfo::setPerson(const Person &person, bool online)
{
    // A late picture of the previous person must not replace this one's.
    pictureRequests.deleteAllReplies();
    ui->lblName->setText(person.name);
    ui->lblGender->setText(genderToString(person.gender));
    ui->mediumPic->setPixmap(QPixmap());

    profileNetwork = person.networkType;
    profileId = profileNetwork >= 0 && profileNetwork < NetworkTypeCount
        ? person.userIds[profileNetwork]
        : QString();

    const QString icon = networkTypeToIcon(profileNetwork);
    if (icon.isEmpty())
        ui->lblNetIcon->setPixmap(QPixmap());
    else
        ui->lblNetIcon->setPixmap(
            QPixmap(icon).scaled(48, 48, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    ui->lblNetworkName->setText(networkTypeToDisplayName(profileNetwork));

    ui->OnlineStatus->setText(online ? tr("Online") : tr("Offline"));
    ui->OnlineIcon->setPixmap(QPixmap(online ? QStringLiteral(":/Icons/Map/DotOnline.png")
                                             : QStringLiteral(":/Icons/Map/DotOffline.png")));

    requestPicture(person.mediumPicture, 0);
}

void MapUserInfo::requestPicture(const QUrl &url, int redirects)
{
    // Picture addresses come from other people's registrations: never read local files.
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return;
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", "Pinrova. Qt mobile application.");
    request.setAttribute(RedirectsAttribute, redirects);
    pictureRequests.get(request);
}

void MapUserInfo::handleNetworkData(QNetworkReply *reply)
{
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isEmpty()) {
        if (reply->error() == QNetworkReply::NoError) {
            const QImage image = Pinrova::Network::readBoundedImage(reply, MaximumPictureEdge);
            ui->mediumPic->setPixmap(QPixmap::fromImage(image));
        }
        pictureRequests.releaseReply(reply);
        return;
    }
    // A redirect loop would otherwise request for ever.
    const int redirects = reply->request().attribute(RedirectsAttribute).toInt() + 1;
    const QUrl next = reply->url().resolved(target);
    pictureRequests.releaseReply(reply);
    if (redirects <= MaximumRedirects)
        requestPicture(next, redirects);
}

void MapUserInfo::on_ViewProfile_clicked()
{
    const QSharedPointer<Pinrova::Social::ISocialInfo> connector
        = Pinrova::Social::socialInfoForNetwork(profileNetwork);
    if (connector)
        QDesktopServices::openUrl(connector->profileUrl(profileId));
}
