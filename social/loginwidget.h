#pragma once

#include <QSharedPointer>
#include <QWidget>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QSpacerItem;
class QVBoxLayout;
class WebLoginForm;

namespace Pinrova::Social {
class ISocialInfo;
}

namespace Ui {
// The chooser's form, laid out in code the way a form designer would.
struct LoginWidget
{
    QVBoxLayout *verticalLayout = nullptr;
    QWidget *buttonsHolder = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QSpacerItem *verticalSpacer = nullptr;
    QLabel *label = nullptr;
    QListWidget *listWidget = nullptr;
    QSpacerItem *verticalSpacer_2 = nullptr;

    void setupUi(QWidget *widget);
    void retranslateUi(QWidget *widget);
};
} // namespace Ui

// The sign-in chooser: lists the networks, lends the picked network's connector the web window
// and turns the connector's verdict into the final result, asking whether to retry on failure.
class LoginWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(LoginWidget)

public:
    explicit LoginWidget(QWidget *parent = nullptr);
    ~LoginWidget() override;

    WebLoginForm *webWindow() const { return webLoginForm; }

signals:
    void finalLoginResult(bool loggedIn);

public slots:
    void loginResult(bool ok);
    void loginCancel();

private slots:
    void on_listWidget_itemClicked(QListWidgetItem *item);

private:
    void startLogin(int type);
    void releaseConnector();

    Ui::LoginWidget *ui = nullptr;
    QSharedPointer<Pinrova::Social::ISocialInfo> connector;
    WebLoginForm *webLoginForm = nullptr; // child, created on the first choice
};
