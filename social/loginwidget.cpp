#include "loginwidget.h"

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "isocialinfo.h"
#include "networktype.h"
#include "webloginform.h"

using Pinrova::Social::ISocialInfo;
using Pinrova::Social::socialInfoForNetwork;

void Ui::LoginWidget::setupUi(QWidget *widget)
{
    if (widget->objectName().isEmpty())
        widget->setObjectName(QStringLiteral("LoginWidget"));
    widget->resize(451, 422);
    verticalLayout = new QVBoxLayout(widget);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    buttonsHolder = new QWidget(widget);
    buttonsHolder->setObjectName(QStringLiteral("buttonsHolder"));
    verticalLayout_2 = new QVBoxLayout(buttonsHolder);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalSpacer = new QSpacerItem(20, 20, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_2->addItem(verticalSpacer);
    label = new QLabel(buttonsHolder);
    label->setObjectName(QStringLiteral("label"));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    verticalLayout_2->addWidget(label);
    listWidget = new QListWidget(buttonsHolder);
    listWidget->setObjectName(QStringLiteral("listWidget"));
    listWidget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listWidget->setSelectionMode(QAbstractItemView::SingleSelection);
    listWidget->setSelectionBehavior(QAbstractItemView::SelectItems);
    listWidget->setIconSize(QSize(64, 64));
    listWidget->setWordWrap(false);
    verticalLayout_2->addWidget(listWidget);
    verticalSpacer_2 = new QSpacerItem(20, 20, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_2->addItem(verticalSpacer_2);
    verticalLayout->addWidget(buttonsHolder);

    retranslateUi(widget);
    QMetaObject::connectSlotsByName(widget);
}

void Ui::LoginWidget::retranslateUi(QWidget *widget)
{
    widget->setWindowTitle(::LoginWidget::tr("Login"));
    label->setText(::LoginWidget::tr("Login with:"));
}

LoginWidget::LoginWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::LoginWidget)
{
    ui->setupUi(this);
    for (NetworkType type : {Facebook, Vkontakte}) {
        auto *item = new QListWidgetItem(
            QIcon(networkTypeToIcon(type)), networkTypeToDisplayName(type), ui->listWidget);
        item->setData(Qt::UserRole, int(type));
    }
}

LoginWidget::~LoginWidget()
{
    delete ui;
}

void LoginWidget::on_listWidget_itemClicked(QListWidgetItem *item)
{
    if (item)
        startLogin(item->data(Qt::UserRole).toInt());
}

void LoginWidget::startLogin(int type)
{
    // The previous attempt's connector lets go of the view, so it never reads or fills in the
    // pages of the network chosen now.
    releaseConnector();
    connector = socialInfoForNetwork(NetworkType(type));
    if (!connector)
        return;
    if (!webLoginForm) {
        webLoginForm = new WebLoginForm(this);
        connect(webLoginForm, &WebLoginForm::loginCancelled, this, &LoginWidget::loginCancel);
    }
    connect(connector.data(), &ISocialInfo::loginResult, this, &LoginWidget::loginResult);
    connector->setWebView(webLoginForm->webView());
    connector->login();
    webLoginForm->show();
    // Chosen again while the window already exists (perhaps behind the main window).
    webLoginForm->raise();
    webLoginForm->activateWindow();
}

void LoginWidget::releaseConnector()
{
    if (!connector)
        return;
    connector->detachWebView();
    disconnect(connector.data(), &ISocialInfo::loginResult, this, &LoginWidget::loginResult);
}

void LoginWidget::loginResult(bool ok)
{
    releaseConnector();
    if (ok) {
        hide();
        if (webLoginForm)
            webLoginForm->close();
        emit finalLoginResult(true);
        return;
    }

    QMessageBox question(QMessageBox::Information, QString(), QStringLiteral("Login failed."),
        QMessageBox::Retry | QMessageBox::Cancel, this);
    question.setInformativeText(QStringLiteral(
        "You can't access pinrova if you aren't logged in to any of the social networks."));
    question.setDefaultButton(QMessageBox::Retry);
    if (question.exec() == QMessageBox::Cancel) {
        emit finalLoginResult(false);
        return;
    }
    if (webLoginForm)
        webLoginForm->close();
}

void LoginWidget::loginCancel()
{
    releaseConnector();
}
