#include "about.h"

#include <QLabel>
#include <QScrollArea>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "handsetwindow.h"

void Ui::About::setupUi(QWidget *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("About"));
    window->resize(505, 292);
    verticalLayout = new QVBoxLayout(window);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    scrollArea = new QScrollArea(window);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setWidgetResizable(true);
    scrollAreaWidgetContents = new QWidget();
    scrollAreaWidgetContents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    scrollAreaWidgetContents->setGeometry(QRect(0, 0, 484, 271));
    verticalLayout_2 = new QVBoxLayout(scrollAreaWidgetContents);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    label = new QLabel(scrollAreaWidgetContents);
    label->setObjectName(QStringLiteral("label"));
    label->setTextFormat(Qt::AutoText);
    label->setWordWrap(true);
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    verticalLayout_2->addWidget(label, 0);
    verticalLayout_2->addItem(
        new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    scrollArea->setWidget(scrollAreaWidgetContents);
    verticalLayout->addWidget(scrollArea, 0);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void Ui::About::retranslateUi(QWidget *window)
{
    window->setWindowTitle(::About::tr("About"));
    // The page as the form carries it; the catalogues translate it to the current page.
    label->setText(::About::tr(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
        "\"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
        "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
        "p, li { white-space: pre-wrap; }\n"
        "</style></head><body style=\" font-family:'MS Shell Dlg 2'; font-size:8.25pt; "
        "font-weight:400; font-style:normal;\">\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:8pt;\">Name: "
        "Pinrova.</span></p>\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:8pt;\">Version: "
        "1.0.0.</span></p>\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:8pt;\">Developer: Tavrion "
        "(</span><a href=\"http://www.pinrova.example\"><span style=\" font-size:8pt; "
        "text-decoration: underline; color:#0000ff;\">http://www.pinrova.example</span></a><span "
        "style=\" font-size:8pt;\">).</span></p>\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:8pt;\">E-mail: "
        "&lt;support@pinrova.example&gt;.</span></p>\n"
        "<p style=\"-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; "
        "margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:8pt;\"><br /></p>\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:8pt;\">Map (c) by "
        "OpenStreetMap.org (and) contributors, CC-BY-SA.</span></p>\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><a href=\"http://www.openstreetmap.org/\"><span "
        "style=\" font-size:8pt; text-decoration: underline; "
        "color:#0000ff;\">http://www.openstreetmap.org/</span></a><span style=\" "
        "font-size:8pt;\">.</span></p>\n"
        "<p style=\"-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; "
        "margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:8pt;\"><br /></p>\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:8pt;\">This programm is "
        "using QJSON.</span></p>\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><a href=\"http://qjson.sourceforge.net/\"><span "
        "style=\" font-size:8pt; text-decoration: underline; "
        "color:#0000ff;\">http://qjson.sourceforge.net/</span></a><span style=\" "
        "font-size:8pt;\">.</span></p>\n"
        "<p style=\"-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; "
        "margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:8pt;\"><br "
        "/></p></body></html>"));
}

About::About(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(new Ui::About)
{
    Pinrova::Platform::setHandsetAttributes(this,
        Pinrova::Platform::HandsetAttribute::AutoOrientation
            | Pinrova::Platform::HandsetAttribute::StackedWindow);
    ui->setupUi(this);
    // The catalogues keep the page that is shown under this key.
    ui->label->setText(tr("MaemoAbout"));
}

About::~About()
{
    delete ui;
}
