#include "mainwindow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "handsetwindow.h"
#include "mapwidget.h"

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
{
    ui->setupUi(this);
    Pinrova::Platform::setHandsetAttributes(this,
        Pinrova::Platform::HandsetAttribute::AutoOrientation
            | Pinrova::Platform::HandsetAttribute::StackedWindow);

    mapWidget = new Pinrova::Map::MapWidget(this);
    ui->verticalLayout->addWidget(mapWidget, 0);
}

MainWindow::~MainWindow()
{
    delete ui;
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
